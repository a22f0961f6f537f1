#include "bundle/BundleVerifier.h"

#include "core/DocumentRecord.h"
#include "core/RawPath.h"
#include "bundle/ExportBundle.h"
#include "bundle/ManifestCsv.h"
#include "bundle/PortableNames.h"
#include "bundle/ZipReader.h"
#include "bundle/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPdfDocument>
#include <QTemporaryFile>

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace Tessavo {

namespace {

constexpr qint64 chunkBytes = 1 << 20;
// manifest.csv is read whole; a manifest or index.pdf larger than this is not a bundle this
// system wrote.
constexpr qint64 maxKeptBytes = qint64(512) << 20;
// Beyond this many problems only the count grows: a forged archive can hold a million faults.
constexpr qsizetype maxListedProblems = 100;

const QString manifestName = QStringLiteral("manifest.csv");
const QString indexName = QStringLiteral("index.pdf");
const QString originalsPrefix = QStringLiteral("originals/");
const QStringList manifestColumns = {
    QStringLiteral("file"),         QStringLiteral("source_path"),
    QStringLiteral("sha256"),       QStringLiteral("size_bytes"),
    QStringLiteral("pages"),        QStringLiteral("text_pages"),
    QStringLiteral("state"),        QStringLiteral("suggested_category"),
    QStringLiteral("matched_rule"), QStringLiteral("evidence"),
    QStringLiteral("decision"),     QStringLiteral("final_category"),
    QStringLiteral("note"),
};
enum Column {
    SourcePathColumn = 1,
    ShaColumn = 2,
    SizeColumn = 3,
    PagesColumn = 4,
    TextPagesColumn = 5,
    StateColumn = 6,
    DecisionColumn = 10
};

// SHA-256 through OpenSSL, fed piece by piece.
class Sha256 {
public:
    Sha256()
        : m_context(EVP_MD_CTX_new())
    {
        m_ok = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1;
    }

    void add(QByteArrayView bytes)
    {
        if (m_ok)
            m_ok = EVP_DigestUpdate(m_context.get(), bytes.constData(), size_t(bytes.size())) == 1;
    }

    // 64 lowercase hexadecimal digits; empty when OpenSSL failed.
    QByteArray hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!m_ok || EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1)
            return {};
        m_ok = false;
        return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
    }

private:
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> m_context;
    bool m_ok = false;
};

struct ManifestRow {
    int line = 0;
    QByteArray sourcePath; // the path's bytes, as the display form in the manifest stands for
    QByteArray sha256;     // empty when the row's value is unusable
    qint64 size = -1;      // -1 when the row's value is unusable
};

