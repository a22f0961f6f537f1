#include "bundle/BundleVerifier.h"

#include "bundle/ExportBundle.h"
#include "bundle/ManifestCsv.h"
#include "bundle/ZipReader.h"
#include "bundle/ZipWriter.h"
#include "core/BundleLayout.h"
#include "core/RawPath.h"
#include "inspection/FileDigest.h"
#include "inspection/OpenCheck.h"
#include "inspection/Sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <memory>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace Tessavo {

namespace {

// manifest.csv is read whole; a manifest or index.pdf larger than this is not a bundle this
// system wrote.
constexpr qint64 maxKeptBytes = qint64(512) << 20;
// Beyond this many problems only the count grows: a forged archive can hold a million faults.
constexpr qsizetype maxListedProblems = 100;

const QByteArray manifestName = BundleLayout::bytes(BundleLayout::manifestFile);
const QByteArray indexName = BundleLayout::bytes(BundleLayout::indexFile);
const QByteArray originalsFolder = BundleLayout::bytes(BundleLayout::originalsFolder);
const QByteArray originalsPrefix = BundleLayout::bytes(BundleLayout::originalsPrefix);

// The digest of a regular file inside the bundle, never read through a link.
FileDigest digestFile(const QByteArray& path)
{
    QFile file;
    if (const Status opened = openRegularForReading(file, path, Links::Refuse); !opened.ok) {
        FileDigest digest;
        digest.error = opened.error;
        return digest;
    }
    return sha256OfFile(file);
}

// Where each row's original lies below the bundle.
struct ExpectedOriginals {
    QHash<QByteArray, QList<int>> rowsByPath; // "originals/…" as UTF-8 → indexes into the rows
    QList<QByteArray> paths;                  // the same paths in row order, each once
};

// Runs the checks for one bundle and gathers what it finds.
class Verifier {
public:
    explicit Verifier(const PdfOpenCheck& pdfOpens)
        : m_pdfOpens(pdfOpens)
    {}

    BundleVerification run(const QString& path);

private:
    void problem(const QString& where, const QString& what);
    void checkZip(const QString& zipPath, Links links);
    void checkZipContents(const QString& zipName);
    void readZipEntries(ZipReader& reader);
    std::optional<QList<ManifestRow>> parseManifest(QByteArrayView bytes, const QString& where);
    ExpectedOriginals expectedOriginals(const QList<ManifestRow>& rows, const QString& where,
                                        const std::function<bool(const QByteArray&)>& held);
    // volume: the number of the ZIP volume checked, whose originals are the rows that name it;
    // 0 for a ZIP that holds them all.
    void compareZipOriginals(const QList<ManifestRow>& rows, const ExpectedOriginals& expected,
                             int volume = 0);
    int volumeOfZip(const QString& zipName, const QList<ManifestRow>& rows,
                    const ExpectedOriginals& expected) const;
    void checkFolder();
    void checkVolumes();
    void resetZip(const QString& label);
    void compareFolderOriginals(const QList<ManifestRow>& rows, const ExpectedOriginals& expected);
    void checkFolderContents(const ExpectedOriginals* expected);
    void checkPdfOpens(const QString& pdfPath, const QString& where);
    QString zipWhere(const QByteArray& entryName) const
    {
        return m_zipLabel + u'/' + displayPath(entryName);
    }
    QString folderWhere(const QByteArray& relative) const
    {
        return m_folderLabel + u'/' + displayPath(relative);
    }
    QByteArray folderPath(const QByteArray& relative) const
    {
        return m_folderBytes + '/' + relative;
    }

