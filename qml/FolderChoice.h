#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace Tessavo::Ui {

// What the folder dialogs need: whether the desktop brings a folder dialog of its own, and, for
// the dialog the window draws itself, which folder a typed path names. Known to QML as the
// singleton FolderChoice.
class FolderChoice : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool desktopDialog READ desktopDialog CONSTANT)

public:
    using QObject::QObject;

    // True when the platform theme Qt loads for this desktop shows its own folder dialog: the
    // GTK theme (Debian: qt6-gtk-platformtheme) on GNOME-like desktops, the portal theme
    // (qt6-xdgdesktopportal-platformtheme) when chosen or inside a sandbox. Elsewhere the window
    // draws its own.
    static bool desktopDialog();

    // The home folder, as a URL.
    Q_INVOKABLE static QUrl homeFolder();
    // The folder a typed path names, read against the folder shown: an absolute path, "~" for
    // home, or a path relative to the shown folder. Empty when no such folder exists.
    Q_INVOKABLE static QUrl folderAt(const QString& typed, const QUrl& shownFolder);
    // The folder a URL names, as the path a user types; empty for a URL that is not local.
    Q_INVOKABLE static QString pathOf(const QUrl& folder);
    // The folder above, or the same URL at the root.
    Q_INVOKABLE static QUrl parentOf(const QUrl& folder);
};

} // namespace Tessavo::Ui
