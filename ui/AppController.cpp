#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/Rule.h"
#include "core/RulesFile.h"
#include "export/ExportBundle.h"
#include "export/IndexPdf.h"
#include "ui/Summary.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
        m_rulesFileUnusable = file.exists();
        m_rules.setRules(defaultRules());
        return;
    }
    const QList<Rule> loaded = readRulesDocument(file.readAll());
    m_rulesFileUnusable = loaded.isEmpty();
    m_rules.setRules(loaded.isEmpty() ? defaultRules() : loaded);
}

void AppController::decide(int row, const std::function<void(DocumentRecord&)>& change)
{
    DocumentRecord* record = m_documents.recordAt(row);
    if (!record)
        return;
    change(*record);
    m_documents.notifyRowChanged(row);
    emit summaryChanged();
}

void AppController::acceptDocument(int row)
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (!record)
        return;
    if (record->suggestedCategory.isEmpty()) {
        setStatus(QStringLiteral("No suggestion to accept. Choose a category instead."));
        return;
    }
    decide(row, [](DocumentRecord& r) {
        r.decision = Accepted;
        r.finalCategory = r.suggestedCategory;
    });
}

void AppController::changeDocumentCategory(int row, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (trimmed.isEmpty())
        return;
    decide(row, [&trimmed](DocumentRecord& r) {
        r.decision = Changed;
        r.finalCategory = trimmed;
    });
}

void AppController::ignoreDocument(int row)
{
    decide(row, [](DocumentRecord& r) { r.decision = Ignored; });
}

void AppController::resetDecision(int row)
{
    decide(row, [](DocumentRecord& r) {
        r.decision = NeedsReview;
        r.finalCategory.clear();
    });
}

void AppController::acceptAllSuggested()
{
    const QString nothing = QStringLiteral("Nothing to accept: no clear suggestions are pending.");
    if (m_documents.rowCount() == 0) {
        setStatus(nothing);
        emit summaryChanged();
        return;
    }
    int accepted = 0;
    for (int row = 0; row < m_documents.rowCount(); ++row) {
        DocumentRecord* r = m_documents.recordAt(row);
        if (r->decision != NeedsReview || r->suggestedCategory.isEmpty() || r->conflict)
            continue;
        r->decision = Accepted;
        r->finalCategory = r->suggestedCategory;
        m_documents.notifyRowChanged(row);
        ++accepted;
    }
    if (accepted == 0)
        setStatus(nothing);
    else
        setStatus(
            QStringLiteral("Accepted %1 suggestion(s). Conflicting items were left for review.")
                .arg(accepted));
    emit summaryChanged();
}

void AppController::addRule(const QString& name, const QString& category,
                            const QString& fileContains, const QString& textContains, int minPages,
                            int maxPages, int priority)
{
    Rule rule;
    rule.name = name.trimmed();
    rule.category = category.trimmed();
    rule.fileContains = fileContains.trimmed();
    rule.textContains = textContains.trimmed();
    rule.minPages = minPages < 1 ? 0 : minPages;
    rule.maxPages = maxPages < 1 ? 0 : maxPages;
    rule.priority = std::clamp(priority, 1, 1000);
    rule.id = newRuleId();
    if (!isValid(rule)) {
        setStatus(QStringLiteral("A rule needs a name, a category and at least one condition."));
        return;
    }
    m_rules.appendRule(rule);
    reclassifyAll();
    persistRules();
    setStatus(QStringLiteral("Rule \"%1\" added.").arg(rule.name));
    emit rulesChanged();
}

void AppController::removeRule(int row)
{
    m_rules.removeRule(row);
    reclassifyAll();
    persistRules();
    emit rulesChanged();
}

void AppController::setRuleEnabled(int row, bool enabled)
{
    Rule* rule = m_rules.ruleAt(row);
    if (!rule)
        return;
    rule->enabled = enabled;
    m_rules.notifyRowChanged(row);
    reclassifyAll();
    persistRules();
    emit rulesChanged();
}

