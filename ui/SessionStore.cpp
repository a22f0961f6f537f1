#include "ui/SessionStore.h"

#include "logging/LogPath.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <limits>

namespace Tessavo::Ui {

namespace {

// Marks the file as ours ("TSSV"), so that some other SQLite file is never taken for a session.
constexpr qint32 applicationId = 0x54535356;

// Upper bounds for counts read back from the file: anything beyond them means damage.
constexpr quint32 maxPages = 10'000'000;
constexpr quint32 maxMatches = 100'000;

const char* const createTable = R"(CREATE TABLE document (
    path TEXT PRIMARY KEY NOT NULL,
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

const QString inspectionColumns = QStringLiteral(
    "path, size, modified, sha256, file_name, pages, text_pages, text_chars, title, state, "
    "error_text, page_texts");

QString text(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}

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

bool readPageTexts(const QByteArray& blob, QList<PageText>& pages)
{
    const QByteArray raw = qUncompress(blob);
    if (raw.isEmpty())
        return false;
    QDataStream in(raw);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok || count > maxPages)
        return false;
    pages.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        PageText page;
        qint32 index = 0;
        in >> index >> page.text >> page.recognised;
        if (in.status() != QDataStream::Ok || index < 0)
            return false;
        page.pageIndex = index;
        page.charCount = int(page.text.size());
        pages.append(std::move(page));
    }
    return in.atEnd();
}

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
    return raw;
}

bool readSuggestion(const QByteArray& raw, DocumentRecord& r)
{
    QDataStream in(raw);
    in.setVersion(QDataStream::Qt_6_4);
    qint32 evidencePage = -1;
    quint32 count = 0;
    Suggestion& s = r.suggestion;
    in >> s.category >> s.ruleId >> s.ruleName >> s.evidence >> evidencePage >> s.conflict >>
        s.conflictNote >> count;
    if (in.status() != QDataStream::Ok || count > maxMatches)
        return false;
    s.evidencePage = evidencePage;
    for (quint32 i = 0; i < count; ++i) {
        RuleMatch m;
        qint32 page = -1;
        in >> m.ruleId >> m.ruleName >> m.category >> m.evidence >> page;
        if (in.status() != QDataStream::Ok)
            return false;
        m.page = page;
        s.matches.append(std::move(m));
    }
    return in.atEnd();
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

// Fills the inspection fields from a query whose first columns are inspectionColumns.
bool readInspection(const QSqlQuery& q, DocumentRecord& r)
{
    constexpr qint64 intMax = std::numeric_limits<int>::max();
    constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
    qint64 size = 0, modified = 0, pages = 0, textPages = 0, textChars = 0, state = 0;
    if (!readInt(q.value(1), 0, int64Max, size) || !readInt(q.value(2), -1, int64Max, modified) ||
        !readInt(q.value(5), 0, intMax, pages) || !readInt(q.value(6), 0, pages, textPages) ||
        !readInt(q.value(7), 0, int64Max, textChars) || !readInt(q.value(9), 0, 3, state))
        return false;
    r.sourcePath = text(q.value(0));
    r.sizeBytes = size;
    r.modifiedMs = modified;
    r.sha256 = text(q.value(3)).toLatin1();
    r.fileName = text(q.value(4));
    r.pages = int(pages);
    r.textPages = int(textPages);
    r.textChars = textChars;
    r.title = text(q.value(8));
    r.state = int(state);
    r.errorText = text(q.value(10));
    return !r.sourcePath.isEmpty() && readPageTexts(q.value(11).toByteArray(), r.pageTexts);
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

// Commits the open transaction, or rolls it back and says why.
bool SessionStore::commit(QSqlDatabase& db, const QString& what)
{
    if (db.commit())
        return true;
    const QString why = db.lastError().text();
    db.rollback();
    return fail(what, why);
}

bool SessionStore::fail(const QString& what, const QString& why)
{
    m_error = QStringLiteral("%1: %2").arg(what, why);
    return false;
}

bool SessionStore::openDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_path);
    if (!db.open())
        return fail(QStringLiteral("cannot open %1").arg(Logging::pathForLog(m_path)),
                    db.lastError().text());
    m_open = true;
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

bool SessionStore::open(QList<DocumentRecord>& records)
{
    records.clear();
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(
            QStringLiteral("cannot create %1").arg(Logging::pathForLog(info.absolutePath())),
            QStringLiteral("mkpath failed"));

    // One window at a time keeps the list; a lock left by a crashed process is taken over.
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        const bool inUse = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        return fail(QStringLiteral("cannot lock %1").arg(Logging::pathForLog(m_path)),
                    inUse ? QStringLiteral("in use by another Tessavo window")
                          : QStringLiteral("lock file not writable"));
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
            return false;
        }
        records.clear();
        if (!setAside(m_setAsideReason))
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
        // A new file. WAL first: it stays with the file from then on.
        QVariant mode;
        if (!single(QStringLiteral("PRAGMA journal_mode=WAL"), mode) ||
            mode.toString().compare(u"wal", Qt::CaseInsensitive) != 0)
            return fail(QStringLiteral("cannot use WAL mode"), sqlError(q));
        if (!db.transaction())
            return fail(QStringLiteral("cannot start a transaction"), db.lastError().text());
        if (!q.exec(QString::fromLatin1(createTable)) ||
            !q.exec(QStringLiteral("CREATE INDEX document_used ON document(used)")) ||
            !q.exec(QStringLiteral("PRAGMA application_id=%1").arg(applicationId)) ||
            !q.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion))) {
            const QString why = sqlError(q);
            db.rollback();
            return fail(QStringLiteral("cannot create the session file"), why);
        }
        if (!db.commit())
            return fail(QStringLiteral("cannot create the session file"), db.lastError().text());
    } else if (version.toInt() != schemaVersion || appId.toInt() != applicationId) {
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
        QVariant mode;
        if (!single(QStringLiteral("PRAGMA journal_mode=WAL"), mode))
            return fail(QStringLiteral("cannot use WAL mode"), sqlError(q));
    }
    // Every commit reaches the disk before it returns: a crash of the machine loses at most the
    // change that was being written.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return fail(QStringLiteral("cannot set synchronous writes"), sqlError(q));
    return true;
}

