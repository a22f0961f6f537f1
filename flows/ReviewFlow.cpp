// The review: decisions change records through the shared list; the rule book keeps the rules and
// announces every change (a refusal shows in the status line), which classifies the documents
// again.
#include "flows/ReviewFlow.h"

#include "core/Classification.h"
#include "core/RuleProposal.h"
#include "flows/BundleLearning.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "logging/LogPath.h"

#include <QFileInfo>
#include <QVariantList>

#include <QSet>

#include <algorithm>
#include <numeric>

namespace Tessavo::Flows {

namespace {

bool isFiled(const DocumentRecord& record)
{
    return record.decision == Accepted || record.decision == Changed;
}

// A rule as the rule dialog shows it, with the keys of the rules file.
QVariantMap mapOf(const Rule& rule)
{
    return {{QStringLiteral("id"), rule.id},
            {QStringLiteral("name"), rule.name},
            {QStringLiteral("category"), rule.category},
            {QStringLiteral("priority"), rule.priority},
            {QStringLiteral("fileContains"), rule.fileContains},
            {QStringLiteral("textContains"), rule.textContains},
            {QStringLiteral("minPages"), rule.minPages},
            {QStringLiteral("maxPages"), rule.maxPages},
            {QStringLiteral("titleContains"), rule.titleContains},
            {QStringLiteral("textAnyOf"), rule.textAnyOf},
            {QStringLiteral("textAllOf"), rule.textAllOf},
            {QStringLiteral("textNoneOf"), rule.textNoneOf},
            {QStringLiteral("fileAnyOf"), rule.fileAnyOf},
            {QStringLiteral("fileNoneOf"), rule.fileNoneOf},
            {QStringLiteral("wholeWords"), rule.wholeWords}};
}

// The dialog's rule; an absent key leaves the field unset. Size limits come from the rule being
// edited, which the dialog does not show.
Rule ruleOf(const QVariantMap& map, const QList<Rule>& rules)
{
    Rule rule;
    rule.id = map.value(QStringLiteral("id")).toString();
    if (const qsizetype same = indexOfRule(rules, rule.id); same >= 0)
        rule = rules.at(same);
    const auto text = [&map](const char* key) {
        return map.value(QString::fromLatin1(key)).toString();
    };
    const auto terms = [&map](const char* key) {
        return map.value(QString::fromLatin1(key)).toStringList();
    };
    const auto number = [&map](const char* key, int fallback) {
        bool ok = false;
        const int value = map.value(QString::fromLatin1(key)).toInt(&ok);
        return ok ? value : fallback;
    };
    rule.name = text("name");
    rule.category = text("category");
    rule.priority = number("priority", 100);
    rule.fileContains = text("fileContains");
    rule.textContains = text("textContains");
    rule.minPages = number("minPages", 0);
    rule.maxPages = number("maxPages", 0);
    rule.titleContains = text("titleContains");
    rule.textAnyOf = terms("textAnyOf");
    rule.textAllOf = terms("textAllOf");
    rule.textNoneOf = terms("textNoneOf");
    rule.fileAnyOf = terms("fileAnyOf");
    rule.fileNoneOf = terms("fileNoneOf");
    rule.wholeWords = map.value(QStringLiteral("wholeWords")).toBool();
    return rule;
}

constexpr int shownChanges = 5;

} // namespace

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
    // Steps are kept by row: once rows move or go, they no longer hold.
    connect(&m_documents, &QAbstractItemModel::modelReset, this, &ReviewFlow::forgetHistory);
    connect(&m_documents, &QAbstractItemModel::rowsRemoved, this, &ReviewFlow::forgetHistory);
    connect(&m_documents, &QAbstractItemModel::rowsMoved, this, &ReviewFlow::forgetHistory);
    connect(&m_documents, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int, int last) {
                if (last + 1 < m_documents.rowCount())
                    forgetHistory();
            });
}

