#include "ui/ImportRoots.h"

#include "core/RawPath.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Tessavo::Ui {

namespace {

// The path without "." and ".." and doubled slashes, when its name survives a QString.
QByteArray cleaned(const QByteArray& path)
{
    if (!roundTrips(path))
        return path;
    return QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray("/");
}

QString lastName(const QByteArray& folder)
{
    const qsizetype slash = folder.lastIndexOf('/');
    return QFile::decodeName(slash >= 0 ? folder.mid(slash + 1) : folder);
}

} // namespace

void ImportRoots::add(const QList<QByteArray>& selection)
{
    for (const QByteArray& entry : selection) {
        if (entry.isEmpty())
            continue;
        QByteArray root = cleaned(entry);
        if (!rawFileStatus(root).directory)
            root = parentOf(root);
        if (!root.endsWith('/'))
            root += '/';
        if (!m_roots.contains(root))
            m_roots.append(root);
    }
    // The most specific root names a document's folder: a file dropped from inside a folder
    // imported earlier is shown by its own folder's name.
    std::stable_sort(m_roots.begin(), m_roots.end(),
                     [](const QByteArray& a, const QByteArray& b) { return a.size() > b.size(); });
}

QString ImportRoots::folderOf(const QByteArray& filePath) const
{
    const QByteArray folder = parentOf(filePath);
    for (const QByteArray& root : m_roots) {
        const QByteArray rootFolder = root.chopped(1); // without its final slash
        if (folder != rootFolder && !folder.startsWith(root))
            continue;
        const QString name = rootFolder.isEmpty() ? QStringLiteral("/") : lastName(rootFolder);
        if (folder == rootFolder)
            return name;
        return name + u'/' + QFile::decodeName(folder.mid(root.size()));
    }
    return folder == "/" ? QStringLiteral("/") : lastName(folder);
}

} // namespace Tessavo::Ui
