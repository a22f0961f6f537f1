#pragma once

#include "core/Failure.h"

#include "core/DocumentRecord.h"
#include "core/LearnedModel.h"

#include <QByteArray>
#include <QList>
#include <QLockFile>
#include <QString>

#include <QStringList>
#include <functional>

#include <memory>
#include <optional>

class QSqlDatabase;

namespace Tessavo::Store {

// The document list kept on disk as it changes, so that closing, a crash or a kill loses at most
// the last change. One SQLite file in WAL mode; every change is one transaction.
//
// A row's position in the list is its identity here, as in the list model; a file is known by
// its path's own bytes, so that names that are not valid UTF-8 survive and never collapse into
// one row. The files not yet inspected when an import was interrupted are kept too, in order.
//
// The file holds every page's text: it is created 0600 in a 0700 folder and opened only when it
// is a regular file of its own (never through a link). "Clear" deletes the rows and their texts
// from the disk. What a row may claim and expand to is bounded as the import bounds it: a row
// beyond the limits is dropped with a note. A file that cannot be read within the limits, is not
// a session file or comes from a newer version is set aside under the same name plus ".bad" (a
// set-aside file is removed at a start once it is older than keptSetAsideDays), and an empty
// session starts in its place. A store in a folder that cannot be written is opened read-only.
class SessionStore {
public:
    static constexpr int schemaVersion = 4;
    static constexpr int keptSetAsideDays = 7;

    // What a stored row may hold, as the import allows it.
    static constexpr qint64 maxPages = 1'000'000;
    static constexpr qint64 maxTextChars = 32 * 1024 * 1024; // kept text per document
    // All page texts of the list together, expanded: beyond this the file is set aside.
    static constexpr qint64 maxListTextBytes = qint64(1) << 30;

    explicit SessionStore(QString path);
    ~SessionStore();
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    // Opens or creates the file and reads the stored list into records, in list order. False
    // when there is no usable store at all (errorString() says why); a file set aside still
    // counts as opened, with setAsidePath() and setAsideReason() telling what happened.
    [[nodiscard]] bool open(QList<DocumentRecord>& records);

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    QString setAsidePath() const { return m_setAsidePath; }
    QString setAsideReason() const { return m_setAsideReason; }

    // Opened read-only (the folder or the file cannot be written): the list is shown, nothing is
    // saved. The reason says why.
    bool readOnly() const { return m_readOnly; }
    QString readOnlyReason() const { return m_readOnlyReason; }

    // What open() could not restore: rows beyond the limits (dropped, their paths named), and
    // positions of the list that were never stored (a write failed, for example on a full disk).
    QStringList droppedPaths() const { return m_droppedPaths; }
    int missingRows() const { return m_missingRows; }

    // Writes whole records (inspection included) at their rows.
    [[nodiscard]] bool saveRecords(const QList<DocumentRecord>& list, const QList<int>& rows);
    // Writes the suggestion and review fields of the rows only.
    [[nodiscard]] bool saveReviews(const QList<DocumentRecord>& list, const QList<int>& rows);
    // Empties the list and removes its texts from the disk.
    [[nodiscard]] bool clearList();

    // The files an interrupted import had not inspected yet, in queue order; replaced as a whole.
    [[nodiscard]] bool savePending(const QList<QByteArray>& rawPaths);
    QList<QByteArray> pending();

    // The stored inspection of a file named by its path's bytes (inspection fields and
    // modifiedNs only), if any.
    std::optional<DocumentRecord> storedInspection(const QByteArray& rawPath);

    // What was learned from filed documents, kept apart from the list: clearing the list keeps
    // it, forgetLearned() removes it from the disk. Examples are kept by their key; saving one
    // replaces the stored example of the same key.
    [[nodiscard]] bool saveLearned(const QList<LearnedExample>& examples);
    [[nodiscard]] bool removeLearned(const QStringList& keys);
    [[nodiscard]] bool forgetLearned();
    // The stored examples in key order, at most maxLearnedExamples. A row that is beyond the
    // limits or damaged is left out, counted by refusedLearned() and noted in the log.
    QList<LearnedExample> learnedExamples();
    int refusedLearned() const { return m_refusedLearned; }

private:
    bool openDatabase();
    bool prepareSchema(bool& setAside);
    bool migrate(int fromVersion);
    bool readList(QList<DocumentRecord>& records, bool& damaged);
    bool renumber(const QList<qint64>& kept, const QList<qint64>& dropped);
    bool preparePaths();
    bool setAside(const QString& reason);
    void removeOldSetAsideFiles();
    void closeDatabase();
    bool fail(const QString& what, const QString& why);
    bool writable(const QString& what);
    // Runs the work in one transaction of a writable store: all of it is kept or, when the work or
    // the commit fails, none of it; errorString() then says what could not be done and why.
    bool transact(const QString& what, const std::function<Status(QSqlDatabase&)>& work);
    // The same for a store not open yet (opening may have to update it).
    bool inTransaction(const QString& what, const std::function<Status(QSqlDatabase&)>& work);
    void eraseDeleted();

    QString m_path;
    QString m_error;
    QString m_setAsidePath;
    QString m_setAsideReason;
    QString m_connectionName;
    QString m_readOnlyReason;
    QStringList m_droppedPaths;
    int m_missingRows = 0;
    int m_refusedLearned = 0;
    std::unique_ptr<QLockFile> m_lock;
    bool m_open = false;
    bool m_readOnly = false;
    bool m_immutable = false;    // read-only without the write-ahead log's shared memory
    bool m_legacyKeys = false;   // a version 1 file opened read-only: keyed by its text path
    bool m_modifiedInMs = false; // a file before version 3 opened read-only: times in ms
};

} // namespace Tessavo::Store
