// libFuzzer harness for the names of exported originals (built only with clang; see
// tests/CMakeLists.txt). Each input line is a source path relative to the package; the paths
// are made portable, written into a ZIP together with the manifest that lists them, and the
// archive must be complete. Names go through the entry-name check as raw bytes as well.
#include "bundle/ManifestCsv.h"
#include "bundle/PortableNames.h"
#include "bundle/ZipWriter.h"
#include "core/DocumentRecord.h"
#include "support/FuzzPromise.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>

using Tessavo::Fuzz::require;

using namespace Tessavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir scratch;
    const QByteArray bytes = Tessavo::Fuzz::inputBytes(data, size);
    for (const QByteArray& line : bytes.split('\n'))
        (void)ZipWriter::validateEntryName(line);

    QStringList wanted;
    QList<DocumentRecord> records;
    for (const QByteArray& line : bytes.split('\n')) {
        const QString path = QString::fromUtf8(line);
        // Relative paths as the bundle builder makes them: no empty, "." or ".." pieces.
        QStringList pieces;
        for (const QString& piece : path.split(u'/')) {
            if (!piece.isEmpty() && piece != u"." && piece != u"..")
                pieces << piece;
        }
        if (pieces.isEmpty())
            continue;
        wanted << pieces.join(u'/');
        DocumentRecord record;
        record.fileName = pieces.last();
        record.sourcePath = QStringLiteral("/package/") + wanted.last();
        record.state = Ready;
        records << record;
        if (wanted.size() == 64)
            break;
    }
    const QStringList stored = portablePaths(wanted);
    require(stored.size() == wanted.size(), "one stored path per wanted path");
    QSet<QString> keys;
    for (const QString& path : stored) {
        require(!keys.contains(nameKey(path)), "no two stored paths clash", path);
        keys.insert(nameKey(path));
        for (const QString& piece : path.split(u'/'))
            require(portableName(piece) == piece, "every piece is portable", path);
    }

    // Fitted to a profile, with a length taken from the input: side by side, plain, unique, and
    // within the length whenever a number fits in it.
    QStringList names;
    for (const QString& path : std::as_const(wanted))
        names << path.section(u'/', -1);
    const int length = size > 0 ? 1 + data[0] % 64 : 50;
    const QStringList fitted = fittedNames(names, NameLimits{length, true});
    require(fitted.size() == names.size(), "one fitted name per name");
    QSet<QString> fittedKeys;
    for (const QString& name : fitted) {
        require(!fittedKeys.contains(nameKey(name)), "no two fitted names clash", name);
        fittedKeys.insert(nameKey(name));
        require(plainNameFault(name) == PlainNameFault::None, "every fitted name is plain", name);
        require(portableName(name) == name, "every fitted name is portable", name);
        require(nameLength(name) <= std::max(length, 6), "fitted names keep the length", name);
    }

    const QString zipPath = scratch.filePath(QStringLiteral("bundle.zip"));
    ZipWriter zip(zipPath);
    require(zip.open(), "the archive opens", zip.errorString());
    require(zip.addData(QStringLiteral("manifest.csv"), buildManifestCsv(records)),
            "the manifest is stored", zip.errorString());
    for (const QString& path : stored)
        require(zip.addData(QStringLiteral("originals/") + path, path.toUtf8()),
                "every portable name is a valid entry", zip.errorString());
    require(zip.finish(), "the archive is complete", zip.errorString());
    QFile::remove(zipPath);

    ZipWriter fittedZip(zipPath);
    require(fittedZip.open(), "the archive opens", fittedZip.errorString());
    for (const QString& name : fitted)
        require(fittedZip.addData(QStringLiteral("originals/") + name, name.toUtf8()),
                "every fitted name is a valid entry", fittedZip.errorString());
    require(fittedZip.finish(), "the archive is complete", fittedZip.errorString());
    QFile::remove(zipPath);
    return 0;
}
