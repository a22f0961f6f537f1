#include "store/RulesStore.h"

#include "logging/LogPath.h"

#include "core/PrivateFile.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace Tessavo::Store {

RulesStore::RulesStore(const QString& path)
    : m_path(path)
{}

RulesStore::Loaded RulesStore::load()
{
    Loaded loaded;
    loaded.rules = defaultRules();
    if (m_path.isEmpty())
        return loaded;
    const QString name = Logging::pathForLog(m_path);
    // The kept file is read only as a regular file of its own, never through a link.
    const EntryKind kind = entryKind(m_path);
    RulesFileBytes file;
    if (kind == EntryKind::Link || kind == EntryKind::Other) {
        file.error = QStringLiteral("not a regular file");
    } else {
        file = readRulesFileBytes(m_path);
    }
    if (!file.ok) {
        m_unusable = !file.missing;
        if (m_unusable) {
            qWarning().noquote() << QStringLiteral("The rules file %1 could not be read (%2); "
                                                   "using the built-in rules")
                                        .arg(name, file.error);
            loaded.problem = file.error;
        } else {
            qInfo().noquote()
                << QStringLiteral("No rules file %1 yet; using the built-in rules").arg(name);
        }
        return loaded;
    }
    const RulesReading reading = readRulesWithinLimits(file.bytes);
    logRefusedRules(reading, name);
    m_unusable = reading.rules.isEmpty();
    if (m_unusable) {
        qWarning().noquote()
            << QStringLiteral("The rules file %1 holds no usable rules; using the built-in rules")
                   .arg(name);
        return loaded;
    }
    qInfo().noquote() << QStringLiteral("Loaded %1 rule(s) from %2")
                             .arg(QString::number(reading.rules.size()), name);
    loaded.rules = reading.rules;
    loaded.builtIn = false;
    return loaded;
}

bool RulesStore::save(const QList<Rule>& rules)
{
    m_error.clear();
    if (m_path.isEmpty())
        return true;
    if (!makePrivateFolder(QFileInfo(m_path).path()).ok) {
        m_error = QStringLiteral("its folder cannot be created");
        return false;
    }
    if (!keepUnusableFile())
        return false;
    if (const Status written = writePrivateFile(m_path, rulesDocument(rules)); !written.ok) {
        m_error = written.error;
        return false;
    }
    qInfo().noquote() << QStringLiteral("Saved %1 rule(s) to %2")
                             .arg(QString::number(rules.size()), Logging::pathForLog(m_path));
    return true;
}

// Keeps the bytes of a rules file that could not be used when loaded as "<file>.bak" before the
// first save replaces it. False when they could not be kept, so nothing may overwrite them.
bool RulesStore::keepUnusableFile()
{
    if (!m_unusable)
        return true;
    const QString name = Logging::pathForLog(m_path);
    const QString backupPath = m_path + QStringLiteral(".bak");
    const EntryKind kind = entryKind(m_path);
    if (kind == EntryKind::Link || (kind == EntryKind::Other && !QFileInfo(m_path).isDir())) {
        // A link, pipe or device holds no bytes of ours. The entry itself goes, so that the save
        // neither follows a link to somewhere else nor writes into a pipe or device.
        if (!QFile::remove(m_path)) {
            m_error = QStringLiteral("it is not a regular file and cannot be replaced");
            return false;
        }
        qWarning().noquote() << QStringLiteral("The rules file %1 is not a regular file; it is "
                                               "replaced without a backup")
                                    .arg(name);
    } else if (kind == EntryKind::RegularFile) {
        // The unusable file itself becomes the backup; the save then writes a new one.
        if (::rename(QFile::encodeName(m_path).constData(),
                     QFile::encodeName(backupPath).constData()) != 0) {
            m_error = QStringLiteral("the unusable file could not be backed up, so it is left as "
                                     "it is");
            return false;
        }
        (void)securePrivateFile(backupPath);
        qWarning().noquote() << QStringLiteral("The rules file could not be used at start-up; its "
                                               "content was kept as %1")
                                    .arg(Logging::pathForLog(backupPath));
    }
    m_unusable = false;
    return true;
}

void logRefusedRules(const RulesReading& reading, const QString& fileName)
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
    if (reading.wrongTypes > 0)
        qWarning().noquote()
            << QStringLiteral("Left %1 condition(s) of %2 unset: their values have the wrong type")
                   .arg(QString::number(reading.wrongTypes), fileName);
}

} // namespace Tessavo::Store
