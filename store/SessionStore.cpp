#include "store/SessionStore.h"

#include "core/FileIdentity.h"
#include "core/LearnedModel.h"
#include "core/PrivateFile.h"
#include "core/RawPath.h"
#include "logging/LogPath.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <QtEndian>

#include <atomic>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace Tessavo::Store {

namespace {

// Marks the file as ours ("TSSV"), so that some other SQLite file is never taken for a session.
constexpr qint32 applicationId = 0x54535356;

// Upper bounds for what a row may hold besides its page texts.
constexpr qint64 maxMatches = 100'000;
constexpr qint64 maxPathBytes = 16 * 1024;
constexpr qint64 maxTitleChars = 1024;
constexpr qint64 maxShortTextChars = 64 * 1024;
constexpr qint64 maxNoteChars = 1024 * 1024;
constexpr qint64 maxSuggestionBytes = 64 * 1024 * 1024;
// Page texts as stored: a count, then per page an index, a length, the UTF-16 text and a flag.
constexpr qint64 maxPageTextsBytes =
    4 + 9 * SessionStore::maxPages + 2 * SessionStore::maxTextChars;
constexpr qint64 maxCompressedPageTextsBytes = maxPageTextsBytes + maxPageTextsBytes / 100 + 64;
constexpr qint64 maxPendingFiles = 1'000'000;

const char* const createTable = R"(CREATE TABLE document (
    path_bytes BLOB PRIMARY KEY NOT NULL,
    path TEXT NOT NULL,
    position INTEGER UNIQUE,
    used INTEGER NOT NULL,
    size INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    sha256 TEXT NOT NULL,
    file_name TEXT NOT NULL,
    pages INTEGER NOT NULL,
    text_pages INTEGER NOT NULL,
    text_chars INTEGER NOT NULL,
    title TEXT NOT NULL,
    state INTEGER NOT NULL,
    error_text TEXT NOT NULL,
    page_texts BLOB NOT NULL,
    suggestion BLOB NOT NULL,
    decision INTEGER NOT NULL,
    final_category TEXT NOT NULL,
    note TEXT NOT NULL
))";

const char* const createPending = R"(CREATE TABLE pending (
    position INTEGER PRIMARY KEY,
    path_bytes BLOB NOT NULL
))";

// What the program learned from filed documents: one example a row, kept until forgotten.
const char* const createLearned = R"(CREATE TABLE IF NOT EXISTS learned (
    key TEXT PRIMARY KEY NOT NULL,
    example BLOB NOT NULL
))";

const QString inspectionColumns = QStringLiteral(
    "path, size, modified, sha256, file_name, pages, text_pages, text_chars, title, state, "
    "error_text, page_texts");

const QString inspectionPlaceholders = QStringLiteral("?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?");

// A row whose sizes and types stay within what this build reads; its values are fetched only
// then, so that a hostile row never costs more than the limits.
QString rowFitsExpression()
{
    return QStringLiteral(
               "(typeof(size) = 'integer' AND typeof(modified) = 'integer' AND "
               "typeof(pages) = 'integer' AND typeof(text_pages) = 'integer' AND "
               "typeof(text_chars) = 'integer' AND typeof(state) = 'integer' AND "
               "typeof(decision) = 'integer' AND length(%KEY%) <= %1 AND length(path) <= %1 AND "
               "length(file_name) <= %1 AND length(sha256) <= 64 AND length(title) <= %2 AND "
               "length(error_text) <= %3 AND length(final_category) <= %3 AND "
               "length(note) <= %4 AND length(suggestion) <= %5 AND length(page_texts) <= %6)")
        .arg(QString::number(maxPathBytes), QString::number(maxTitleChars),
             QString::number(maxShortTextChars), QString::number(maxNoteChars),
             QString::number(maxSuggestionBytes), QString::number(maxCompressedPageTextsBytes));
}

QString text(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}

enum class RowRead { Ok, BeyondLimits, Damaged };

// Page texts: a count, then index, text and whether it was recognised, of each page; compressed,
// since text is most of a record's bytes.
QByteArray pageTextsBlob(const QList<PageText>& pages)
{
    QByteArray raw;
    QDataStream out(&raw, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << quint32(pages.size());
    for (const PageText& page : pages)
        out << qint32(page.pageIndex) << page.text << page.recognised;
    return qCompress(raw, 1);
}

// Expands a blob written by qCompress (the expanded size in four big-endian bytes, then a zlib
// stream) into at most limit bytes. The size it claims is checked before anything is allocated,
// and a stream that would expand beyond its claim is damage.
RowRead expandBounded(const QByteArray& blob, qint64 limit, QByteArray& raw)
{
    if (blob.size() < 4)
        return RowRead::Damaged;
    const quint32 claimed = qFromBigEndian<quint32>(blob.constData());
    if (qint64(claimed) > limit)
        return RowRead::BeyondLimits;
    raw = QByteArray(qsizetype(claimed), Qt::Uninitialized);
    if (claimed == 0)
        return blob.size() == 4 ? RowRead::Ok : RowRead::Damaged;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return RowRead::Damaged;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(blob.constData() + 4));
    stream.avail_in = uInt(blob.size() - 4);
    stream.next_out = reinterpret_cast<Bytef*>(raw.data());
    stream.avail_out = uInt(claimed);
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == claimed;
    inflateEnd(&stream);
    return whole ? RowRead::Ok : RowRead::Damaged;
}

