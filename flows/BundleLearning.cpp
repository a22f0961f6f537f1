#include "flows/BundleLearning.h"

#include "bundle/PastBundle.h"
#include "core/LearnedTerms.h"
#include "inspection/ImportSession.h"
#include "logging/LogPath.h"
#include "tasks/BackgroundRunner.h"

#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QHash>
#include <QTemporaryDir>

namespace Tessavo::Flows {

namespace {

// Reading the manifests and extracting the originals is this share of the progress; the
// workers' reading is the rest.
constexpr int readingShare = 10;

struct Queued {
    qsizetype lesson = 0;
    QString label; // the bundle's name, as its problems name it
    FiledOriginal original;
};

} // namespace

struct BundleLearning::Run {
    explicit Run(const QString& scratchFolder)
        : scratch(std::make_shared<QTemporaryDir>(
              QDir(scratchFolder).filePath(QStringLiteral("tessavo-learn-XXXXXX"))))
    {}

    // Made 0700; holds what was extracted from ZIPs. The reading task shares it, so that it goes
    // when both are done with it.
    std::shared_ptr<QTemporaryDir> scratch;
    Tasks::BackgroundRunner runner;
    QFutureWatcher<Tasks::TaskResult<QList<PastBundle>>> watcher;
    std::unique_ptr<Inspection::ImportSession> session;
    QList<BundleLesson> lessons;
    QHash<QString, QList<Queued>> queued; // by the path the workers read
    qsizetype total = 0;
    qsizetype inspected = 0;
};

BundleLearning::BundleLearning(QObject* parent)
    : BundleLearning(Options(), parent)
{}

BundleLearning::BundleLearning(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

BundleLearning::~BundleLearning()
{
    cancel();
}

bool BundleLearning::start(const QStringList& bundlePaths)
{
    m_error.clear();
    if (m_running) {
        m_error = QStringLiteral("already learning from a bundle");
        return false;
    }
    auto run = std::make_unique<Run>(m_options.scratchFolder.isEmpty() ? QDir::tempPath()
                                                                       : m_options.scratchFolder);
    if (!run->scratch->isValid() ||
        !QFile::setPermissions(run->scratch->path(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        m_error = QStringLiteral("cannot create a private temporary folder: %1")
                      .arg(run->scratch->errorString());
        return false;
    }
    for (const QString& path : bundlePaths)
        run->lessons.append({path, {}, {}});
    m_run = std::move(run);
    ++m_generation;
    m_running = true;
    m_progress = 0;
    emit runningChanged();
    emit progressChanged();

    connect(&m_run->watcher, &QFutureWatcherBase::progressValueChanged, this,
            [this](int percent) { setProgress(percent * readingShare / 100); });
    connect(&m_run->watcher, &QFutureWatcherBase::finished, this, &BundleLearning::onRead);
    m_run->watcher.setFuture(m_run->runner.run(
        [bundlePaths, scratch = m_run->scratch](const Tasks::TaskControl& control) {
            QList<PastBundle> bundles;
            for (qsizetype i = 0; i < bundlePaths.size(); ++i) {
                // Each bundle's originals in a folder of their own.
                const QString folder = QDir(scratch->path()).filePath(QString::number(i));
                QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                bundles.append(readPastBundle(bundlePaths.at(i), folder,
                                              [&control] { return control.isCancelled(); }));
                control.setProgress(int(100 * (i + 1) / bundlePaths.size()));
            }
            return bundles;
        }));
    return true;
}

void BundleLearning::cancel()
{
    if (!m_running)
        return;
    disconnect(&m_run->watcher, nullptr, this, nullptr);
    // The extraction stops between originals; its folder goes once it has.
    m_run->watcher.cancel();
    m_run->session.reset();
    m_run.reset();
    m_running = false;
    m_progress = 0;
    emit runningChanged();
    emit progressChanged();
}

void BundleLearning::onRead()
{
    if (m_run->watcher.future().resultCount() == 0) {
        finishLater();
        return;
    }
    const auto result = m_run->watcher.result();
    if (!result.ok) {
        for (BundleLesson& lesson : m_run->lessons)
            lesson.problems.append(
                QStringLiteral("%1: cannot be read: %2").arg(lesson.path, result.error));
        finishLater();
        return;
    }
    QStringList paths;
    for (qsizetype i = 0; i < result.value.size() && i < m_run->lessons.size(); ++i) {
        const PastBundle& bundle = result.value.at(i);
        m_run->lessons[i].problems = bundle.problems;
        for (const FiledOriginal& original : bundle.filed) {
            QList<Queued>& sharing = m_run->queued[original.originalPath];
            if (sharing.isEmpty())
                paths.append(original.originalPath);
            sharing.append({i, bundle.label, original});
        }
    }
    m_run->total = paths.size();
    setProgress(readingShare);
    if (paths.isEmpty()) {
        finishLater();
        return;
    }
    Inspection::ImportSession::Options options;
    options.pool = m_options.pool;
    m_run->session = std::make_unique<Inspection::ImportSession>(options);
    connect(m_run->session.get(), &Inspection::ImportSession::inspected, this,
            &BundleLearning::onInspected);
    connect(m_run->session.get(), &Inspection::ImportSession::finished, this,
            &BundleLearning::finishLater);
    m_run->session->enqueue(paths);
}

void BundleLearning::onInspected(const DocumentRecord& record)
{
    const QList<Queued> sharing = m_run->queued.take(record.sourcePath);
    for (const Queued& q : sharing) {
        const FiledOriginal& original = q.original;
        BundleLesson& lesson = m_run->lessons[q.lesson];
        const auto problem = [&](const QString& what) {
            lesson.problems.append(
                QStringLiteral("%1: \"%2\" (manifest.csv line %3) %4")
                    .arg(q.label, original.fileName, QString::number(original.line), what));
        };
        if (record.sha256 != original.sha256) {
            problem(QStringLiteral("differs from its manifest row"));
            continue;
        }
        if (record.textChars <= 0) {
            problem(QStringLiteral("has no text to learn from"));
            continue;
        }
        // The document as it was filed: under its name in the manifest.
        DocumentRecord filed = record;
        filed.fileName = original.fileName;
        lesson.examples.append(
            {learnedKey(filed), original.fileName, original.category, documentTerms(filed)});
    }
    ++m_run->inspected;
    setProgress(readingShare + int((100 - readingShare) * m_run->inspected /
                                   std::max<qsizetype>(1, m_run->total)));
}

// Ends the run once the signal that ended it has returned: the run owns its sender.
void BundleLearning::finishLater()
{
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (m_running && m_generation == generation)
                finish();
        },
        Qt::QueuedConnection);
}

void BundleLearning::finish()
{
    const QList<BundleLesson> lessons = m_run->lessons;
    m_run.reset(); // the extracted originals go with their folder
    m_running = false;
    m_progress = 0;
    emit runningChanged();
    emit progressChanged();
    emit finished(lessons);
}

void BundleLearning::setProgress(int percent)
{
    if (percent == m_progress)
        return;
    m_progress = percent;
    emit progressChanged();
}

QList<LearnedExample> examplesOf(const QList<BundleLesson>& lessons)
{
    QList<LearnedExample> examples;
    for (const BundleLesson& lesson : lessons) {
        for (const QString& problem : lesson.problems)
            qWarning().noquote() << QStringLiteral("Learning from %1: %2")
                                        .arg(Logging::pathForLog(lesson.path), problem);
        qInfo().noquote() << QStringLiteral("Learned %1 filed document(s) from %2")
                                 .arg(QString::number(lesson.examples.size()),
                                      Logging::pathForLog(lesson.path));
        examples += lesson.examples;
    }
    return examples;
}

} // namespace Tessavo::Flows
