#include "core/FolderWalk.h"

#include "core/BundleLayout.h"
#include "core/RawPath.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

// The name a bundle folder has while it is written; a complete one is recognised by its content,
// since the user may rename it.
const QByteArray pendingBundlePrefix = BundleLayout::bytes(BundleLayout::pendingPrefix);

bool hasPdfSuffix(const QByteArray& name)
{
    return name.size() > 4 && name.right(4).toLower() == ".pdf";
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The path with every link resolved; empty when it leads nowhere.
QByteArray resolved(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    if (!real)
        return {};
    QByteArray result(real);
    std::free(real);
    return result;
}

bool lies(const QByteArray& path, const QByteArray& inside)
{
    if (path == inside)
        return true;
    const QByteArray prefix = inside.endsWith('/') ? inside : inside + '/';
    return path.startsWith(prefix);
}

// Reads the first bytes of a regular file without following a link or waiting on a pipe.
bool startsWith(const QByteArray& path, const QByteArray& expected)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    QByteArray head(expected.size(), '\0');
    qsizetype got = 0;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        while (got < head.size()) {
            const ssize_t n = ::read(fd, head.data() + got, size_t(head.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
    }
    ::close(fd);
    return got == head.size() && head == expected;
}

class Walker {
public:
    explicit Walker(FolderWalkResult& result)
        : m_result(result)
    {}

    void walkRoot(const QByteArray& root)
    {
        m_realRoot = resolved(root);
        // A folder the user chose is walked whatever it is, even a bundle of ours.
        if (!m_realRoot.isEmpty())
            walk(root, 0);
    }

private:
    void skip(const QByteArray& path, SkipReason reason)
    {
        ++m_result.skippedByReason[size_t(reason)];
        if (m_result.skipped.size() < maxListedSkips)
            m_result.skipped.append({path, reason});
    }

    void walk(const QByteArray& folder, int depth)
    {
        DIR* dir = ::opendir(folder.constData());
        if (!dir) {
            skip(folder, SkipReason::Unreadable);
            return;
        }
        QList<QByteArray> names;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const QByteArray& name : std::as_const(names))
            visit(joined(folder, name), name, depth + 1);
    }

    // One entry of a folder at the given depth below the root.
    void visit(const QByteArray& path, const QByteArray& name, int depth)
    {
        struct stat own {};
        if (::lstat(path.constData(), &own) != 0)
            return;
        const bool pdfName = hasPdfSuffix(name);
        if (S_ISDIR(own.st_mode)) {
            if (name.startsWith(pendingBundlePrefix))
                skip(path, SkipReason::ExportedBundle);
            else if (name.startsWith('.'))
                skip(path, SkipReason::Hidden);
            else if (depth > maxFolderDepth)
                skip(path, SkipReason::TooDeep);
            else if (isExportedBundle(path))
                skip(path, SkipReason::ExportedBundle);
            else
                walk(path, depth);
            return;
        }
        if (pdfName && name.startsWith('.')) {
            skip(path, SkipReason::Hidden);
            return;
        }
        if (S_ISLNK(own.st_mode)) {
            visitLink(path, pdfName);
            return;
        }
        if (!pdfName)
            return;
        if (S_ISREG(own.st_mode))
            m_result.pdfs.append(
                {path,
                 qint64(own.st_size),
                 nanosecondsSinceEpoch(qint64(own.st_mtim.tv_sec), own.st_mtim.tv_nsec),
                 {}});
        else
            skip(path, SkipReason::NotAFile);
    }

    // A link is followed only to a PDF file inside the walked folder; its content is read under
    // the link's own name, as the user sees it in the folder.
    void visitLink(const QByteArray& path, bool pdfName)
    {
        const QByteArray target = resolved(path);
        const RawFileStatus status = rawFileStatus(path);
        if (target.isEmpty() || !status.ok) {
            if (pdfName)
                skip(path, SkipReason::BrokenLink);
            return;
        }
        if (!pdfName && !status.directory)
            return;
        if (!lies(target, m_realRoot)) {
            skip(path, SkipReason::LinkOutside);
            return;
        }
        if (status.directory)
            return; // its content is walked where it lies
        if (status.regularFile)
            m_result.pdfs.append({path, status.size, status.modifiedNs, {}});
        else
            skip(path, SkipReason::NotAFile);
    }

    FolderWalkResult& m_result;
    QByteArray m_realRoot;
};

} // namespace