RowRead readPageTexts(const QByteArray& blob, int pageCount, QList<PageText>& pages,
                      qint64& expandedBytes)
{
    QByteArray raw;
    if (const RowRead expanded = expandBounded(blob, maxPageTextsBytes, raw);
        expanded != RowRead::Ok)
        return expanded;
    expandedBytes += raw.size();
    if (raw.isEmpty())
        return RowRead::Damaged;
    QDataStream in(raw);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok)
        return RowRead::Damaged;
    if (qint64(count) > pageCount)
        return RowRead::BeyondLimits;
    pages.reserve(qsizetype(count));
    qint64 chars = 0;
    for (quint32 i = 0; i < count; ++i) {
        PageText page;
        qint32 index = 0;
        in >> index >> page.text >> page.recognised;
        if (in.status() != QDataStream::Ok || index < 0)
            return RowRead::Damaged;
        if (index >= pageCount)
            return RowRead::BeyondLimits;
        chars += page.text.size();
        if (chars > SessionStore::maxTextChars)
            return RowRead::BeyondLimits;
        page.pageIndex = index;
        page.charCount = int(page.text.size());
        pages.append(std::move(page));
    }
    return in.atEnd() ? RowRead::Ok : RowRead::Damaged;
}

// The flags a learned suggestion adds after its matches.
constexpr quint8 learnedFlag = 1;
constexpr quint8 tentativeFlag = 2;

QByteArray suggestionBlob(const DocumentRecord& r)
{
    QByteArray raw;
    QDataStream out(&raw, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const Suggestion& s = r.suggestion;
    out << s.category << s.ruleId << s.ruleName << s.evidence << qint32(s.evidencePage)
        << s.conflict << s.conflictNote << quint32(s.matches.size());
    for (const RuleMatch& m : s.matches)
        out << m.ruleId << m.ruleName << m.category << m.evidence << qint32(m.page);
    // Written only for a learned suggestion, so that rule suggestions keep the earlier form.
    if (s.learned)
        out << quint8(learnedFlag | (s.tentative ? tentativeFlag : 0));
    return raw;
}

RowRead readSuggestion(const QByteArray& raw, DocumentRecord& r)
{
    QDataStream in(raw);
    in.setVersion(QDataStream::Qt_6_4);
    qint32 evidencePage = -1;
    quint32 count = 0;
    Suggestion& s = r.suggestion;
    in >> s.category >> s.ruleId >> s.ruleName >> s.evidence >> evidencePage >> s.conflict >>
        s.conflictNote >> count;
    if (in.status() != QDataStream::Ok)
        return RowRead::Damaged;
    if (qint64(count) > maxMatches)
        return RowRead::BeyondLimits;
    s.evidencePage = evidencePage;
    for (quint32 i = 0; i < count; ++i) {
        RuleMatch m;
        qint32 page = -1;
        in >> m.ruleId >> m.ruleName >> m.category >> m.evidence >> page;
        if (in.status() != QDataStream::Ok)
            return RowRead::Damaged;
        m.page = page;
        s.matches.append(std::move(m));
    }
    if (!in.atEnd()) {
        quint8 flags = 0;
        in >> flags;
        if (in.status() != QDataStream::Ok || (flags & ~(learnedFlag | tentativeFlag)) != 0 ||
            !(flags & learnedFlag))
            return RowRead::Damaged;
        s.learned = true;
        s.tentative = flags & tentativeFlag;
    }
    return in.atEnd() ? RowRead::Ok : RowRead::Damaged;
}

// Integers read back from the file, refused when outside the range the record can hold.
bool readInt(const QVariant& value, qint64 low, qint64 high, qint64& result)
{
    bool ok = false;
    const qint64 v = value.toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    result = v;
    return true;
}

// Fills the inspection fields from a query whose first column is the path's bytes and whose
// next ones are inspectionColumns.
RowRead readInspection(const QSqlQuery& q, DocumentRecord& r, qint64& expandedBytes,
                       bool modifiedInMs)
{
    constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
    qint64 size = 0, modified = 0, pages = 0, textPages = 0, textChars = 0, state = 0;
    if (!readInt(q.value(2), 0, int64Max, size) || !readInt(q.value(3), -1, int64Max, modified) ||
        !readInt(q.value(6), 0, std::min(SessionStore::maxPages, std::max<qint64>(size, 1)),
                 pages) ||
        !readInt(q.value(7), 0, pages, textPages) || !readInt(q.value(8), 0, int64Max, textChars) ||
        !readInt(q.value(10), 0, 3, state))
        return RowRead::BeyondLimits;
    // The path's bytes are the file; the text column is only their readable copy and never
    // names the file on its own.
    const QByteArray rawPath = q.value(0).toByteArray();
    if (rawPath.isEmpty() || rawPath.contains('\0'))
        return RowRead::Damaged;
    r.sourcePath = QFile::decodeName(rawPath);
    r.sourcePathBytes = roundTrips(rawPath) ? QByteArray() : rawPath;
    r.sizeBytes = size;
    r.modifiedNs = modifiedInMs ? nanosecondsFromMilliseconds(modified) : modified;
    r.sha256 = text(q.value(4)).toLatin1();
    r.fileName = text(q.value(5));
    r.pages = int(pages);
    r.textPages = int(textPages);
    r.textChars = textChars;
    r.title = text(q.value(9));
    r.state = DocumentState(state); // within the enum's range, checked above
    r.errorText = text(q.value(11));
    return readPageTexts(q.value(12).toByteArray(), r.pages, r.pageTexts, expandedBytes);
}

// Qt binds a null string as SQL NULL; the text columns hold empty strings instead.
QVariant nonNull(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString sqlError(const QSqlQuery& q)
{
    return q.lastError().text();
}

QByteArray nativeName(const QString& path)
{
    return QFile::encodeName(path);
}

bool canWrite(const QString& path)
{
    return ::access(nativeName(path).constData(), W_OK) == 0;
}

} // namespace

SessionStore::SessionStore(QString path)
    : m_path(std::move(path))
{
    static std::atomic<int> counter{0};
    m_connectionName = QStringLiteral("tessavo-session-%1").arg(++counter);
}

SessionStore::~SessionStore()
{
    closeDatabase();
}

bool SessionStore::transact(const QString& what, const std::function<Status(QSqlDatabase&)>& work)
{
    return writable(what) && inTransaction(what, work);
}

bool SessionStore::inTransaction(const QString& what,
                                 const std::function<Status(QSqlDatabase&)>& work)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return fail(what, db.lastError().text());
    const Status done = work(db);
    if (done.ok && db.commit())
        return true;
    const QString why = done.ok ? db.lastError().text() : done.error;
    db.rollback();
    return fail(what, why);
}