    const PdfOpenCheck& m_pdfOpens;
    BundleVerification m_result;
    qsizetype m_problemCount = 0;
    QString m_zipLabel;
    QString m_folderLabel;
    QByteArray m_folderBytes; // empty when only the ZIP is checked
    bool m_zipReadable = false;
    QList<ZipEntryInfo> m_entries;
    QHash<QByteArray, qsizetype> m_entryIndex;
    QHash<QByteArray, QByteArray> m_entrySha256; // of the entries whose data was read and holds
    QByteArray m_zipManifest;
    std::optional<QList<ManifestRow>> m_zipRows;
    bool m_openZipIndex = true;   // a volume's index.pdf is compared with the folder's instead
    bool m_parsedVolumes = false; // the manifest parsed last has the volume column
    bool m_zipVolumes = false;    // the ZIP's manifest has it
    // What the folder holds, for the volumes to be compared with.
    std::optional<QList<ManifestRow>> m_folderRows;
    ExpectedOriginals m_folderExpected;
    bool m_folderVolumes = false;
    QByteArray m_folderManifestSha256;
    QByteArray m_folderIndexSha256;
};

void Verifier::problem(const QString& where, const QString& what)
{
    if (++m_problemCount <= maxListedProblems)
        m_result.problems.append(QStringLiteral("%1: %2").arg(where, what));
}

BundleVerification Verifier::run(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        const QString folder = QDir::cleanPath(info.absoluteFilePath());
        m_folderBytes = QFile::encodeName(folder);
        m_folderLabel = QFileInfo(folder).fileName();
        m_zipLabel = m_folderLabel + BundleLayout::text(BundleLayout::zipSuffix);
        struct stat status {};
        const QByteArray zipPath = m_folderBytes + BundleLayout::bytes(BundleLayout::zipSuffix);
        const QByteArray firstVolume = QFile::encodeName(folder + BundleLayout::volumeSuffix(1));
        if (::lstat(zipPath.constData(), &status) == 0) {
            checkZip(folder + BundleLayout::text(BundleLayout::zipSuffix), Links::Refuse);
            checkZipContents(QString());
            checkFolder();
            if (m_zipVolumes)
                problem(m_zipLabel, QStringLiteral("manifest.csv names ZIP volumes, but the ZIP "
                                                   "beside the folder is one file"));
        } else if (::lstat(firstVolume.constData(), &status) == 0) {
            checkVolumes();
        } else {
            problem(m_zipLabel, QStringLiteral("the ZIP archive beside the folder is missing"));
            checkFolder();
        }
    } else if (info.exists()) {
        m_zipLabel = info.fileName();
        checkZip(info.absoluteFilePath(), Links::Follow); // the path the user named
        checkZipContents(info.fileName());
    } else {
        problem(path, QStringLiteral("no such bundle folder or ZIP file"));
    }

    if (m_problemCount > maxListedProblems)
        m_result.problems.append(
            QStringLiteral("… and %1 more problems").arg(m_problemCount - maxListedProblems));
    m_result.problemCount = m_problemCount;
    return m_result;
}

// The manifest of the ZIP just read and the originals it lists. A ZIP given alone (zipName set)
// that is one volume of a bundle holds only the originals of the rows that name it.
void Verifier::checkZipContents(const QString& zipName)
{
    if (!m_zipReadable)
        return;
    const QByteArray manifest = manifestName;
    if (!m_entryIndex.contains(manifest))
        problem(zipWhere(manifest), QStringLiteral("missing"));
    else if (m_entrySha256.contains(manifest))
        m_zipRows = parseManifest(m_zipManifest, zipWhere(manifest));
    m_zipVolumes = m_zipRows && m_parsedVolumes;
    m_zipManifest.clear();
    if (m_zipRows) {
        m_result.manifestRows = int(m_zipRows->size());
        const ExpectedOriginals expected =
            expectedOriginals(*m_zipRows, zipWhere(manifest), [this](const QByteArray& path) {
                return m_entryIndex.contains(path);
            });
        const int volume =
            m_zipVolumes && !zipName.isEmpty() ? volumeOfZip(zipName, *m_zipRows, expected) : 0;
        compareZipOriginals(*m_zipRows, expected, volume);
    }
    if (!m_entryIndex.contains(indexName))
        problem(zipWhere(indexName), QStringLiteral("missing"));
}

void Verifier::resetZip(const QString& label)
{
    m_zipLabel = label;
    m_zipReadable = false;
    m_entries.clear();
    m_entryIndex.clear();
    m_entrySha256.clear();
    m_zipManifest.clear();
    m_zipRows.reset();
    m_zipVolumes = false;
}

