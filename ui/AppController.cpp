#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/Rule.h"
#include "core/RulesFile.h"
#include "export/IndexPdf.h"
#include "ui/Summary.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace Tessavo::Ui {

namespace {
const QString applicationVersion = QStringLiteral("0.2.0");
}

AppController::AppController(QObject* parent)
    : QObject(parent)
    , m_rulesPath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                  QStringLiteral("/rules.json"))
{
    m_taskService = new Morvane::TaskService({.maxConcurrent = 1, .maxQueued = 4}, this);
    // A missing font file is not an error here: the index falls back to another family.
    registerIndexFonts(fontPath(QStringLiteral("DejaVuSans.ttf")),
                       fontPath(QStringLiteral("DejaVuSans-Bold.ttf")));
    connect(m_taskService, &Morvane::TaskService::finished, this, &AppController::onExportFinished);
    loadRulesAtStartup();
    setStatus(QStringLiteral("Add PDFs to start. Files are processed on this computer only."));
}

AppController::~AppController()
{
    // Cancels a running export and gives it two seconds; the service's own destructor then waits
    // for whatever is still running.
    if (m_taskService)
        m_taskService->shutdown(2000);
}

int AppController::importProgress() const
{
    return importProgressPercent(m_importing, m_importedCount, m_pendingPaths.size());
}

QVariantMap AppController::summary() const
{
    return summaryOf(m_documents.records());
}

QStringList AppController::categories() const
{
    return categoryList();
}

QString AppController::appVersion() const
{
    return applicationVersion;
}

QString AppController::fontPath(const QString& fileName)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fonts/") + fileName;
}

// The rules of the last run, or the built-in rules when there are none to be had. Silent, and
// writes nothing.
void AppController::loadRulesAtStartup()
{
    QFile file(m_rulesPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_rules.setRules(defaultRules());
        return;
    }
    const QList<Rule> loaded = readRulesDocument(file.readAll());
    m_rules.setRules(loaded.isEmpty() ? defaultRules() : loaded);
}

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

void AppController::onExportFinished(qulonglong, Morvane::TaskService::Outcome outcome,
                                     const QVariant& result, const QString& error)
{
    m_exporting = false;
    emit busyChanged();
    if (outcome != Morvane::TaskService::Outcome::Succeeded) {
        setStatus(QStringLiteral("Export failed: %1")
                      .arg(error.isEmpty() ? QStringLiteral("cancelled or timed out") : error));
        return;
    }
    const QVariantMap map = result.toMap();
    if (!map.value(QStringLiteral("ok")).toBool()) {
        setStatus(
            QStringLiteral("Export failed: %1").arg(map.value(QStringLiteral("error")).toString()));
        return;
    }
    m_lastExport = map;
    setStatus(QStringLiteral("Exported %1 documents to %2")
                  .arg(QString::number(map.value(QStringLiteral("exported")).toInt()),
                       map.value(QStringLiteral("directory")).toString()));
    emit exportFinished();
    emit summaryChanged();
}

void AppController::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
}

} // namespace Tessavo::Ui
