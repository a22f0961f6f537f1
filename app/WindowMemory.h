#pragma once

#include "store/WindowSettings.h"

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariantMap>

class QQuickWindow;
class QWindow;

namespace Tessavo::Ui {
struct LastExport;
}

namespace Tessavo::App {

// The window's size as designed, and the least it needs; both give way to a smaller screen.
inline constexpr QSize designedWindowSize{1180, 800};
inline constexpr QSize leastWindowSize{980, 660};

struct ScreenArea {
    QString name;
    QRect available; // the screen's geometry less panels and docks
};

struct WindowPlace {
    QRect geometry;
    QSize minimum;
};

// Where the window opens. A remembered place is used on the screen it was on, when that screen is
// still there, shrunk and moved to lie wholly inside it; otherwise the designed size, shrunk to
// the first screen and centred on it. The minimum never exceeds the screen either.
WindowPlace placeWindow(const Store::WindowPlacement& remembered, const QList<ScreenArea>& screens);

// The screens of the running application, the primary one first.
QList<ScreenArea> currentScreens();

// Keeps window.json: reads it once, gives the window what it remembered before the window is
// created, and writes what the window and the last export are at the end.
class WindowMemory {
public:
    // An empty path remembers nothing.
    explicit WindowMemory(QString path);

    const Store::WindowSettings& settings() const { return m_settings; }

    // What Main is given at start besides its place: the appearance, the export folder (when it
    // still is one) and the last bundle (when its folder is still there).
    QVariantMap rememberedProperties() const;
    // Places the just-loaded window on these screens and gives it what it remembered; a root
    // without such a property is given nothing for it.
    void apply(QQuickWindow* window, const QList<ScreenArea>& screens) const;

    // Follows the window until it closes: its place while it is shown normally, whether it is
    // maximized, and at the end its export folder and appearance.
    void follow(QQuickWindow* window);
    // Takes what the window shows now and writes the file.
    void remember(const QQuickWindow& window);
    // A bundle was written; it is shown again after a restart.
    void rememberExport(const Ui::LastExport& bundle);

private:
    // Takes the window's place while it is shown normally, and whether it is maximized.
    void take(const QWindow& window);
    void save() const;

    QString m_path;
    Store::WindowSettings m_settings;
};

} // namespace Tessavo::App
