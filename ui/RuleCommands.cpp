// The controller's rule commands: the rule book keeps the rules and its list announces every
// change (a refusal shows in the status line); every change classifies the documents again.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "ui/RuleBook.h"

namespace Tessavo::Ui {

void AppController::addRule(const QString& name, const QString& category,
                            const QString& fileContains, const QString& textContains, int minPages,
                            int maxPages, int priority)
{
    m_ruleBook->add(name, category, fileContains, textContains, minPages, maxPages, priority);
}

void AppController::removeRule(int row)
{
    m_ruleBook->remove(row);
}

void AppController::setRuleEnabled(int row, bool enabled)
{
    m_ruleBook->setEnabled(row, enabled);
}

void AppController::saveRules(const QUrl& fileUrl)
{
    m_ruleBook->exportTo(fileUrl.toLocalFile());
}

void AppController::loadRules(const QUrl& fileUrl)
{
    m_ruleBook->importFrom(fileUrl.toLocalFile());
}

void AppController::addRulesFrom(const QUrl& fileUrl)
{
    m_ruleBook->importFrom(fileUrl.toLocalFile(), RuleBook::ImportMode::Add);
}

void AppController::reclassifyAll()
{
    const QList<Rule>& rules = m_ruleBook->rules();
    const QList<int> rows = m_documents.updateEach([&rules](DocumentRecord& record) {
        setSuggestion(record, classify(rules, record));
        return true;
    });
    storeReviews(rows);
    emit summaryChanged();
}

} // namespace Tessavo::Ui
