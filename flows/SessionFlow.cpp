// The stored session: the list is restored at start, every change is written as it happens, and
// files that changed or vanished since their import are flagged.
#include "flows/SessionFlow.h"

#include "core/Classification.h"
#include "core/RawPath.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "inspection/PdfInspection.h"
#include "logging/LogPath.h"
#include "store/SessionStore.h"
#include "tasks/BackgroundRunner.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

namespace Tessavo::Flows {

namespace {

// A failed write of the session is tried again after this long, and with every change.
constexpr int storeRetryMs = 5000;
// How long an import's records gather before they are written in one transaction.
constexpr int storeBatchMs = 250;

// Missing, or changed in size or modification time; an unchanged size and time still need the
// SHA-256 to be sure. The file is looked up by its own bytes, whatever its name's encoding.
FileStatus quickFileStatus(const DocumentRecord& record)
{
    const RawFileStatus status = rawFileStatus(sourcePathBytesOf(record));
    if (!status.ok || !status.regularFile)
        return FileMissing;
    if (status.size != record.sizeBytes || status.modifiedNs != record.modifiedNs)
        return FileChanged;
    return FileUnchanged;
}

} // namespace

SessionFlow::SessionFlow(DocumentList& documents, QObject* parent)
    : QObject(parent)
    , m_documents(documents)
{}

SessionFlow::~SessionFlow()
{
    if (m_verifier) {
        m_stopVerify->store(true);
        m_verifier->waitForDone(-1);
    }
    // A last try for what a full disk kept out of the session.
    if (m_store && (!m_unsavedRecords.isEmpty() || !m_unsavedReviews.isEmpty() || m_clearUnsaved)) {
        writeUnsaved();
        if (m_storeFailing)
            qWarning().noquote() << QStringLiteral("%1 change(s) of the document list were not "
                                                   "stored: %2")
                                        .arg(QString::number(m_unsavedRecords.size() +
                                                             m_unsavedReviews.size()),
                                             m_store->errorString());
    }
}

bool SessionFlow::savePending(const QList<QByteArray>& rawPaths)
{
    if (!m_store || m_store->readOnly())
        return true;
    writeUnsaved();
    if (!m_unsavedRecords.isEmpty())
        return false; // the queue still names the files whose records are not stored
    return m_store->savePending(rawPaths);
}

QString SessionFlow::errorString() const
{
    return m_store ? m_store->errorString() : QString();
}

void SessionFlow::restore(const QString& path, RuleBook& rules)
{
    auto store = std::make_unique<Store::SessionStore>(path);
    QList<DocumentRecord> records;
    if (!store->open(records)) {
        qWarning().noquote() << QStringLiteral("The document list is not kept between runs: %1")
                                    .arg(store->errorString());
        emit status(QStringLiteral("The document list cannot be kept between runs: %1")
                        .arg(store->errorString()));
        return;
    }
    m_store = std::move(store);
    m_storeRetry = new QTimer(this);
    m_storeRetry->setSingleShot(true);
    m_storeRetry->setInterval(storeRetryMs);
    connect(m_storeRetry, &QTimer::timeout, this, [this] {
        m_storeRetrying = true;
        writeUnsaved();
        m_storeRetrying = false;
    });
    m_storeBatch = new QTimer(this);
    m_storeBatch->setSingleShot(true);
    m_storeBatch->setInterval(storeBatchMs);
    connect(m_storeBatch, &QTimer::timeout, this, &SessionFlow::writeUnsaved);

    if (!m_store->setAsidePath().isEmpty()) {
        const QString reason = m_store->setAsideReason();
        qWarning().noquote() << QStringLiteral("The stored session (%1) was set aside as %2; "
                                               "starting with an empty list")
                                    .arg(reason, Logging::pathForLog(m_store->setAsidePath()));
        const QString name = QFileInfo(m_store->setAsidePath()).fileName();
        emit status(
            reason == u"newer version"
                ? QStringLiteral("The stored session comes from a newer version and was set "
                                 "aside as %1. Starting with an empty list.")
                      .arg(name)
                : QStringLiteral("The stored session could not be read and was set aside "
                                 "as %1. Starting with an empty list.")
                      .arg(name));
        return;
    }

    // What the user's earlier decisions taught suggests again.
    rules.learn(m_store->learnedExamples());

    // What could not be restored is said, not only left out.
    QStringList notes;
    const QStringList dropped = m_store->droppedPaths();
    for (const QString& droppedPath : dropped)
        qWarning().noquote() << QStringLiteral("A stored document beyond the limits was dropped: "
                                               "%1")
                                    .arg(Logging::pathForLog(droppedPath));
    if (!dropped.isEmpty())
        notes.append(QStringLiteral("%1 stored document(s) were beyond the limits and were "
                                    "dropped.")
                         .arg(dropped.size()));
    if (m_store->missingRows() > 0) {
        qWarning().noquote() << QStringLiteral("%1 document(s) of the last session were never "
                                               "stored")
                                    .arg(m_store->missingRows());
        notes.append(QStringLiteral("%1 document(s) of the last session could not be stored; add "
                                    "their files again.")
                         .arg(m_store->missingRows()));
    }
    if (m_store->readOnly()) {
        qWarning().noquote()
            << QStringLiteral("The stored session is read-only: %1").arg(m_store->readOnlyReason());
        notes.append(QStringLiteral("The stored session is read-only (%1): changes are not kept.")
                         .arg(m_store->readOnlyReason()));
    }

    // Files an interrupted import had not inspected: those not listed meanwhile.
    QSet<QByteArray> listed;
    for (const DocumentRecord& record : std::as_const(records))
        listed.insert(sourcePathBytesOf(record));
    for (const QByteArray& pendingPath : m_store->pending()) {
        if (!listed.contains(pendingPath))
            m_interrupted.append(pendingPath);
    }
    if (!m_interrupted.isEmpty()) {
        qInfo().noquote() << QStringLiteral("%1 file(s) of the last import were not inspected")
                                 .arg(m_interrupted.size());
        notes.append(QStringLiteral("%1 file(s) of the last import were not inspected; choose "
                                    "\u201cContinue import\u201d to inspect them.")
                         .arg(m_interrupted.size()));
    }

    if (records.isEmpty()) {
        if (!notes.isEmpty())
            emit status(notes.join(u' '));
        return;
    }

    // The rules may have changed since: suggestions follow the current ones, decisions stay.
    QList<int> reclassified;
    int flagged = 0;
    for (int row = 0; row < records.size(); ++row) {
        DocumentRecord& record = records[row];
        const DocumentRecord before = record;
        setSuggestion(record, rules.suggest(record));
        if (record != before)
            reclassified.append(row);
        record.fileStatus = quickFileStatus(record);
        if (record.fileStatus != FileUnchanged)
            ++flagged;
    }
    m_documents.setRecords(records);
    storeReviews(reclassified);

    qInfo().noquote() << QStringLiteral("Restored %1 document(s) from the last session, %2 of "
                                        "them changed or missing")
                             .arg(QString::number(records.size()), QString::number(flagged));
    notes.prepend(
        flagged == 0
            ? QStringLiteral("Restored %1 document(s) from the last session.").arg(records.size())
            : QStringLiteral("Restored %1 document(s) from the last session; %2 file(s) "
                             "changed or missing since import.")
                  .arg(QString::number(records.size()), QString::number(flagged)));
    emit status(notes.join(u' '));
    verifyRestoredFiles();
}

// Files whose size and modification time still match are hashed on a thread of their own; a
// different SHA-256 flags the record.
void SessionFlow::verifyRestoredFiles()
{
    QList<std::tuple<int, QByteArray, QByteArray>> files;
    const QList<DocumentRecord>& records = m_documents.records();
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& r = records.at(row);
        if (r.fileStatus == FileUnchanged)
            files.append({row, sourcePathBytesOf(r), r.sha256});
    }
    if (files.isEmpty())
        return;
    if (!m_verifier) {
        m_verifier = std::make_unique<Tasks::BackgroundRunner>();
        m_stopVerify = std::make_shared<std::atomic<bool>>(false);
    }
    const quint64 generation = m_listGeneration;
    const std::shared_ptr<std::atomic<bool>> stop = m_stopVerify;
    m_checkingRestored = true;
    emit checkingRestoredChanged();
    // The flow waits for this task before it goes, so the result may be posted to it.
    (void)m_verifier->run([this, files, generation, stop](const Tasks::TaskControl&) {
        QList<QPair<int, QByteArray>> changed;
        for (const auto& [row, path, sha] : files) {
            const FileDigest digest = sha256OfFile(path, stop.get());
            if (stop->load())
                return false;
            if (digest.sha256 != sha)
                changed.append({row, sha});
        }
        QMetaObject::invokeMethod(
            this, [this, generation, changed] { onFilesVerified(generation, changed); },
            Qt::QueuedConnection);
        return true;
    });
}

