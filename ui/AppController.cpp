#include "ui/AppController.h"

#include "core/Rule.h"
#include "core/Version.h"
#include "flows/RuleBook.h"
#include "store/RulesStore.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Tessavo::Ui {

namespace {

const QString applicationVersion = QString::fromLatin1(versionText);

} // namespace

ControllerSetup ControllerSetup::inFolder(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    return {.rulesPath = folder + QStringLiteral("/rules.json"),
            .settingsPath = folder + QStringLiteral("/settings.json"),
            .sessionPath = folder + QStringLiteral("/session.sqlite"),
            .profilesFolder = folder + QStringLiteral("/profiles"),
            .fixedRules = std::nullopt,
            .clock = {},
            .openUrl = {},
            .previewPool = nullptr};
}

ControllerSetup ControllerSetup::standard()
{
    return inFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

AppController::AppController(QObject* parent)
    : AppController(ControllerSetup(), parent)
{}

AppController::AppController(const ControllerSetup& setup, QObject* parent)
    : QObject(parent)
    , m_openUrl(setup.openUrl ? setup.openUrl
                              : [](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    m_ruleBook = setup.fixedRules ? new Flows::RuleBook(*setup.fixedRules, this)
                                  : new Flows::RuleBook(Store::RulesStore(setup.rulesPath), this);
    m_ruleModel = new RuleListModel(m_ruleBook->list(), this);
    m_session = new Flows::SessionFlow(m_documentList, this);
    m_importer = new Flows::ImportFlow(m_documentList, *m_ruleBook, *m_session, this);
    m_review = new Flows::ReviewFlow(m_documentList, *m_ruleBook, *m_session, this);
    m_recognition = new Flows::RecognitionFlow(m_documentList, *m_ruleBook, *m_session,
                                               setup.settingsPath, this);
    m_export = new Flows::ExportFlow(m_documentList, *m_session,
                                     {fontPath(QStringLiteral("DejaVuSans.ttf")),
                                      fontPath(QStringLiteral("DejaVuSans-Bold.ttf")), setup.clock},
                                     this);
    m_preview = new Flows::PreviewFlow(m_documentList, *m_ruleBook,
                                       {.pool = setup.previewPool, .openUrl = m_openUrl}, this);
    connect(m_preview, &Flows::PreviewFlow::status, this, &AppController::setStatus);
    m_readiness = new Flows::ReadinessFlow(m_documentList, setup.profilesFolder, this);
    connect(m_readiness, &Flows::ReadinessFlow::status, this, &AppController::setStatus);
    connect(m_readiness, &Flows::ReadinessFlow::profileChanged, this, [this] {
        m_export->setSubmissionLimits(m_readiness->exportNameLimits(),
                                      m_readiness->zipVolumeBytes());
    });
    connect(m_importer, &Flows::ImportFlow::selectionAdded, &m_documentModel,
            &DocumentListModel::addImportRoots);

    connect(m_session, &Flows::SessionFlow::status, this, &AppController::setStatus);
    connect(m_importer, &Flows::ImportFlow::status, this, &AppController::setStatus);
    connect(m_review, &Flows::ReviewFlow::status, this, &AppController::setStatus);
    connect(m_recognition, &Flows::RecognitionFlow::status, this, &AppController::setStatus);
    connect(m_export, &Flows::ExportFlow::status, this, &AppController::setStatus);
    connect(m_importer, &Flows::ImportFlow::runningChanged, this,
            &AppController::onImportRunningChanged);
    connect(m_importer, &Flows::ImportFlow::placed, m_recognition,
            &Flows::RecognitionFlow::recogniseImported);
    connect(m_export, &Flows::ExportFlow::finished, this, &AppController::onExportFinished);
    // Every change of the list may change the counters; each costs only the rows it touches.
    connect(&m_documentList, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                m_tally.inserted(m_documentList.records(), first, last);
                announceSummary();
            });
    connect(&m_documentList, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                m_tally.removed(first, last);
                announceSummary();
            });
    connect(&m_documentList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                m_tally.changed(m_documentList.records(), topLeft.row(), bottomRight.row());
                announceSummary();
            });
    connect(&m_documentList, &QAbstractItemModel::modelReset, this, [this] {
        m_tally.reset(m_documentList.records());
        announceSummary();
    });

    const QString problem = m_ruleBook->startupProblem();
    setStatus(problem.isEmpty()
                  ? QStringLiteral("Add PDFs to start. Files are processed on this computer only.")
                  : QStringLiteral("The saved rules could not be read (%1); the built-in rules "
                                   "are used.")
                        .arg(problem));
    if (!setup.sessionPath.isEmpty()) {
        m_session->restore(setup.sessionPath, *m_ruleBook);
        if (!m_session->interruptedPaths().isEmpty())
            m_importer->setInterrupted(m_session->interruptedPaths());
    }
}

