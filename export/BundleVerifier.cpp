#include "export/BundleVerifier.h"

#include "core/DocumentRecord.h"
#include "export/ExportBundle.h"
#include "export/ManifestCsv.h"
#include "export/PortableNames.h"
#include "export/ZipFormat.h"
#include "export/ZipWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPdfDocument>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QtEndian>

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace Tessavo {

namespace {

using namespace ZipFormat;

constexpr qint64 maxCommentBytes = 0xFFFF;
constexpr qint64 chunkBytes = 1 << 20;
// manifest.csv and index.pdf are read whole; anything larger is not a bundle this system wrote.
constexpr qint64 maxKeptBytes = qint64(512) << 20;
constexpr quint16 encryptedFlag = 0x0001;
constexpr quint16 dataDescriptorFlag = 0x0008;

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

quint16 get16(const char* at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 get32(const char* at)
{
    return qFromLittleEndian<quint32>(at);
}

// SHA-256 through OpenSSL, fed piece by piece.
class Sha256 {
public:
    Sha256()
        : m_context(EVP_MD_CTX_new())
    {
        m_ok = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1;
    }

    void add(const QByteArray& bytes)
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

// One entry as the central directory describes it, and what reading its data found.
struct ZipEntryInfo {
    QByteArray name;
    quint16 versionNeeded = 0;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc32 = 0;
    quint32 compressedSize = 0;
    quint32 size = 0;
    quint32 localOffset = 0;
    quint16 diskStart = 0;
    bool dataRead = false; // the data was read and its CRC-32 holds
    QByteArray sha256;
};

struct ManifestRow {
    int line = 0;
    QString sourcePath;
    QByteArray sha256; // empty when the row's value is unusable
    qint64 size = -1;  // -1 when the row's value is unusable
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

struct CsvRecord {
    int line = 0; // the physical line it begins on, counting from 1
    QList<QByteArray> fields;
};

// Splits CSV text into records: fields separated by commas, records ended by a line feed, quoted
// fields with doubled quotes inside.
struct [[nodiscard]] CsvSplit {
    bool ok = false;
    QString error;     // set when !ok
    int faultLine = 0; // where the fault lies when !ok
    QList<CsvRecord> records;
};

CsvSplit splitCsv(const QByteArray& text)
{
    CsvSplit result;
    const auto fault = [&result](const QString& why, int faultLine) {
        result.error = why;
        result.faultLine = faultLine;
        result.records.clear();
        return result;
    };
    int line = 1;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        CsvRecord record{line, {}};
        for (;;) {
            QByteArray field;
            if (text.at(i) == '"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        return fault(QStringLiteral("a quoted value is never closed"), record.line);
                    }
                    const char c = text.at(i++);
                    if (c == '"') {
                        if (i < n && text.at(i) == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    line += c == '\n';
                    field += c;
                }
                if (i < n && text.at(i) != ',' && text.at(i) != '\n') {
                    return fault(QStringLiteral("text follows a closing quote"), line);
                }
            } else {
                while (i < n && text.at(i) != ',' && text.at(i) != '\n') {
                    if (text.at(i) == '"') {
                        return fault(QStringLiteral("a quote inside an unquoted value"), line);
                    }
                    field += text.at(i++);
                }
            }
            record.fields.append(field);
            if (i >= n) {
                return fault(QStringLiteral("the last line does not end with a line feed"), line);
            }
            if (text.at(i++) == ',') {
                if (i >= n) {
                    return fault(QStringLiteral("the last line does not end with a line feed"),
                                 line);
                }
                continue;
            }
            ++line; // the record's line feed
            break;
        }
        result.records.append(record);
    }
    result.ok = true;
    return result;
}

struct FileDigest {
    bool ok = false;
    qint64 size = 0;
    QByteArray sha256;
    QString error;
};

FileDigest digestFile(const QString& path)
{
    FileDigest digest;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        digest.error = file.errorString();
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

// Runs the checks for one bundle and gathers what it finds.
class Verifier {
public:
    explicit Verifier(const PdfOpenCheck& pdfOpens)
        : m_pdfOpens(pdfOpens)
    {}

    BundleVerification run(const QString& path);

private:
    void problem(const QString& where, const QString& what)
    {
        m_result.problems.append(QStringLiteral("%1: %2").arg(where, what));
    }
    void checkZip(const QString& zipPath);
    bool readCentralDirectory(QFile& file, qint64 fileSize);
    void checkEntry(QFile& file, ZipEntryInfo& entry, qint64 directoryOffset);
    void checkOverlaps();
    std::optional<QList<ManifestRow>> parseManifest(const QByteArray& bytes, const QString& where);
    QHash<QString, QList<int>> expectedOriginals(const QList<ManifestRow>& rows) const;
    void compareZipOriginals(const QList<ManifestRow>& rows);
    void compareFolderOriginals(const QList<ManifestRow>& rows);
    void checkPdfOpens(const QString& pdfPath, const QString& where);
    void checkZipIndex();
    QString zipWhere(const QString& entryName) const { return m_zipLabel + u'/' + entryName; }
    QString folderWhere(const QString& relative) const { return m_folderLabel + u'/' + relative; }

    const PdfOpenCheck& m_pdfOpens;
    BundleVerification m_result;
    QString m_zipLabel;
    QString m_folderLabel;
    QString m_folder; // empty when only the ZIP is checked
    bool m_zipReadable = false;
    QList<ZipEntryInfo> m_entries;
    QHash<QByteArray, int> m_entryIndex;
    QByteArray m_zipManifest;
    QByteArray m_zipIndexPdf;
    std::optional<QList<ManifestRow>> m_zipRows;
};

BundleVerification Verifier::run(const QString& path)
{
    const QFileInfo info(path);
    QString zipPath;
    if (info.isDir()) {
        m_folder = QDir::cleanPath(info.absoluteFilePath());
        m_folderLabel = QFileInfo(m_folder).fileName();
        zipPath = m_folder + QStringLiteral(".zip");
        m_zipLabel = QFileInfo(zipPath).fileName();
        if (!QFileInfo(zipPath).isFile())
            problem(m_zipLabel, QStringLiteral("the ZIP archive beside the folder is missing"));
        else
            checkZip(zipPath);
    } else if (info.isFile()) {
        zipPath = info.absoluteFilePath();
        m_zipLabel = info.fileName();
        checkZip(zipPath);
    } else {
        problem(path, QStringLiteral("no such bundle folder or ZIP file"));
        return m_result;
    }

    if (m_zipReadable) {
        if (!m_entryIndex.contains(manifestName.toUtf8()))
            problem(zipWhere(manifestName), QStringLiteral("missing"));
        else if (m_entries.at(m_entryIndex.value(manifestName.toUtf8())).dataRead)
            m_zipRows = parseManifest(m_zipManifest, zipWhere(manifestName));
        if (m_zipRows) {
            m_result.manifestRows = int(m_zipRows->size());
            compareZipOriginals(*m_zipRows);
        }
        checkZipIndex();
    }

    if (m_folder.isEmpty())
        return m_result;

    const QString manifestPath = m_folder + u'/' + manifestName;
    QFile manifestFile(manifestPath);
    if (!manifestFile.open(QIODevice::ReadOnly)) {
        problem(folderWhere(manifestName),
                QStringLiteral("cannot be read: %1").arg(manifestFile.errorString()));
    } else if (manifestFile.size() > maxKeptBytes) {
        problem(folderWhere(manifestName), QStringLiteral("is far too large for a manifest"));
    } else {
        const QByteArray bytes = manifestFile.readAll();
        const int zipAt = m_entryIndex.value(manifestName.toUtf8(), -1);
        const bool zipCopyRead = zipAt >= 0 && m_entries.at(zipAt).dataRead;
        std::optional<QList<ManifestRow>> rows;
        if (zipCopyRead && bytes == m_zipManifest) {
            rows = m_zipRows; // its problems were reported with the ZIP's copy
        } else {
            if (zipCopyRead)
                problem(folderWhere(manifestName),
                        QStringLiteral("differs from the copy in %1").arg(m_zipLabel));
            rows = parseManifest(bytes, folderWhere(manifestName));
            if (rows && !m_zipRows)
                m_result.manifestRows = int(rows->size());
        }
        if (rows)
            compareFolderOriginals(*rows);
    }

    const QString indexPath = m_folder + u'/' + indexName;
    if (!QFileInfo(indexPath).isFile()) {
        problem(folderWhere(indexName), QStringLiteral("missing"));
    } else {
        checkPdfOpens(indexPath, folderWhere(indexName));
        const int at = m_entryIndex.value(indexName.toUtf8(), -1);
        if (at >= 0 && m_entries.at(at).dataRead) {
            const FileDigest digest = digestFile(indexPath);
            if (digest.ok && digest.sha256 != m_entries.at(at).sha256)
                problem(folderWhere(indexName),
                        QStringLiteral("differs from the copy in %1").arg(m_zipLabel));
        }
    }
    return m_result;
}

void Verifier::checkZip(const QString& zipPath)
{
    QFile file(zipPath);
    if (!file.open(QIODevice::ReadOnly)) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return;
    }
    const qint64 fileSize = file.size();
    m_zipReadable = readCentralDirectory(file, fileSize);
}

// Finds the end record, reads the central directory into m_entries and checks every entry.
// False when the archive's structure is too damaged to go on.
bool Verifier::readCentralDirectory(QFile& file, qint64 fileSize)
{
    // The end record is the last signature whose comment reaches exactly to the end of the file.
    const qint64 tailStart = std::max<qint64>(0, fileSize - endRecordBytes - maxCommentBytes);
    if (!file.seek(tailStart)) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return false;
    }
    const QByteArray tail = file.read(fileSize - tailStart);
    if (tail.size() != fileSize - tailStart) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return false;
    }
    qint64 endAt = -1;
    for (qint64 i = tail.size() - endRecordBytes; i >= 0; --i) {
        const char* at = tail.constData() + i;
        if (get32(at) == endRecordSignature && i + endRecordBytes + get16(at + 20) == tail.size()) {
            endAt = i;
            break;
        }
    }
    if (endAt < 0) {
        problem(m_zipLabel, QStringLiteral("no end of central directory record: the archive is "
                                           "truncated or not a ZIP file"));
        return false;
    }
    const char* end = tail.constData() + endAt;
    endAt += tailStart;
    const quint16 disk = get16(end + 4);
    const quint16 directoryDisk = get16(end + 6);
    const quint16 entriesHere = get16(end + 8);
    const quint16 entriesTotal = get16(end + 10);
    const quint32 directorySize = get32(end + 12);
    const quint32 directoryOffset = get32(end + 16);
    if (entriesTotal == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        problem(m_zipLabel, QStringLiteral("ZIP64 archives are not supported"));
        return false;
    }
    if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal) {
        problem(m_zipLabel, QStringLiteral("the end record describes an archive split over "
                                           "several disks"));
        return false;
    }
    if (qint64(directoryOffset) + qint64(directorySize) != endAt) {
        problem(m_zipLabel,
                QStringLiteral("the central directory (offset %1, %2 bytes) does not end where "
                               "the end record begins (offset %3)")
                    .arg(QString::number(directoryOffset), QString::number(directorySize),
                         QString::number(endAt)));
        return false;
    }

    if (!file.seek(directoryOffset)) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return false;
    }
    const QByteArray directory = file.read(directorySize);
    if (directory.size() != qsizetype(directorySize)) {
        problem(m_zipLabel, QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return false;
    }
    qint64 at = 0;
    while (at < directory.size()) {
        const char* record = directory.constData() + at;
        const qint64 left = directory.size() - at;
        const QString damaged =
            QStringLiteral("central directory record %1 is damaged").arg(m_entries.size() + 1);
        if (left < centralHeaderBytes || get32(record) != centralHeaderSignature) {
            problem(m_zipLabel, damaged);
            return false;
        }
        const qint64 nameBytes = get16(record + 28);
        const qint64 recordBytes =
            centralHeaderBytes + nameBytes + get16(record + 30) + get16(record + 32);
        if (left < recordBytes) {
            problem(m_zipLabel, damaged);
            return false;
        }
        ZipEntryInfo entry;
        entry.versionNeeded = get16(record + 6);
        entry.flags = get16(record + 8);
        entry.method = get16(record + 10);
        entry.crc32 = get32(record + 16);
        entry.compressedSize = get32(record + 20);
        entry.size = get32(record + 24);
        entry.localOffset = get32(record + 42);
        entry.diskStart = get16(record + 34);
        entry.name = QByteArray(record + centralHeaderBytes, nameBytes);
        m_entries.append(entry);
        at += recordBytes;
    }
    if (m_entries.size() != entriesTotal)
        problem(m_zipLabel,
                QStringLiteral("the end record counts %1 entries, the central "
                               "directory holds %2")
                    .arg(QString::number(entriesTotal), QString::number(m_entries.size())));

    for (int i = 0; i < m_entries.size(); ++i) {
        ZipEntryInfo& entry = m_entries[i];
        const QString where = zipWhere(QString::fromUtf8(entry.name));
        if (const Status name = ZipWriter::validateEntryName(entry.name); !name.ok) {
            problem(m_zipLabel, name.error);
            continue;
        }
        if (m_entryIndex.contains(entry.name)) {
            problem(where, QStringLiteral("stored more than once"));
            continue;
        }
        m_entryIndex.insert(entry.name, i);
        checkEntry(file, entry, directoryOffset);
    }
    checkOverlaps();
    return true;
}

// Compares the entry's local header with its central directory record, then reads its data for
// the CRC-32 and SHA-256.
void Verifier::checkEntry(QFile& file, ZipEntryInfo& entry, qint64 directoryOffset)
{
    const QString where = zipWhere(QString::fromUtf8(entry.name));
    if (entry.flags & encryptedFlag) {
        problem(where, QStringLiteral("is encrypted"));
        return;
    }
    if (entry.diskStart != 0) {
        problem(where, QStringLiteral("its central directory record places it on disk %1")
                           .arg(entry.diskStart));
        return;
    }
    if (entry.method != 0) {
        problem(where, QStringLiteral("uses compression method %1; bundles store their entries "
                                      "uncompressed")
                           .arg(entry.method));
        return;
    }
    if (entry.compressedSize != entry.size) {
        problem(where,
                QStringLiteral("stored size %1 differs from its size %2")
                    .arg(QString::number(entry.compressedSize), QString::number(entry.size)));
        return;
    }
    if (qint64(entry.localOffset) + localHeaderBytes > directoryOffset ||
        !file.seek(entry.localOffset)) {
        problem(where, QStringLiteral("its local header lies outside the archive's entries"));
        return;
    }
    const QByteArray header = file.read(localHeaderBytes);
    if (header.size() != localHeaderBytes || get32(header.constData()) != localHeaderSignature) {
        problem(where, QStringLiteral("no local header at offset %1").arg(entry.localOffset));
        return;
    }
    const char* h = header.constData();
    const qint64 nameBytes = get16(h + 26);
    const qint64 dataOffset = entry.localOffset + localHeaderBytes + nameBytes + get16(h + 28);
    const QByteArray localName =
        dataOffset <= directoryOffset ? file.read(nameBytes) : QByteArray();
    // With a data descriptor the local header may leave CRC-32 and sizes at zero.
    const bool deferred = (get16(h + 6) & dataDescriptorFlag) && get32(h + 14) == 0 &&
                          get32(h + 18) == 0 && get32(h + 22) == 0;
    QStringList differences;
    if (get16(h + 4) != entry.versionNeeded)
        differences << QStringLiteral("version needed");
    if (get16(h + 6) != entry.flags)
        differences << QStringLiteral("flags");
    if (get16(h + 8) != entry.method)
        differences << QStringLiteral("compression method");
    if (!deferred && get32(h + 14) != entry.crc32)
        differences << QStringLiteral("CRC-32");
    if (!deferred && (get32(h + 18) != entry.compressedSize || get32(h + 22) != entry.size))
        differences << QStringLiteral("size");
    if (localName != entry.name)
        differences << QStringLiteral("name");
    if (!differences.isEmpty()) {
        problem(where, QStringLiteral("its local header differs from the central directory in: %1")
                           .arg(differences.join(QStringLiteral(", "))));
        return;
    }
    if (dataOffset + qint64(entry.size) > directoryOffset) {
        problem(where, QStringLiteral("its data runs into the central directory"));
        return;
    }

    const bool keep = entry.name == manifestName.toUtf8() || entry.name == indexName.toUtf8();
    if (keep && entry.size > maxKeptBytes) {
        problem(where, QStringLiteral("is far too large for a bundle file"));
        return;
    }
    QByteArray kept;
    Sha256 sha;
    uLong crc = ::crc32(0L, Z_NULL, 0);
    qint64 left = entry.size;
    if (!file.seek(dataOffset))
        left = -1;
    while (left > 0) {
        const QByteArray chunk = file.read(std::min(left, chunkBytes));
        if (chunk.isEmpty())
            break;
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size()));
        sha.add(chunk);
        if (keep)
            kept += chunk;
        left -= chunk.size();
    }
    if (left != 0) {
        problem(where, QStringLiteral("its data cannot be read: %1").arg(file.errorString()));
        return;
    }
    ++m_result.zipEntries;
    if (quint32(crc) != entry.crc32) {
        problem(where, QStringLiteral("CRC-32 is %1, the archive says %2")
                           .arg(QString::number(quint32(crc), 16).rightJustified(8, u'0'),
                                QString::number(entry.crc32, 16).rightJustified(8, u'0')));
        return;
    }
    entry.dataRead = true;
    entry.sha256 = sha.hex();
    if (entry.name == manifestName.toUtf8())
        m_zipManifest = kept;
    else if (entry.name == indexName.toUtf8())
        m_zipIndexPdf = kept;
}