ReviewFlow::~ReviewFlow() = default;

int ReviewFlow::decideEach(const QList<int>& rows, const Change& change, bool keepStep)
{
    const QSet<int> wanted(rows.cbegin(), rows.cend());
    DecisionStep step;
    QList<DocumentRecord> unfiled; // as they were before they stopped teaching
    int row = -1;
    const QList<int> changed = m_documents.updateEach([&](DocumentRecord& r) {
        ++row;
        if (!wanted.contains(row))
            return false;
        const ReviewState before = reviewStateOf(r);
        const DocumentRecord was = isFiled(r) ? r : DocumentRecord();
        bool wentBack = false;
        if (!change(row, r, wentBack))
            return false;
        const ReviewState after = reviewStateOf(r);
        if (after == before)
            return false;
        step.changes.append({row, r.sourcePath, before, after, wentBack});
        if (isFiled(was) && !isFiled(r))
            unfiled.append(was);
        return true;
    });
    if (changed.isEmpty())
        return 0;
    m_session.storeReviews(changed); // one change, one transaction
    for (const DocumentRecord& before : std::as_const(unfiled))
        unlearn(before);
    learnFrom(changed);
    if (keepStep) {
        m_history.record(step);
        emit historyChanged();
    }
    return int(changed.size());
}

int ReviewFlow::replay(const DecisionStep& step, bool undoing)
{
    QHash<int, ReviewState> targets;
    for (const DecisionChange& c : step.changes) {
        // A row that holds another document now is left alone.
        const DocumentRecord* r = m_documents.recordAt(c.row);
        if (r && r->sourcePath == c.sourcePath)
            targets.insert(c.row, undoing ? c.before : c.after);
    }
    return decideEach(
        targets.keys(),
        [&targets](int row, DocumentRecord& r, bool&) {
            applyReviewState(r, targets.value(row));
            return true;
        },
        false);
}

void ReviewFlow::forgetHistory()
{
    if (!m_history.canUndo() && !m_history.canRedo())
        return;
    m_history.clear();
    emit historyChanged();
}

void ReviewFlow::undo()
{
    takeStep(m_history.takeUndo(), true);
}

void ReviewFlow::redo()
{
    takeStep(m_history.takeRedo(), false);
}

void ReviewFlow::takeStep(DecisionStep* step, bool undoing)
{
    if (!step)
        return;
    if (step->rule) {
        // The rule goes by the name the step leaves it with; one the step takes away goes by the
        // name it had.
        const RuleChange::Kind takenAway = undoing ? RuleChange::Added : RuleChange::Removed;
        const bool nameBefore = undoing != (step->rule->kind == takenAway);
        const QString name = nameBefore ? step->rule->before.name : step->rule->after.name;
        replayRule(*step->rule, undoing);
        emit historyChanged();
        emit status((undoing ? QStringLiteral("Undid the change to rule “%1”.")
                             : QStringLiteral("Redid the change to rule “%1”."))
                        .arg(name));
        return;
    }
    const int n = replay(*step, undoing);
    emit historyChanged();
    emit status((undoing ? QStringLiteral("Undid %1 decision(s).")
                         : QStringLiteral("Redid %1 decision(s)."))
                    .arg(n));
}

int ReviewFlow::lastRuleRow() const
{
    return int(m_rules.rules().size()) - 1;
}

int ReviewFlow::ruleRowOf(const QString& id) const
{
    return int(indexOfRule(m_rules.rules(), id));
}

void ReviewFlow::keepRuleChange(const RuleChange& change)
{
    DecisionStep step;
    step.rule = change;
    m_history.record(step);
    emit historyChanged();
}

