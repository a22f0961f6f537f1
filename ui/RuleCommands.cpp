// The controller's rule commands and the rules file they keep up to date.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/RulesFile.h"
#include "logging/LogPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Tessavo::Ui {

// The rules of the last run, or the built-in rules when there are none to be had. Silent, and
// writes nothing.
void AppController::loadRulesAtStartup()
{
    const QString name = Logging::pathForLog(m_rulesPath);
    const RulesFileBytes file = readRulesFileBytes(m_rulesPath);
    if (!file.ok) {
        m_rulesFileUnusable = !file.missing;
        if (m_rulesFileUnusable) {
            qWarning().noquote() << QStringLiteral(
                                        "The rules file %1 could not be read (%2); using the "
                                        "built-in rules")
                                        .arg(name, file.error);
            m_startupRulesStatus =
                QStringLiteral("The saved rules could not be read (%1); the built-in "
                               "rules are used.")
                    .arg(file.error);
        } else {
            qInfo().noquote()
                << QStringLiteral("No rules file %1 yet; using the built-in rules").arg(name);
        }
        m_rules.setRules(defaultRules());
        return;
    }
    const RulesReading reading = readRulesWithinLimits(file.bytes);
    logRefusedRules(reading, name);
    const QList<Rule>& loaded = reading.rules;
    m_rulesFileUnusable = loaded.isEmpty();
    m_rules.setRules(loaded.isEmpty() ? defaultRules() : loaded);
    if (loaded.isEmpty())
        qWarning().noquote()
            << QStringLiteral("The rules file %1 holds no usable rules; using the built-in rules")
                   .arg(name);
    else
        qInfo().noquote() << QStringLiteral("Loaded %1 rule(s) from %2")
                                 .arg(QString::number(loaded.size()), name);
}

// One warning for each kind of rule the limits kept out.
void AppController::logRefusedRules(const RulesReading& reading, const QString& fileName)
{
    if (reading.refusedTooLong > 0)
        qWarning().noquote()
            << QStringLiteral("Refused %1 rule(s) of %2 with a text longer than %3 characters")
                   .arg(QString::number(reading.refusedTooLong), fileName,
                        QString::number(maxRuleTextChars));
    if (reading.refusedTooMany > 0)
        qWarning().noquote() << QStringLiteral("Refused %1 rule(s) of %2 beyond the first %3")
                                    .arg(QString::number(reading.refusedTooMany), fileName,
                                         QString::number(maxRuleCount));
}

void AppController::addRule(const QString& name, const QString& category,
                            const QString& fileContains, const QString& textContains, int minPages,
                            int maxPages, int priority)
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
        setStatus(QStringLiteral("A rule needs a name, a category and at least one condition."));
        return;
    }
    m_rules.appendRule(rule);
    reclassifyAll();
    persistRules();
    setStatus(QStringLiteral("Rule \"%1\" added.").arg(rule.name));
    emit rulesChanged();
}

void AppController::removeRule(int row)
{
    m_rules.removeRule(row);
    reclassifyAll();
    persistRules();
    emit rulesChanged();
}

void AppController::setRuleEnabled(int row, bool enabled)
{
    Rule* rule = m_rules.ruleAt(row);
    if (!rule)
        return;
    rule->enabled = enabled;
    m_rules.notifyRowChanged(row);
    reclassifyAll();
    persistRules();
    emit rulesChanged();
}

