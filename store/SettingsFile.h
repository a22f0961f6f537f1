#pragma once

#include "core/Failure.h"
#include "store/JsonSettingsFile.h"

#include <QString>
#include <QStringList>

namespace Tessavo::Store {

// settings.json: the text recognition settings the window keeps between runs.

inline constexpr qint64 maxSettingsFileBytes = 64 * 1024;
inline constexpr qsizetype maxLanguageChars = 64;

struct Settings {
    bool recogniseDuringImport = false;
    QString language; // Tesseract language codes joined by '+'; empty for the default

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Whether a text can name recognition languages: letters, digits and '_' joined by '+', within
// the length limit. Anything else never reaches the recogniser.
bool isLanguageCode(const QString& language);

using SettingsReading = SettingsFileReading<Settings>;

// Reads the file when it is a regular file within the size limit; never through a link and never
// blocking. Unknown keys are ignored; a known key with a value that cannot be used keeps its
// default and is named in `ignored`.
SettingsReading readSettingsFile(const QString& path);

// The file's bytes for these settings.
QByteArray settingsDocument(const Settings& settings);

// Replaces the file atomically (mode 0600 in a folder of mode 0700).
Status writeSettingsFile(const QString& path, const Settings& settings);

// The settings of the file, or the defaults: whatever could not be used is noted in the log with
// its reason. An empty path keeps nothing and reads the defaults.
Settings loadSettings(const QString& path);

// Writes the settings; a failure is noted in the log and returned. An empty path keeps nothing.
Status saveSettings(const QString& path, const Settings& settings);

} // namespace Tessavo::Store