bool SessionStore::readList(QList<DocumentRecord>& records, bool& damaged)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1, suggestion, decision, final_category, note, position "
                               "FROM document WHERE position IS NOT NULL ORDER BY position")
                    .arg(inspectionColumns))) {
        damaged = true;
        m_setAsideReason = QStringLiteral("damaged");
        return fail(QStringLiteral("cannot read the session"), sqlError(q));
    }
    bool gaps = false;
    while (q.next()) {
        DocumentRecord r;
        qint64 decision = 0, position = 0;
        if (!readInspection(q, r) || !readSuggestion(q.value(12).toByteArray(), r) ||
            !readInt(q.value(13), 0, 3, decision) ||
            !readInt(q.value(16), 0, std::numeric_limits<int>::max(), position)) {
            damaged = true;
            m_setAsideReason = QStringLiteral("damaged");
            return fail(QStringLiteral("cannot read the session"),
                        QStringLiteral("row %1 is damaged").arg(records.size()));
        }
        r.decision = int(decision);
        r.finalCategory = text(q.value(14));
        r.note = text(q.value(15));
        gaps = gaps || position != records.size();
        records.append(std::move(r));
    }
    if (q.lastError().isValid()) {
        damaged = true;
        m_setAsideReason = QStringLiteral("damaged");
        return fail(QStringLiteral("cannot read the session"), sqlError(q));
    }
    q.finish();
    if (gaps) {
        // Rows are addressed by their index in the list from now on: renumber them in one go.
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        QSqlQuery renumber(db);
        bool ok = db.transaction() &&
                  renumber.exec(QStringLiteral("UPDATE document SET position = NULL")) &&
                  renumber.prepare(QStringLiteral("UPDATE document SET position = ? WHERE "
                                                  "path = ?"));
        for (int row = 0; ok && row < records.size(); ++row) {
            renumber.addBindValue(row);
            renumber.addBindValue(records.at(row).sourcePath);
            ok = renumber.exec();
        }
        if (!ok || !db.commit()) {
            const QString why =
                renumber.lastError().isValid() ? sqlError(renumber) : db.lastError().text();
            db.rollback();
            return fail(QStringLiteral("cannot renumber the session"), why);
        }
    }
    return true;
}