void AppController::saveRules(const QUrl& fileUrl)
{
    const QString path = fileUrl.toLocalFile();
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setStatus(QStringLiteral("Cannot write rules: %1").arg(file.errorString()));
        return;
    }
    file.write(rulesDocument(m_rules.ruleList()));
    if (file.commit())
        setStatus(QStringLiteral("Rules exported to %1").arg(path));
    else
        setStatus(QStringLiteral("Cannot save rules: %1").arg(file.errorString()));
}

void AppController::loadRules(const QUrl& fileUrl)
{
    const QString path = fileUrl.toLocalFile();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        setStatus(QStringLiteral("Cannot read the rules file."));
        return;
    }
    const QList<Rule> loaded = readRulesDocument(file.readAll());
    if (loaded.isEmpty()) {
        setStatus(QStringLiteral("The rules file contains no valid rules."));
        return;
    }
    m_rules.setRules(loaded);
    reclassifyAll();
    persistRules();
    setStatus(QStringLiteral("Loaded %1 rule(s).").arg(loaded.size()));
    emit rulesChanged();
}

void AppController::reclassifyAll()
{
    const QList<Rule> rules = m_rules.ruleList();
    for (int row = 0; row < m_documents.rowCount(); ++row) {
        DocumentRecord* record = m_documents.recordAt(row);
        applySuggestion(*record, classify(rules, *record));
        if (record->decision == Accepted)
            record->finalCategory = record->suggestedCategory;
    }
    m_documents.notifyAllChanged();
    emit summaryChanged();
}

// Keeps the bytes of a rules file that could not be used at start-up as rules.json.bak before the
// first write replaces it. False when they could not be kept, so nothing may overwrite them.
bool AppController::keepUnusableRulesFile()
{
    if (!m_rulesFileUnusable)
        return true;
    const QString backupPath = m_rulesPath + QStringLiteral(".bak");
    QFile original(m_rulesPath);
    if (original.exists()) {
        QSaveFile backup(backupPath);
        if (!original.open(QIODevice::ReadOnly) || !backup.open(QIODevice::WriteOnly) ||
            backup.write(original.readAll()) < 0 || !backup.commit()) {
            qWarning().noquote() << QStringLiteral(
                                        "The unusable rules file %1 could not be backed up; it "
                                        "is left as it is")
                                        .arg(m_rulesPath);
            return false;
        }
        qWarning().noquote() << QStringLiteral(
                                    "The rules file could not be used at start-up; its content was "
                                    "kept as %1")
                                    .arg(backupPath);
    }
    m_rulesFileUnusable = false;
    return true;
}

void AppController::persistRules()
{
    if (!QDir().mkpath(QFileInfo(m_rulesPath).path()))
        return;
    if (!keepUnusableRulesFile())
        return;
    QSaveFile file(m_rulesPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(rulesDocument(m_rules.ruleList()));
    file.commit();
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

void AppController::exportTo(const QUrl& directoryUrl)
{
    if (m_exporting)
        return;
    const QString folder = directoryUrl.toLocalFile();
    if (folder.isEmpty()) {
        setStatus(QStringLiteral("Choose an export folder first."));
        return;
    }
    QList<DocumentRecord> selection;
    for (const DocumentRecord& record : m_documents.records()) {
        if (exportable(record))
            selection.append(record);
    }
    if (selection.isEmpty()) {
        setStatus(QStringLiteral("Nothing to export yet."));
        return;
    }

    const ExportOptions options{folder, QStringLiteral("Tessavo export"),
                                fontPath(QStringLiteral("DejaVuSans.ttf")),
                                fontPath(QStringLiteral("DejaVuSans-Bold.ttf")), true};
    m_exporting = true;
    emit busyChanged();
    setStatus(QStringLiteral("Exporting %1 document(s)...").arg(selection.size()));

    QString error;
    const quint64 id = m_taskService->submit(
        [selection, options](const Morvane::TaskContext&) {
            return QVariant(exportResultMap(buildExportBundle(selection, options)));
        },
        300000, &error);
    if (id == 0) {
        m_exporting = false;
        emit busyChanged();
        setStatus(QStringLiteral("Export could not start: %1").arg(error));
    }
}

void AppController::openPath(const QString& path)
{
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
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
