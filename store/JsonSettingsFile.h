#pragma once

#include "core/Failure.h"
#include "core/PrivateFile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace Tessavo::Store {

// What reading a small JSON settings file gives: its settings, or the defaults with the reason.
template <typename Settings> struct [[nodiscard]] SettingsFileReading {
    bool ok = false;
    bool missing = false; // no file yet: the defaults, and nothing to report
    QString error;        // why the file could not be used; the defaults are taken then
    QStringList ignored;  // values of a usable file left at their default, each with the reason
    Settings settings;
};

// Replaces the file by the document atomically (mode 0600 in a folder of mode 0700).
Status writeSettingsDocument(const QString& path, const QByteArray& document);

// Notes in the log why the file could not be used (unless `error` is empty) and each value it
// left at its default; `kind` names the file for the reader ("settings", "window settings").
void noteUnusedSettings(const QString& path, const QString& kind, const QString& error,
                        const QStringList& ignored);

// Writes the document unless the path is empty (then nothing is kept); a failure is noted in the
// log and returned.
Status saveSettingsDocument(const QString& path, const QString& kind, const QByteArray& document);

// Reads a private file holding one JSON object (never through a link, within maxBytes) and lets
// `take(object, settings, ignored)` fill the settings from it; a file that is not an object fails
// with `notAnObject`.
template <typename Settings, typename Take>
SettingsFileReading<Settings> readJsonSettings(const QString& path, qint64 maxBytes,
                                               const QString& notAnObject, Take take)
{
    SettingsFileReading<Settings> reading;
    const PrivateJsonRead file = readPrivateJsonObject(path, maxBytes, notAnObject);
    reading.missing = file.missing;
    reading.error = file.error;
    if (file.ok) {
        take(file.object, reading.settings, reading.ignored);
        reading.ok = true;
    }
    return reading;
}

// The settings read, the defaults where they could not be used; what was not used is noted in
// the log.
template <typename Settings>
Settings loadedSettings(const SettingsFileReading<Settings>& reading, const QString& path,
                        const QString& kind)
{
    noteUnusedSettings(path, kind, reading.ok || reading.missing ? QString() : reading.error,
                       reading.ignored);
    return reading.settings;
}

} // namespace Tessavo::Store