// A rule added again goes back to its row, with its id, so the next undo or redo finds it.
bool ReviewFlow::replayRule(const RuleChange& change, bool undoing)
{
    const bool addBack = (change.kind == RuleChange::Removed) == undoing;
    if (change.kind != RuleChange::Edited && addBack) {
        const int row = std::clamp(change.row, 0, int(m_rules.rules().size()));
        return m_rules.insert(row, undoing ? change.before : change.after);
    }
    if (change.kind != RuleChange::Edited) {
        const int row = ruleRowOf(undoing ? change.after.id : change.before.id);
        return row >= 0 && m_rules.remove(row);
    }
    const Rule& target = undoing ? change.before : change.after;
    const int row = ruleRowOf(target.id);
    if (row < 0)
        return false;
    if (m_rules.rules().at(row).enabled != target.enabled)
        m_rules.setEnabled(row, target.enabled);
    return m_rules.rules().at(row) == target || m_rules.replace(target);
}

void ReviewFlow::unlearn(const DocumentRecord& before)
{
    const QString key = learnedKey(before);
    QList<int> stillFiled;
    const QList<DocumentRecord>& records = m_documents.records();
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& r = records.at(row);
        if (isFiled(r) && !r.pageTexts.isEmpty() && learnedKey(r) == key)
            stillFiled.append(row);
    }
    if (!stillFiled.isEmpty()) {
        learnFrom({stillFiled.constFirst()});
        return;
    }
    m_rules.forget({key});
    m_session.removeLearned({key});
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

void ReviewFlow::learnFromBundle(const QUrl& bundle)
{
    const QString path = bundle.toLocalFile();
    const QString name = QFileInfo(path).fileName();
    if (path.isEmpty()) {
        emit status(QStringLiteral("Choose a bundle folder or its ZIP to learn from."));
        return;
    }
    if (!m_bundleLearning) {
        m_bundleLearning = std::make_unique<BundleLearning>();
        connect(m_bundleLearning.get(), &BundleLearning::finished, this,
                &ReviewFlow::onBundleLearned);
        connect(m_bundleLearning.get(), &BundleLearning::progressChanged, this, [this] {
            m_bundleProgress = m_bundleLearning->progress();
            emit bundleProgressChanged();
        });
    }
    if (!m_bundleLearning->start({path})) {
        emit status(QStringLiteral("Cannot learn from “%1”: %2")
                        .arg(name, m_bundleLearning->errorString()));
        return;
    }
    setLearningFromBundle(true);
    emit status(QStringLiteral("Learning from “%1”…").arg(name));
}

void ReviewFlow::setLearningFromBundle(bool learning)
{
    if (m_learningFromBundle == learning)
        return;
    m_learningFromBundle = learning;
    emit learningFromBundleChanged();
    if (!learning && m_bundleProgress != 0) {
        m_bundleProgress = 0;
        emit bundleProgressChanged();
    }
}

void ReviewFlow::onBundleLearned(const QList<BundleLesson>& lessons)
{
    setLearningFromBundle(false);
    const QList<LearnedExample> examples = examplesOf(lessons);
    QStringList problems;
    QString name;
    for (const BundleLesson& lesson : lessons) {
        name = QFileInfo(lesson.path).fileName();
        problems += lesson.problems;
    }
    learnFromBundles(examples, true);
    const QString learned = QString::number(examples.size());
    if (problems.isEmpty())
        emit status(
            QStringLiteral("Learned from %1 filed document(s) of “%2”.").arg(learned, name));
    else
        emit status(
            QStringLiteral("Learned from %1 filed document(s) of “%2”; %3 problem(s), "
                           "the first: %4")
                .arg(learned, name, QString::number(problems.size()), problems.constFirst()));
}

QVariantMap ReviewFlow::proposeRuleFor(int row) const
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (!record)
        return {};
    const RuleProposal proposal =
        proposeRule(*record, displayCategory(*record), m_documents.records());
    QVariantMap map = mapOf(proposal.rule);
    map.remove(QStringLiteral("id"));
    map.insert(QStringLiteral("terms"), proposal.terms);
    return map;
}