bool SessionStore::fail(const QString& what, const QString& why)
{
    m_error = QStringLiteral("%1: %2").arg(what, why);
    return false;
}

bool SessionStore::writable(const QString& what)
{
    if (!m_open)
        return fail(what, QStringLiteral("the session file is not open"));
    if (m_readOnly)
        return fail(what, m_readOnlyReason);
    return true;
}

bool SessionStore::openDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (m_readOnly) {
        // Without the shared memory of the write-ahead log (it cannot be created in a folder
        // that cannot be written) the file is read as it is on disk.
        QUrl uri = QUrl::fromLocalFile(m_path);
        if (m_immutable)
            uri.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(m_path);
    }
    if (!db.open())
        return fail(QStringLiteral("cannot open %1").arg(Logging::pathForLog(m_path)),
                    db.lastError().text());
    m_open = true;
    // Deleted rows are overwritten on disk, so that no page text outlives "Clear".
    QSqlQuery(db).exec(QStringLiteral("PRAGMA secure_delete=ON"));
    return true;
}

void SessionStore::closeDatabase()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_open = false;
}

// Before SQLite sees the path: the file and its companions must be regular files of their own.
// A missing file is created here with mode 0600, so that SQLite's write-ahead log and shared
// memory files, which take the mode of the main file, are private too.
bool SessionStore::preparePaths()
{
    if (m_readOnly)
        return true;
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QString companion = m_path + suffix;
        const EntryKind kind = entryKind(companion);
        if (kind == EntryKind::Link || kind == EntryKind::Other) {
            // Never ours to follow: a link or pipe in place of a companion file goes.
            ::unlink(nativeName(companion).constData());
            qWarning().noquote() << QStringLiteral("Removed %1: not a regular file")
                                        .arg(Logging::pathForLog(companion));
        } else if (kind == EntryKind::RegularFile) {
            (void)securePrivateFile(companion);
        }
    }
    const EntryKind kind = entryKind(m_path);
    if (kind == EntryKind::Link || kind == EntryKind::Other) {
        m_setAsideReason = QStringLiteral("not a regular file");
        if (!setAside(m_setAsideReason))
            return false;
    }
    const Status created = createPrivateFile(m_path);
    if (!created.ok)
        return fail(QStringLiteral("cannot create %1").arg(Logging::pathForLog(m_path)),
                    created.error);
    return true;
}

