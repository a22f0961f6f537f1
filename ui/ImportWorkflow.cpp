// The controller's import workflow: files and folders in, one inspected and classified record per
// turn of the event loop.
#include "ui/AppController.h"

#include "core/Classification.h"

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
        if (known.contains(path))
            continue;
        known.insert(path);
        fresh.append(path);
    }
    if (fresh.isEmpty()) {
        setStatus(QStringLiteral("Those files are already in the list."));
        return;
    }

    m_pendingPaths.append(fresh);
    if (!m_importing) {
        m_importing = true;
        m_importedCount = 0;
        emit busyChanged();
    }
    emit summaryChanged();
    postImportStep();
}

void AppController::postImportStep()
{
    QMetaObject::invokeMethod(this, &AppController::importStep, Qt::QueuedConnection);
}

void AppController::importStep()
{
    if (m_pendingPaths.isEmpty()) {
        m_importing = false;
        setStatus(QStringLiteral("Imported %1 document(s). Review the suggestions next.")
                      .arg(m_importedCount));
        emit busyChanged();
        emit summaryChanged();
        return;
    }

    const QString path = m_pendingPaths.takeFirst();
    if (!m_pendingPaths.isEmpty())
        m_inspector.prefetch(m_pendingPaths.first());
    // Events keep being processed while the file is inspected: the lists may change meanwhile.
    DocumentRecord record = m_inspector.inspect(path);
    applySuggestion(record, classify(m_rules.ruleList(), record));
    m_documents.appendRecord(record);
    ++m_importedCount;
    emit busyChanged();
    emit summaryChanged();
    postImportStep();
}

void AppController::clearDocuments()
{
    m_documents.clear();
    m_pendingPaths.clear();
    m_importing = false;
    m_importedCount = 0;
    setStatus(QStringLiteral("Document list cleared."));
    emit busyChanged();
    emit summaryChanged();
}

} // namespace Tessavo::Ui
