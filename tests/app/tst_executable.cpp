// Runs the real executable the way a user or a script would.
#include "support/PdfFixtures.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestExecutable : public QObject {
    Q_OBJECT

private slots:
    void smokeTestExitsCleanlyAndLogsTheStart();
    void unknownOptionIsAUsageError();
    void workerOptionCountsOnlyFirst();
    void quittingDoesNotWaitForAnInspection();

private:
    int runTessavo(const QStringList& arguments, const QString& dataHome, int timeoutMs,
                   bool* finished);
};

int TestExecutable::runTessavo(const QStringList& arguments, const QString& dataHome, int timeoutMs,
                               bool* finished)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE), arguments);
    *finished = process.waitForFinished(timeoutMs);
    if (!*finished) {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

void TestExecutable::smokeTestExitsCleanlyAndLogsTheStart()
{
    QTemporaryDir dataHome;
    bool finished = false;
    QCOMPARE(runTessavo({QStringLiteral("--smoke-test")}, dataHome.path(), 60000, &finished), 0);

    // The one daily file, whatever day the run began on.
    const QDir logs(dataHome.filePath(QStringLiteral("Tessavo/Tessavo/logs")));
    const QStringList names = logs.entryList({QStringLiteral("tessavo-*.log")}, QDir::Files);
    QCOMPARE(names.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^tessavo-\d{8}\.log$)"))
                 .match(names.first())
                 .hasMatch(),
             qPrintable(names.first()));
    const QString logPath = logs.filePath(names.first());
    QFile log(logPath);
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(logPath));
    const QString firstLine = QString::fromUtf8(log.readLine()).trimmed();
    static const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO \] Tessavo 0\.2\.0 starting( \(\S+:\d+\))?$)"));
    QVERIFY2(shape.match(firstLine).hasMatch(), qPrintable(firstLine));
}

void TestExecutable::unknownOptionIsAUsageError()
{
    // "--Smoke-Test" is not the smoke-test option, nor any other: the window never opens.
    QTemporaryDir dataHome;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSAVO_EXECUTABLE),
                  {QStringLiteral("--import"), dataHome.path(), QStringLiteral("--Smoke-Test")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(
        process.readAllStandardError(),
        QByteArray("tessavo: unknown option --Smoke-Test; tessavo --help lists the options\n"));
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!QFileInfo::exists(dataHome.filePath(QStringLiteral("Tessavo"))));
}

void TestExecutable::workerOptionCountsOnlyFirst()
{
    // Anywhere but first, the worker option is an ordinary argument, even as an option's value:
    // the application starts, runs its smoke test and ends.
    QTemporaryDir dataHome;
    bool finished = false;
    QCOMPARE(runTessavo({QStringLiteral("--smoke-test"), QStringLiteral("--inspection-worker")},
                        dataHome.path(), 60000, &finished),
             0);
    QCOMPARE(runTessavo({QStringLiteral("--import"), QStringLiteral("--inspection-worker"),
                         QStringLiteral("--smoke-test")},
                        dataHome.path(), 60000, &finished),
             0);
}

void TestExecutable::quittingDoesNotWaitForAnInspection()
{
    // Reading 60,000 pages keeps the workers busy for far longer than the smoke test runs;
    // the application ends without waiting for them.
    QTemporaryDir dataHome;
    QVERIFY(PdfFixtures::writeBytes(dataHome.filePath("in/long.pdf"),
                                    PdfFixtures::manyPagesPdf(60000)));
    QElapsedTimer clock;
    clock.start();
    bool finished = false;
    QCOMPARE(runTessavo({QStringLiteral("--import"), dataHome.filePath("in"),
                         QStringLiteral("--smoke-test")},
                        dataHome.path(), 60000, &finished),
             0);
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestExecutable)
#include "tst_executable.moc"