bool SessionStore::open(QList<DocumentRecord>& records)
{
    records.clear();
    m_droppedPaths.clear();
    m_missingRows = 0;
    const QFileInfo info(m_path);
    const QString folder = info.absolutePath();
    const EntryKind kind = entryKind(m_path);
    const bool folderExists = QFileInfo(folder).isDir();
    if (folderExists &&
        (!canWrite(folder) || (kind == EntryKind::RegularFile && !canWrite(m_path)))) {
        // Shown, not kept: nothing can be written there, by this window or any other.
        if (kind != EntryKind::RegularFile)
            return fail(
                QStringLiteral("cannot keep the list in %1").arg(Logging::pathForLog(folder)),
                QStringLiteral("the data folder cannot be written"));
        m_readOnly = true;
        m_readOnlyReason = canWrite(folder) ? QStringLiteral("the session file cannot be written")
                                            : QStringLiteral("the data folder cannot be written");
    } else {
        if (const Status made = makePrivateFolder(folder); !made.ok)
            return fail(QStringLiteral("cannot create %1").arg(Logging::pathForLog(folder)),
                        made.error);
        // One window at a time keeps the list; a lock left by a crashed process is taken over.
        m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
        m_lock->setStaleLockTime(0);
        if (!m_lock->tryLock(0)) {
            const QLockFile::LockError error = m_lock->error();
            m_lock.reset();
            return fail(QStringLiteral("cannot lock %1").arg(Logging::pathForLog(m_path)),
                        error == QLockFile::LockFailedError
                            ? QStringLiteral("in use by another Tessavo window")
                            : QStringLiteral("the lock file cannot be written"));
        }
        (void)securePrivateFile(m_path + QStringLiteral(".lock"));
        removeOldSetAsideFiles();
        if (!preparePaths())
            return false;
    }

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!openDatabase())
            return false;
        bool unusable = false;
        if (prepareSchema(unusable)) {
            if (readList(records, unusable))
                return true;
            if (!unusable)
                return false;
        } else if (!unusable) {
            if (m_readOnly && !m_immutable) {
                // The write-ahead log could not be opened read-only: read the file alone.
                closeDatabase();
                m_immutable = true;
                --attempt;
                continue;
            }
            return false;
        }
        records.clear();
        if (m_readOnly)
            return fail(QStringLiteral("cannot read %1").arg(Logging::pathForLog(m_path)),
                        m_setAsideReason);
        if (!setAside(m_setAsideReason) || !preparePaths())
            return false;
    }
    return fail(QStringLiteral("cannot start a new session file"), m_error);
}

// Checks that the file is a session file of a version this build reads, or makes a new one.
bool SessionStore::prepareSchema(bool& setAsideNeeded)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    auto single = [&q](const QString& sql, QVariant& value) {
        if (!q.exec(sql) || !q.next())
            return false;
        value = q.value(0);
        return true;
    };
    QVariant version, appId, tables;
    if (!single(QStringLiteral("PRAGMA user_version"), version) ||
        !single(QStringLiteral("PRAGMA application_id"), appId) ||
        !single(QStringLiteral("SELECT count(*) FROM sqlite_master"), tables)) {
        if (m_readOnly && !m_immutable)
            return fail(QStringLiteral("cannot read the session"), sqlError(q));
        m_setAsideReason = QStringLiteral("damaged");
        setAsideNeeded = true;
        return false;
    }
    if (version.toInt() > schemaVersion) {
        m_setAsideReason = QStringLiteral("newer version");
        setAsideNeeded = true;
        return false;
    }
    if (version.toInt() == 0 && tables.toInt() == 0) {
        if (m_readOnly)
            return fail(QStringLiteral("cannot keep the list"), m_readOnlyReason);
        // A new file. WAL first: it stays with the file from then on.
        QVariant mode;
        if (!single(QStringLiteral("PRAGMA journal_mode=WAL"), mode) ||
            mode.toString().compare(u"wal", Qt::CaseInsensitive) != 0)
            return fail(QStringLiteral("cannot use WAL mode"), sqlError(q));
        q.finish(); // a statement still in progress would hold the commit back
        const bool created =
            inTransaction(QStringLiteral("cannot create the session file"), [](QSqlDatabase& db) {
                QSqlQuery create(db);
                const bool ok =
                    create.exec(QString::fromLatin1(createTable)) &&
                    create.exec(
                        QStringLiteral("CREATE INDEX document_position ON document(position)")) &&
                    create.exec(QString::fromLatin1(createPending)) &&
                    create.exec(QString::fromLatin1(createLearned)) &&
                    create.exec(QStringLiteral("PRAGMA application_id=%1").arg(applicationId)) &&
                    create.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
                return ok ? Status::success() : Status::failure(sqlError(create));
            });
        if (!created)
            return false;
    } else if (version.toInt() < 1 || appId.toInt() != applicationId) {
        m_setAsideReason = QStringLiteral("not a session file");
        setAsideNeeded = true;
        return false;
    } else {
        QVariant check;
        if (!single(QStringLiteral("PRAGMA quick_check"), check) || check.toString() != u"ok") {
            m_setAsideReason = QStringLiteral("damaged");
            setAsideNeeded = true;
            return false;
        }
        if (m_readOnly) {
            m_legacyKeys = version.toInt() == 1;
            m_modifiedInMs = version.toInt() < 3;
            return true;
        }
        QVariant mode;
        if (!single(QStringLiteral("PRAGMA journal_mode=WAL"), mode))
            return fail(QStringLiteral("cannot use WAL mode"), sqlError(q));
        q.finish(); // an active statement would keep the old table from being dropped
        if (version.toInt() < schemaVersion && !migrate(version.toInt())) {
            if (m_setAsideReason.isEmpty())
                return false;
            setAsideNeeded = true;
            return false;
        }
    }
    // Every commit reaches the disk before it returns: a crash of the machine loses at most the
    // change that was being written.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return fail(QStringLiteral("cannot set synchronous writes"), sqlError(q));
    return true;
}