// Entries must not share bytes: a header or data inside another entry's is a forged archive.
void Verifier::checkOverlaps()
{
    struct Span {
        qint64 start;
        qint64 end;
        int entry;
    };
    QList<Span> spans;
    for (int i = 0; i < m_entries.size(); ++i) {
        const ZipEntryInfo& e = m_entries.at(i);
        if (e.dataRead)
            spans.append({qint64(e.localOffset),
                          qint64(e.localOffset) + localHeaderBytes + e.name.size() + e.size, i});
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.start < b.start; });
    for (qsizetype i = 1; i < spans.size(); ++i) {
        if (spans.at(i).start < spans.at(i - 1).end)
            problem(zipWhere(QString::fromUtf8(m_entries.at(spans.at(i).entry).name)),
                    QStringLiteral("overlaps the entry %1")
                        .arg(QString::fromUtf8(m_entries.at(spans.at(i - 1).entry).name)));
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
    const QByteArray text = bytes.mid(byteOrderMark.size());
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString decoded = utf8.decode(text);
    if (utf8.hasError()) {
        problem(where, QStringLiteral("is not valid UTF-8"));
        return std::nullopt;
    }
    const CsvSplit split = splitCsv(text);
    if (!split.ok) {
        problem(where,
                QStringLiteral("line %1: %2").arg(QString::number(split.faultLine), split.error));
        return std::nullopt;
    }
    const QList<CsvRecord>& records = split.records;
    QStringList header;
    if (!records.isEmpty()) {
        for (const QByteArray& field : records.first().fields)
            header.append(QString::fromUtf8(field));
    }
    if (header != manifestColumns) {
        problem(where, QStringLiteral("the header is not \"%1\"").arg(manifestColumns.join(u',')));
        return std::nullopt;
    }
    if (records.size() == 1) {
        problem(where, QStringLiteral("lists no documents"));
        return std::nullopt;
    }

    QStringList states, decisions;
    for (int value : {Ready, NeedsOcr, Unreadable, Encrypted}) {
        states.append(stateText(value));
        decisions.append(manifestDecisionText(value)); // decisions share the values 0 to 3
    }
    QList<ManifestRow> rows;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records.at(r);
        const QString line = QString::number(record.line);
        if (record.fields.size() != manifestColumns.size()) {
            problem(where, QStringLiteral("line %1: %2 values instead of %3")
                               .arg(line, QString::number(record.fields.size()),
                                    QString::number(manifestColumns.size())));
            continue;
        }
        const auto& f = record.fields;
        ManifestRow row;
        row.line = record.line;
        row.sourcePath = QString::fromUtf8(f.at(SourcePathColumn));
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
    return rows;
}

