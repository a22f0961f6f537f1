// The controller's import workflow: files and folders in; the import session inspects them in
// worker processes, and each record is classified as it arrives.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/RawPath.h"
#include "inspection/ImportSession.h"
#include "ui/SessionStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace Tessavo::Ui {

namespace {

bool hasPdfSuffix(const QByteArray& name)
{
    return name.size() > 4 && name.right(4).toLower() == ".pdf";
}

// The PDF files below a folder, as the file system spells their paths, in name order within each
// folder. Hidden entries are left out and links to folders are not followed. Names are never
// decoded on the way, so that a name that is not valid UTF-8 still opens.
void walkFolder(const QByteArray& folder, QList<QByteArray>& found, int depth = 0)
{
    if (depth > 256)
        return;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QByteArray& name : std::as_const(names)) {
        const QByteArray path = folder.endsWith('/') ? folder + name : folder + '/' + name;
        struct stat own {};
        if (::lstat(path.constData(), &own) != 0)
            continue;
        if (S_ISDIR(own.st_mode)) {
            walkFolder(path, found, depth + 1);
            continue;
        }
        if (hasPdfSuffix(name) && rawFileStatus(path).regularFile)
            found.append(path);
    }
}

// The bytes of a local file URL's path: percent-encoded bytes that are not UTF-8 survive, where
// toLocalFile() would replace them.
QByteArray localPathBytes(const QUrl& url)
{
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.startsWith('/'))
        path = QFile::encodeName(QFileInfo(url.toLocalFile()).absoluteFilePath());
    return path;
}

// The PDF paths a selection stands for, in the order given; folders are walked recursively.
QList<QByteArray> pdfCandidates(const QList<QUrl>& urls)
{
    QList<QByteArray> candidates;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QByteArray path = localPathBytes(url);
        const RawFileStatus status = rawFileStatus(path);
        if (status.directory)
            walkFolder(path, candidates);
        else if (status.regularFile && hasPdfSuffix(path))
            candidates.append(path);
    }
    return candidates;
}

// The form of a path under which the same file is not listed twice.
QByteArray knownKey(const QByteArray& rawPath)
{
    if (!roundTrips(rawPath))
        return rawPath;
    return QFile::encodeName(QFileInfo(QFile::decodeName(rawPath)).absoluteFilePath());
}

// Bytes one call may hash on this thread to confirm stored inspections (about a tenth of a second).
constexpr qint64 reuseHashBudget = 128 * 1024 * 1024;

} // namespace

void AppController::addUrls(const QList<QUrl>& urls)
{
    const QList<QByteArray> candidates = pdfCandidates(urls);
    if (candidates.isEmpty()) {
        setStatus(QStringLiteral("No PDF files were found in the selection."));
        return;
    }

    // A record flagged as changed or missing does not count as known: adding its file again
    // re-imports it in its place.
    QSet<QByteArray> known;
    for (const DocumentRecord& record : m_documents.records()) {
        if (record.fileStatus == FileUnchanged)
            known.insert(knownKey(sourcePathBytesOf(record)));
    }
    QList<QByteArray> fresh;
    for (const QByteArray& candidate : candidates) {
        const QByteArray path = knownKey(candidate);
        if (known.contains(path) || m_import->contains(path) || m_queuedModified.contains(path))
            continue;
        known.insert(path);
        fresh.append(path);
    }
    if (fresh.isEmpty()) {
        setStatus(QStringLiteral("Those files are already in the list."));
        return;
    }

    // Files whose stored inspection still holds are taken from the store at once; hashing them
    // here stops at a budget so that the window never waits long.
    qint64 hashBudget = reuseHashBudget;
    QList<DocumentRecord> reused;
    QList<QByteArray> toInspect;
    for (const QByteArray& rawPath : fresh) {
        const QString path = QFile::decodeName(rawPath);
        if (roundTrips(rawPath)) {
            if (std::optional<DocumentRecord> stored = reusableInspection(path, hashBudget)) {
                reused.append(*stored);
                continue;
            }
        }
        // Taken before the inspection reads the file: a change during it shows at the next start.
        const RawFileStatus status = rawFileStatus(rawPath);
        m_queuedModified.insert(rawPath, status.ok ? status.modifiedNs / 1000000 : -1);
        toInspect.append(rawPath);
    }
    if (!toInspect.isEmpty()) {
        m_import->enqueue(toInspect);
        keepPending(toInspect);
    }
    if (!m_importing) {
        m_importing = true;
        m_importedCount = 0;
        m_importClock.start();
        emit busyChanged();
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
    record.modifiedMs = m_queuedModified.value(sourcePathBytesOf(record), -1);
    m_queuedModified.remove(sourcePathBytesOf(record));
    const int row = placeImported(record);
    if (m_recogniseDuringImport && record.state == NeedsOcr)
        recogniseRows({row});
    ++m_importedCount;
    emit busyChanged();
    emit summaryChanged();
}

void AppController::onImportFinished()
{
    m_importing = false;
    forgetPending();
    setStatus(QStringLiteral("Imported %1 document(s). Review the suggestions next.")
                  .arg(m_importedCount));
    logImportOutcome();
    emit busyChanged();
    emit summaryChanged();
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
    setStatus(QStringLiteral("Document list cleared."));
    clearStoredList();
    emit busyChanged();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
