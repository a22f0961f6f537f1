#pragma once

#include "core/DocumentRecord.h"
#include "core/FileIdentity.h"
#include "core/LearnedModel.h"
#include "core/Rule.h"

#include <QList>
#include <QObject>
#include <QSet>

#include <atomic>
#include <memory>
#include <optional>

class QTimer;

namespace Tessavo::Tasks {
class BackgroundRunner;
}

namespace Tessavo::Store {
class SessionStore;
}

namespace Tessavo::Flows {

class RuleBook;

class DocumentList;

// The stored session of the document list: restored at start, every change written as it happens
// (a write that fails is tried again with the next change and by a timer), files that changed or
// vanished since their import flagged, and stored inspections of unchanged files offered again.
// Without a path nothing is kept and every write is a no-op.
//
// An import's records are written in batches, a fraction of a second apart: one transaction for
// many records. A file stays in the import's stored queue until its record is written, so what a
// crash takes from a batch is offered again as not inspected.
class SessionFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool checkingRestored READ checkingRestored NOTIFY checkingRestoredChanged)

public:
    explicit SessionFlow(DocumentList& documents, QObject* parent = nullptr);
    // Stops the check of restored files and tries once more to store what is unsaved.
    ~SessionFlow() override;

    // Opens the session stored at path and puts its documents in the list, their suggestions
    // following these rules; what happened is said through status().
    // The rule book learns what was kept; suggestions follow its rules and what it learned.
    void restore(const QString& path, RuleBook& rules);
    // Keeps what was learned with the session, or removes it from the disk; a failure is
    // logged, and what was learned still serves this run.
    void storeLearned(const QList<LearnedExample>& examples);
    void forgetLearned();
    // Files an interrupted import of an earlier run had not inspected, in their order.
    QList<QByteArray> interruptedPaths() const { return m_interrupted; }
    // True while the files of the restored list are being hashed.
    bool checkingRestored() const { return m_checkingRestored; }

    // When a change reaches the disk: before the call returns, or with the next batch.
    enum class Write { Now, Batched };
    // Writes these rows whole, or only their review fields.
    void storeRecords(const QList<int>& rows, Write when = Write::Now);
    void storeReviews(const QList<int>& rows);
    // The list was cleared: the store forgets it, and a running check is dropped.
    void clearList();
    // Keeps the import's queue (the files not inspected yet) with the session, after every record
    // waiting for its batch. False when it could not be written, or a record could not (the
    // stored queue then stays as it was); errorString() says why. Always true when nothing is
    // kept.
    [[nodiscard]] bool savePending(const QList<QByteArray>& rawPaths);
    QString errorString() const;

    // The stored inspection of a file that is still the same: same size and modification time,
    // and the same SHA-256, computed here while the budget of bytes to hash lasts.
    std::optional<DocumentRecord> reusableInspection(const FileIdentity& file, qint64& hashBudget);

signals:
    // A text for the footer's status line.
    void status(const QString& text);
    // The check of the restored files began or ended; at its end the changed files are flagged.
    void checkingRestoredChanged();

private:
    void verifyRestoredFiles();
    void onFilesVerified(quint64 generation, const QList<QPair<int, QByteArray>>& changed);
    void writeUnsaved();
    void reportStoreFailure();

    DocumentList& m_documents;
    std::unique_ptr<Store::SessionStore> m_store; // null when nothing is kept between runs
    QList<QByteArray> m_interrupted;
    std::unique_ptr<Tasks::BackgroundRunner> m_verifier; // hashes restored files in the background
    std::shared_ptr<std::atomic<bool>> m_stopVerify;
    quint64 m_listGeneration = 0; // counts clears, so late verification results are dropped
    bool m_checkingRestored = false;
    // Rows whose last write failed (a full disk): written again with the next change or by the
    // retry timer, until the store takes them.
    QSet<int> m_unsavedRecords;
    QSet<int> m_unsavedReviews;
    QTimer* m_storeRetry = nullptr;
    QTimer* m_storeBatch = nullptr; // writes the batched records
    bool m_clearUnsaved = false;    // the list was cleared but the store still holds it
    bool m_storeFailing = false;
    bool m_storeRetrying = false; // a retry by the timer: a failure is not reported again
};

} // namespace Tessavo::Flows