namespace {

// The first version's table, its rows known by their path's bytes from now on; only the listed
// rows are kept.
bool migrateFirstVersion(QSqlQuery& q)
{
    return q.exec(
               QString::fromLatin1(createTable)
                   .replace(QStringLiteral("TABLE document"), QStringLiteral("TABLE migrated"))) &&
           q.exec(
               QStringLiteral("INSERT INTO migrated (path_bytes, path, position, used, size, "
                              "modified, sha256, file_name, pages, text_pages, text_chars, title, "
                              "state, error_text, page_texts, suggestion, decision, "
                              "final_category, note) SELECT CAST(path AS BLOB), path, position, "
                              "used, size, modified, sha256, file_name, pages, text_pages, "
                              "text_chars, title, state, error_text, page_texts, suggestion, "
                              "decision, final_category, note FROM document WHERE position IS "
                              "NOT NULL")) &&
           q.exec(QStringLiteral("DROP TABLE document")) &&
           q.exec(QStringLiteral("ALTER TABLE migrated RENAME TO document")) &&
           q.exec(QStringLiteral("CREATE INDEX document_position ON document(position)")) &&
           q.exec(QString::fromLatin1(createPending));
}

} // namespace

// A file of the first version knew paths by their decoded text, and kept the inspections of
// cleared documents for reuse. Rows are now known by the path's bytes (the text's own bytes for
// these rows), and the inspections outside the list are deleted with their texts. Files before
// the third version kept modification times in milliseconds; they are nanoseconds now (a time
// too large for that is unknown, and the file shows as changed at the next check). The fourth
// version added the table of learned examples.
bool SessionStore::migrate(int fromVersion)
{
    const bool updated = inTransaction(
        QStringLiteral("cannot update the session file"), [this, fromVersion](QSqlDatabase& db) {
            QSqlQuery q(db);
            const bool ok =
                (fromVersion > 1 || migrateFirstVersion(q)) &&
                (fromVersion > 2 ||
                 q.exec(QStringLiteral("UPDATE document SET modified = CASE WHEN modified BETWEEN "
                                       "0 AND %1 THEN modified * 1000000 ELSE -1 END WHERE "
                                       "typeof(modified) = 'integer'")
                            .arg(std::numeric_limits<qint64>::max() / 1000000))) &&
                q.exec(QString::fromLatin1(createLearned)) &&
                q.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
            if (ok)
                return Status::success();
            m_setAsideReason = QStringLiteral("damaged");
            return Status::failure(sqlError(q));
        });
    if (!updated || fromVersion > 1)
        return updated;
    // The deleted texts leave the free pages too.
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.exec(QStringLiteral("VACUUM"));
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return true;
}

bool SessionStore::readList(QList<DocumentRecord>& records, bool& damaged)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const QString key =
        m_legacyKeys ? QStringLiteral("CAST(path AS BLOB)") : QStringLiteral("path_bytes");
    auto damage = [&](const QString& why) {
        damaged = true;
        m_setAsideReason = QStringLiteral("damaged");
        return fail(QStringLiteral("cannot read the session"), why);
    };
    // First which rows there are and whether each fits the limits; only then their values.
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral("SELECT rowid, position, %1, substr(path, 1, 1024) FROM document "
                                  "WHERE position IS NOT NULL ORDER BY position")
                       .arg(rowFitsExpression().replace(QStringLiteral("%KEY%"), key))))
        return damage(sqlError(rows));
    struct Row {
        qint64 rowid = 0;
        qint64 position = 0;
        bool fits = false;
        QString path;
    };
    QList<Row> listed;
    qint64 lastPosition = -1;
    while (rows.next()) {
        qint64 position = 0;
        if (!readInt(rows.value(1), 0, std::numeric_limits<int>::max(), position))
            return damage(QStringLiteral("a position is damaged"));
        lastPosition = position;
        listed.append({rows.value(0).toLongLong(), position, rows.value(2).toInt() == 1,
                       text(rows.value(3))});
    }
    if (rows.lastError().isValid())
        return damage(sqlError(rows));
    rows.finish();

    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, %2, suggestion, decision, final_category, note FROM "
                             "document WHERE rowid = ?")
                  .arg(key, inspectionColumns));
    QList<qint64> dropped;
    QList<qint64> kept;
    QSet<QByteArray> keys;
    qint64 doubled = 0;
    qint64 expandedBytes = 0;
    for (const Row& row : std::as_const(listed)) {
        DocumentRecord r;
        RowRead read = RowRead::BeyondLimits;
        if (row.fits) {
            q.addBindValue(row.rowid);
            if (!q.exec() || !q.next())
                return damage(sqlError(q));
            qint64 decision = 0;
            read = readInspection(q, r, expandedBytes, m_modifiedInMs);
            if (read == RowRead::Ok)
                read = readSuggestion(q.value(13).toByteArray(), r);
            if (read == RowRead::Ok && !readInt(q.value(14), 0, 3, decision))
                read = RowRead::BeyondLimits;
            r.decision = Decision(decision); // within range, checked above
            r.finalCategory = text(q.value(15));
            r.note = text(q.value(16));
            q.finish();
        }
        if (read == RowRead::Damaged)
            return damage(QStringLiteral("row %1 is damaged").arg(records.size()));
        if (expandedBytes > maxListTextBytes)
            return damage(QStringLiteral("its texts expand beyond %1 bytes").arg(maxListTextBytes));
        if (read == RowRead::BeyondLimits) {
            dropped.append(row.rowid);
            m_droppedPaths.append(row.path);
            continue;
        }
        // One row per file: a later row of the same bytes (its key no longer kept them apart)
        // would be merged into the first at the next save; it goes now.
        if (keys.contains(sourcePathBytesOf(r))) {
            dropped.append(row.rowid);
            ++doubled;
            continue;
        }
        keys.insert(sourcePathBytesOf(r));
        kept.append(row.rowid);
        records.append(std::move(r));
    }
    if (doubled > 0)
        qWarning().noquote() << QStringLiteral("The stored session listed %1 file(s) twice; "
                                               "only the first row of each is kept")
                                    .arg(doubled);
    m_missingRows = int(std::max<qint64>(0, lastPosition + 1 - listed.size()));
    // Positions other than 0, 1, 2, … (gaps, rows dropped, a position given twice) are numbered
    // afresh, so that every row is addressed by its index in the list.
    bool numbered = dropped.isEmpty() && lastPosition + 1 == listed.size();
    for (qsizetype i = 0; numbered && i < listed.size(); ++i)
        numbered = listed.at(i).position == i;
    if (!numbered && !m_readOnly)
        return renumber(kept, dropped);
    return true;
}

