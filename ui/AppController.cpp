#include "ui/AppController.h"

#include "core/Rule.h"
#include "core/Version.h"
#include "export/IndexPdf.h"
#include "inspection/ImportSession.h"
#include "ui/SessionStore.h"
#include "ui/Summary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThreadPool>

namespace Tessavo::Ui {

namespace {

const QString applicationVersion = QString::fromLatin1(versionText);

// Where the rules persist; empty when the platform names no data folder, so that nothing is ever
// written to "/rules.json".
QString rulesFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/rules.json");
}

} // namespace

QString StoredSession::defaultPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/session.sqlite");
}

AppController::AppController(QObject* parent)
    : AppController(std::nullopt, QString(), parent)
{}

AppController::AppController(const StoredSession& session, QObject* parent)
    : AppController(std::nullopt, session.path, parent)
{}

AppController::AppController(const QList<Rule>& sessionRules, QObject* parent)
    : AppController(std::optional<QList<Rule>>(sessionRules), QString(), parent)
{}

AppController::AppController(std::optional<QList<Rule>> sessionRules, const QString& sessionPath,
                             QObject* parent)
    : QObject(parent)
    , m_rulesPath(sessionRules ? QString() : rulesFilePath())
{
    m_taskService = new Morvane::TaskService({.maxConcurrent = 1, .maxQueued = 4}, this);
    m_import = new Inspection::ImportSession(this);
    connect(m_import, &Inspection::ImportSession::inspected, this, &AppController::onInspected);
    connect(m_import, &Inspection::ImportSession::finished, this, &AppController::onImportFinished);
    connect(m_import, &Inspection::ImportSession::progressed, this, [this] {
        if (m_importing)
            emit busyChanged();
    });
    // A missing font file is not an error here: the index falls back to another family.
    registerIndexFonts(fontPath(QStringLiteral("DejaVuSans.ttf")),
                       fontPath(QStringLiteral("DejaVuSans-Bold.ttf")));
    connect(m_taskService, &Morvane::TaskService::finished, this, &AppController::onExportFinished);
    connect(m_taskService, &Morvane::TaskService::progress, this, &AppController::onExportProgress);
    setUpRecognition();
    if (sessionRules)
        m_rules.setRules(*sessionRules);
    else
        loadRulesAtStartup();
    setStatus(m_startupRulesStatus.isEmpty()
                  ? QStringLiteral("Add PDFs to start. Files are processed on this computer only.")
                  : m_startupRulesStatus);
    if (!sessionPath.isEmpty())
        restoreSession(sessionPath);
}

AppController::~AppController()
{
    // Cancels a running export and gives it two seconds; the service's own destructor then waits
    // for whatever is still running.
    if (m_taskService)
        m_taskService->shutdown(2000);
    if (m_verifyPool) {
        m_stopVerify->store(true);
        m_verifyPool->waitForDone();
    }
}

int AppController::importProgress() const
{
    return importProgressPercent(m_importing, m_importedCount, m_import->remaining(),
                                 m_import->partialFiles());
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

// A build keeps the fonts in "fonts" beside the executable. An installed executable reaches them by
// a path relative to its own folder (TESSAVO_INSTALLED_FONTS_DIR, set by the build from the install
// layout), so an installed tree works wherever it is unpacked.
QString AppController::fontPath(const QString& fileName)
{
    const QString executableDir = QCoreApplication::applicationDirPath();
    const QString besideExecutable = executableDir + QStringLiteral("/fonts/");
    if (QFileInfo(besideExecutable).isDir())
        return besideExecutable + fileName;
    return QDir::cleanPath(executableDir + u'/' + QStringLiteral(TESSAVO_INSTALLED_FONTS_DIR) +
                           u'/' + fileName);
}

void AppController::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
}

} // namespace Tessavo::Ui
