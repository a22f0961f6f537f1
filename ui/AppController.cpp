#include "ui/AppController.h"

#include "core/Rule.h"
#include "core/Version.h"
#include "flows/ExportFlow.h"
#include "inspection/ImportSession.h"
#include "store/SessionStore.h"
#include "tasks/BackgroundRunner.h"
#include "ui/RuleBook.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

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
            .fixedRules = std::nullopt,
            .clock = {},
            .openUrl = {}};
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
    , m_settingsPath(setup.settingsPath)
    , m_clock(setup.clock)
    , m_openUrl(setup.openUrl ? setup.openUrl
                              : [](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    m_ruleBook = setup.fixedRules ? new RuleBook(*setup.fixedRules, this)
                                  : new RuleBook(Store::RulesStore(setup.rulesPath), this);
    connect(m_ruleBook, &RuleBook::changed, this, &AppController::reclassifyAll);
    connect(m_ruleBook, &RuleBook::status, this, &AppController::setStatus);

    m_export = new Flows::ExportFlow(this);
    connect(m_export, &Flows::ExportFlow::progressChanged, this,
            &AppController::exportProgressChanged);
    connect(m_export, &Flows::ExportFlow::finished, this, &AppController::onExportFinished);

    m_import = new Inspection::ImportSession(this);
    connect(m_import, &Inspection::ImportSession::inspected, this, &AppController::onInspected);
    connect(m_import, &Inspection::ImportSession::finished, this, &AppController::onImportFinished);
    connect(m_import, &Inspection::ImportSession::progressed, this, [this] {
        if (m_importing)
            announceBusy();
    });
    setUpRecognition();
    const QString problem = m_ruleBook->startupProblem();
    setStatus(problem.isEmpty()
                  ? QStringLiteral("Add PDFs to start. Files are processed on this computer only.")
                  : QStringLiteral("The saved rules could not be read (%1); the built-in rules "
                                   "are used.")
                        .arg(problem));
    if (!setup.sessionPath.isEmpty())
        restoreSession(setup.sessionPath);
}

AppController::~AppController()
{
    // A running export is cancelled and given two seconds; what it reports then is not for us.
    disconnect(m_export, nullptr, this, nullptr);
    delete m_export;
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

RuleListModel* AppController::rules()
{
    return m_ruleBook->model();
}

int AppController::importProgress() const
{
    return importProgressPercent(m_importing, m_importedCount, m_import->remaining(),
                                 m_import->partialFiles());
}

DocumentSummary AppController::summary() const
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
    if (m_announced.statusShowsImport != statusShowsImport()) {
        m_announced.statusShowsImport = statusShowsImport();
        emit statusShowsImportChanged();
    }
}

void AppController::announceBusy()
{
    // An import that starts takes over the status line until something newer is said.
    if (m_importing && !m_announced.importing)
        m_statusAtImportStart = m_status;
    const BusyState now{importing(),   importProgress(),      exporting(),
                        recognising(), recognitionProgress(), statusShowsImport()};
    const BusyState before = std::exchange(m_announced, now);
    if (now.importing != before.importing)
        emit importingChanged();
    if (now.importProgress != before.importProgress)
        emit importProgressChanged();
    if (now.exporting != before.exporting)
        emit exportingChanged();
    if (now.recognising != before.recognising)
        emit recognisingChanged();
    if (now.recognitionProgress != before.recognitionProgress)
        emit recognitionProgressChanged();
    if (now.statusShowsImport != before.statusShowsImport)
        emit statusShowsImportChanged();
    emit busyChanged();
    if ((before.importing || before.recognising) && !now.importing && !now.recognising)
        emit settled();
}

} // namespace Tessavo::Ui
