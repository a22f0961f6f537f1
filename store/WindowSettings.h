#pragma once

#include "core/Failure.h"
#include "core/WrittenBundle.h"
#include "store/JsonSettingsFile.h"

#include <QRect>
#include <QString>
#include <QStringList>

namespace Tessavo::Store {

// window.json: what the window keeps between runs: where it was, how it looks, the export folder
// and the last bundle written.

inline constexpr qint64 maxWindowSettingsFileBytes = 256 * 1024;
// Coordinates further out than this are no screen's; such a value is ignored.
inline constexpr int maxWindowCoordinate = 100000;
inline constexpr qsizetype maxRememberedWarnings = 200;
inline constexpr qsizetype maxRememberedTextChars = 4096;

enum class Appearance { FollowDesktop, Light, Dark };

// "desktop", "light", "dark"; the names the file and the window use.
QString appearanceName(Appearance appearance);
// The appearance of a name, FollowDesktop for any other text.
Appearance appearanceNamed(const QString& name);

struct WindowPlacement {
    QString screen; // the name of the screen it was on; empty when never placed
    QRect geometry; // without the frame, in the screen's device-independent pixels
    bool maximized = false;

    bool known() const { return geometry.isValid(); }
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

struct RememberedExport : WrittenBundle {
    int originalsLeftOut = 0;
    QStringList warnings;

    bool known() const { return !directory.isEmpty(); }
    friend bool operator==(const RememberedExport&, const RememberedExport&) = default;
};

struct WindowSettings {
    WindowPlacement placement;
    Appearance appearance = Appearance::FollowDesktop;
    QString exportFolder; // a local path; empty when none was chosen
    RememberedExport lastExport;

    friend bool operator==(const WindowSettings&, const WindowSettings&) = default;
};

using WindowSettingsReading = SettingsFileReading<WindowSettings>;

// Reads the file when it is a regular file within the size limit, never through a link. A value
// of the wrong kind or out of range keeps its default and is named in `ignored`.
WindowSettingsReading readWindowSettingsFile(const QString& path);

QByteArray windowSettingsDocument(const WindowSettings& settings);

// Replaces the file atomically (mode 0600 in a folder of mode 0700).
Status writeWindowSettingsFile(const QString& path, const WindowSettings& settings);

// The file's settings or the defaults; what could not be used is noted in the log. An empty path
// reads the defaults.
WindowSettings loadWindowSettings(const QString& path);

// Writes the settings; a failure is noted in the log and returned. An empty path keeps nothing.
Status saveWindowSettings(const QString& path, const WindowSettings& settings);

} // namespace Tessavo::Store