void AppController::saveRules(const QUrl& fileUrl)
{
    const QString path = fileUrl.toLocalFile();
    if (path.isEmpty())
        return;
    const QString name = Logging::pathForLog(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setStatus(QStringLiteral("Cannot write rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot write rules to %1: %2").arg(name, file.errorString());
        return;
    }
    file.write(rulesDocument(m_rules.ruleList()));
    if (file.commit()) {
        setStatus(QStringLiteral("Rules exported to %1").arg(path));
        qInfo().noquote() << QStringLiteral("Rules exported to %1").arg(name);
    } else {
        setStatus(QStringLiteral("Cannot save rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot save rules to %1: %2").arg(name, file.errorString());
    }
}

void AppController::loadRules(const QUrl& fileUrl)
{
    const QString path = fileUrl.toLocalFile();
    const QString name = Logging::pathForLog(path);
    const RulesFileBytes file = readRulesFileBytes(path);
    if (!file.ok) {
        setStatus(QStringLiteral("Cannot read the rules file."));
        qWarning().noquote()
            << QStringLiteral("Cannot read the rules file %1: %2").arg(name, file.error);
        return;
    }
    const RulesReading reading = readRulesWithinLimits(file.bytes);
    logRefusedRules(reading, name);
    const QList<Rule>& loaded = reading.rules;
    if (loaded.isEmpty()) {
        setStatus(QStringLiteral("The rules file contains no valid rules."));
        qWarning().noquote()
            << QStringLiteral("The rules file %1 contains no valid rules").arg(name);
        return;
    }
    m_rules.setRules(loaded);
    reclassifyAll();
    persistRules();
    const int refused = reading.refusedTooLong + reading.refusedTooMany;
    if (refused > 0)
        setStatus(QStringLiteral("Loaded %1 rule(s); refused %2 that exceed the limits.")
                      .arg(QString::number(loaded.size()), QString::number(refused)));
    else
        setStatus(QStringLiteral("Loaded %1 rule(s).").arg(loaded.size()));
    qInfo().noquote()
        << QStringLiteral("Loaded %1 rule(s) from %2").arg(QString::number(loaded.size()), name);
    emit rulesChanged();
}

void AppController::reclassifyAll()
{
    const QList<Rule> rules = m_rules.ruleList();
    QList<int> rows;
    for (int row = 0; row < m_documents.rowCount(); ++row) {
        DocumentRecord* record = m_documents.recordAt(row);
        applySuggestion(*record, classify(rules, *record));
        if (record->decision == Accepted)
            record->finalCategory = record->suggestedCategory;
        rows.append(row);
    }
    m_documents.notifyAllChanged();
    storeReviews(rows);
    emit summaryChanged();
}

// Keeps the bytes of a rules file that could not be used at start-up as rules.json.bak before the
// first write replaces it. False when they could not be kept, so nothing may overwrite them.
bool AppController::keepUnusableRulesFile()
{
    if (!m_rulesFileUnusable)
        return true;
    const QString backupPath = m_rulesPath + QStringLiteral(".bak");
    const QFileInfo original(m_rulesPath);
    if (original.isSymLink() || (original.exists() && !original.isFile() && !original.isDir())) {
        // A link, pipe or device holds no bytes of ours. The entry itself goes, so that the save
        // neither follows a link to somewhere else nor writes into a pipe or device.
        if (!QFile::remove(m_rulesPath)) {
            qWarning().noquote() << QStringLiteral(
                                        "The rules file %1 is not a regular file and cannot be "
                                        "replaced")
                                        .arg(Logging::pathForLog(m_rulesPath));
            return false;
        }
        qWarning().noquote() << QStringLiteral(
                                    "The rules file %1 is not a regular file; it is replaced "
                                    "without a backup")
                                    .arg(Logging::pathForLog(m_rulesPath));
    } else if (original.exists()) {
        if (!copyInBlocks(m_rulesPath, backupPath)) {
            qWarning().noquote() << QStringLiteral(
                                        "The unusable rules file %1 could not be backed up; it "
                                        "is left as it is")
                                        .arg(Logging::pathForLog(m_rulesPath));
            return false;
        }
        qWarning().noquote() << QStringLiteral(
                                    "The rules file could not be used at start-up; its content was "
                                    "kept as %1")
                                    .arg(Logging::pathForLog(backupPath));
    }
    m_rulesFileUnusable = false;
    return true;
}

// Copies a regular file through an atomic save file, a block at a time, whatever its size.
bool AppController::copyInBlocks(const QString& from, const QString& to)
{
    QFile in(from);
    QSaveFile out(to);
    if (!QFileInfo(from).isFile() || !in.open(QIODevice::ReadOnly) ||
        !out.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (out.write(block.constData(), got) != got)
            return false;
    }
    return out.commit();
}

void AppController::persistRules()
{
    if (m_rulesPath.isEmpty())
        return;
    const QString name = Logging::pathForLog(m_rulesPath);
    if (!QDir().mkpath(QFileInfo(m_rulesPath).path())) {
        qWarning().noquote() << QStringLiteral(
                                    "Cannot save the rules: the folder of %1 cannot be created")
                                    .arg(name);
        return;
    }
    if (!keepUnusableRulesFile())
        return;
    QSaveFile file(m_rulesPath);
    const QList<Rule> rules = m_rules.ruleList();
    const QByteArray document = rulesDocument(rules);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() ||
        !file.commit()) {
        qWarning().noquote()
            << QStringLiteral("Cannot save the rules to %1: %2").arg(name, file.errorString());
        return;
    }
    qInfo().noquote()
        << QStringLiteral("Saved %1 rule(s) to %2").arg(QString::number(rules.size()), name);
}

} // namespace Tessavo::Ui
