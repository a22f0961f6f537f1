// The controller's rule commands: the rule book keeps the rules; every change classifies the
// documents again.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "ui/RuleBook.h"

namespace Tessavo::Ui {

void AppController::addRule(const QString& name, const QString& category,
                            const QString& fileContains, const QString& textContains, int minPages,
                            int maxPages, int priority)
{
    if (m_ruleBook->add(name, category, fileContains, textContains, minPages, maxPages, priority))
        emit rulesChanged();
}

void AppController::removeRule(int row)
{
    if (m_ruleBook->remove(row))
        emit rulesChanged();
}

void AppController::setRuleEnabled(int row, bool enabled)
{
    if (m_ruleBook->setEnabled(row, enabled))
        emit rulesChanged();
}

void AppController::saveRules(const QUrl& fileUrl)
{
    m_ruleBook->exportTo(fileUrl.toLocalFile());
}

void AppController::loadRules(const QUrl& fileUrl)
{
    if (m_ruleBook->importFrom(fileUrl.toLocalFile()))
        emit rulesChanged();
}

void AppController::addRulesFrom(const QUrl& fileUrl)
{
    if (m_ruleBook->importFrom(fileUrl.toLocalFile(), RuleBook::ImportMode::Add))
        emit rulesChanged();
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
