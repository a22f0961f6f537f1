// The import: files and folders in; the import session inspects them in worker processes, and each
// record is classified as it arrives.
#include "flows/ImportFlow.h"

#include "core/Classification.h"
#include "core/FolderWalk.h"
#include "core/RawPath.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "inspection/ImportSession.h"
#include "logging/LogPath.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace Tessavo::Flows {

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

// A local file URL for a path's bytes that addUrls reads back to the same bytes.
QUrl urlOfBytes(const QByteArray& rawPath)
{
    return QUrl(QStringLiteral("file://") + QString::fromLatin1(rawPath.toPercentEncoding("/")),
                QUrl::StrictMode);
}

} // namespace

ImportFlow::ImportFlow(DocumentList& documents, const RuleBook& rules, SessionFlow& session,
                       QObject* parent)
    : QObject(parent)
    , m_documents(documents)
    , m_rules(rules)
    , m_session(session)
    , m_import(new Inspection::ImportSession(this))
{
    connect(m_import, &Inspection::ImportSession::inspected, this, &ImportFlow::onInspected);
    connect(m_import, &Inspection::ImportSession::finished, this, &ImportFlow::onFinished);
    connect(m_import, &Inspection::ImportSession::progressed, this, [this] {
        if (m_running)
            announceProgress();
    });
}

ImportFlow::~ImportFlow() = default;

int importProgressPercent(bool importing, int importedCount, qsizetype pendingCount,
                          double partialFiles)
{
    if (!importing)
        return 0;
    const double all = double(importedCount) + double(pendingCount);
    if (all <= 0)
        return 100;
    const double done = double(importedCount) + std::clamp(partialFiles, 0.0, double(pendingCount));
    return int(done * 100.0 / all);
}

int ImportFlow::progress() const
{
    return importProgressPercent(m_running, m_importedCount, m_import->remaining(),
                                 m_import->partialFiles());
}

void ImportFlow::setRunning(bool running)
{
    if (running != m_running) {
        m_running = running;
        emit runningChanged();
    }
    announceProgress();
}

void ImportFlow::announceProgress()
{
    const int now = progress();
    if (now == m_announcedProgress)
        return;
    m_announcedProgress = now;
    emit progressChanged();
}

void ImportFlow::setInterrupted(const QList<QByteArray>& rawPaths)
{
    m_interruptedPaths = rawPaths;
    m_pendingPaths = rawPaths;
    emit pendingFilesChanged();
}

void ImportFlow::cancel()
{
    m_import->cancel();
    m_importedCount = 0;
    m_skipped = {};
    m_pendingPaths.clear();
    m_replaceable.clear();
    if (!m_interruptedPaths.isEmpty()) {
        m_interruptedPaths.clear();
        emit pendingFilesChanged();
    }
    setRunning(false);
}

void ImportFlow::addUrls(const QList<QUrl>& urls)
{
    QList<QByteArray> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(localPathBytes(url));
    }
    addLocalPaths(paths);
}

void ImportFlow::addLocalPaths(const QList<QByteArray>& paths)
{
    emit selectionAdded(paths);
    FolderWalkResult walk = walkSelection(paths);
    logSkipped(walk);
    const QList<FileIdentity> candidates = std::move(walk.pdfs);
    walk.pdfs.clear();
    // What was left out is told when the import it belongs to ends.
    if (m_running)
        m_skipped.add(walk);
    else
        m_skipped = walk;
    if (candidates.isEmpty()) {
        emit status(QStringLiteral("No PDF files were found in the selection.") + skippedNote());
        return;
    }

    // A record flagged as changed or missing does not count as known: adding its file again
    // re-imports it in its place.
    QSet<QByteArray> known;
    for (const DocumentRecord& record : m_documents.records()) {
        if (record.fileStatus == FileUnchanged)
            known.insert(knownKey(sourcePathBytesOf(record)));
        else
            m_replaceable.insert(sourcePathBytesOf(record));
    }
    QList<FileIdentity> fresh;
    for (FileIdentity candidate : candidates) {
        candidate.path = knownKey(candidate.path);
        const QByteArray& path = candidate.path;
        if (known.contains(path) || m_import->contains(path))
            continue;
        known.insert(path);
        fresh.append(candidate);
    }
    if (fresh.isEmpty()) {
        emit status(QStringLiteral("Those files are already in the list.") + skippedNote());
        return;
    }

    // Files whose stored inspection still holds are taken from the store at once; hashing them
    // here stops at a budget so that the window never waits long.
    qint64 hashBudget = reuseHashBudget;
    QList<DocumentRecord> reused;
    QList<FileIdentity> toInspect;
    QList<QByteArray> freshPaths;
    for (const FileIdentity& file : fresh) {
        freshPaths.append(file.path);
        if (std::optional<DocumentRecord> stored = m_session.reusableInspection(file, hashBudget)) {
            reused.append(*stored);
            continue;
        }
        // The inspection begins from the walk's look at the file, and its record keeps that
        // time: a change during the reading shows at the next start.
        toInspect.append(file);
    }
    // Every file is in the stored queue until its record is stored, reused ones included.
    if (!freshPaths.isEmpty())
        keepPending(freshPaths);
    if (!toInspect.isEmpty())
        m_import->enqueue(toInspect);
    if (!m_running) {
        m_importedCount = 0;
        m_clock.start();
        setRunning(true);
    }
    for (const DocumentRecord& record : reused) {
        place(record);
        ++m_importedCount;
    }
    if (!m_import->active())
        onFinished();
}

