#include "app/Batch.h"

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/StopSignals.h"
#include "bundle/BundleReadiness.h"
#include "bundle/ExportBundle.h"
#include "core/FolderWalk.h"
#include "core/PrivateFile.h"
#include "core/RawPath.h"
#include "core/RulesFile.h"
#include "inspection/PageRecognition.h"
#include "logging/ConsoleOutput.h"
#include "logging/LogFile.h"
#include "ui/AppController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>

namespace Tessavo::App {

namespace {

constexpr int progressBarCells = 24;

// The width of the terminal on standard error; 80 when it cannot be told.
int terminalWidth()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20)
        return size.ws_col;
    return 80;
}

void writeOut(const QByteArray& line)
{
    const QByteArray bytes = line + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// Skipped entries named one by one on standard error; the log names more.
constexpr qsizetype namedSkips = 50;

QString countList(const QMap<QString, int>& counts, const QStringList& order)
{
    QStringList parts;
    for (const QString& key : order) {
        if (counts.value(key) > 0)
            parts.append(QStringLiteral("%1 %2").arg(QString::number(counts.value(key)), key));
    }
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

} // namespace

BatchOptionsRead batchOptionsOf(const CommandLine& commandLine)
{
    BatchOptionsRead read;
    BatchOptions& options = read.options;
    options.importPath = commandLine.importPath.value_or(QByteArray());
    options.exportFolder = commandLine.exportFolder.value_or(QByteArray());
    options.acceptClear = commandLine.acceptClear;
    options.recognise = commandLine.recognise;
    options.learnFrom = commandLine.learnFrom;
    if (commandLine.rulesFile) {
        const QString rulesPath = QFile::decodeName(*commandLine.rulesFile);
        const RulesFileBytes file = readRulesFileBytes(rulesPath);
        if (!file.ok) {
            read.error =
                QStringLiteral("cannot read the rules file %1: %2")
                    .arg(rulesPath, QFileInfo(rulesPath).isDir() ? QStringLiteral("it is a folder")
                                                                 : file.error);
            return read;
        }
        const QList<Rule> rules = readRulesDocument(file.bytes);
        if (rules.isEmpty()) {
            read.error = QStringLiteral("the rules file %1 contains no valid rules").arg(rulesPath);
            return read;
        }
        options.rules = rules;
    }
    if (commandLine.profileFile) {
        const SubmissionProfileRead profile = profileOf(*commandLine.profileFile);
        if (!profile.ok) {
            read.error = profile.error;
            return read;
        }
        read.warnings = profile.warnings;
        options.profile = profile.profile;
    }
    read.ok = true;
    return read;
}

SubmissionProfileRead profileOf(const QByteArray& file)
{
    const QString path = QFile::decodeName(file);
    SubmissionProfileRead read = readSubmissionProfileFile(path);
    if (!read.ok) {
        read.error =
            QStringLiteral("cannot use the profile %1: %2")
                .arg(path, QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : read.error);
        return read;
    }
    for (QString& warning : read.warnings)
        warning = QStringLiteral("the profile %1: %2").arg(path, warning);
    if (read.profile.name.isEmpty())
        read.profile.name = QFileInfo(path).completeBaseName();
    return read;
}

int countImportCandidates(const QByteArray& path)
{
    return int(std::min<qsizetype>(walkSelection({path}).pdfs.size(), INT_MAX));
}

QString progressBarLine(int done, int total, const QString& name, int width)
{
    total = std::max({total, done, 1});
    const int filled = int(qint64(progressBarCells) * done / total);
    QString line = u'[' + QString(filled, u'#') + QString(progressBarCells - filled, u'-') +
                   QStringLiteral("] %1/%2").arg(QString::number(done), QString::number(total));
    const int room = width - 1 - int(line.size()) - 1;
    if (room >= 8 && !name.isEmpty()) {
        line += u' ';
        line += name.size() <= room ? name : QStringLiteral("…") + name.right(room - 1);
    }
    return line.left(std::max(width - 1, 0));
}

QStringList batchSummary(const QList<DocumentRecord>& records)
{
    QMap<QString, int> states, categories, decisions;
    for (const DocumentRecord& record : records) {
        ++states[stateText(record.state)];
        const QString category = displayCategory(record);
        ++categories[category.isEmpty() ? QStringLiteral("Unclassified") : category];
        ++decisions[decisionText(record.decision)];
    }
    QStringList stateOrder, decisionOrder;
    for (int value : {Ready, NeedsOcr, Unreadable, Encrypted})
        stateOrder.append(stateText(value));
    for (int value : {Accepted, Changed, Ignored, NeedsReview})
        decisionOrder.append(decisionText(value));
    return {
        QStringLiteral("Found %1 PDF(s): %2")
            .arg(QString::number(records.size()), countList(states, stateOrder)),
        QStringLiteral("By category: %1").arg(countList(categories, categories.keys())),
        QStringLiteral("Decisions: %1").arg(countList(decisions, decisionOrder)),
    };
}

int exitCodeOf(const BatchEnd& end)
{
    switch (end.kind) {
    case BatchEnd::Kind::Complete:
        return ExitSuccess;
    case BatchEnd::Kind::Incomplete:
        return ExitPartlyExported;
    case BatchEnd::Kind::NotReady:
        return ExitNotReady;
    case BatchEnd::Kind::Failed:
        return ExitFailed;
    case BatchEnd::Kind::Usage:
        return ExitUsage;
    case BatchEnd::Kind::Stopped:
        return exitCodeForSignal(end.signalNumber);
    }
    return ExitFailed;
}

// Renamed originals are in the bundle all the same; only a missing one makes it incomplete.
BatchEnd::Kind completeness(int documentsFound, int exported, int missingOriginals,
                            bool walkLostSomething)
{
    return exported >= documentsFound && missingOriginals == 0 && !walkLostSomething
               ? BatchEnd::Kind::Complete
               : BatchEnd::Kind::Incomplete;
}

namespace {

UnattendedRun::Plan planOf(const BatchOptions& options)
{
    UnattendedRun::Plan plan;
    plan.importPath = options.importPath;
    plan.exportFolder = options.exportFolder;
    plan.recognise = options.recognise;
    plan.acceptClear = options.acceptClear;
    plan.learnFrom = options.learnFrom;
    return plan;
}

} // namespace

BatchRun::BatchRun(Ui::AppController& controller, BatchOptions options, bool terminal)
    : m_controller(controller)
    , m_options(std::move(options))
    , m_run(controller, planOf(m_options))
    , m_terminal(terminal)
{
    connect(&m_run, &UnattendedRun::importRequested, this, &BatchRun::printSkipped);
    connect(&m_run, &UnattendedRun::exportStarting, this, &BatchRun::onExportStarting);
    connect(&m_run, &UnattendedRun::finished, this, &BatchRun::onFinished);
}

BatchRun::~BatchRun() = default;

void BatchRun::start()
{
    const QByteArray importBytes = absolutePathBytes(m_options.importPath);
    if (rawFileStatus(importBytes).directory)
        m_importRoot = QFile::decodeName(importBytes);
    m_expected = countImportCandidates(importBytes);
    if (m_options.profile)
        m_controller.exporter()->setSubmissionLimits(nameLimitsOf(*m_options.profile),
                                                     m_options.profile->zipVolumeBytes.value_or(0));

    connect(m_controller.documents(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { onDocumentsInserted(first, last); });

    if (m_options.recognise) {
        // Without its language data recognition would leave every scan unread while the run
        // looks successful: refuse at once and say what to install.
        const QString language = m_controller.recognition()->language();
        const QStringList installed = Inspection::installedRecognitionLanguages();
        const QStringList needed = language.split(u'+', Qt::SkipEmptyParts);
        if (needed.isEmpty() ||
            !std::all_of(needed.begin(), needed.end(),
                         [&installed](const QString& part) { return installed.contains(part); })) {
            printError(QStringLiteral("tessavo: --ocr: %1; install it, or run without --ocr")
                           .arg(Inspection::missingLanguageText(language)));
            finish({BatchEnd::Kind::Failed});
            return;
        }
    }
    m_run.start();
}

QString BatchRun::displayName(const DocumentRecord& record) const
{
    if (m_importRoot.isEmpty())
        return record.fileName;
    return QDir(m_importRoot).relativeFilePath(record.sourcePath);
}

QString BatchRun::displayPath(const QByteArray& path) const
{
    const QString decoded = QFile::decodeName(path);
    return m_importRoot.isEmpty() ? decoded : QDir(m_importRoot).relativeFilePath(decoded);
}

// Each entry the walk left out, with its reason, before the import's own lines.
void BatchRun::printSkipped() const
{
    const FolderWalkResult& walk = m_controller.importer()->skipped();
    for (qsizetype i = 0; i < walk.skipped.size() && i < namedSkips; ++i) {
        const SkippedEntry& entry = walk.skipped.at(i);
        printError(QStringLiteral("skipped: %1: %2")
                       .arg(displayPath(entry.path), skipReasonText(entry.reason)));
    }
    if (walk.skippedCount() > namedSkips)
        printError(QStringLiteral("skipped: %1 more, named in the log")
                       .arg(QString::number(walk.skippedCount() - namedSkips)));
}

void BatchRun::printSkippedCount() const
{
    const FolderWalkResult& walk = m_controller.importer()->skipped();
    if (walk.skippedCount() > 0)
        printError(QStringLiteral("Skipped %1 item(s): %2")
                       .arg(QString::number(walk.skippedCount()), skippedCountsText(walk)));
}

void BatchRun::printSummary() const
{
    for (const QString& line : batchSummary(m_controller.documents()->records()))
        printError(line);
    printSkippedCount();
}

void BatchRun::onDocumentsInserted(int first, int last)
{
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    for (int row = first; row <= last && row < records.size(); ++row) {
        const DocumentRecord& record = records.at(row);
        ++m_listed;
        const int total = std::max(m_expected, m_listed);
        if (m_terminal) {
            // The name is made printable before it is fitted, so the bar keeps to one line.
            Logging::printStatusLine(progressBarLine(
                m_listed, total, Logging::printableText(displayName(record)), terminalWidth()));
            m_progressLineOpen = true;
            continue;
        }
        QString outcome = stateText(record.state);
        if (!record.suggestion.isEmpty())
            outcome += QStringLiteral(", %1").arg(record.suggestion.category);
        else if (record.state == Ready || record.state == NeedsOcr)
            outcome += QStringLiteral(", no suggestion");
        if (record.suggestion.conflict)
            outcome += QStringLiteral(" (conflict)");
        printError(QStringLiteral("[%1/%2] %3: %4")
                       .arg(QString::number(m_listed), QString::number(total), displayName(record),
                            outcome));
    }
}

void BatchRun::endProgressLine()
{
    if (m_progressLineOpen)
        Logging::printLine(Logging::ConsoleStream::Error, QString());
    m_progressLineOpen = false;
}

void BatchRun::stop(int signalNumber)
{
    if (m_stopSignal != 0 || m_done || m_run.done())
        return;
    m_stopSignal = signalNumber;
    endProgressLine();
    if (m_run.exportRunning()) {
        // The report follows once the export has removed what it wrote.
        printError(QStringLiteral("tessavo: stopping: the unfinished bundle is removed"));
        m_run.cancel();
        return;
    }
    m_run.cancel();
    printError(QStringLiteral("tessavo: stopped before the export"));
    finish({BatchEnd::Kind::Stopped, signalNumber});
}

void BatchRun::onExportStarting(int count)
{
    endProgressLine();
    printError(QStringLiteral("Exporting %1 document(s) to %2")
                   .arg(QString::number(count), m_run.exportFolder()));
    // The export's failure and warnings are this run's own lines (report()); the controller's log
    // lines about them stay in the log instead of repeating them here.
    Logging::setStandardErrorThreshold(QtCriticalMsg);
}

void BatchRun::onFinished(UnattendedRun::Outcome outcome)
{
    Logging::setStandardErrorThreshold(QtWarningMsg);
    endProgressLine();
    switch (outcome) {
    case UnattendedRun::Outcome::NothingFound:
        printSkippedCount();
        printError(QStringLiteral("tessavo: no PDF files were found in %1")
                       .arg(QFile::decodeName(m_options.importPath)));
        finish({BatchEnd::Kind::Failed});
        return;
    case UnattendedRun::Outcome::NothingExportable:
        printSummary();
        printError(QStringLiteral("tessavo: nothing to export: every PDF found is unreadable, "
                                  "encrypted or ignored"));
        finish({BatchEnd::Kind::Failed});
        return;
    case UnattendedRun::Outcome::FolderUnusable:
        printError(QStringLiteral("tessavo: Export failed: Cannot create export folder: %1: %2")
                       .arg(m_run.exportFolder(), m_run.errorString()));
        finish({BatchEnd::Kind::Failed});
        return;
    case UnattendedRun::Outcome::Exported:
        report(true);
        return;
    case UnattendedRun::Outcome::ExportFailed:
    case UnattendedRun::Outcome::Cancelled:
        report(false);
        return;
    }
}

void BatchRun::report(bool written)
{
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    printSummary();
    if (!written) {
        printError(QStringLiteral("tessavo: %1").arg(m_controller.status()));
        finish(m_stopSignal != 0 ? BatchEnd{BatchEnd::Kind::Stopped, m_stopSignal}
                                 : BatchEnd{BatchEnd::Kind::Failed});
        return;
    }
    const auto result = m_controller.lastExport();
    const QStringList warnings = result.warnings;
    for (const QString& warning : warnings)
        printError(QStringLiteral("warning: %1").arg(warning));
    if (const QString undecided = undecidedExportsText(undecidedExports(records));
        !undecided.isEmpty())
        printError(undecided);
    const int exported = result.exported;
    printError(QStringLiteral("Exported %1 of %2 PDF(s).")
                   .arg(QString::number(exported), QString::number(records.size())));
    // Standard output is for scripts: the folder and the ZIP (or each of its volumes) whole, one
    // per line.
    const QStringList paths = QStringList{result.directory} +
                              (result.volumes.isEmpty() ? QStringList{result.zip} : result.volumes);
    for (const QString& path : paths) {
        if (roundTrips(m_run.exportFolderBytes()))
            Logging::printValueLine(Logging::ConsoleStream::Output, path);
        else
            writeOut(m_run.originalBytes(path));
    }
    const bool ready = reportReadiness();
    const BatchEnd::Kind whole =
        completeness(int(records.size()), exported, result.originalsLeftOut,
                     m_controller.importer()->skipped().lostSomething());
    finish({ready ? whole : BatchEnd::Kind::NotReady});
}

// The package as exported, names fitted, against the profile: one line per failure.
bool BatchRun::reportReadiness() const
{
    if (!m_options.profile)
        return true;
    const SubmissionProfile& profile = *m_options.profile;
    const ReadinessReport report =
        checkExportReadiness(profile, m_controller.documents()->records(), true);
    const QStringList failures = report.failureLines();
    for (const QString& line : failures)
        printError(QStringLiteral("not ready: %1").arg(line));
    const qsizetype failed = report.brokenCount();
    if (failed == 0)
        printError(QStringLiteral("Meets the profile \"%1\": %2 rule(s) checked.")
                       .arg(profile.name, QString::number(report.outcomes.size())));
    else
        printError(QStringLiteral("Does not meet the profile \"%1\": %2 of %3 rule(s) broken.")
                       .arg(profile.name, QString::number(failed),
                            QString::number(report.outcomes.size())));
    return failed == 0;
}

void BatchRun::finish(const BatchEnd& end)
{
    m_done = true;
    QCoreApplication::exit(exitCodeOf(end));
}

int runBatch(int argc, char** argv, const CommandLine& commandLine)
{
    BatchOptionsRead read = batchOptionsOf(commandLine);
    if (!read.ok) {
        printError(QStringLiteral("tessavo: %1").arg(read.error));
        return exitCodeOf({BatchEnd::Kind::Usage});
    }
    for (const QString& warning : std::as_const(read.warnings))
        printError(QStringLiteral("tessavo: warning: %1").arg(warning));
    preferOffscreenPlatform();
    QGuiApplication application(argc, argv); // the index PDF needs the font database
    // Standard error carries the run's progress and summary; the log keeps everything else, and
    // only warnings and worse are repeated there.
    Logging::setStandardErrorThreshold(QtWarningMsg);
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!dataDir.isEmpty()) {
        if (const Status secured = securePrivateFolder(dataDir); !secured.ok)
            qWarning().noquote()
                << QStringLiteral("The data folder cannot be made private: %1").arg(secured.error);
        if (const Status logging = Logging::initLogging(dataDir + QStringLiteral("/logs"));
            !logging.ok)
            qWarning().noquote() << logging.error;
    }

    // A batch run keeps no list, and with rules of its own it neither reads nor writes rules.json
    // nor the settings.
    Ui::ControllerSetup setup = Ui::ControllerSetup::inFolder(dataDir);
    setup.sessionPath.clear();
    if (read.options.rules) {
        setup.fixedRules = *read.options.rules;
        setup.settingsPath.clear();
    }
    Ui::AppController controller(setup);
    BatchRun run(controller, std::move(read.options), isatty(STDERR_FILENO) == 1);
    // Interrupted, the run still ends through the event loop, so nothing unfinished stays behind.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &run, &BatchRun::stop);
    QTimer::singleShot(0, &run, &BatchRun::start);
    return application.exec();
}

} // namespace Tessavo::App