// Rows are addressed by their index in the list from now on: dropped rows go, and the kept ones
// (their row ids in list order) are numbered afresh in one go.
bool SessionStore::renumber(const QList<qint64>& kept, const QList<qint64>& dropped)
{
    return inTransaction(
        QStringLiteral("cannot renumber the session"), [&kept, &dropped](QSqlDatabase& db) {
            QSqlQuery q(db);
            bool ok = q.prepare(QStringLiteral("DELETE FROM document WHERE rowid = ?"));
            for (qsizetype i = 0; ok && i < dropped.size(); ++i) {
                q.addBindValue(dropped.at(i));
                ok = q.exec();
            }
            ok = ok && q.exec(QStringLiteral("UPDATE document SET position = NULL")) &&
                 q.prepare(QStringLiteral("UPDATE document SET position = ? WHERE rowid = ?"));
            for (qsizetype row = 0; ok && row < kept.size(); ++row) {
                q.addBindValue(qint64(row));
                q.addBindValue(kept.at(row));
                ok = q.exec();
            }
            return ok ? Status::success() : Status::failure(sqlError(q));
        });
}

// Moves the unusable file (with its write-ahead log) to the same name plus ".bad" and leaves the
// path free for a new session file. A link is moved itself; what it points to is never touched.
bool SessionStore::setAside(const QString& reason)
{
    closeDatabase();
    QString target = m_path + QStringLiteral(".bad");
    for (int n = 2; entryKind(target) != EntryKind::Missing && n < 100; ++n)
        target = m_path + QStringLiteral(".%1.bad").arg(n);
    if (::rename(nativeName(m_path).constData(), nativeName(target).constData()) != 0)
        return fail(QStringLiteral("cannot set %1 aside").arg(Logging::pathForLog(m_path)),
                    QStringLiteral("rename failed"));
    // Its age counts from now: a set-aside file is kept for keptSetAsideDays.
    const struct timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    ::utimensat(AT_FDCWD, nativeName(target).constData(), now, AT_SYMLINK_NOFOLLOW);
    (void)securePrivateFile(target);
    const QString wal = m_path + QStringLiteral("-wal");
    if (entryKind(wal) != EntryKind::RegularFile ||
        ::rename(nativeName(wal).constData(),
                 nativeName(target + QStringLiteral("-wal")).constData()) != 0)
        ::unlink(nativeName(wal).constData());
    ::unlink(nativeName(m_path + QStringLiteral("-shm")).constData());
    m_setAsidePath = target;
    m_setAsideReason = reason;
    qWarning().noquote() << QStringLiteral("The stored session (%1) was set aside as %2; it is "
                                           "removed after %3 days")
                                .arg(reason, Logging::pathForLog(target),
                                     QString::number(keptSetAsideDays));
    return true;
}

