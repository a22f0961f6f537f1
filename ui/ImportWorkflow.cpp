// The controller's import workflow: files and folders in; the import session inspects them in
// worker processes, and each record is classified as it arrives.
#include "ui/AppController.h"

#include "core/Classification.h"
#include "inspection/ImportSession.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

namespace Tessavo::Ui {

namespace {

// The PDF paths a selection stands for, in the order given; folders are walked recursively
// without hidden files and without following links to folders.
QStringList pdfCandidates(const QList<QUrl>& urls)
{
    QStringList candidates;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isDir()) {
            QDirIterator it(info.absoluteFilePath(), {QStringLiteral("*.pdf")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                candidates.append(it.next());
        } else if (info.isFile() && info.suffix().compare(u"pdf", Qt::CaseInsensitive) == 0) {
            candidates.append(info.absoluteFilePath());
        }
    }
    return candidates;
}

} // namespace

void AppController::addUrls(const QList<QUrl>& urls)
{
    const QStringList candidates = pdfCandidates(urls);
    if (candidates.isEmpty()) {
        setStatus(QStringLiteral("No PDF files were found in the selection."));
        return;
    }

    QSet<QString> known;
    for (const DocumentRecord& record : m_documents.records())
        known.insert(QFileInfo(record.sourcePath).absoluteFilePath());
    QStringList fresh;
    for (const QString& candidate : candidates) {
        const QString path = QFileInfo(candidate).absoluteFilePath();
        if (known.contains(path) || m_import->contains(path))
            continue;
        known.insert(path);
        fresh.append(path);
    }
    if (fresh.isEmpty()) {
        setStatus(QStringLiteral("Those files are already in the list."));
        return;
    }

    m_import->enqueue(fresh);
    if (!m_importing) {
        m_importing = true;
        m_importedCount = 0;
        m_importClock.start();
        emit busyChanged();
    }
    emit summaryChanged();
}

void AppController::onInspected(const DocumentRecord& inspected)
{
    DocumentRecord record = inspected;
    applySuggestion(record, classify(m_rules.ruleList(), record));
    m_documents.appendRecord(record);
    if (m_recogniseDuringImport && record.state == NeedsOcr)
        recogniseRows({m_documents.rowCount() - 1});
    ++m_importedCount;
    emit busyChanged();
    emit summaryChanged();
}

void AppController::onImportFinished()
{
    m_importing = false;
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
    cancelRecognition();
    m_documents.clear();
    m_importing = false;
    m_importedCount = 0;
    setStatus(QStringLiteral("Document list cleared."));
    emit busyChanged();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
