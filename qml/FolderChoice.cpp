#include "FolderChoice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace Tessavo::Ui {

namespace {

// The theme plugins, in the order Qt tries them, that bring a folder dialog of their own.
QStringList dialogThemes()
{
    QStringList themes;
    const QString chosen = qEnvironmentVariable("QT_QPA_PLATFORMTHEME");
    if (!chosen.isEmpty()) {
        themes.append(chosen);
        return themes;
    }
    if (QFileInfo::exists(QStringLiteral("/.flatpak-info")) || qEnvironmentVariableIsSet("SNAP"))
        themes.append(QStringLiteral("xdgdesktopportal"));
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
    for (const char* gtkDesktop : {"gnome", "unity", "x-cinnamon", "cinnamon", "mate", "xfce",
                                   "lxde", "budgie", "pantheon"}) {
        if (desktop.contains(QLatin1StringView(gtkDesktop))) {
            themes.append(QStringLiteral("gtk3"));
            break;
        }
    }
    return themes;
}

bool themePluginInstalled(const QString& theme)
{
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    for (const QString& folder : libraryPaths) {
        if (QFileInfo::exists(QStringLiteral("%1/platformthemes/libq%2.so").arg(folder, theme)))
            return true;
    }
    return false;
}

} // namespace

bool FolderChoice::desktopDialog()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1StringView("xcb") && platform != QLatin1StringView("wayland"))
        return false;
    const QStringList themes = dialogThemes();
    for (const QString& theme : themes) {
        if (theme != QLatin1StringView("gtk3") && theme != QLatin1StringView("xdgdesktopportal"))
            continue;
        if (themePluginInstalled(theme))
            return true;
    }
    return false;
}

QUrl FolderChoice::homeFolder()
{
    return QUrl::fromLocalFile(QDir::homePath());
}

QUrl FolderChoice::folderAt(const QString& typed, const QUrl& shownFolder)
{
    QString path = typed.trimmed();
    if (path.isEmpty())
        return {};
    if (path.startsWith(QLatin1StringView("file:")))
        path = QUrl(path).toLocalFile();
    else if (path == u'~' || path.startsWith(QLatin1StringView("~/")))
        path = QDir::homePath() + path.mid(1);
    if (QDir::isRelativePath(path)) {
        if (!shownFolder.isLocalFile())
            return {};
        path = QDir(shownFolder.toLocalFile()).filePath(path);
    }
    const QFileInfo info(path);
    if (!info.isDir())
        return {};
    return QUrl::fromLocalFile(QDir::cleanPath(info.absoluteFilePath()));
}

QString FolderChoice::pathOf(const QUrl& folder)
{
    return folder.isLocalFile() ? QDir::toNativeSeparators(folder.toLocalFile()) : QString();
}

QUrl FolderChoice::parentOf(const QUrl& folder)
{
    if (!folder.isLocalFile())
        return folder;
    QDir dir(folder.toLocalFile());
    return dir.cdUp() ? QUrl::fromLocalFile(dir.absolutePath()) : folder;
}

} // namespace Tessavo::Ui