qsizetype FolderWalkResult::skippedCount() const
{
    qsizetype total = 0;
    for (const qsizetype count : skippedByReason)
        total += count;
    return total;
}

bool FolderWalkResult::lostSomething() const
{
    return skippedCount() > skippedByReason[size_t(SkipReason::Hidden)] +
                                skippedByReason[size_t(SkipReason::ExportedBundle)];
}

void FolderWalkResult::add(const FolderWalkResult& other)
{
    pdfs += other.pdfs;
    for (const SkippedEntry& entry : other.skipped) {
        if (skipped.size() < maxListedSkips)
            skipped.append(entry);
    }
    for (size_t i = 0; i < skippedByReason.size(); ++i)
        skippedByReason[i] += other.skippedByReason[i];
}

FolderWalkResult walkSelection(const QList<QByteArray>& paths)
{
    FolderWalkResult result;
    Walker walker(result);
    for (const QByteArray& given : paths) {
        const QByteArray path = absolutePathBytes(given);
        const RawFileStatus status = rawFileStatus(path);
        if (status.directory)
            walker.walkRoot(path);
        else if (status.regularFile && hasPdfSuffix(path))
            result.pdfs.append({path, status.size, status.modifiedNs, {}});
    }
    return result;
}

QByteArray absolutePathBytes(const QByteArray& path)
{
    if (path.isEmpty() || path.startsWith('/'))
        return path;
    if (roundTrips(path))
        return QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
    char current[PATH_MAX];
    if (!::getcwd(current, sizeof current))
        return path;
    return joined(QByteArray(current), path);
}

bool isExportedBundle(const QByteArray& folder)
{
    struct stat status {};
    using namespace BundleLayout;
    if (::lstat(joined(folder, bytes(originalsFolder)).constData(), &status) != 0 ||
        !S_ISDIR(status.st_mode))
        return false;
    if (::lstat(joined(folder, bytes(indexFile)).constData(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return false;
    // The first bytes of every manifest this program writes: the byte order mark and the header,
    // which names one more column when the bundle's ZIP is in volumes.
    static const QByteArray manifestStart =
        bytes(byteOrderMark) + QByteArray::fromStdString(manifestHeaderLine());
    static const QByteArray volumesManifestStart =
        bytes(byteOrderMark) + QByteArray::fromStdString(manifestHeaderLine(true));
    const QByteArray manifest = joined(folder, bytes(manifestFile));
    return startsWith(manifest, manifestStart) || startsWith(manifest, volumesManifestStart);
}

QString skipReasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::Hidden:
        return QStringLiteral("hidden");
    case SkipReason::TooDeep:
        return QStringLiteral("deeper than %1 folder levels").arg(maxFolderDepth);
    case SkipReason::LinkOutside:
        return QStringLiteral("a link to outside the imported folder");
    case SkipReason::BrokenLink:
        return QStringLiteral("a link that leads nowhere");
    case SkipReason::ExportedBundle:
        return QStringLiteral("a bundle exported by Tessavo");
    case SkipReason::NotAFile:
        return QStringLiteral("not a regular file");
    case SkipReason::Unreadable:
        return QStringLiteral("a folder that cannot be read");
    }
    return {};
}

QString skippedCountsText(const FolderWalkResult& walk)
{
    static_assert(maxFolderDepth == 256, "the phrase below names the depth");
    static const char* const phrases[skipReasonCount] = {
        "%1 hidden",
        "%1 folder(s) deeper than 256 levels",
        "%1 link(s) to outside the imported folder",
        "%1 link(s) that lead nowhere",
        "%1 exported bundle(s)",
        "%1 special file(s)",
        "%1 folder(s) that cannot be read",
    };
    QStringList parts;
    for (int i = 0; i < skipReasonCount; ++i) {
        if (const qsizetype count = walk.skippedByReason[size_t(i)]; count > 0)
            parts.append(QString::fromLatin1(phrases[i]).arg(count));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace Tessavo