// Set-aside files hold the texts of their documents too: they are kept for keptSetAsideDays
// after they were set aside, and removed at the first start after that.
void SessionStore::removeOldSetAsideFiles()
{
    const QFileInfo info(m_path);
    const QDir folder(info.absolutePath());
    const QString base = info.fileName();
    const QDateTime limit = QDateTime::currentDateTime().addDays(-keptSetAsideDays);
    const QFileInfoList entries =
        folder.entryInfoList({base + QStringLiteral(".bad"), base + QStringLiteral(".bad-wal"),
                              base + QStringLiteral(".*.bad"), base + QStringLiteral(".*.bad-wal")},
                             QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        struct stat status {};
        const QByteArray name = nativeName(entry.absoluteFilePath());
        if (::lstat(name.constData(), &status) != 0 ||
            QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec) >= limit)
            continue;
        if (::unlink(name.constData()) == 0)
            qInfo().noquote() << QStringLiteral("Removed the set-aside session %1 after %2 days")
                                     .arg(Logging::pathForLog(entry.absoluteFilePath()),
                                          QString::number(keptSetAsideDays));
    }
}

bool SessionStore::saveRecords(const QList<DocumentRecord>& list, const QList<int>& rows)
{
    return transact(QStringLiteral("cannot save"), [&list, &rows](QSqlDatabase& db) {
        QSqlQuery free(db), insert(db);
        // A row given to another file takes its old file's texts off the disk.
        free.prepare(QStringLiteral("DELETE FROM document WHERE position = ? AND path_bytes <> ?"));
        insert.prepare(
            QStringLiteral("INSERT OR REPLACE INTO document (path_bytes, %1, suggestion, "
                           "decision, final_category, note, position, used) VALUES "
                           "(?, %2, ?, ?, ?, ?, ?, ?)")
                .arg(inspectionColumns, inspectionPlaceholders));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (int row : rows) {
            if (row < 0 || row >= list.size())
                continue;
            const DocumentRecord& r = list.at(row);
            const QByteArray key = sourcePathBytesOf(r);
            free.addBindValue(row);
            free.addBindValue(key);
            const QVariant values[] = {key,
                                       nonNull(r.sourcePath),
                                       r.sizeBytes,
                                       r.modifiedNs,
                                       nonNull(QString::fromLatin1(r.sha256)),
                                       nonNull(r.fileName),
                                       r.pages,
                                       r.textPages,
                                       r.textChars,
                                       nonNull(r.title),
                                       r.state,
                                       nonNull(r.errorText),
                                       pageTextsBlob(r.pageTexts),
                                       suggestionBlob(r),
                                       r.decision,
                                       nonNull(r.finalCategory),
                                       nonNull(r.note),
                                       row,
                                       now};
            for (const QVariant& v : values)
                insert.addBindValue(v);
            if (!free.exec() || !insert.exec())
                return Status::failure(free.lastError().isValid() ? sqlError(free)
                                                                  : sqlError(insert));
        }
        return Status::success();
    });
}

bool SessionStore::saveReviews(const QList<DocumentRecord>& list, const QList<int>& rows)
{
    return transact(QStringLiteral("cannot save"), [&list, &rows](QSqlDatabase& db) {
        QSqlQuery update(db);
        update.prepare(QStringLiteral("UPDATE document SET suggestion = ?, decision = ?, "
                                      "final_category = ?, note = ? WHERE position = ?"));
        for (int row : rows) {
            if (row < 0 || row >= list.size())
                continue;
            const DocumentRecord& r = list.at(row);
            update.addBindValue(suggestionBlob(r));
            update.addBindValue(r.decision);
            update.addBindValue(nonNull(r.finalCategory));
            update.addBindValue(nonNull(r.note));
            update.addBindValue(row);
            if (!update.exec())
                return Status::failure(sqlError(update));
        }
        return Status::success();
    });
}

bool SessionStore::clearList()
{
    const bool cleared = transact(QStringLiteral("cannot clear"), [](QSqlDatabase& db) {
        QSqlQuery q(db);
        const bool ok = q.exec(QStringLiteral("DELETE FROM document")) &&
                        q.exec(QStringLiteral("DELETE FROM pending"));
        return ok ? Status::success() : Status::failure(sqlError(q));
    });
    if (!cleared)
        return false;
    eraseDeleted();
    return true;
}

// The deleted pages were overwritten (secure_delete); the write-ahead log still holds the earlier
// versions of them until it is emptied, and the file keeps its size until vacuumed.
void SessionStore::eraseDeleted()
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    q.exec(QStringLiteral("VACUUM"));
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !q.next() ||
        q.value(0).toInt() != 0)
        qWarning().noquote() << QStringLiteral("The session's log could not be emptied yet; it "
                                               "is at the next change");
}

bool SessionStore::saveLearned(const QList<LearnedExample>& examples)
{
    return transact(QStringLiteral("cannot keep what was learned"), [&examples](QSqlDatabase& db) {
        QSqlQuery q(db);
        bool ok = q.prepare(
            QStringLiteral("INSERT OR REPLACE INTO learned (key, example) VALUES (?, ?)"));
        for (const LearnedExample& example : examples) {
            // Only what reads back is kept: an example beyond the limits is left out.
            const QByteArray bytes = learnedExampleBytes(example);
            if (!ok || example.key.isEmpty() || !readLearnedExample(bytes))
                continue;
            q.addBindValue(example.key);
            q.addBindValue(bytes);
            ok = q.exec();
        }
        return ok ? Status::success() : Status::failure(sqlError(q));
    });
}