void SessionFlow::onFilesVerified(quint64 generation, const QList<QPair<int, QByteArray>>& changed)
{
    // Once the changed files are flagged, an export that waited for the check may start.
    const auto checked = qScopeGuard([this] {
        m_checkingRestored = false;
        emit checkingRestoredChanged();
    });
    if (generation != m_listGeneration || changed.isEmpty())
        return;
    for (const QPair<int, QByteArray>& entry : changed) {
        const QByteArray& sha = entry.second;
        m_documents.update(entry.first, [&sha](DocumentRecord& record) {
            // A record re-imported meanwhile is not the one that was checked.
            if (record.sha256 != sha || record.fileStatus != FileUnchanged)
                return false;
            record.fileStatus =
                rawFileStatus(sourcePathBytesOf(record)).regularFile ? FileChanged : FileMissing;
            return true;
        });
    }
    qInfo().noquote() << QStringLiteral("%1 restored file(s) have different contents since import")
                             .arg(changed.size());
}

void SessionFlow::storeRecords(const QList<int>& rows, Write when)
{
    if (!m_store || rows.isEmpty())
        return;
    for (int row : rows)
        m_unsavedRecords.insert(row);
    if (when == Write::Now || m_storeFailing)
        writeUnsaved(); // a failing store is tried with every change, and says so
    else if (!m_storeBatch->isActive())
        m_storeBatch->start();
}