// A plain decimal integer: an optional minus sign (when allowed) and at least one digit.
bool isDecimal(const QByteArray& text, bool allowMinus)
{
    const qsizetype start = allowMinus && text.startsWith('-') ? 1 : 0;
    if (text.size() <= start)
        return false;
    return std::all_of(text.begin() + start, text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool isSha256Hex(const QByteArray& text)
{
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

struct FileDigest {
    bool ok = false;
    qint64 size = 0;
    QByteArray sha256;
    QString error;
};

// The digest of a regular file inside the bundle, never read through a link.
FileDigest digestFile(const QByteArray& path)
{
    FileDigest digest;
    QFile file;
    if (const Status opened = openRegularForReading(file, path, Links::Refuse); !opened.ok) {
        digest.error = opened.error;
        return digest;
    }
    Sha256 sha;
    for (;;) {
        const QByteArray chunk = file.read(chunkBytes);
        if (chunk.isEmpty())
            break;
        digest.size += chunk.size();
        sha.add(chunk);
    }
    if (file.error() != QFileDevice::NoError) {
        digest.error = file.errorString();
        return digest;
    }
    digest.sha256 = sha.hex();
    digest.ok = !digest.sha256.isEmpty();
    if (!digest.ok)
        digest.error = QStringLiteral("SHA-256 is not available");
    return digest;
}

QString pdfErrorText(QPdfDocument::Error error)
{
    switch (error) {
    case QPdfDocument::Error::FileNotFound:
        return QStringLiteral("file not found");
    case QPdfDocument::Error::InvalidFileFormat:
        return QStringLiteral("not a valid PDF file");
    case QPdfDocument::Error::IncorrectPassword:
        return QStringLiteral("the file is password protected");
    case QPdfDocument::Error::UnsupportedSecurityScheme:
        return QStringLiteral("unsupported security scheme");
    default:
        return QStringLiteral("the PDF engine could not open it");
    }
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
    void readZipEntries(ZipReader& reader);
    std::optional<QList<ManifestRow>> parseManifest(const QByteArray& bytes, const QString& where);
    ExpectedOriginals expectedOriginals(const QList<ManifestRow>& rows, const QString& where);
    void compareZipOriginals(const QList<ManifestRow>& rows, const ExpectedOriginals& expected);
    void checkFolder();
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
        m_zipLabel = m_folderLabel + QStringLiteral(".zip");
        struct stat status {};
        const QByteArray zipPath = m_folderBytes + ".zip";
        if (::lstat(zipPath.constData(), &status) != 0)
            problem(m_zipLabel, QStringLiteral("the ZIP archive beside the folder is missing"));
        else
            checkZip(folder + QStringLiteral(".zip"), Links::Refuse);
    } else if (info.exists()) {
        m_zipLabel = info.fileName();
        checkZip(info.absoluteFilePath(), Links::Follow); // the path the user named
    } else {
        problem(path, QStringLiteral("no such bundle folder or ZIP file"));
    }

    if (m_zipReadable) {
        const QByteArray manifest = manifestName.toUtf8();
        if (!m_entryIndex.contains(manifest))
            problem(zipWhere(manifest), QStringLiteral("missing"));
        else if (m_entrySha256.contains(manifest))
            m_zipRows = parseManifest(m_zipManifest, zipWhere(manifest));
        m_zipManifest.clear();
        if (m_zipRows) {
            m_result.manifestRows = int(m_zipRows->size());
            compareZipOriginals(*m_zipRows, expectedOriginals(*m_zipRows, zipWhere(manifest)));
        }
        if (!m_entryIndex.contains(indexName.toUtf8()))
            problem(zipWhere(indexName.toUtf8()), QStringLiteral("missing"));
    }
    if (!m_folderBytes.isEmpty())
        checkFolder();

    if (m_problemCount > maxListedProblems)
        m_result.problems.append(
            QStringLiteral("… and %1 more problems").arg(m_problemCount - maxListedProblems));
    m_result.problemCount = m_problemCount;
    return m_result;
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
    const QByteArray manifest = manifestName.toUtf8();
    const QByteArray index = indexName.toUtf8();
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
        if (isIndex) {
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

std::optional<QList<ManifestRow>> Verifier::parseManifest(const QByteArray& bytes,
                                                          const QString& where)
{
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (!bytes.startsWith(byteOrderMark)) {
        problem(where, QStringLiteral("does not begin with the UTF-8 byte order mark"));
        return std::nullopt;
    }
    const QByteArrayView text = QByteArrayView(bytes).sliced(byteOrderMark.size());
    if (!text.isValidUtf8()) {
        problem(where, QStringLiteral("is not valid UTF-8"));
        return std::nullopt;
    }
    CsvReader reader(text);
    const auto fault = [&] {
        problem(where, QStringLiteral("line %1: %2")
                           .arg(QString::number(reader.faultLine()), reader.errorString()));
        return std::nullopt;
    };
    QStringList header;
    if (reader.readRecord()) {
        for (const QByteArray& field : reader.fields())
            header.append(QString::fromUtf8(field));
    } else if (!reader.errorString().isEmpty()) {
        return fault();
    }
    if (header != manifestColumns) {
        problem(where, QStringLiteral("the header is not \"%1\"").arg(manifestColumns.join(u',')));
        return std::nullopt;
    }

    QStringList states, decisions;
    for (int value : {Ready, NeedsOcr, Unreadable, Encrypted}) {
        states.append(stateText(value));
        decisions.append(manifestDecisionText(value)); // decisions share the values 0 to 3
    }
    QList<ManifestRow> rows;
    qsizetype records = 0;
    // Each record is checked as it is read; only what the originals need is kept.
    while (reader.readRecord()) {
        ++records;
        const QString line = QString::number(reader.line());
        if (reader.fieldCount() != manifestColumns.size()) {
            if (m_problemCount >= maxListedProblems) {
                ++m_problemCount; // counted only: a manifest of empty lines has millions
                continue;
            }
            problem(where, QStringLiteral("line %1: %2 values instead of %3")
                               .arg(line, QString::number(reader.fieldCount()),
                                    QString::number(manifestColumns.size())));
            continue;
        }
        const QList<QByteArray>& f = reader.fields();
        ManifestRow row;
        row.line = reader.line();
        row.sourcePath =
            pathFromDisplay(formulaUnguarded(QString::fromUtf8(f.at(SourcePathColumn))));
        if (isSha256Hex(f.at(ShaColumn)))
            row.sha256 = f.at(ShaColumn);
        else
            problem(
                where,
                QStringLiteral("line %1: sha256 is not 64 lowercase hexadecimal digits").arg(line));
        bool sizeOk = isDecimal(f.at(SizeColumn), false);
        const qint64 size = sizeOk ? f.at(SizeColumn).toLongLong(&sizeOk) : -1;
        if (sizeOk)
            row.size = size;
        else
            problem(where, QStringLiteral("line %1: size_bytes is not a byte count").arg(line));
        for (int column : {PagesColumn, TextPagesColumn}) {
            bool numberOk = isDecimal(f.at(column), true);
            if (numberOk)
                f.at(column).toInt(&numberOk);
            if (!numberOk)
                problem(where, QStringLiteral("line %1: %2 is not a whole number")
                                   .arg(line, manifestColumns.at(column)));
        }
        if (!states.contains(QString::fromUtf8(f.at(StateColumn))))
            problem(where, QStringLiteral("line %1: unknown state \"%2\"")
                               .arg(line, QString::fromUtf8(f.at(StateColumn))));
        if (!decisions.contains(QString::fromUtf8(f.at(DecisionColumn))))
            problem(where, QStringLiteral("line %1: unknown decision \"%2\"")
                               .arg(line, QString::fromUtf8(f.at(DecisionColumn))));
        rows.append(row);
    }
    if (!reader.errorString().isEmpty())
        return fault();
    if (records == 0) {
        problem(where, QStringLiteral("lists no documents"));
        return std::nullopt;
    }
    return rows;
}

// Where each row's original lies below the bundle, exactly as the export placed it: relative to
// the sources' common folder, bytes that are not UTF-8 stored as "_", made portable and unique.
ExpectedOriginals Verifier::expectedOriginals(const QList<ManifestRow>& rows, const QString& where)
{
    QStringList sources;
    for (const ManifestRow& row : rows)
        sources.append(QFile::decodeName(row.sourcePath));
    const QString base = commonBaseDirectory(sources);
    QStringList wanted;
    QHash<QByteArray, qsizetype> wantedIndex;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QByteArray& bytes = rows.at(i).sourcePath;
        if (wantedIndex.contains(bytes))
            continue; // the same file listed twice is stored once
        wantedIndex.insert(bytes, wanted.size());
        QString relative = originalsRelativePath(base, sources.at(i));
        if (!roundTrips(bytes))
            relative.replace(QChar::ReplacementCharacter, u'_');
        wanted.append(relative);
    }
    const QStringList stored = portablePaths(wanted);
    ExpectedOriginals expected;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QByteArray path =
            (originalsPrefix + stored.at(wantedIndex.value(rows.at(i).sourcePath))).toUtf8();
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
                                   const ExpectedOriginals& expected)
{
    for (const QByteArray& path : expected.paths) {
        const QString where = zipWhere(path);
        const bool stored = m_entryIndex.contains(path);
        const ZipEntryInfo* entry = stored ? &m_entries.at(m_entryIndex.value(path)) : nullptr;
        for (const int rowIndex : expected.rowsByPath.value(path)) {
            const ManifestRow& row = rows.at(rowIndex);
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
    const QByteArray manifest = manifestName.toUtf8();
    const QByteArray index = indexName.toUtf8();
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
    const QByteArray manifest = manifestName.toUtf8();
    const QByteArray index = indexName.toUtf8();
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
        } else {
            if (zipCopyRead && m_zipRows)
                problem(manifestWhere,
                        QStringLiteral("differs from the copy in %1").arg(m_zipLabel));
            rows = parseManifest(bytes, manifestWhere);
            if (rows && !m_zipRows)
                m_result.manifestRows = int(rows->size());
        }
    }
    ExpectedOriginals expected;
    if (rows) {
        expected = expectedOriginals(*rows, manifestWhere);
        compareFolderOriginals(*rows, expected);
    }

    const QString indexWhere = folderWhere(index);
    struct stat status {};
    if (::lstat(folderPath(index).constData(), &status) != 0) {
        problem(indexWhere, QStringLiteral("missing"));
    } else {
        const FileDigest digest = digestFile(folderPath(index));
        if (!digest.ok) {
            problem(indexWhere, QStringLiteral("cannot be read: %1").arg(digest.error));
        } else {
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
    const QByteArray originals = originalsPrefix.chopped(1).toUtf8();
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
            if (relative.isEmpty() && (name == manifestName.toUtf8() || name == indexName.toUtf8()))
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

Status openPdfHere(const QString& pdfPath)
{
    QPdfDocument document;
    const QPdfDocument::Error error = document.load(pdfPath);
    if (error != QPdfDocument::Error::None)
        return Status::failure(pdfErrorText(error));
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1)
        return Status::failure(QStringLiteral("the PDF has no pages"));
    return Status::success();
}

BundleVerification verifyBundle(const QString& path, const PdfOpenCheck& pdfOpens)
{
    return Verifier(pdfOpens).run(path);
}

} // namespace Tessavo
