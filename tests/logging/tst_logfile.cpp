#include "logging/LogFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace Tessavo::Logging;

namespace {

using TestFiles::readLines;

void ignoreMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

class TestLogFile : public QObject {
    Q_OBJECT

private slots:
    void levelWordsAreFiveCharacters();
    void formatsLines();
    void rotatesFullFiles();
    void leavesSmallFilesAlone();
    void writesRedactedLinesToTheDailyFile();
    void installsTheHandlerOnce();
    void keepsLinesFromSeveralThreadsWhole();
    void writesEachMessageOnOneLine();
    void logsForwardedMessagesLikeItsOwn();
    void logFilesArePrivateAndNeverFollowLinks();
};

void TestLogFile::levelWordsAreFiveCharacters()
{
    QCOMPARE(levelName(QtDebugMsg), QStringLiteral("DEBUG"));
    QCOMPARE(levelName(QtInfoMsg), QStringLiteral("INFO "));
    QCOMPARE(levelName(QtWarningMsg), QStringLiteral("WARN "));
    QCOMPARE(levelName(QtCriticalMsg), QStringLiteral("ERROR"));
    QCOMPARE(levelName(QtFatalMsg), QStringLiteral("FATAL"));
    QCOMPARE(levelName(QtMsgType(42)), QStringLiteral("INFO "));
}

void TestLogFile::formatsLines()
{
    const QDateTime time(QDate(2025, 3, 1), QTime(9, 15, 2, 417));
    const QMessageLogContext withFile("/build/src/logging/LogFile.cpp", 42, "f", "default");
    QCOMPARE(formatLogLine(time, QtWarningMsg, withFile, QStringLiteral("text")),
             QStringLiteral("2025-03-01 09:15:02.417 [WARN ] text (LogFile.cpp:42)"));

    const QMessageLogContext windowsFile(R"(C:\src\main.cpp)", 7, "f", "default");
    QCOMPARE(formatLogLine(time, QtCriticalMsg, windowsFile, QStringLiteral("x")),
             QStringLiteral("2025-03-01 09:15:02.417 [ERROR] x (main.cpp:7)"));

    const QMessageLogContext noFile;
    QCOMPARE(formatLogLine(time, QtInfoMsg, noFile, QStringLiteral("plain")),
             QStringLiteral("2025-03-01 09:15:02.417 [INFO ] plain"));
}

void TestLogFile::rotatesFullFiles()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("tessavo-20250301.log"));
    const QByteArray full(LogLimits().maxFileBytes, 'x');
    QVERIFY(TestFiles::writeBytes(log, full));
    QVERIFY(TestFiles::writeBytes(log + ".1", "one"));
    QVERIFY(TestFiles::writeBytes(log + ".2", "two"));
    QVERIFY(TestFiles::writeBytes(log + ".3", "three"));

    rotateIfNeeded(log, LogLimits());

    QVERIFY(!QFile::exists(log));
    QCOMPARE(TestFiles::readBytes(log + ".1"), full);
    QCOMPARE(TestFiles::readBytes(log + ".2"), QByteArray("one"));
    QCOMPARE(TestFiles::readBytes(log + ".3"), QByteArray("two"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);

    // Rotating again with only a current file keeps at most the current file plus three.
    QVERIFY(TestFiles::writeBytes(log, full));
    rotateIfNeeded(log, LogLimits());
    QCOMPARE(TestFiles::readBytes(log + ".3"), QByteArray("one"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

void TestLogFile::leavesSmallFilesAlone()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("small.log"));
    QVERIFY(TestFiles::writeBytes(log, QByteArray(LogLimits().maxFileBytes - 1, 'x')));
    rotateIfNeeded(log, LogLimits());
    QVERIFY(QFile::exists(log));
    QVERIFY(!QFile::exists(log + ".1"));

    rotateIfNeeded(dir.filePath(QStringLiteral("missing.log")), LogLimits());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing.log.1"))));
}

void TestLogFile::writesRedactedLinesToTheDailyFile()
{
    QTemporaryDir dir;
    const QString logDir = dir.filePath(QStringLiteral("nested/logs"));
    QVERIFY(initLogging(logDir).ok);
    const QString expectedPath =
        logDir + QStringLiteral("/tessavo-%1.log").arg(QDate::currentDate().toString(u"yyyyMMdd"));
    QCOMPARE(currentLogFilePath(), expectedPath);

    qWarning("opening /home/someone/bids/offer.pdf with password=hunter2");
    const QStringList lines = readLines(expectedPath);
    QCOMPARE(lines.size(), 1);
    static const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[WARN \] opening <path>/offer\.pdf with password=\*\*\* \(tst_logfile\.cpp:\d+\)$)"));
    QVERIFY2(shape.match(lines.first()).hasMatch(), qPrintable(lines.first()));

    // A folder that cannot be created leaves only standard error.
    const QString blocker = dir.filePath(QStringLiteral("file"));
    QVERIFY(TestFiles::writeBytes(blocker, "x"));
    const Tessavo::Status blocked = initLogging(blocker + QStringLiteral("/logs"));
    QVERIFY(!blocked.ok);
    QCOMPARE(blocked.error, QStringLiteral("cannot create the log folder %1/logs").arg(blocker));
    QVERIFY(currentLogFilePath().isEmpty());
    qWarning("only on stderr");
    QCOMPARE(readLines(expectedPath).size(), 1);
}