AppController::~AppController()
{
    // A running export is cancelled and given two seconds; what it reports then is not for us.
    disconnect(m_export, nullptr, this, nullptr);
    delete m_export;
    // The session goes last of the flows: it takes their final changes.
    disconnect(m_session, nullptr, this, nullptr);
    delete m_recognition;
    delete m_review;
    delete m_importer;
    delete m_session;
}

DocumentSummary AppController::summary() const
{
    return m_tally.summary();
}

void AppController::announceSummary()
{
    DocumentSummary now = summary();
    if (now == m_announcedSummary)
        return;
    m_announcedSummary = std::move(now);
    emit summaryChanged();
}

QStringList AppController::categories() const
{
    return categoryList();
}

QString AppController::appVersion() const
{
    return applicationVersion;
}

// A build keeps the fonts in "fonts" beside the executable. An installed executable reaches them by
// a path relative to its own folder (TESSAVO_INSTALLED_FONTS_DIR, set by the build from the install
// layout), so an installed tree works wherever it is unpacked. The Debian package ships no copies:
// there the system's own DejaVu files (TESSAVO_SYSTEM_FONTS_DIR) are used.
QString AppController::fontPath(const QString& fileName)
{
    const QString executableDir = QCoreApplication::applicationDirPath();
    const QString besideExecutable = executableDir + QStringLiteral("/fonts/");
    if (QFileInfo(besideExecutable).isDir())
        return besideExecutable + fileName;
    const QString installedFonts =
        QDir::cleanPath(executableDir + u'/' + QStringLiteral(TESSAVO_INSTALLED_FONTS_DIR));
    const QString installed = installedFonts + u'/' + fileName;
    // Only an installed executable (a data folder beside its own folder) takes the system's files.
    const QString system = QStringLiteral(TESSAVO_SYSTEM_FONTS_DIR "/") + fileName;
    if (!QFileInfo(installed).isFile() &&
        QFileInfo(QDir::cleanPath(installedFonts + QStringLiteral("/../.."))).isDir() &&
        QFileInfo(system).isFile())
        return system;
    return installed;
}

void AppController::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
    announceStatusShowsImport();
}

bool AppController::statusShowsImport() const
{
    return m_importer->running() && m_status == m_statusAtImportStart;
}

void AppController::onImportRunningChanged()
{
    // An import that starts takes over the status line until something newer is said.
    if (m_importer->running())
        m_statusAtImportStart = m_status;
    announceStatusShowsImport();
}

void AppController::announceStatusShowsImport()
{
    if (m_announcedShowsImport == statusShowsImport())
        return;
    m_announcedShowsImport = statusShowsImport();
    emit statusShowsImportChanged();
}

void AppController::clearDocuments()
{
    // Whatever is still queued or being inspected is dropped: nothing of it appears later.
    m_importer->cancel();
    m_recognition->cancel();
    qInfo().noquote() << QStringLiteral("Document list cleared: %1 document(s) removed")
                             .arg(QString::number(m_documentList.rowCount()));
    m_documentList.clear();
    setStatus(QStringLiteral("Document list cleared."));
    m_session->clearList();
}

void AppController::openPath(const QString& path)
{
    if (!path.isEmpty())
        m_openUrl(QUrl::fromLocalFile(path));
}

void AppController::onExportFinished(const Flows::ExportOutcome& outcome)
{
    if (outcome.kind != Flows::ExportOutcome::Kind::Written)
        return;
    m_lastExport = LastExport::of(outcome.result);
    emit exportFinished();
}

void AppController::ignoreDuplicates()
{
    QList<int> copies;
    for (int row = 0; row < m_documentModel.rowCount(); ++row) {
        const DocumentRecord* record = m_documentList.recordAt(row);
        if (record && record->decision != Ignored && m_documentModel.duplicateOf(row) >= 0)
            copies.append(row);
    }
    m_review->ignoreDocuments(copies); // one step to undo
    const int ignored = int(copies.size());
    setStatus(ignored == 1 ? tr("1 duplicate ignored; the first copy stays.")
                           : tr("%1 duplicates ignored; the first copy of each stays.")
                                 .arg(QString::number(ignored)));
}

} // namespace Tessavo::Ui
