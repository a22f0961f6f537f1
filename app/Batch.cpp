#include "app/Batch.h"

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/HeldFolder.h"
#include "app/StopSignals.h"
#include "core/FolderWalk.h"
#include "core/PrivateFile.h"
#include "core/RawPath.h"
#include "core/RulesFile.h"
#include "export/ExportBundle.h"
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

BatchOptions parseBatchOptions(const QStringList& arguments, const QList<QByteArray>& rawArguments)
{
    BatchOptions options;
    const auto importPath = optionValue(arguments, QStringLiteral("--import"));
    const auto exportFolder = optionValue(arguments, QStringLiteral("--export"));
    if (!importPath || importPath->isEmpty()) {
        options.usageError = QStringLiteral("--batch needs --import PATH");
        return options;
    }
    if (!exportFolder || exportFolder->isEmpty()) {
        options.usageError = QStringLiteral("--batch needs --export FOLDER");
        return options;
    }
    options.importPath = *importPath;
    options.exportFolder = QDir::cleanPath(QDir::current().absoluteFilePath(*exportFolder));
    const bool raw = rawArguments.size() == arguments.size();
    options.importPathBytes = raw ? optionBytes(rawArguments, "--import").value_or(QByteArray())
                                  : QFile::encodeName(*importPath);
    const QByteArray exportBytes =
        raw ? optionBytes(rawArguments, "--export").value_or(QByteArray())
            : QFile::encodeName(*exportFolder);
    options.exportFolderBytes = roundTrips(exportBytes) ? QFile::encodeName(options.exportFolder)
                                                        : absolutePathBytes(exportBytes);
    options.acceptClear = hasOption(arguments, QStringLiteral("--accept-clear"));
    options.recognise = hasOption(arguments, QStringLiteral("--ocr"));

    if (hasOption(arguments, QStringLiteral("--rules"))) {
        const auto rulesPath = optionValue(arguments, QStringLiteral("--rules"));
        if (!rulesPath || rulesPath->isEmpty()) {
            options.usageError = QStringLiteral("--rules needs a FILE");
            return options;
        }
        const RulesFileBytes file = readRulesFileBytes(*rulesPath);
        if (!file.ok) {
            options.usageError = QStringLiteral("cannot read the rules file %1: %2")
                                     .arg(*rulesPath, QFileInfo(*rulesPath).isDir()
                                                          ? QStringLiteral("it is a folder")
                                                          : file.error);
            return options;
        }
        const QList<Rule> rules = readRulesDocument(file.bytes);
        if (rules.isEmpty()) {
            options.usageError =
                QStringLiteral("the rules file %1 contains no valid rules").arg(*rulesPath);
            return options;
        }
        options.rules = rules;
    }
    return options;
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

// Renamed originals are in the bundle all the same; only a missing one makes it incomplete.
int exitCodeForExport(int documentsFound, int exported, int missingOriginals,
                      bool walkLostSomething)
{
    return exported >= documentsFound && missingOriginals == 0 && !walkLostSomething
               ? ExitSuccess
               : ExitPartlyExported;
}

BatchRun::BatchRun(Ui::AppController& controller, BatchOptions options, bool terminal)
    : m_controller(controller)
    , m_options(std::move(options))
    , m_terminal(terminal)
{}

BatchRun::~BatchRun() = default;

void BatchRun::start()
{
    const QByteArray importBytes = absolutePathBytes(m_options.importPathBytes);
    if (rawFileStatus(importBytes).directory)
        m_importRoot = QFile::decodeName(importBytes);
    m_expected = countImportCandidates(importBytes);

    connect(m_controller.documents(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { onDocumentsInserted(first, last); });
    connect(&m_controller, &Ui::AppController::busyChanged, this, &BatchRun::onBusyChanged);
    connect(&m_controller, &Ui::AppController::exportFinished, this,
            [this] { m_exportSucceeded = true; });

    if (m_options.recognise) {
        // Without its language data recognition would leave every scan unread while the run
        // looks successful: refuse at once and say what to install.
        const QString language = m_controller.recognitionLanguage();
        const QStringList installed = Inspection::installedRecognitionLanguages();
        const QStringList needed = language.split(u'+', Qt::SkipEmptyParts);
        if (needed.isEmpty() ||
            !std::all_of(needed.begin(), needed.end(),
                         [&installed](const QString& part) { return installed.contains(part); })) {
            m_phase = Phase::Done;
            printError(QStringLiteral("tessavo: --ocr: %1; install it, or run without --ocr")
                           .arg(Inspection::missingLanguageText(language)));
            finish(ExitFailed);
            return;
        }
        m_controller.recogniseDuringImportThisRun();
    }
    m_phase = Phase::Importing;
    m_controller.addLocalPaths({m_options.importPathBytes});
    printSkipped();
    if (!m_controller.importing()) {
        m_phase = Phase::Done;
        printSkippedCount();
        printError(
            QStringLiteral("tessavo: no PDF files were found in %1").arg(m_options.importPath));
        finish(ExitFailed);
    }
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
    const FolderWalkResult& walk = m_controller.importSkipped();
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
    const FolderWalkResult& walk = m_controller.importSkipped();
    if (walk.skippedCount() > 0)
        printError(QStringLiteral("Skipped %1 item(s): %2")
                       .arg(QString::number(walk.skippedCount()), skippedCountsText(walk)));
}

void BatchRun::onDocumentsInserted(int first, int last)
{
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    for (int row = first; row <= last && row < records.size(); ++row) {
        const DocumentRecord& record = records.at(row);
        ++m_done;
        const int total = std::max(m_expected, m_done);
        if (m_terminal) {
            // The name is made printable before it is fitted, so the bar keeps to one line.
            Logging::printStatusLine(progressBarLine(
                m_done, total, Logging::printableText(displayName(record)), terminalWidth()));
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
                       .arg(QString::number(m_done), QString::number(total), displayName(record),
                            outcome));
    }
}

void BatchRun::onBusyChanged()
{
    // Acting from a posted call keeps the controller's own signal emission out of our steps.
    if (m_phase == Phase::Importing && !m_controller.importing() && !m_controller.recognising()) {
        m_phase = Phase::Accepting;
        QTimer::singleShot(0, this, &BatchRun::exportDocuments);
    } else if (m_phase == Phase::Exporting && !m_controller.exporting()) {
        m_phase = Phase::Done;
        QTimer::singleShot(0, this, &BatchRun::report);
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
    if (m_stopSignal != 0 || m_phase == Phase::Done)
        return;
    m_stopSignal = signalNumber;
    endProgressLine();
    if (m_phase == Phase::Exporting && m_controller.exporting()) {
        // The report follows once the export has removed what it wrote.
        printError(QStringLiteral("tessavo: stopping: the unfinished bundle is removed"));
        m_controller.cancelExport();
        return;
    }
    m_phase = Phase::Done;
    printError(QStringLiteral("tessavo: stopped before the export"));
    finish(exitCodeForSignal(signalNumber));
}

void BatchRun::exportDocuments()
{
    if (m_phase != Phase::Accepting)
        return; // stopped meanwhile
    endProgressLine();
    if (m_options.acceptClear)
        m_controller.acceptAllSuggested();
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    const auto exportableCount = std::count_if(records.begin(), records.end(), exportable);
    if (exportableCount == 0) {
        m_phase = Phase::Done;
        for (const QString& line : batchSummary(records))
            printError(line);
        printSkippedCount();
        printError(QStringLiteral("tessavo: nothing to export: every PDF found is unreadable, "
                                  "encrypted or ignored"));
        finish(ExitFailed);
        return;
    }
    printError(QStringLiteral("Exporting %1 document(s) to %2")
                   .arg(QString::number(exportableCount), m_options.exportFolder));
    QString target = m_options.exportFolder;
    if (!roundTrips(m_options.exportFolderBytes)) {
        // A QString cannot name this folder: the export writes through a held descriptor.
        m_heldExportFolder = std::make_unique<HeldFolder>();
        if (!m_heldExportFolder->open(m_options.exportFolderBytes)) {
            m_phase = Phase::Done;
            printError(QStringLiteral("tessavo: Export failed: Cannot create export folder: %1: %2")
                           .arg(m_options.exportFolder, m_heldExportFolder->errorString()));
            finish(ExitFailed);
            return;
        }
        target = m_heldExportFolder->path();
    }
    m_phase = Phase::Exporting;
    m_controller.exportTo(QUrl::fromLocalFile(target));
    if (!m_controller.exporting() && m_phase == Phase::Exporting) {
        m_phase = Phase::Done;
        report();
    }
}

void BatchRun::report()
{
    const QList<DocumentRecord>& records = m_controller.documents()->records();
    for (const QString& line : batchSummary(records))
        printError(line);
    printSkippedCount();
    if (m_stopSignal != 0 && !m_exportSucceeded) {
        printError(QStringLiteral("tessavo: %1").arg(m_controller.status()));
        finish(exitCodeForSignal(m_stopSignal));
        return;
    }
    if (!m_exportSucceeded) {
        printError(QStringLiteral("tessavo: %1").arg(m_controller.status()));
        finish(ExitFailed);
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
    // Standard output is for scripts: the two paths whole, one per line.
    for (const QString& path : {result.directory, result.zip}) {
        if (m_heldExportFolder)
            writeOut(m_heldExportFolder->originalBytes(path));
        else
            Logging::printValueLine(Logging::ConsoleStream::Output, path);
    }
    finish(exitCodeForExport(
        int(records.size()), exported,
        int(std::count_if(warnings.begin(), warnings.end(), warningLosesOriginal)),
        m_controller.importSkipped().lostSomething()));
}

void BatchRun::finish(int code)
{
    QCoreApplication::exit(code);
}

int runBatch(int argc, char** argv, const QStringList& arguments)
{
    BatchOptions options = parseBatchOptions(arguments, rawArgumentsOf(argc, argv));
    if (!options.usageError.isEmpty()) {
        printError(QStringLiteral("tessavo: %1").arg(options.usageError));
        return ExitUsage;
    }
    preferOffscreenPlatform();
    QGuiApplication application(argc, argv); // the index PDF needs the font database
    setApplicationIdentity();
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
    if (options.rules) {
        setup.fixedRules = *options.rules;
        setup.settingsPath.clear();
    }
    Ui::AppController controller(setup);
    BatchRun run(controller, std::move(options), isatty(STDERR_FILENO) == 1);
    // Interrupted, the run still ends through the event loop, so nothing unfinished stays behind.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &run, &BatchRun::stop);
    QTimer::singleShot(0, &run, &BatchRun::start);
    return application.exec();
}

} // namespace Tessavo::App