QVariantMap ReviewFlow::ruleDraft(int ruleRow) const
{
    const QList<Rule>& rules = m_rules.rules();
    if (ruleRow < 0 || ruleRow >= rules.size())
        return {};
    return mapOf(rules.at(ruleRow));
}

QVariantMap ReviewFlow::previewRuleDraft(const QVariantMap& draft) const
{
    const QList<DocumentRecord>& records = m_documents.records();
    const RulePreview preview = m_rules.preview(ruleOf(draft, m_rules.rules()), records);
    QVariantList shown;
    int decided = 0;
    for (const SuggestionChange& change : preview.changes) {
        if (change.decided)
            ++decided;
        if (shown.size() < shownChanges)
            shown.append(QVariantMap{{QStringLiteral("fileName"), records.at(change.row).fileName},
                                     {QStringLiteral("before"), change.before},
                                     {QStringLiteral("after"), change.after},
                                     {QStringLiteral("decided"), change.decided}});
    }
    return {{QStringLiteral("matched"), preview.matched},
            {QStringLiteral("changed"), int(preview.changes.size())},
            {QStringLiteral("decided"), decided},
            {QStringLiteral("changes"), shown}};
}

bool ReviewFlow::saveRuleDraft(const QVariantMap& draft)
{
    const Rule rule = ruleOf(draft, m_rules.rules());
    if (rule.id.isEmpty()) {
        if (!m_rules.add(rule))
            return false;
        keepRuleChange({RuleChange::Added, {}, m_rules.rules().constLast(), lastRuleRow()});
        return true;
    }
    const int row = ruleRowOf(rule.id);
    const Rule before = row >= 0 ? m_rules.rules().at(row) : Rule();
    if (!m_rules.replace(rule))
        return false;
    if (row >= 0)
        keepRuleChange({RuleChange::Edited, before, m_rules.rules().at(row), row});
    return true;
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
            reclassifyUnmatched();
        },
        Qt::QueuedConnection);
}

int ReviewFlow::acceptOne(int row)
{
    return decideEach({row}, [this](int, DocumentRecord& r, bool&) {
        if (acceptSuggestion(r))
            return true;
        emit status(QStringLiteral("No suggestion to accept. Choose a category instead."));
        return false;
    });
}

int ReviewFlow::changeEach(const QList<int>& rows, const QString& category)
{
    return decideEach(rows, [&category](int, DocumentRecord& r, bool&) {
        changeCategory(r, category);
        return true;
    });
}

int ReviewFlow::ignoreEach(const QList<int>& rows)
{
    return decideEach(rows, [](int, DocumentRecord& r, bool&) {
        ignore(r);
        return true;
    });
}

int ReviewFlow::resetEach(const QList<int>& rows)
{
    return decideEach(rows, [this](int row, DocumentRecord& r, bool& wentBack) {
        const std::optional<ReviewState> earlier = m_history.earlier(row);
        if (earlier && *earlier != reviewStateOf(r)) {
            applyReviewState(r, *earlier);
            wentBack = true;
        } else {
            Tessavo::resetDecision(r);
        }
        return true;
    });
}

void ReviewFlow::acceptDocument(int row)
{
    acceptOne(row);
}

void ReviewFlow::changeDocumentCategory(int row, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (!trimmed.isEmpty())
        changeEach({row}, trimmed);
}

void ReviewFlow::ignoreDocument(int row)
{
    ignoreEach({row});
}

void ReviewFlow::resetDecision(int row)
{
    resetEach({row});
}

void ReviewFlow::acceptAllSuggested()
{
    QList<int> all(m_documents.rowCount());
    std::iota(all.begin(), all.end(), 0);
    acceptClearSuggestions(all);
}