// A bundle whose ZIP is in volumes: the folder first, then each volume the manifest names,
// against the folder: the same manifest.csv and index.pdf, and exactly the originals of the rows
// that name it.
void Verifier::checkVolumes()
{
    checkFolder();
    const QString manifestWhere = folderWhere(manifestName);
    if (m_folderRows && !m_folderVolumes)
        problem(manifestWhere, QStringLiteral("names no ZIP volumes, though the ZIP beside the "
                                              "folder is in volumes"));
    // The volumes the manifest names, and those that lie beside the folder, numbered on from 1.
    QSet<int> named;
    if (m_folderRows && m_folderVolumes) {
        for (const ManifestRow& row : std::as_const(*m_folderRows)) {
            if (row.volume > 0)
                named.insert(row.volume);
        }
    }
    const auto volumePath = [this](int number) {
        return m_folderBytes + QFile::encodeName(BundleLayout::volumeSuffix(number));
    };
    struct stat status {};
    QSet<int> numbers = named;
    for (int number = 1; ::lstat(volumePath(number).constData(), &status) == 0; ++number)
        numbers.insert(number);
    QList<int> order(numbers.cbegin(), numbers.cend());
    std::sort(order.begin(), order.end());

    m_openZipIndex = false; // the folder's index.pdf was opened; the volumes' must equal it
    for (const int number : std::as_const(order)) {
        resetZip(m_folderLabel + BundleLayout::volumeSuffix(number));
        if (::lstat(volumePath(number).constData(), &status) != 0) {
            problem(m_zipLabel,
                    QStringLiteral("missing, though manifest.csv places documents in it"));
            continue;
        }
        if (m_folderVolumes && !named.contains(number)) {
            problem(m_zipLabel, QStringLiteral("not named in manifest.csv"));
            continue;
        }
        checkZip(QFile::decodeName(volumePath(number)), Links::Refuse);
        if (!m_zipReadable)
            continue;
        for (const QByteArray& name : {manifestName, indexName}) {
            const QByteArray& folderSha =
                name == manifestName ? m_folderManifestSha256 : m_folderIndexSha256;
            if (!m_entryIndex.contains(name))
                problem(zipWhere(name), QStringLiteral("missing"));
            else if (m_entrySha256.contains(name) && !folderSha.isEmpty() &&
                     m_entrySha256.value(name) != folderSha)
                problem(zipWhere(name), QStringLiteral("differs from %1").arg(folderWhere(name)));
        }
        if (m_folderRows)
            compareZipOriginals(*m_folderRows, m_folderExpected, m_folderVolumes ? number : 0);
    }
}

// Which volume a ZIP given alone is: the number in its name ("…-part2.zip"), or else the volume
// the rows of the originals it holds name.
int Verifier::volumeOfZip(const QString& zipName, const QList<ManifestRow>& rows,
                          const ExpectedOriginals& expected) const
{
    static const QRegularExpression numbered(
        QStringLiteral("%1(\\d+)%2$")
            .arg(BundleLayout::text(BundleLayout::volumeInfix),
                 QRegularExpression::escape(BundleLayout::text(BundleLayout::zipSuffix))));
    if (const auto match = numbered.match(zipName); match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        if (ok && number > 0)
            return number;
    }
    for (const QByteArray& path : expected.paths) {
        if (!m_entryIndex.contains(path))
            continue;
        for (const int row : expected.rowsByPath.value(path)) {
            if (rows.at(row).volume > 0)
                return rows.at(row).volume;
        }
    }
    return 0;
}

void Verifier::checkZip(const QString& zipPath, Links links)
{
    QFile file;
    if (const Status opened = openRegularForReading(file, QFile::encodeName(zipPath), links);
        !opened.ok) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(opened.error));
        return;
    }
    ZipReader reader(file, [this](const QByteArray& entryName, const QString& what) {
        problem(entryName.isEmpty() ? m_zipLabel : zipWhere(entryName), what);
    });
    m_zipReadable = reader.readDirectory();
    if (m_zipReadable)
        readZipEntries(reader);
}

