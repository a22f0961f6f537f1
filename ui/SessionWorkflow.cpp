// The controller's stored session: the list is restored at start, every change is written as it
// happens, and files that changed or vanished since their import are flagged.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "inspection/PdfInspection.h"
#include "logging/LogPath.h"
#include "ui/RuleBook.h"
#include "ui/SessionStore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QThreadPool>

namespace Tessavo::Ui {

namespace {

qint64 modifiedMs(const QFileInfo& info)
{
    return info.lastModified().toMSecsSinceEpoch();
}

// Missing, or changed in size or modification time; an unchanged size and time still need the
// SHA-256 to be sure.
int quickFileStatus(const DocumentRecord& record)
{
    const QFileInfo info(record.sourcePath);
    if (!info.isFile())
        return FileMissing;
    if (info.size() != record.sizeBytes || modifiedMs(info) != record.modifiedMs)
        return FileChanged;
    return FileUnchanged;
}

} // namespace

void AppController::restoreSession(const QString& path)
{
    auto store = std::make_unique<SessionStore>(path);
    QList<DocumentRecord> records;
    if (!store->open(records)) {
        qWarning().noquote() << QStringLiteral("The document list is not kept between runs: %1")
                                    .arg(store->errorString());
        setStatus(QStringLiteral("The document list cannot be kept between runs: %1")
                      .arg(store->errorString()));
        return;
    }
    m_store = std::move(store);

    if (!m_store->setAsidePath().isEmpty()) {
        const QString reason = m_store->setAsideReason();
        qWarning().noquote() << QStringLiteral("The stored session (%1) was set aside as %2; "
                                               "starting with an empty list")
                                    .arg(reason, Logging::pathForLog(m_store->setAsidePath()));
        const QString name = QFileInfo(m_store->setAsidePath()).fileName();
        setStatus(reason == u"newer version"
                      ? QStringLiteral("The stored session comes from a newer version and was set "
                                       "aside as %1. Starting with an empty list.")
                            .arg(name)
                      : QStringLiteral("The stored session could not be read and was set aside "
                                       "as %1. Starting with an empty list.")
                            .arg(name));
        return;
    }
    if (records.isEmpty())
        return;

    // The rules may have changed since: suggestions follow the current ones, decisions stay.
    const QList<Rule> rules = m_ruleBook->rules();
    QList<int> reclassified;
    int flagged = 0;
    for (int row = 0; row < records.size(); ++row) {
        DocumentRecord& record = records[row];
        const DocumentRecord before = record;
        setSuggestion(record, classify(rules, record));
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
    setStatus(
        flagged == 0
            ? QStringLiteral("Restored %1 document(s) from the last session.").arg(records.size())
            : QStringLiteral("Restored %1 document(s) from the last session; %2 file(s) "
                             "changed or missing since import.")
                  .arg(QString::number(records.size()), QString::number(flagged)));
    emit summaryChanged();
    verifyRestoredFiles();
}

// Files whose size and modification time still match are hashed on a thread of their own; a
// different SHA-256 flags the record.
void AppController::verifyRestoredFiles()
{
    QList<std::tuple<int, QString, QByteArray>> files;
    const QList<DocumentRecord>& records = m_documents.records();
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& r = records.at(row);
        if (r.fileStatus == FileUnchanged)
            files.append({row, r.sourcePath, r.sha256});
    }
    if (files.isEmpty())
        return;
    if (!m_verifyPool) {
        m_verifyPool = new QThreadPool(this);
        m_verifyPool->setMaxThreadCount(1);
        m_stopVerify = std::make_shared<std::atomic<bool>>(false);
    }
    const quint64 generation = m_listGeneration;
    const std::shared_ptr<std::atomic<bool>> stop = m_stopVerify;
    m_verifyPool->start([this, files, generation, stop] {
        QList<QPair<int, QByteArray>> changed;
        for (const auto& [row, path, sha] : files) {
            const FileDigest digest = sha256OfFile(path, stop.get());
            if (stop->load())
                return;
            if (digest.sha256 != sha)
                changed.append({row, sha});
        }
        QMetaObject::invokeMethod(
            this, [this, generation, changed] { onFilesVerified(generation, changed); },
            Qt::QueuedConnection);
    });
}

void AppController::onFilesVerified(quint64 generation,
                                    const QList<QPair<int, QByteArray>>& changed)
{
    if (generation != m_listGeneration || changed.isEmpty())
        return;
    for (const auto& [row, checkedSha] : changed) {
        // A lambda cannot capture a structured binding in every compiler (Clang before 16).
        const QByteArray& sha = checkedSha;
        m_documents.update(row, [&sha](DocumentRecord& record) {
            // A record re-imported meanwhile is not the one that was checked.
            if (record.sha256 != sha || record.fileStatus != FileUnchanged)
                return false;
            record.fileStatus = QFileInfo(record.sourcePath).isFile() ? FileChanged : FileMissing;
            return true;
        });
    }
    qInfo().noquote() << QStringLiteral("%1 restored file(s) have different contents since import")
                             .arg(changed.size());
}

void AppController::storeRecords(const QList<int>& rows)
{
    if (m_store && !rows.isEmpty() && !m_store->saveRecords(m_documents.records(), rows))
        reportStoreFailure();
}

void AppController::storeReviews(const QList<int>& rows)
{
    if (m_store && !rows.isEmpty() && !m_store->saveReviews(m_documents.records(), rows))
        reportStoreFailure();
}

void AppController::reportStoreFailure()
{
    qWarning().noquote()
        << QStringLiteral("The session could not be stored: %1").arg(m_store->errorString());
    setStatus(QStringLiteral("The session could not be stored: %1").arg(m_store->errorString()));
}

// The stored inspection of a file that is still the same: same size and modification time, and
// the same SHA-256, computed here while the budget of bytes to hash lasts.
std::optional<DocumentRecord> AppController::reusableInspection(const QString& path,
                                                                qint64& hashBudget)
{
    if (!m_store)
        return std::nullopt;
    const QFileInfo info(path);
    std::optional<DocumentRecord> stored = m_store->storedInspection(path);
    if (!stored || stored->sha256.isEmpty() || info.size() != stored->sizeBytes ||
        modifiedMs(info) != stored->modifiedMs || info.size() > hashBudget)
        return std::nullopt;
    hashBudget -= info.size();
    if (sha256OfFile(path).sha256 != stored->sha256)
        return std::nullopt;
    return stored;
}

// Appends an imported record, or puts it in place of the flagged record of the same file. The
// decision of a flagged record stays when the file turned out to be the same after all.
int AppController::placeImported(DocumentRecord record)
{
    const Suggestion suggestion = classify(m_ruleBook->rules(), record);
    record.suggestion = suggestion;
    const QList<DocumentRecord>& records = m_documents.records();
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& old = records.at(row);
        if (old.fileStatus == FileUnchanged || old.sourcePath != record.sourcePath)
            continue;
        if (old.sha256 == record.sha256 && !record.sha256.isEmpty()) {
            record.decision = old.decision;
            record.finalCategory = old.finalCategory;
            setSuggestion(record, suggestion); // an accepted record takes the new suggestion
            record.note = old.note;
        }
        m_documents.replace(row, record);
        storeRecords({row});
        return row;
    }
    m_documents.appendRecord(record);
    const int row = int(m_documents.rowCount()) - 1;
    storeRecords({row});
    return row;
}

} // namespace Tessavo::Ui
