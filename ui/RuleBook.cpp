#include "ui/RuleBook.h"

#include "logging/LogPath.h"

#include <QSaveFile>

#include <algorithm>

namespace Tessavo::Ui {

RuleBook::RuleBook(const RulesStore& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
    const RulesStore::Loaded loaded = m_store->load();
    m_model.setRules(loaded.rules);
    m_startupProblem = loaded.problem;
}

RuleBook::RuleBook(const QList<Rule>& fixedRules, QObject* parent)
    : QObject(parent)
{
    m_model.setRules(fixedRules);
}

bool RuleBook::add(const QString& name, const QString& category, const QString& fileContains,
                   const QString& textContains, int minPages, int maxPages, int priority)
{
    Rule rule;
    rule.name = name.trimmed();
    rule.category = category.trimmed();
    rule.fileContains = fileContains.trimmed();
    rule.textContains = textContains.trimmed();
    rule.minPages = minPages < 1 ? 0 : minPages;
    rule.maxPages = maxPages < 1 ? 0 : maxPages;
    rule.priority = std::clamp(priority, 1, 1000);
    rule.id = newRuleId();
    if (!isValid(rule)) {
        emit status(QStringLiteral("A rule needs a name, a category and at least one condition."));
        return false;
    }
    m_model.appendRule(rule);
    commit(QStringLiteral("Rule \"%1\" added.").arg(rule.name));
    return true;
}

bool RuleBook::remove(int row)
{
    m_model.removeRule(row); // a row outside the list removes nothing; the list is saved anyway
    commit(QString());
    return true;
}

bool RuleBook::setEnabled(int row, bool enabled)
{
    const bool found = m_model.update(row, [enabled](Rule& rule) {
        rule.enabled = enabled;
        return true;
    });
    if (!found)
        return false;
    commit(QString());
    return true;
}

bool RuleBook::importFrom(const QString& path)
{
    const QString name = Logging::pathForLog(path);
    const RulesFileBytes file = readRulesFileBytes(path);
    if (!file.ok) {
        emit status(QStringLiteral("Cannot read the rules file."));
        qWarning().noquote()
            << QStringLiteral("Cannot read the rules file %1: %2").arg(name, file.error);
        return false;
    }
    const RulesReading reading = readRulesWithinLimits(file.bytes);
    logRefusedRules(reading, name);
    const QList<Rule>& loaded = reading.rules;
    if (loaded.isEmpty()) {
        emit status(QStringLiteral("The rules file contains no valid rules."));
        qWarning().noquote()
            << QStringLiteral("The rules file %1 contains no valid rules").arg(name);
        return false;
    }
    m_model.setRules(loaded);
    const int refused = reading.refusedTooLong + reading.refusedTooMany;
    commit(refused > 0 ? QStringLiteral("Loaded %1 rule(s); refused %2 that exceed the limits.")
                             .arg(QString::number(loaded.size()), QString::number(refused))
                       : QStringLiteral("Loaded %1 rule(s).").arg(loaded.size()));
    qInfo().noquote()
        << QStringLiteral("Loaded %1 rule(s) from %2").arg(QString::number(loaded.size()), name);
    return true;
}

void RuleBook::exportTo(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString name = Logging::pathForLog(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit status(QStringLiteral("Cannot write rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot write rules to %1: %2").arg(name, file.errorString());
        return;
    }
    file.write(rulesDocument(rules()));
    if (!file.commit()) {
        emit status(QStringLiteral("Cannot save rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot save rules to %1: %2").arg(name, file.errorString());
        return;
    }
    emit status(QStringLiteral("Rules exported to %1").arg(path));
    qInfo().noquote() << QStringLiteral("Rules exported to %1").arg(name);
}

// Classifies again with the changed list, then saves it; a failed save outranks the done text.
void RuleBook::commit(const QString& doneText)
{
    emit changed();
    if (m_store && !m_store->save(rules())) {
        const QString reason = m_store->errorString();
        emit status(
            QStringLiteral("The rules were changed but could not be saved: %1").arg(reason));
        qWarning().noquote() << QStringLiteral("Cannot save the rules to %1: %2")
                                    .arg(Logging::pathForLog(m_store->path()), reason);
        return;
    }
    if (!doneText.isEmpty())
        emit status(doneText);
}

} // namespace Tessavo::Ui