// Reads the data of every readable entry once, in archive order: CRC-32 and SHA-256 for all,
// manifest.csv kept, index.pdf copied to a temporary file to be opened.
void Verifier::readZipEntries(ZipReader& reader)
{
    m_entries = reader.entries();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (!m_entryIndex.contains(m_entries.at(i).name))
            m_entryIndex.insert(m_entries.at(i).name, i);
    }
    QList<qsizetype> order;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).readable && m_entryIndex.value(m_entries.at(i).name) == i)
            order.append(i);
    }
    std::sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) {
        return m_entries.at(a).dataOffset < m_entries.at(b).dataOffset;
    });
    const QByteArray manifest = manifestName;
    const QByteArray index = indexName;
    for (const qsizetype i : std::as_const(order)) {
        const ZipEntryInfo& entry = m_entries.at(i);
        const QString where = zipWhere(entry.name);
        const bool isManifest = entry.name == manifest;
        const bool isIndex = entry.name == index;
        if ((isManifest || isIndex) && entry.size > maxKeptBytes) {
            problem(where, QStringLiteral("is far too large for a bundle file"));
            continue;
        }
        std::unique_ptr<QTemporaryFile> copy;
        if (isIndex && m_openZipIndex) {
            copy = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                    QStringLiteral("/tessavo-verify-XXXXXX.pdf"));
            if (!copy->open()) {
                problem(where, QStringLiteral("cannot be checked: %1").arg(copy->errorString()));
                copy.reset();
            }
        }
        Sha256 sha;
        bool copied = true;
        const Status read = reader.readData(entry, [&](QByteArrayView piece) {
            sha.add(piece);
            if (isManifest)
                m_zipManifest.append(piece);
            if (copy && copied)
                copied = copy->write(piece.data(), piece.size()) == piece.size();
        });
        ++m_result.zipEntries;
        if (!read.ok) {
            problem(where, read.error);
            if (isManifest)
                m_zipManifest.clear();
            continue;
        }
        m_entrySha256.insert(entry.name, sha.hex());
        if (copy) {
            if (!copied || !copy->flush())
                problem(where, QStringLiteral("cannot be checked: %1").arg(copy->errorString()));
            else
                checkPdfOpens(copy->fileName(), where);
        }
    }
}

std::optional<QList<ManifestRow>> Verifier::parseManifest(QByteArrayView bytes,
                                                          const QString& where)
{
    ManifestReading reading = readManifestCsv(bytes, [&](const ManifestProblem& found) {
        if (m_problemCount >= maxListedProblems)
            ++m_problemCount; // counted only: a manifest of empty lines has millions
        else
            problem(where, manifestProblemText(found));
    });
    m_parsedVolumes = reading.volumes;
    if (!reading.ok)
        return std::nullopt;
    return std::move(reading.rows);
}

// Where each row's original lies below the bundle, exactly as the export placed it.
ExpectedOriginals Verifier::expectedOriginals(const QList<ManifestRow>& rows, const QString& where,
                                              const std::function<bool(const QByteArray&)>& held)
{
    const QList<QByteArray> paths = originalsOfRows(rows, held);
    ExpectedOriginals expected;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QByteArray& path = paths.at(i);
        if (const Status valid = ZipWriter::validateEntryName(path); !valid.ok) {
            problem(where, QStringLiteral("line %1: the source path leads outside originals/")
                               .arg(rows.at(i).line));
            continue;
        }
        QList<int>& listed = expected.rowsByPath[path];
        if (listed.isEmpty())
            expected.paths.append(path);
        listed.append(int(i));
    }
    return expected;
}

