// The controller's import workflow: files and folders in; the import session inspects them in
// worker processes, and each record is classified as it arrives.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/FolderWalk.h"
#include "core/RawPath.h"
#include "inspection/ImportSession.h"
#include "logging/LogPath.h"
#include "store/SessionStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace Tessavo::Ui {

namespace {

// The bytes of a local file URL's path: percent-encoded bytes that are not UTF-8 survive, where
// toLocalFile() would replace them.
QByteArray localPathBytes(const QUrl& url)
{
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.startsWith('/'))
        path = QFile::encodeName(QFileInfo(url.toLocalFile()).absoluteFilePath());
    return path;
}

// The form of a path under which the same file is not listed twice.
QByteArray knownKey(const QByteArray& rawPath)
{
    if (!roundTrips(rawPath))
        return rawPath;
    return QFile::encodeName(QFileInfo(QFile::decodeName(rawPath)).absoluteFilePath());
}

// Every entry a walk left out, in the log; the first ones by name, the rest counted.
void logSkipped(const FolderWalkResult& walk)
{
    constexpr qsizetype named = 50;
    for (qsizetype i = 0; i < walk.skipped.size() && i < named; ++i) {
        const SkippedEntry& entry = walk.skipped.at(i);
        qInfo().noquote() << QStringLiteral("Import skips %1: %2")
                                 .arg(Logging::pathForLog(QFile::decodeName(entry.path)),
                                      skipReasonText(entry.reason));
    }
    if (walk.skippedCount() > named)
        qInfo().noquote() << QStringLiteral("Import skips %1 more: %2")
                                 .arg(QString::number(walk.skippedCount() - named),
                                      skippedCountsText(walk));
}

// Bytes one call may hash on this thread to confirm stored inspections (about a tenth of a second).
constexpr qint64 reuseHashBudget = 128 * 1024 * 1024;

} // namespace

void AppController::addUrls(const QList<QUrl>& urls)
{
    QList<QByteArray> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(localPathBytes(url));
    }
    addLocalPaths(paths);
}

void AppController::addLocalPaths(const QList<QByteArray>& paths)
{
    FolderWalkResult walk = walkSelection(paths);
    logSkipped(walk);
    const QList<FileIdentity> candidates = std::move(walk.pdfs);
    walk.pdfs.clear();
    // What was left out is told when the import it belongs to ends.
    if (m_importing)
        m_importSkipped.add(walk);
    else
        m_importSkipped = walk;
    if (candidates.isEmpty()) {
        setStatus(QStringLiteral("No PDF files were found in the selection.") + skippedNote());
        return;
    }

    // A record flagged as changed or missing does not count as known: adding its file again
    // re-imports it in its place.
    QSet<QByteArray> known;
    for (const DocumentRecord& record : m_documents.records()) {
        if (record.fileStatus == FileUnchanged)
            known.insert(knownKey(sourcePathBytesOf(record)));
    }
    QList<FileIdentity> fresh;
    for (FileIdentity candidate : candidates) {
        candidate.path = knownKey(candidate.path);
        const QByteArray& path = candidate.path;
        if (known.contains(path) || m_import->contains(path) || m_queuedModified.contains(path))
            continue;
        known.insert(path);
        fresh.append(candidate);
    }
    if (fresh.isEmpty()) {
        setStatus(QStringLiteral("Those files are already in the list.") + skippedNote());
        return;
    }

    // Files whose stored inspection still holds are taken from the store at once; hashing them
    // here stops at a budget so that the window never waits long.
    qint64 hashBudget = reuseHashBudget;
    QList<DocumentRecord> reused;
    QList<QByteArray> toInspect;
    for (const FileIdentity& file : fresh) {
        if (std::optional<DocumentRecord> stored = reusableInspection(file, hashBudget)) {
            reused.append(*stored);
            continue;
        }
        // The walk's look at the file, taken before the inspection reads it: a change during it
        // shows at the next start.
        m_queuedModified.insert(file.path, file.modifiedNs);
        toInspect.append(file.path);
    }
    if (!toInspect.isEmpty()) {
        m_import->enqueue(toInspect);
        keepPending(toInspect);
    }
    if (!m_importing) {
        m_importing = true;
        m_importedCount = 0;
        m_importClock.start();
        announceBusy();
    }
    for (const DocumentRecord& record : reused) {
        placeImported(record);
        ++m_importedCount;
    }
    if (!m_import->active()) {
        onImportFinished();
        return;
    }
    emit summaryChanged();
}

void AppController::onInspected(const DocumentRecord& inspected)
{
    DocumentRecord record = inspected;
    record.modifiedNs = m_queuedModified.value(sourcePathBytesOf(record), -1);
    m_queuedModified.remove(sourcePathBytesOf(record));
    const int row = placeImported(record);
    if (m_recogniseDuringImport && record.state == NeedsOcr)
        recogniseRows({row});
    ++m_importedCount;
    announceBusy();
    emit summaryChanged();
}

void AppController::onImportFinished()
{
    m_importing = false;
    forgetPending();
    setStatus(QStringLiteral("Imported %1 document(s). Review the suggestions next.")
                  .arg(m_importedCount) +
              skippedNote());
    logImportOutcome();
    emit importFinished({.imported = m_importedCount,
                         .skipped = m_importSkipped,
                         .elapsedMs = m_importClock.elapsed()});
    announceBusy();
    emit summaryChanged();
}

QString AppController::skippedNote() const
{
    if (m_importSkipped.skippedCount() == 0)
        return {};
    return QStringLiteral(" Skipped %1.").arg(skippedCountsText(m_importSkipped));
}

// One line in the log for each import: how many documents, in which states, how long it took.
void AppController::logImportOutcome() const
{
    int states[4] = {};
    const QList<DocumentRecord>& records = m_documents.records();
    for (qsizetype i = std::max<qsizetype>(0, records.size() - m_importedCount); i < records.size();
         ++i) {
        const int state = records.at(i).state;
        if (state >= 0 && state < 4)
            ++states[state];
    }
    qInfo().noquote() << QStringLiteral("Import finished: %1 document(s), %2 Ready, %3 Needs OCR, "
                                        "%4 Unreadable, %5 Encrypted, in %6 s")
                             .arg(
                                 QString::number(m_importedCount), QString::number(states[Ready]),
                                 QString::number(states[NeedsOcr]),
                                 QString::number(states[Unreadable]),
                                 QString::number(states[Encrypted]),
                                 QString::number(double(m_importClock.elapsed()) / 1000.0, 'f', 1));
}

void AppController::clearDocuments()
{
    // Whatever is still queued or being inspected is dropped: nothing of it appears later.
    m_import->cancel();
    m_queuedModified.clear();
    ++m_listGeneration;
    cancelRecognition();
    qInfo().noquote() << QStringLiteral("Document list cleared: %1 document(s) removed")
                             .arg(QString::number(m_documents.rowCount()));
    m_documents.clear();
    m_importing = false;
    m_importedCount = 0;
    m_importSkipped = {};
    setStatus(QStringLiteral("Document list cleared."));
    clearStoredList();
    announceBusy();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
