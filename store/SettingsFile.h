#pragma once

#include "core/Failure.h"

#include <QString>

namespace Tessavo::Ui {

// settings.json: the text recognition settings the window keeps between runs.

inline constexpr qint64 maxSettingsFileBytes = 64 * 1024;
inline constexpr qsizetype maxLanguageChars = 64;

struct RecognitionSettings {
    bool recogniseDuringImport = false;
    QString language; // Tesseract language codes joined by '+'; empty for the default

    friend bool operator==(const RecognitionSettings&, const RecognitionSettings&) = default;
};

// Whether a text can name recognition languages: letters, digits and '_' joined by '+', within
// the length limit. Anything else never reaches the recogniser.
bool isLanguageCode(const QString& language);

struct [[nodiscard]] SettingsReading {
    bool ok = false;
    bool missing = false; // no file yet: the defaults, and nothing to report
    QString error;        // why the file could not be used; the defaults are taken then
    RecognitionSettings settings;
};

// Reads the file when it is a regular file within the size limit; never through a link and never
// blocking. Unknown keys and values of the wrong type are ignored.
SettingsReading readSettingsFile(const QString& path);

// The file's bytes for these settings.
QByteArray settingsDocument(const RecognitionSettings& settings);

// Replaces the file atomically (mode 0600 in a folder of mode 0700).
Status writeSettingsFile(const QString& path, const RecognitionSettings& settings);

} // namespace Tessavo::Ui