void Verifier::compareZipOriginals(const QList<ManifestRow>& rows,
                                   const ExpectedOriginals& expected, int volume)
{
    for (const QByteArray& path : expected.paths) {
        const QString where = zipWhere(path);
        const bool stored = m_entryIndex.contains(path);
        const ZipEntryInfo* entry = stored ? &m_entries.at(m_entryIndex.value(path)) : nullptr;
        for (const int rowIndex : expected.rowsByPath.value(path)) {
            const ManifestRow& row = rows.at(rowIndex);
            if (volume > 0 && row.volume != volume) {
                // Another volume's original; an unusable volume number was reported already.
                if (entry && row.volume > 0)
                    problem(where,
                            QStringLiteral("manifest.csv line %1 places it in volume %2")
                                .arg(QString::number(row.line), QString::number(row.volume)));
                continue;
            }
            if (!entry) {
                problem(
                    where,
                    QStringLiteral("missing, though manifest.csv line %1 lists it").arg(row.line));
                continue;
            }
            if (!m_entrySha256.contains(path) || row.size < 0 || row.sha256.isEmpty())
                continue; // already reported
            ++m_result.originals;
            if (qint64(entry->size) != row.size)
                problem(where, QStringLiteral("%1 bytes, manifest.csv line %2 says %3")
                                   .arg(QString::number(entry->size), QString::number(row.line),
                                        QString::number(row.size)));
            else if (m_entrySha256.value(path) != row.sha256)
                problem(where,
                        QStringLiteral("SHA-256 differs from manifest.csv line %1").arg(row.line));
        }
    }
    const QByteArray manifest = manifestName;
    const QByteArray index = indexName;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QByteArray& name = m_entries.at(i).name;
        if (m_entryIndex.value(name, -1) != i)
            continue; // reported as stored more than once
        if (name != manifest && name != index && !expected.rowsByPath.contains(name))
            problem(zipWhere(name), QStringLiteral("not listed in manifest.csv"));
    }
}

void Verifier::checkFolder()
{
    const QByteArray manifest = manifestName;
    const QByteArray index = indexName;
    const QString manifestWhere = folderWhere(manifest);
    std::optional<QList<ManifestRow>> rows;
    QFile manifestFile;
    if (const Status opened =
            openRegularForReading(manifestFile, folderPath(manifest), Links::Refuse);
        !opened.ok) {
        problem(manifestWhere, QStringLiteral("cannot be read: %1").arg(opened.error));
    } else if (manifestFile.size() > maxKeptBytes) {
        problem(manifestWhere, QStringLiteral("is far too large for a manifest"));
    } else {
        const QByteArray bytes = manifestFile.read(manifestFile.size());
        manifestFile.close();
        Sha256 sha;
        sha.add(bytes);
        const bool zipCopyRead = m_entrySha256.contains(manifest);
        if (zipCopyRead && m_zipRows && sha.hex() == m_entrySha256.value(manifest)) {
            rows = m_zipRows; // its problems were reported with the ZIP's copy
            m_parsedVolumes = m_zipVolumes;
        } else {
            if (zipCopyRead && m_zipRows)
                problem(manifestWhere,
                        QStringLiteral("differs from the copy in %1").arg(m_zipLabel));
            rows = parseManifest(bytes, manifestWhere);
            if (rows && !m_zipRows)
                m_result.manifestRows = int(rows->size());
        }
        m_folderManifestSha256 = sha.hex();
    }
    ExpectedOriginals expected;
    if (rows) {
        expected = expectedOriginals(*rows, manifestWhere, [this](const QByteArray& relative) {
            struct stat status {};
            return ::lstat(folderPath(relative).constData(), &status) == 0;
        });
        compareFolderOriginals(*rows, expected);
        m_folderVolumes = m_parsedVolumes;
    }
    m_folderRows = rows;
    m_folderExpected = expected;

    const QString indexWhere = folderWhere(index);
    struct stat status {};
    if (::lstat(folderPath(index).constData(), &status) != 0) {
        problem(indexWhere, QStringLiteral("missing"));
    } else {
        const FileDigest digest = digestFile(folderPath(index));
        if (!digest.ok) {
            problem(indexWhere, QStringLiteral("cannot be read: %1").arg(digest.error));
        } else {
            m_folderIndexSha256 = digest.sha256;
            checkPdfOpens(QFile::decodeName(folderPath(index)), indexWhere);
            if (m_entrySha256.contains(index) && digest.sha256 != m_entrySha256.value(index))
                problem(indexWhere, QStringLiteral("differs from the copy in %1").arg(m_zipLabel));
        }
    }
    checkFolderContents(rows ? &expected : nullptr);
}

