#include "app/UnattendedRun.h"

#include "app/CommandLine.h"
#include "app/HeldFolder.h"
#include "core/DocumentRecord.h"
#include "core/FolderWalk.h"
#include "core/RawPath.h"
#include "flows/BundleLearning.h"
#include "flows/ReviewFlow.h"
#include "logging/LogPath.h"
#include "ui/AppController.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace Tessavo::App {

UnattendedRun::UnattendedRun(Ui::AppController& controller, Plan plan, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_plan(std::move(plan))
{
    // Taken against the current folder now, so the export lands where the command line meant it.
    if (m_plan.exportFolder && !m_plan.exportFolder->isEmpty()) {
        const QByteArray absolute = absolutePathBytes(*m_plan.exportFolder);
        if (roundTrips(absolute)) {
            m_exportText = QDir::cleanPath(QFile::decodeName(absolute));
            m_exportBytes = QFile::encodeName(m_exportText);
        } else {
            m_exportText = QFile::decodeName(absolute);
            m_exportBytes = absolute;
        }
    }
}

UnattendedRun::~UnattendedRun() = default;

void UnattendedRun::start()
{
    if (m_phase != Phase::Idle)
        return;
    if (m_plan.learnFrom.isEmpty()) {
        begin();
        return;
    }
    QStringList bundles;
    for (const QByteArray& path : std::as_const(m_plan.learnFrom))
        bundles.append(QFile::decodeName(absolutePathBytes(path)));
    m_learning = std::make_unique<Flows::BundleLearning>();
    connect(m_learning.get(), &Flows::BundleLearning::finished, this, &UnattendedRun::onLearned);
    m_phase = Phase::Learning;
    if (!m_learning->start(bundles)) {
        qWarning().noquote() << QStringLiteral("Cannot learn from the past bundles: %1")
                                    .arg(m_learning->errorString());
        m_phase = Phase::Idle;
        begin();
    }
}

void UnattendedRun::onLearned(const QList<Flows::BundleLesson>& lessons)
{
    if (m_phase != Phase::Learning)
        return;
    m_controller.review()->learnFromBundles(Flows::examplesOf(lessons), m_plan.keepLearned);
    m_phase = Phase::Idle;
    begin();
}

void UnattendedRun::begin()
{
    if (m_plan.recognise)
        m_controller.recognition()->duringImportThisRun();
    if (m_plan.importPath) {
        m_controller.importer()->addLocalPaths({*m_plan.importPath});
        emit importRequested();
    }
    if (!m_plan.exportFolder) {
        m_phase = Phase::Done;
        return;
    }
    const bool idle = !m_controller.importer()->running() && !m_controller.recognition()->running();
    if (!m_plan.waitForDocuments && idle && m_controller.documents()->rowCount() == 0) {
        finish(Outcome::NothingFound);
        return;
    }
    // Each end of an import, a recognition run or an export may make the run ready for its next
    // step; exportingChanged also tells the end of a wait for the check of restored files that
    // started no export.
    connect(m_controller.importer(), &Flows::ImportFlow::finished, this, &UnattendedRun::step);
    connect(m_controller.recognition(), &Flows::RecognitionFlow::finished, this,
            &UnattendedRun::step);
    connect(m_controller.exporter(), &Flows::ExportFlow::finished, this, &UnattendedRun::step);
    connect(m_controller.exporter(), &Flows::ExportFlow::exportingChanged, this,
            &UnattendedRun::step);
    connect(&m_controller, &Ui::AppController::exportFinished, this, [this] {
        if (m_phase == Phase::Exporting || m_phase == Phase::Concluding)
            m_written = true;
    });
    m_phase = Phase::Waiting;
    if (!ready())
        qInfo().noquote() << QStringLiteral("Unattended export to %1 waits for documents")
                                 .arg(Logging::pathForLog(m_exportText));
    // Documents restored from the last session with nothing left to import (every file already
    // listed) start no import, so nothing else would trigger the export.
    step();
}

bool UnattendedRun::ready() const
{
    if (m_controller.importer()->running() || m_controller.recognition()->running() ||
        m_controller.exporter()->exporting())
        return false;
    return m_controller.documents()->rowCount() > 0 || !m_plan.waitForDocuments;
}

void UnattendedRun::step()
{
    // Acting from a posted call keeps the controller's own signal emission out of our steps.
    if (m_phase == Phase::Waiting && ready()) {
        m_phase = Phase::Exporting;
        QTimer::singleShot(0, this, &UnattendedRun::exportNow);
    } else if (m_phase == Phase::Exporting && m_started && !m_controller.exporter()->exporting()) {
        m_phase = Phase::Concluding;
        QTimer::singleShot(0, this, &UnattendedRun::conclude);
    }
}

void UnattendedRun::exportNow()
{
    if (m_phase != Phase::Exporting || m_started)
        return; // cancelled meanwhile
    if (m_plan.acceptClear)
        m_controller.review()->acceptAllSuggested();
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    const int count = int(std::count_if(records.begin(), records.end(), exportable));
    if (count == 0) {
        // The controller says so in its status line and its log.
        m_controller.exporter()->exportTo(QUrl::fromLocalFile(m_exportText));
        finish(Outcome::NothingExportable);
        return;
    }
    QString target = m_exportText;
    if (!roundTrips(m_exportBytes)) {
        // A QString cannot name this folder: the export writes through a held descriptor.
        m_heldFolder = std::make_unique<HeldFolder>();
        if (!m_heldFolder->open(m_exportBytes)) {
            // Never into a look-alike folder: without that very folder there is no export.
            m_error = m_heldFolder->errorString();
            m_heldFolder.reset();
            finish(Outcome::FolderUnusable);
            return;
        }
        target = m_heldFolder->path();
    }
    qInfo().noquote() << QStringLiteral("Unattended export of %1 document(s) to %2 starts")
                             .arg(QString::number(count), Logging::pathForLog(m_exportText));
    emit exportStarting(count);
    m_started = true;
    m_controller.exporter()->exportTo(QUrl::fromLocalFile(target));
    if (m_phase == Phase::Exporting && !m_controller.exporter()->exporting()) {
        m_phase = Phase::Concluding;
        conclude();
    }
}

void UnattendedRun::conclude()
{
    if (m_phase != Phase::Concluding)
        return;
    if (m_written)
        finish(Outcome::Exported);
    else
        finish(m_cancelled ? Outcome::Cancelled : Outcome::ExportFailed);
}

void UnattendedRun::cancel()
{
    if (m_phase == Phase::Done)
        return;
    if (m_started && m_phase == Phase::Exporting) {
        // The outcome follows once the export has removed what it wrote.
        m_cancelled = true;
        m_controller.exporter()->cancelExport();
        return;
    }
    if (m_phase == Phase::Concluding)
        return; // the export has ended already; its outcome follows
    if (m_learning)
        m_learning->cancel();
    m_phase = Phase::Done;
    disconnect(&m_controller, nullptr, this, nullptr);
}

QByteArray UnattendedRun::originalBytes(const QString& path) const
{
    return m_heldFolder ? m_heldFolder->originalBytes(path) : QFile::encodeName(path);
}

void UnattendedRun::finish(Outcome outcome)
{
    m_phase = Phase::Done;
    disconnect(&m_controller, nullptr, this, nullptr);
    emit finished(outcome);
}

UnattendedRun::Plan windowPlan(const CommandLine& commandLine)
{
    UnattendedRun::Plan plan;
    plan.importPath = commandLine.importPath;
    plan.exportFolder = commandLine.exportFolder;
    plan.recognise = commandLine.recognise;
    plan.waitForDocuments = true;
    plan.learnFrom = commandLine.learnFrom;
    plan.keepLearned = true;
    return plan;
}

} // namespace Tessavo::App
