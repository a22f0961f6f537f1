#include "store/JsonSettingsFile.h"

#include "logging/LogPath.h"

#include <QDebug>
#include <QFileInfo>

namespace Tessavo::Store {

Status writeSettingsDocument(const QString& path, const QByteArray& document)
{
    const Status folder = makePrivateFolder(QFileInfo(path).absolutePath());
    if (!folder.ok)
        return Status::failure(QStringLiteral("its folder cannot be used: %1").arg(folder.error));
    return writePrivateFile(path, document);
}

void noteUnusedSettings(const QString& path, const QString& kind, const QString& error,
                        const QStringList& ignored)
{
    const QString shown = Logging::pathForLog(path);
    if (!error.isEmpty())
        qWarning().noquote() << QStringLiteral("The %1 file %2 could not be read (%3); using the "
                                               "defaults")
                                    .arg(kind, shown, error);
    for (const QString& why : ignored)
        qWarning().noquote() << QStringLiteral("A value in the %1 file %2 was ignored (%3); "
                                               "using its default")
                                    .arg(kind, shown, why);
}

Status saveSettingsDocument(const QString& path, const QString& kind, const QByteArray& document)
{
    if (path.isEmpty())
        return Status::success();
    const Status written = writeSettingsDocument(path, document);
    if (!written.ok)
        qWarning().noquote() << QStringLiteral("Cannot write the %1 file %2: %3")
                                    .arg(kind, Logging::pathForLog(path), written.error);
    return written;
}

} // namespace Tessavo::Store