void Verifier::compareFolderOriginals(const QList<ManifestRow>& rows,
                                      const ExpectedOriginals& expected)
{
    for (const QByteArray& relative : expected.paths) {
        const QString where = folderWhere(relative);
        const QByteArray path = folderPath(relative);
        struct stat status {};
        const bool exists = ::lstat(path.constData(), &status) == 0;
        std::optional<FileDigest> digest;
        for (const int rowIndex : expected.rowsByPath.value(relative)) {
            const ManifestRow& row = rows.at(rowIndex);
            if (!exists) {
                problem(
                    where,
                    QStringLiteral("missing, though manifest.csv line %1 lists it").arg(row.line));
                continue;
            }
            if (row.size < 0 || row.sha256.isEmpty())
                continue; // already reported
            if (!digest)
                digest = digestFile(path);
            if (!digest->ok) {
                problem(where, QStringLiteral("cannot be read: %1").arg(digest->error));
                break;
            }
            ++m_result.originals;
            if (digest->size != row.size)
                problem(where, QStringLiteral("%1 bytes, manifest.csv line %2 says %3")
                                   .arg(QString::number(digest->size), QString::number(row.line),
                                        QString::number(row.size)));
            else if (digest->sha256 != row.sha256)
                problem(where,
                        QStringLiteral("SHA-256 differs from manifest.csv line %1").arg(row.line));
        }
    }
}

// Everything in the bundle folder, by the names' own bytes and without following links: besides
// manifest.csv and index.pdf (checked on their own) only originals/ with the listed files, in
// folders of their own. Without a readable manifest only the kinds of files are checked.
void Verifier::checkFolderContents(const ExpectedOriginals* expected)
{
    const QByteArray originals = originalsFolder;
    QList<QByteArray> folders{QByteArray()}; // relative to the bundle folder; "" is the folder
    while (!folders.isEmpty()) {
        const QByteArray relative = folders.takeLast();
        const QByteArray path = relative.isEmpty() ? m_folderBytes : folderPath(relative);
        // The folder the user named may be reached through a link; nothing inside it is.
        const int noFollow = relative.isEmpty() ? 0 : O_NOFOLLOW;
        const int fd =
            ::open(path.constData(), O_RDONLY | O_DIRECTORY | noFollow | O_CLOEXEC | O_NONBLOCK);
        DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            problem(relative.isEmpty() ? m_folderLabel : folderWhere(relative),
                    QStringLiteral("cannot be listed"));
            continue;
        }
        while (const dirent* item = ::readdir(dir)) {
            const QByteArray name(item->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray itemPath = relative.isEmpty() ? name : relative + '/' + name;
            struct stat status {};
            if (::fstatat(fd, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                problem(folderWhere(itemPath), QStringLiteral("cannot be examined"));
                continue;
            }
            if (relative.isEmpty() && (name == manifestName || name == indexName))
                continue;
            if (relative.isEmpty() && name != originals) {
                problem(folderWhere(itemPath), QStringLiteral("is not part of a bundle"));
                continue;
            }
            if (S_ISDIR(status.st_mode))
                folders.append(itemPath);
            else if (S_ISLNK(status.st_mode))
                problem(folderWhere(itemPath),
                        QStringLiteral("is a link; a bundle holds only files"));
            else if (!S_ISREG(status.st_mode))
                problem(folderWhere(itemPath),
                        QStringLiteral("is not a regular file; a bundle holds only files"));
            else if (expected && !expected->rowsByPath.contains(itemPath))
                problem(folderWhere(itemPath), QStringLiteral("not listed in manifest.csv"));
        }
        ::closedir(dir);
    }
}

void Verifier::checkPdfOpens(const QString& pdfPath, const QString& where)
{
    if (const Status opens = m_pdfOpens(pdfPath); !opens.ok)
        problem(where, QStringLiteral("does not open: %1").arg(opens.error));
}

} // namespace

Status openPdfInWorker(const QString& pdfPath)
{
    return Inspection::checkOpensInWorker(pdfPath);
}

BundleVerification verifyBundle(const QString& path, const PdfOpenCheck& pdfOpens)
{
    return Verifier(pdfOpens).run(path);
}

} // namespace Tessavo
