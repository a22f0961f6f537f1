#include "LocalFiles.h"

#include <QFileInfo>

namespace Tessavo::Ui {

QUrl LocalFiles::fileUrl(const QUrl& chosen, const QString& defaultSuffix)
{
    QString path;
    if (chosen.isLocalFile())
        path = chosen.toLocalFile();
    else if (chosen.scheme().isEmpty())
        path = chosen.path(QUrl::FullyDecoded);
    else if (chosen.scheme().size() == 1) // a drive letter read as a scheme: "C:/rules"
        path = chosen.toString(QUrl::FullyDecoded);
    if (path.isEmpty() || path.endsWith(u'/'))
        return {};
    const QFileInfo info(path);
    if (info.isDir())
        return {};
    if (info.suffix().isEmpty() && !defaultSuffix.isEmpty())
        path += u'.' + defaultSuffix;
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

bool LocalFiles::exists(const QUrl& url)
{
    return url.isLocalFile() && QFileInfo::exists(url.toLocalFile());
}

QString LocalFiles::fileName(const QUrl& url)
{
    return QFileInfo(url.isLocalFile() ? url.toLocalFile() : url.path()).fileName();
}

} // namespace Tessavo::Ui
