#pragma once

#include "core/DocumentRecord.h"

#include <QList>
#include <QLockFile>
#include <QString>

#include <memory>
#include <optional>

class QSqlDatabase;

namespace Tessavo::Ui {

// The document list kept on disk as it changes, so that closing, a crash or a kill loses at most
// the last change. One SQLite file in WAL mode; every change is one transaction.
//
// A row's position in the list is its identity here, as in the list model. Besides the listed
// rows the file keeps the inspections of documents that left the list (by "Clear"), so that
// importing them again can reuse the inspection while the file is unchanged; only the most
// recently used of those are kept.
//
// A file that cannot be read, is not a session file or comes from a newer version is set aside
// under the same name plus ".bad", and an empty session starts in its place.
class SessionStore {
public:
    static constexpr int schemaVersion = 1;
    static constexpr int keptInspections = 1000; // inspections outside the list kept for reuse

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

    // Writes whole records (inspection included) at their rows.
    [[nodiscard]] bool saveRecords(const QList<DocumentRecord>& list, const QList<int>& rows);
    // Writes the suggestion and review fields of the rows only.
    [[nodiscard]] bool saveReviews(const QList<DocumentRecord>& list, const QList<int>& rows);
    // Empties the list; inspections stay for reuse up to the limit.
    [[nodiscard]] bool clearList();

    // The stored inspection of a path (inspection fields and modifiedMs only), if any.
    std::optional<DocumentRecord> storedInspection(const QString& path);

private:
    struct Connection;

    bool openDatabase();
    bool prepareSchema(bool& setAside);
    bool readList(QList<DocumentRecord>& records, bool& damaged);
    bool setAside(const QString& reason);
    void closeDatabase();
    bool fail(const QString& what, const QString& why);
    bool commit(QSqlDatabase& db, const QString& what);

    QString m_path;
    QString m_error;
    QString m_setAsidePath;
    QString m_setAsideReason;
    QString m_connectionName;
    std::unique_ptr<QLockFile> m_lock;
    bool m_open = false;
};

} // namespace Tessavo::Ui