void TestLogFile::installsTheHandlerOnce()
{
    QTemporaryDir dir;
    QVERIFY(initLogging(dir.filePath(QStringLiteral("a"))).ok);
    const QtMessageHandler replaced = qInstallMessageHandler(ignoreMessages);
    QVERIFY(replaced == &messageHandler);

    QVERIFY(initLogging(dir.filePath(QStringLiteral("b"))).ok); // must not install again
    const QtMessageHandler current = qInstallMessageHandler(messageHandler);
    QVERIFY(current == &ignoreMessages);

    qInfo("goes to the second folder");
    QVERIFY(currentLogFilePath().startsWith(dir.filePath(QStringLiteral("b"))));
    QCOMPARE(readLines(currentLogFilePath()).size(), 1);
}

void TestLogFile::keepsLinesFromSeveralThreadsWhole()
{
    QTemporaryDir dir;
    QVERIFY(initLogging(dir.path()).ok);
    constexpr int threadCount = 6;
    constexpr int perThread = 400;

    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                qWarning("thread %d message %d with some padding to make lines longer", t, i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QStringList lines = readLines(currentLogFilePath());
    QCOMPARE(lines.size(), threadCount * perThread);
    static const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[WARN \] thread (\d) message (\d+) with some padding to make lines longer \(tst_logfile\.cpp:\d+\)$)"));
    QList<int> next(threadCount, 0);
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = shape.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const int thread = m.captured(1).toInt();
        QCOMPARE(m.captured(2).toInt(), next[thread]); // each thread's lines in its own order
        ++next[thread];
    }
}

void TestLogFile::writesEachMessageOnOneLine()
{
    QTemporaryDir dir;
    QVERIFY(initLogging(dir.path()).ok);
    // A file name can hold a line break; it must not forge a line of its own.
    qWarning("cannot read evil.pdf\n2026-01-01 00:00:00.000 [INFO ] forged");
    const QStringList lines = readLines(currentLogFilePath());
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QStringLiteral(
                 R"(evil.pdf\n2026-01-01 00:00:00.000 [INFO ] forged (tst_logfile)")),
             qPrintable(lines.first()));
}

void TestLogFile::logsForwardedMessagesLikeItsOwn()
{
    QTemporaryDir dir;
    QVERIFY(initLogging(dir.path()).ok);
    const QMessageLogContext workerContext("/build/core/InspectionWorker.cpp", 12, "f", "default");
    // A fatal message of another process is written, but this one carries on.
    logForwardedMessage(QtFatalMsg,
                        QStringLiteral("cannot read /home/alice/Bids/x.pdf password=hunter2\nnext"),
                        workerContext);
    logForwardedMessage(QtInfoMsg, QStringLiteral("worker ready"));

    const QStringList lines = readLines(currentLogFilePath());
    QCOMPARE(lines.size(), 2);
    static const QRegularExpression fatal(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[FATAL\] cannot read <path>/x\.pdf )"
        R"(password=\*\*\*\\nnext \(InspectionWorker\.cpp:12\)$)"));
    QVERIFY2(fatal.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).endsWith(QStringLiteral("[INFO ] worker ready")), qPrintable(lines.at(1)));
}

// The log names the files worked on: its folder is 0700 and its file 0600 whatever the umask, an
// older file is made private, and a link in place of the log is never written through.
void TestLogFile::logFilesArePrivateAndNeverFollowLinks()
{
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(0);
    const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
    auto modeOf = [](const QString& path) {
        struct stat status {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777
                                                                          : 0xffffu;
    };
    const QString logDir = dir.filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(logDir));
    const QString old = logDir + QStringLiteral("/tessavo-20200101.log");
    QVERIFY(TestFiles::writeBytes(old, "old line\n"));
    QVERIFY(::chmod(QFile::encodeName(old).constData(), 0644) == 0);
    QVERIFY(::chmod(QFile::encodeName(logDir).constData(), 0755) == 0);

    QVERIFY(initLogging(logDir).ok);
    qWarning("a private line");
    QCOMPARE(modeOf(logDir), 0700u);
    QCOMPARE(modeOf(currentLogFilePath()), 0600u);
    QCOMPARE(modeOf(old), 0600u);

    // A link at the log's name: nothing reaches its target.
    const QString target = dir.filePath(QStringLiteral("target.txt"));
    QVERIFY(TestFiles::writeBytes(target, "theirs\n"));
    const QString linked = dir.filePath(QStringLiteral("linked"));
    QVERIFY(QDir().mkpath(linked));
    QVERIFY(initLogging(linked).ok);
    QVERIFY(QFile::link(target, currentLogFilePath()));
    qWarning("never through the link");
    QCOMPARE(readLines(target), QStringList({QStringLiteral("theirs")}));
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