// Where each row's original lies below the bundle, exactly as the export placed it (under the
// portable name it chose): entry name to the rows that name it.
QHash<QString, QList<int>> Verifier::expectedOriginals(const QList<ManifestRow>& rows) const
{
    QStringList sources;
    for (const ManifestRow& row : rows)
        sources.append(row.sourcePath);
    const QString base = commonBaseDirectory(sources);
    QStringList wanted;
    QHash<QString, qsizetype> wantedIndex;
    for (const QString& source : std::as_const(sources)) {
        if (wantedIndex.contains(source))
            continue; // the same file listed twice is stored once
        wantedIndex.insert(source, wanted.size());
        wanted.append(originalsRelativePath(base, source));
    }
    const QStringList stored = portablePaths(wanted);
    QHash<QString, QList<int>> expected;
    for (int i = 0; i < rows.size(); ++i)
        expected[originalsPrefix + stored.at(wantedIndex.value(rows.at(i).sourcePath))].append(i);
    return expected;
}

void Verifier::compareZipOriginals(const QList<ManifestRow>& rows)
{
    const QHash<QString, QList<int>> expected = expectedOriginals(rows);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString where = zipWhere(it.key());
        const int at = m_entryIndex.value(it.key().toUtf8(), -1);
        for (int rowIndex : it.value()) {
            const ManifestRow& row = rows.at(rowIndex);
            if (at < 0) {
                problem(
                    where,
                    QStringLiteral("missing, though manifest.csv line %1 lists it").arg(row.line));
                continue;
            }
            const ZipEntryInfo& entry = m_entries.at(at);
            if (!entry.dataRead || row.size < 0 || row.sha256.isEmpty())
                continue; // already reported
            ++m_result.originals;
            if (qint64(entry.size) != row.size)
                problem(where, QStringLiteral("%1 bytes, manifest.csv line %2 says %3")
                                   .arg(QString::number(entry.size), QString::number(row.line),
                                        QString::number(row.size)));
            else if (entry.sha256 != row.sha256)
                problem(where,
                        QStringLiteral("SHA-256 differs from manifest.csv line %1").arg(row.line));
        }
    }
    for (const ZipEntryInfo& entry : std::as_const(m_entries)) {
        const QString name = QString::fromUtf8(entry.name);
        if (name != manifestName && name != indexName && !expected.contains(name))
            problem(zipWhere(name), QStringLiteral("not listed in manifest.csv"));
    }
}

