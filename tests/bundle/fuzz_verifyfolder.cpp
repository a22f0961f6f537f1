// libFuzzer harness for the bundle verifier over a bundle folder (built only with clang; see
// tests/CMakeLists.txt). The input is cut at each "\n%%\n": the first piece becomes
// manifest.csv, the second index.pdf, the third the ZIP beside the folder (left out when empty),
// and every further piece one file below originals/, named by its first line (names that would
// leave the folder are made harmless first). index.pdf is taken as opening, so that no PDF
// engine or worker process runs. The verifier must return with at most 101 problem lines.
#include "bundle/BundleVerifier.h"
#include "core/Failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Tessavo;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void mustWrite(const QString& path, const QByteArray& bytes)
{
    if (!writeFile(path, bytes))
        std::abort();
}

// A relative path of at most four plain pieces, or empty.
QString harmlessName(const QByteArray& line)
{
    QStringList pieces;
    for (const QByteArray& piece : line.left(200).split('/')) {
        if (piece.isEmpty() || piece == "." || piece == ".." || piece.contains('\0'))
            continue;
        pieces.append(QString::fromUtf8(piece));
        if (pieces.size() == 4)
            break;
    }
    return pieces.join(u'/');
}

const QByteArray separator("\n%%\n");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("Tessavo-Export"));
    const QString zip = folder + QStringLiteral(".zip");
    QDir(folder).removeRecursively();
    QFile::remove(zip);
    if (!QDir().mkpath(folder + QStringLiteral("/originals")))
        std::abort();

    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<QByteArray> parts;
    for (qsizetype from = 0;;) {
        const qsizetype cut = bytes.indexOf(separator, from);
        parts.append(bytes.mid(from, cut < 0 ? -1 : cut - from));
        if (cut < 0)
            break;
        from = cut + separator.size();
    }
    mustWrite(folder + QStringLiteral("/manifest.csv"), parts.value(0));
    if (parts.size() > 1)
        mustWrite(folder + QStringLiteral("/index.pdf"), parts.at(1));
    if (parts.size() > 2 && !parts.at(2).isEmpty())
        mustWrite(zip, parts.at(2));
    for (qsizetype i = 3; i < parts.size() && i < 64; ++i) {
        const qsizetype lineEnd = parts.at(i).indexOf('\n');
        const QString name = harmlessName(parts.at(i).left(lineEnd < 0 ? 0 : lineEnd));
        if (name.isEmpty())
            continue;
        const QString path = folder + QStringLiteral("/originals/") + name;
        if (!QDir().mkpath(path.section(u'/', 0, -2)))
            continue; // a file already took a folder's name
        // A name the file system refuses is simply not there.
        (void)writeFile(path, lineEnd < 0 ? QByteArray() : parts.at(i).mid(lineEnd + 1));
    }
    const BundleVerification result =
        verifyBundle(folder, [](const QString&) { return Status::success(); });
    if (result.problems.size() > 101 || result.problemCount < result.problems.size()) {
        std::fprintf(stderr, "broken promise: %lld problems listed\n",
                     static_cast<long long>(result.problems.size()));
        std::abort();
    }
    return 0;
}