void ReviewFlow::acceptClearSuggestions(const QList<int>& rows)
{
    const int accepted = decideEach(rows, [](int, DocumentRecord& r, bool&) {
        return hasClearSuggestion(r) && acceptSuggestion(r);
    });
    if (accepted == 0)
        emit status(QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    else
        emit status(
            QStringLiteral("Accepted %1 suggestion(s). Conflicting items were left for review.")
                .arg(accepted));
}

int ReviewFlow::clearSuggestionCount(const QList<int>& rows) const
{
    return int(std::count_if(rows.cbegin(), rows.cend(), [this](int row) {
        const DocumentRecord* r = m_documents.recordAt(row);
        return r && hasClearSuggestion(*r);
    }));
}

void ReviewFlow::acceptDocuments(const QList<int>& rows)
{
    // One document without a suggestion is told what to do instead.
    if (rows.size() == 1) {
        if (acceptOne(rows.constFirst()) > 0)
            emit status(QStringLiteral("Accepted %1 document(s).").arg(1));
        return;
    }
    const int accepted = decideEach(
        rows, [](int, DocumentRecord& r, bool&) { return canAccept(r) && acceptSuggestion(r); });
    const int left = int(rows.size()) - accepted;
    if (left == 0)
        emit status(QStringLiteral("Accepted %1 document(s).").arg(accepted));
    else
        emit status(QStringLiteral("Accepted %1 document(s); %2 left as they were (already "
                                   "accepted, ignored or without a suggestion).")
                        .arg(QString::number(accepted), QString::number(left)));
}

void ReviewFlow::changeDocumentsCategory(const QList<int>& rows, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (trimmed.isEmpty())
        return;
    const int changed = changeEach(rows, trimmed);
    if (changed > 0 || rows.size() > 1)
        emit status(QStringLiteral("Filed %1 document(s) under %2.")
                        .arg(QString::number(changed), trimmed));
}

void ReviewFlow::ignoreDocuments(const QList<int>& rows)
{
    const int ignored = ignoreEach(rows);
    if (ignored > 0 || rows.size() > 1)
        emit status(QStringLiteral("Ignored %1 document(s).").arg(ignored));
}

void ReviewFlow::resetDocuments(const QList<int>& rows)
{
    const int reset = resetEach(rows);
    if (reset > 0 || rows.size() > 1)
        emit status(QStringLiteral("Reset %1 document(s) to their earlier decision.").arg(reset));
}

void ReviewFlow::addRule(const QString& name, const QString& category, const QString& fileContains,
                         const QString& textContains, int minPages, int maxPages, int priority)
{
    if (m_rules.add(name, category, fileContains, textContains, minPages, maxPages, priority))
        keepRuleChange({RuleChange::Added, {}, m_rules.rules().constLast(), lastRuleRow()});
}

void ReviewFlow::removeRule(int row)
{
    const QList<Rule>& rules = m_rules.rules();
    const Rule removed = row >= 0 && row < rules.size() ? rules.at(row) : Rule();
    if (m_rules.remove(row) && !removed.id.isEmpty())
        keepRuleChange({RuleChange::Removed, removed, {}, row});
}

void ReviewFlow::setRuleEnabled(int row, bool enabled)
{
    const QList<Rule>& rules = m_rules.rules();
    const bool changes = row >= 0 && row < rules.size() && rules.at(row).enabled != enabled;
    const Rule before = changes ? rules.at(row) : Rule();
    if (m_rules.setEnabled(row, enabled) && changes)
        keepRuleChange({RuleChange::Edited, before, m_rules.rules().at(row), row});
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

void ReviewFlow::reclassifyUnmatched()
{
    const QList<int> rows = m_documents.updateEach([this](DocumentRecord& record) {
        // A rule's suggestion stays: the rules did not change, and one always outranks a
        // learned suggestion.
        if (!record.suggestion.isEmpty() && !record.suggestion.learned)
            return false;
        const Suggestion next = m_rules.suggest(record);
        if (next == record.suggestion)
            return false;
        setSuggestion(record, next);
        return true;
    });
    m_session.storeReviews(rows);
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