void ImportFlow::onInspected(const DocumentRecord& inspected)
{
    const int row = place(inspected);
    ++m_importedCount;
    emit placed(row);
    announceProgress();
}

void ImportFlow::onFinished()
{
    m_replaceable.clear();
    forgetPending();
    setRunning(false);
    emit status(QStringLiteral("Imported %1 document(s). Review the suggestions next.")
                    .arg(m_importedCount) +
                skippedNote());
    logOutcome();
    emit finished(
        {.imported = m_importedCount, .skipped = m_skipped, .elapsedMs = m_clock.elapsed()});
}

QString ImportFlow::skippedNote() const
{
    if (m_skipped.skippedCount() == 0)
        return {};
    return QStringLiteral(" Skipped %1.").arg(skippedCountsText(m_skipped));
}

// One line in the log for each import: how many documents, in which states, how long it took.
void ImportFlow::logOutcome() const
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
                             .arg(QString::number(m_importedCount), QString::number(states[Ready]),
                                  QString::number(states[NeedsOcr]),
                                  QString::number(states[Unreadable]),
                                  QString::number(states[Encrypted]),
                                  QString::number(double(m_clock.elapsed()) / 1000.0, 'f', 1));
}

void ImportFlow::continueImport()
{
    if (m_interruptedPaths.isEmpty())
        return;
    QList<QUrl> urls;
    for (const QByteArray& rawPath : std::as_const(m_interruptedPaths))
        urls.append(urlOfBytes(rawPath));
    const QSet<QByteArray> interrupted(m_interruptedPaths.cbegin(), m_interruptedPaths.cend());
    m_interruptedPaths.clear();
    m_pendingPaths.removeIf(
        [&interrupted](const QByteArray& p) { return interrupted.contains(p); });
    emit pendingFilesChanged();
    addUrls(urls);
}

// The queue of an import, kept with the session as it grows, so that a close or a kill in the
// middle can tell the next start which files were never inspected.
void ImportFlow::keepPending(const QList<QByteArray>& rawPaths)
{
    m_pendingPaths.append(rawPaths);
    if (!m_session.savePending(m_pendingPaths))
        qWarning().noquote() << QStringLiteral("The import's queue could not be kept: %1")
                                    .arg(m_session.errorString());
}

// The import ended: only files of an earlier run not continued yet stay pending.
void ImportFlow::forgetPending()
{
    if (m_pendingPaths == m_interruptedPaths)
        return;
    m_pendingPaths = m_interruptedPaths;
    if (!m_session.savePending(m_pendingPaths))
        qWarning().noquote() << QStringLiteral("The import's queue could not be updated: %1")
                                    .arg(m_session.errorString());
}

// Appends an imported record, or puts it in place of the flagged record of the same file. The
// decision of a flagged record stays when the file turned out to be the same after all.
int ImportFlow::place(DocumentRecord record)
{
    const Suggestion suggestion = m_rules.suggest(record);
    record.suggestion = suggestion;
    const QList<DocumentRecord>& records = m_documents.records();
    const bool mayReplace = m_replaceable.contains(sourcePathBytesOf(record));
    for (int row = 0; mayReplace && row < records.size(); ++row) {
        const DocumentRecord& old = records.at(row);
        if (old.fileStatus == FileUnchanged || sourcePathBytesOf(old) != sourcePathBytesOf(record))
            continue;
        if (old.sha256 == record.sha256 && !record.sha256.isEmpty()) {
            record.decision = old.decision;
            record.finalCategory = old.finalCategory;
            setSuggestion(record, suggestion); // a decided record keeps its category
            record.note = old.note;
        }
        m_documents.replace(row, record);
        m_session.storeRecords({row}, SessionFlow::Write::Batched);
        return row;
    }
    m_documents.appendRecord(record);
    const int row = int(m_documents.rowCount()) - 1;
    m_session.storeRecords({row}, SessionFlow::Write::Batched);
    return row;
}

} // namespace Tessavo::Flows