// Moves the unusable file (with its write-ahead log) to the same name plus ".bad" and leaves the
// path free for a new session file.
bool SessionStore::setAside(const QString& reason)
{
    closeDatabase();
    QString target = m_path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(target) && n < 100; ++n)
        target = m_path + QStringLiteral(".%1.bad").arg(n);
    if (!QFile::rename(m_path, target))
        return fail(QStringLiteral("cannot set %1 aside").arg(Logging::pathForLog(m_path)),
                    QStringLiteral("rename failed"));
    const QString wal = m_path + QStringLiteral("-wal");
    if (QFileInfo::exists(wal) && !QFile::rename(wal, target + QStringLiteral("-wal")))
        QFile::remove(wal);
    QFile::remove(m_path + QStringLiteral("-shm"));
    m_setAsidePath = target;
    m_setAsideReason = reason;
    return true;
}

bool SessionStore::saveRecords(const QList<DocumentRecord>& list, const QList<int>& rows)
{
    if (!m_open)
        return fail(QStringLiteral("cannot save"), QStringLiteral("the session file is not open"));
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return fail(QStringLiteral("cannot save"), db.lastError().text());
    QSqlQuery free(db), insert(db);
    free.prepare(QStringLiteral("UPDATE document SET position = NULL WHERE position = ? AND "
                                "path <> ?"));
    insert.prepare(QStringLiteral("INSERT OR REPLACE INTO document (%1, suggestion, decision, "
                                  "final_category, note, position, used) VALUES "
                                  "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                       .arg(inspectionColumns));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int row : rows) {
        if (row < 0 || row >= list.size())
            continue;
        const DocumentRecord& r = list.at(row);
        free.addBindValue(row);
        free.addBindValue(r.sourcePath);
        const QVariant values[] = {nonNull(r.sourcePath),
                                   r.sizeBytes,
                                   r.modifiedMs,
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
        if (!free.exec() || !insert.exec()) {
            const QString why = free.lastError().isValid() ? sqlError(free) : sqlError(insert);
            db.rollback();
            return fail(QStringLiteral("cannot save"), why);
        }
    }
    return commit(db, QStringLiteral("cannot save"));
}

bool SessionStore::saveReviews(const QList<DocumentRecord>& list, const QList<int>& rows)
{
    if (!m_open)
        return fail(QStringLiteral("cannot save"), QStringLiteral("the session file is not open"));
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return fail(QStringLiteral("cannot save"), db.lastError().text());
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
        if (!update.exec()) {
            const QString why = sqlError(update);
            db.rollback();
            return fail(QStringLiteral("cannot save"), why);
        }
    }
    return commit(db, QStringLiteral("cannot save"));
}

bool SessionStore::clearList()
{
    if (!m_open)
        return fail(QStringLiteral("cannot clear"), QStringLiteral("the session file is not open"));
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return fail(QStringLiteral("cannot clear"), db.lastError().text());
    QSqlQuery q(db);
    DocumentRecord blank;
    const bool ok =
        q.exec(QStringLiteral("UPDATE document SET position = NULL, decision = 0, "
                              "final_category = '', note = ''")) &&
        q.prepare(QStringLiteral("UPDATE document SET suggestion = ?")) &&
        (q.addBindValue(suggestionBlob(blank)), q.exec()) &&
        q.exec(QStringLiteral("DELETE FROM document WHERE path NOT IN (SELECT path FROM document "
                              "ORDER BY used DESC LIMIT %1)")
                   .arg(keptInspections));
    if (!ok) {
        const QString why = sqlError(q);
        db.rollback();
        return fail(QStringLiteral("cannot clear"), why);
    }
    return commit(db, QStringLiteral("cannot clear"));
}

std::optional<DocumentRecord> SessionStore::storedInspection(const QString& path)
{
    if (!m_open)
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM document WHERE path = ?").arg(inspectionColumns));
    q.addBindValue(path);
    DocumentRecord r;
    if (!q.exec() || !q.next() || !readInspection(q, r))
        return std::nullopt;
    return r;
}

} // namespace Tessavo::Ui