void SessionFlow::storeReviews(const QList<int>& rows)
{
    if (!m_store || rows.isEmpty())
        return;
    for (int row : rows)
        m_unsavedReviews.insert(row);
    writeUnsaved();
}

void SessionFlow::clearList()
{
    ++m_listGeneration;
    m_unsavedRecords.clear();
    m_unsavedReviews.clear();
    m_interrupted.clear();
    if (!m_store)
        return;
    m_clearUnsaved = true;
    writeUnsaved();
}

// Writes what is not stored yet: a clear, whole records, then review fields. What fails stays
// unsaved and is tried again with the next change and by a timer, so that nothing is lost once
// the disk has room again.
void SessionFlow::writeUnsaved()
{
    if (!m_store)
        return;
    if (m_store->readOnly()) {
        // Said once at start; a read-only store takes nothing.
        m_unsavedRecords.clear();
        m_unsavedReviews.clear();
        m_clearUnsaved = false;
        return;
    }
    m_storeBatch->stop(); // everything waiting is written now
    const int count = int(m_documents.rowCount());
    bool ok = true;
    if (m_clearUnsaved) {
        ok = m_store->clearList();
        if (ok)
            m_clearUnsaved = false;
    }
    if (ok && !m_unsavedRecords.isEmpty()) {
        QList<int> rows(m_unsavedRecords.cbegin(), m_unsavedRecords.cend());
        rows.removeIf([count](int row) { return row >= count; });
        std::sort(rows.begin(), rows.end());
        ok = m_store->saveRecords(m_documents.records(), rows);
        if (ok) {
            for (int row : std::as_const(rows))
                m_unsavedReviews.remove(row); // written whole, review included
            m_unsavedRecords.clear();
        }
    }
    if (ok && !m_unsavedReviews.isEmpty()) {
        QList<int> rows(m_unsavedReviews.cbegin(), m_unsavedReviews.cend());
        rows.removeIf([count](int row) { return row >= count; });
        std::sort(rows.begin(), rows.end());
        ok = m_store->saveReviews(m_documents.records(), rows);
        if (ok)
            m_unsavedReviews.clear();
    }
    if (!ok) {
        // Each change that could not be stored says so; the quiet retries do not repeat it.
        if (!m_storeRetrying)
            reportStoreFailure();
        m_storeFailing = true;
        m_storeRetry->start();
        return;
    }
    if (m_storeFailing) {
        m_storeFailing = false;
        qInfo().noquote() << QStringLiteral("The session is stored again");
        emit status(QStringLiteral("Every change is stored again."));
    }
}

void SessionFlow::reportStoreFailure()
{
    qWarning().noquote()
        << QStringLiteral("The session could not be stored: %1").arg(m_store->errorString());
    emit status(QStringLiteral("The session could not be stored: %1. It is written again as soon "
                               "as that is possible.")
                    .arg(m_store->errorString()));
}

// The stored inspection of a file that is still the same: same size and modification time, and
// the same SHA-256, computed here while the budget of bytes to hash lasts.
std::optional<DocumentRecord> SessionFlow::reusableInspection(const FileIdentity& file,
                                                              qint64& hashBudget)
{
    if (!m_store)
        return std::nullopt;
    std::optional<DocumentRecord> stored = m_store->storedInspection(file.path);
    if (!stored || stored->sha256.isEmpty() || !file.looksLike(identityOf(*stored)) ||
        file.size > hashBudget)
        return std::nullopt;
    hashBudget -= file.size;
    if (sha256OfFile(file.path).sha256 != stored->sha256)
        return std::nullopt;
    return stored;
}

void SessionFlow::storeLearned(const QList<LearnedExample>& examples)
{
    if (m_store && !examples.isEmpty() && !m_store->saveLearned(examples))
        qWarning().noquote()
            << QStringLiteral("What was learned could not be kept: %1").arg(m_store->errorString());
}

void SessionFlow::forgetLearned()
{
    if (m_store && !m_store->forgetLearned())
        qWarning().noquote() << QStringLiteral("What was learned could not be forgotten: %1")
                                    .arg(m_store->errorString());
}

} // namespace Tessavo::Flows