bool SessionStore::removeLearned(const QStringList& keys)
{
    return transact(QStringLiteral("cannot forget"), [&keys](QSqlDatabase& db) {
        QSqlQuery q(db);
        bool ok = q.prepare(QStringLiteral("DELETE FROM learned WHERE key = ?"));
        for (qsizetype i = 0; ok && i < keys.size(); ++i) {
            q.addBindValue(keys.at(i));
            ok = q.exec();
        }
        return ok ? Status::success() : Status::failure(sqlError(q));
    });
}

bool SessionStore::forgetLearned()
{
    const bool forgotten = transact(QStringLiteral("cannot forget"), [](QSqlDatabase& db) {
        QSqlQuery q(db);
        return q.exec(QStringLiteral("DELETE FROM learned")) ? Status::success()
                                                             : Status::failure(sqlError(q));
    });
    if (!forgotten)
        return false;
    eraseDeleted();
    return true;
}

QList<LearnedExample> SessionStore::learnedExamples()
{
    m_refusedLearned = 0;
    QList<LearnedExample> examples;
    if (!m_open)
        return examples;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    // A row's bytes are fetched only when its size fits; the others are counted.
    if (!q.exec(QStringLiteral("SELECT typeof(key) = 'text' AND typeof(example) = 'blob' AND "
                               "length(key) <= %1 AND length(example) <= %2, "
                               "CASE WHEN typeof(key) = 'text' AND length(key) <= %1 THEN key END, "
                               "CASE WHEN typeof(example) = 'blob' AND length(example) <= %2 "
                               "THEN example END FROM learned ORDER BY key LIMIT %3")
                    .arg(QString::number(maxLearnedNameChars),
                         QString::number(maxLearnedExampleBytes),
                         QString::number(maxLearnedExamples + 1))))
        return examples; // a store of an earlier version opened read-only has no such table
    while (q.next()) {
        if (examples.size() >= maxLearnedExamples) {
            ++m_refusedLearned;
            break;
        }
        std::optional<LearnedExample> example;
        if (q.value(0).toBool())
            example = readLearnedExample(q.value(2).toByteArray());
        // A key given twice (a table not made by us) keeps its first row.
        if (!example || example->key != q.value(1).toString() ||
            (!examples.isEmpty() && examples.constLast().key == example->key)) {
            ++m_refusedLearned;
            continue;
        }
        examples.append(std::move(*example));
    }
    if (m_refusedLearned > 0)
        qWarning().noquote() << QStringLiteral("The stored session holds %1 learned example(s) "
                                               "that cannot be read; they are left out")
                                    .arg(m_refusedLearned);
    return examples;
}

bool SessionStore::savePending(const QList<QByteArray>& rawPaths)
{
    return transact(QStringLiteral("cannot keep the queue"), [&rawPaths](QSqlDatabase& db) {
        QSqlQuery q(db);
        bool ok =
            q.exec(QStringLiteral("DELETE FROM pending")) &&
            q.prepare(QStringLiteral("INSERT INTO pending (position, path_bytes) VALUES (?, ?)"));
        for (qsizetype i = 0; ok && i < rawPaths.size() && i < maxPendingFiles; ++i) {
            q.addBindValue(qint64(i));
            q.addBindValue(rawPaths.at(i));
            ok = q.exec();
        }
        return ok ? Status::success() : Status::failure(sqlError(q));
    });
}

QList<QByteArray> SessionStore::pending()
{
    QList<QByteArray> paths;
    if (!m_open || m_legacyKeys)
        return paths;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT path_bytes FROM pending WHERE typeof(path_bytes) = 'blob' "
                               "AND length(path_bytes) BETWEEN 1 AND %1 ORDER BY position LIMIT %2")
                    .arg(QString::number(maxPathBytes), QString::number(maxPendingFiles))))
        return paths;
    while (q.next()) {
        const QByteArray path = q.value(0).toByteArray();
        if (path.startsWith('/') && !path.contains('\0'))
            paths.append(path);
    }
    return paths;
}

std::optional<DocumentRecord> SessionStore::storedInspection(const QByteArray& rawPath)
{
    if (!m_open)
        return std::nullopt;
    const QString key =
        m_legacyKeys ? QStringLiteral("CAST(path AS BLOB)") : QStringLiteral("path_bytes");
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, %2 FROM document WHERE %1 = ? AND %3")
                  .arg(key, inspectionColumns,
                       rowFitsExpression().replace(QStringLiteral("%KEY%"), key)));
    q.addBindValue(rawPath);
    DocumentRecord r;
    qint64 expandedBytes = 0;
    if (!q.exec() || !q.next() ||
        readInspection(q, r, expandedBytes, m_modifiedInMs) != RowRead::Ok)
        return std::nullopt;
    return r;
}

} // namespace Tessavo::Store
