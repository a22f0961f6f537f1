// The review: decisions change records through the shared list; the rule book keeps the rules and
// announces every change (a refusal shows in the status line), which classifies the documents
// again.
#include "flows/ReviewFlow.h"

#include "core/Classification.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"

namespace Tessavo::Flows {

ReviewFlow::ReviewFlow(DocumentList& documents, RuleBook& rules, SessionFlow& session,
                       QObject* parent)
    : QObject(parent)
    , m_documents(documents)
    , m_rules(rules)
    , m_session(session)
{
    connect(&m_rules, &RuleBook::changed, this, &ReviewFlow::reclassifyAll);
    connect(&m_rules, &RuleBook::learnedChanged, this, [this] {
        emit learnedCountChanged();
        reclassifySoon();
    });
    connect(&m_rules, &RuleBook::status, this, &ReviewFlow::status);
}

void ReviewFlow::decide(int row, const std::function<bool(DocumentRecord&)>& change)
{
    if (!m_documents.update(row, change))
        return;
    m_session.storeReviews({row});
    learnFrom({row});
}

// Accepted and changed documents teach their category; the others teach nothing.
void ReviewFlow::learnFrom(const QList<int>& rows)
{
    QList<LearnedExample> examples;
    for (const int row : rows) {
        const DocumentRecord* r = m_documents.recordAt(row);
        if (!r || (r->decision != Accepted && r->decision != Changed) || r->pageTexts.isEmpty())
            continue;
        examples.append({learnedKey(*r), r->fileName, displayCategory(*r), documentTerms(*r)});
    }
    if (examples.isEmpty())
        return;
    m_rules.learn(examples);
    m_session.storeLearned(examples);
}

int ReviewFlow::learnedCount() const
{
    return int(m_rules.learned().size());
}

void ReviewFlow::forgetLearned()
{
    const int forgotten = learnedCount();
    m_rules.forgetLearned();
    m_session.forgetLearned();
    emit status(QStringLiteral("Forgot what %1 filed document(s) taught.").arg(forgotten));
}

void ReviewFlow::learnFromBundles(const QList<LearnedExample>& examples, bool keep)
{
    m_rules.learn(examples);
    if (keep)
        m_session.storeLearned(examples);
}

void ReviewFlow::reclassifySoon()
{
    if (m_reclassifyPosted)
        return;
    m_reclassifyPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_reclassifyPosted = false;
            reclassifyAll();
        },
        Qt::QueuedConnection);
}

void ReviewFlow::acceptDocument(int row)
{
    decide(row, [this](DocumentRecord& r) {
        if (acceptSuggestion(r))
            return true;
        emit status(QStringLiteral("No suggestion to accept. Choose a category instead."));
        return false;
    });
}

void ReviewFlow::changeDocumentCategory(int row, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (trimmed.isEmpty())
        return;
    decide(row, [&trimmed](DocumentRecord& r) {
        changeCategory(r, trimmed);
        return true;
    });
}

void ReviewFlow::ignoreDocument(int row)
{
    decide(row, [](DocumentRecord& r) {
        ignore(r);
        return true;
    });
}

void ReviewFlow::resetDecision(int row)
{
    decide(row, [](DocumentRecord& r) {
        Tessavo::resetDecision(r);
        return true;
    });
}

void ReviewFlow::acceptAllSuggested()
{
    const QList<int> rows = m_documents.updateEach(
        [](DocumentRecord& r) { return hasClearSuggestion(r) && acceptSuggestion(r); });
    m_session.storeReviews(rows); // one change, one transaction
    learnFrom(rows);
    const int accepted = int(rows.size());
    if (accepted == 0)
        emit status(QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    else
        emit status(
            QStringLiteral("Accepted %1 suggestion(s). Conflicting items were left for review.")
                .arg(accepted));
}

void ReviewFlow::addRule(const QString& name, const QString& category, const QString& fileContains,
                         const QString& textContains, int minPages, int maxPages, int priority)
{
    m_rules.add(name, category, fileContains, textContains, minPages, maxPages, priority);
}

void ReviewFlow::removeRule(int row)
{
    m_rules.remove(row);
}

void ReviewFlow::setRuleEnabled(int row, bool enabled)
{
    m_rules.setEnabled(row, enabled);
}

void ReviewFlow::saveRules(const QUrl& fileUrl)
{
    m_rules.exportTo(fileUrl.toLocalFile());
}

void ReviewFlow::loadRules(const QUrl& fileUrl)
{
    m_rules.importFrom(fileUrl.toLocalFile());
}

void ReviewFlow::addRulesFrom(const QUrl& fileUrl)
{
    m_rules.importFrom(fileUrl.toLocalFile(), RuleBook::ImportMode::Add);
}

void ReviewFlow::reclassifyAll()
{
    const QList<int> rows = m_documents.updateEach([this](DocumentRecord& record) {
        setSuggestion(record, m_rules.suggest(record));
        return true;
    });
    m_session.storeReviews(rows);
}

} // namespace Tessavo::Flows