void Verifier::compareFolderOriginals(const QList<ManifestRow>& rows)
{
    const QHash<QString, QList<int>> expected = expectedOriginals(rows);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString where = folderWhere(it.key());
        const QString path = m_folder + u'/' + it.key();
        std::optional<FileDigest> digest;
        for (int rowIndex : it.value()) {
            const ManifestRow& row = rows.at(rowIndex);
            if (!QFileInfo(path).isFile()) {
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
    const QDir folder(m_folder);
    QDirIterator it(m_folder + u'/' + originalsPrefix.chopped(1),
                    QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = folder.relativeFilePath(it.next());
        if (!expected.contains(relative))
            problem(folderWhere(relative), QStringLiteral("not listed in manifest.csv"));
    }
}

void Verifier::checkPdfOpens(const QString& pdfPath, const QString& where)
{
    if (const Status opens = m_pdfOpens(pdfPath); !opens.ok)
        problem(where, QStringLiteral("does not open: %1").arg(opens.error));
}

void Verifier::checkZipIndex()
{
    const int at = m_entryIndex.value(indexName.toUtf8(), -1);
    const QString where = zipWhere(indexName);
    if (at < 0) {
        problem(where, QStringLiteral("missing"));
        return;
    }
    if (!m_entries.at(at).dataRead)
        return; // already reported
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/tessavo-verify-XXXXXX.pdf"));
    if (!copy.open() || copy.write(m_zipIndexPdf) != m_zipIndexPdf.size() || !copy.flush()) {
        problem(where, QStringLiteral("cannot be checked: %1").arg(copy.errorString()));
        return;
    }
    checkPdfOpens(copy.fileName(), where);
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
