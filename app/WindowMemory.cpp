#include "app/WindowMemory.h"

#include "ui/LastExport.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace Tessavo::App {

namespace {

QSize fitted(QSize wanted, QSize room)
{
    return {std::clamp(wanted.width(), 1, std::max(1, room.width())),
            std::clamp(wanted.height(), 1, std::max(1, room.height()))};
}

// Moves the rectangle, already no larger than the area, to lie inside it.
QRect inside(QRect rect, const QRect& area)
{
    rect.moveLeft(std::clamp(rect.left(), area.left(), area.right() + 1 - rect.width()));
    rect.moveTop(std::clamp(rect.top(), area.top(), area.bottom() + 1 - rect.height()));
    return rect;
}

bool isFolder(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isAbsolute() && info.isDir();
}

} // namespace

WindowPlace placeWindow(const Store::WindowPlacement& remembered, const QList<ScreenArea>& screens)
{
    if (screens.isEmpty())
        return {QRect(QPoint(0, 0), designedWindowSize), leastWindowSize};
    const auto same = std::find_if(screens.cbegin(), screens.cend(), [&](const ScreenArea& s) {
        return s.name == remembered.screen;
    });
    const bool onItsScreen = remembered.known() && same != screens.cend();
    const QRect area = onItsScreen ? same->available : screens.constFirst().available;
    WindowPlace place;
    place.minimum = fitted(leastWindowSize, area.size());
    if (onItsScreen) {
        const QSize size =
            fitted(remembered.geometry.size().expandedTo(place.minimum), area.size());
        place.geometry = inside(QRect(remembered.geometry.topLeft(), size), area);
        return place;
    }
    const QSize size = fitted(designedWindowSize, area.size());
    place.geometry = QRect(QPoint(0, 0), size);
    place.geometry.moveCenter(area.center());
    place.geometry = inside(place.geometry, area);
    return place;
}

QList<ScreenArea> currentScreens()
{
    QList<ScreenArea> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.append({primary->name(), primary->availableGeometry()});
    const QList<QScreen*> all = QGuiApplication::screens();
    for (QScreen* screen : all) {
        if (screen != primary)
            screens.append({screen->name(), screen->availableGeometry()});
    }
    return screens;
}

WindowMemory::WindowMemory(QString path)
    : m_path(std::move(path))
    , m_settings(Store::loadWindowSettings(m_path))
{}

QVariantMap WindowMemory::rememberedProperties() const
{
    QVariantMap properties{
        {QStringLiteral("appearance"), Store::appearanceName(m_settings.appearance)}};
    if (isFolder(m_settings.exportFolder))
        properties.insert(QStringLiteral("startExportFolder"),
                          QUrl::fromLocalFile(m_settings.exportFolder));
    // A bundle the user has since removed is not offered again.
    const Store::RememberedExport& last = m_settings.lastExport;
    if (last.known() && isFolder(last.directory)) {
        properties.insert(QStringLiteral("rememberedExport"),
                          QVariantMap{{QStringLiteral("ok"), true},
                                      {QStringLiteral("directory"), last.directory},
                                      {QStringLiteral("csv"), last.csv},
                                      {QStringLiteral("pdf"), last.pdf},
                                      {QStringLiteral("zip"), last.zip},
                                      {QStringLiteral("volumes"), last.volumes},
                                      {QStringLiteral("exported"), last.exported},
                                      {QStringLiteral("skipped"), last.skipped},
                                      {QStringLiteral("originalsLeftOut"), last.originalsLeftOut},
                                      {QStringLiteral("warnings"), last.warnings}});
    }
    return properties;
}

void WindowMemory::apply(QQuickWindow* window, const QList<ScreenArea>& screens) const
{
    const WindowPlace place = placeWindow(m_settings.placement, screens);
    window->setMinimumSize(place.minimum);
    window->setGeometry(place.geometry);
    const QVariantMap properties = rememberedProperties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        if (window->property(name.constData()).isValid())
            window->setProperty(name.constData(), it.value());
    }
}

void WindowMemory::take(const QWindow& window)
{
    const QWindow::Visibility visibility = window.visibility();
    if (visibility == QWindow::Hidden || visibility == QWindow::Minimized)
        return;
    m_settings.placement.maximized = visibility == QWindow::Maximized;
    // The size to come back to is the one it had while shown normally.
    if (visibility == QWindow::Windowed) {
        const QRect geometry = window.geometry();
        m_settings.placement.geometry = geometry;
        // The screen that holds most of it is where it comes back.
        const QScreen* screen = QGuiApplication::screenAt(geometry.center());
        if (!screen)
            screen = window.screen();
        if (screen)
            m_settings.placement.screen = screen->name();
    }
}

void WindowMemory::follow(QQuickWindow* window)
{
    if (m_settings.placement.maximized)
        window->showMaximized();
    const auto track = [this, window] {
        take(*window);
    };
    QObject::connect(window, &QWindow::visibilityChanged, window, track);
    QObject::connect(window, &QWindow::xChanged, window, track);
    QObject::connect(window, &QWindow::yChanged, window, track);
    QObject::connect(window, &QWindow::widthChanged, window, track);
    QObject::connect(window, &QWindow::heightChanged, window, track);
    take(*window);
}

void WindowMemory::remember(const QQuickWindow& window)
{
    // A window still shown is where it is now, whatever it has told so far.
    if (window.isVisible())
        take(window);
    const QUrl folder = window.property("exportFolder").toUrl();
    if (folder.isLocalFile())
        m_settings.exportFolder = folder.toLocalFile();
    m_settings.appearance = Store::appearanceNamed(window.property("appearance").toString());
    save();
}

void WindowMemory::rememberExport(const Ui::LastExport& bundle)
{
    if (!bundle.ok)
        return;
    m_settings.lastExport = {bundle, bundle.originalsLeftOut, bundle.warnings};
    save();
}

void WindowMemory::save() const
{
    static_cast<void>(Store::saveWindowSettings(m_path, m_settings));
}

} // namespace Tessavo::App
