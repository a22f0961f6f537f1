// The first messages of a process: held until the log folder is known, then written in order.
// The handler is process-wide, so the in-process case runs first, before anything sets a folder.
#include "core/Version.h"
#include "logging/LogFile.h"
#include "support/TestFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo::Logging;

namespace {

using TestFiles::readLines;

// The one daily log file in the folder, whatever day it was begun on; empty unless there is
// exactly one.
QString todaysLog(const QString& directory)
{
    const QStringList logs =
        QDir(directory).entryList({QStringLiteral("tessavo-*.log")}, QDir::Files);
    return logs.size() == 1 ? directory + u'/' + logs.first() : QString();
}

} // namespace

class TestLogStartup : public QObject {
    Q_OBJECT

private slots:
    void holdsEarlyMessagesUntilTheFolderIsKnown();
    void executableLogsItsFirstMessagesAndOptions();
};

void TestLogStartup::holdsEarlyMessagesUntilTheFolderIsKnown()
{
    installMessageHandler();
    qWarning("early /home/alice/Bids/offer.pdf");
    logForwardedMessage(QtInfoMsg, QStringLiteral("from a worker"));
    const qsizetype extra = 5;
    for (qsizetype i = 1; i < maxHeldLines - 2 + extra + 1; ++i)
        qDebug("filler %lld", qint64(i));
    QVERIFY(currentLogFilePath().isEmpty());

    QTemporaryDir dir;
    QVERIFY(initLogging(dir.filePath(QStringLiteral("logs"))).ok);
    qInfo("after the folder is known");

    const QStringList lines = readLines(todaysLog(dir.filePath(QStringLiteral("logs"))));
    QCOMPARE(lines.size(), maxHeldLines + 2); // the held lines, the note, the later line
    QVERIFY2(lines.at(0).contains(QStringLiteral("[WARN ] early <path>/offer.pdf")),
             qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral("[INFO ] from a worker")),
             qPrintable(lines.at(1)));
    QVERIFY2(lines.at(maxHeldLines - 1).contains(QStringLiteral("filler %1").arg(maxHeldLines - 2)),
             qPrintable(lines.at(maxHeldLines - 1)));
    QVERIFY2(
        lines.at(maxHeldLines)
            .contains(QStringLiteral("[WARN ] %1 earlier message(s) were not kept").arg(extra)),
        qPrintable(lines.at(maxHeldLines)));
    QVERIFY(lines.at(maxHeldLines + 1).contains(QStringLiteral("after the folder is known")));
}

void TestLogStartup::executableLogsItsFirstMessagesAndOptions()
{
    // Without XDG_RUNTIME_DIR, Qt warns while the application object is created, naming a
    // folder under the temporary folder. That warning must reach the log, redacted.
    QTemporaryDir root;
    const QString secretFolder = root.filePath(QStringLiteral("Private Tender Folder"));
    const QString bundles = secretFolder + QStringLiteral("/Bundles Out");
    QVERIFY(QDir().mkpath(secretFolder + QStringLiteral("/tmp")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), secretFolder + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess tessavo;
    tessavo.setProcessEnvironment(env);
    tessavo.start(QStringLiteral(TESSAVO_EXECUTABLE),
                  {QStringLiteral("--smoke-test"), QStringLiteral("--import"),
                   secretFolder + QStringLiteral("/missing.pdf"), QStringLiteral("--export"),
                   bundles});
    QVERIFY(tessavo.waitForFinished(60000));
    QCOMPARE(tessavo.exitCode(), 0);

    const QString logPath = todaysLog(root.filePath(QStringLiteral("data/Tessavo/Tessavo/logs")));
    const QStringList lines = readLines(logPath);
    QVERIFY2(!lines.isEmpty(), qPrintable(logPath));
    const QString text = lines.join(u'\n');
    QVERIFY2(!text.contains(QStringLiteral("Private Tender Folder")), qPrintable(text));
    QVERIFY2(!text.contains(root.path()), qPrintable(text));

    // The warning came before the start line and is logged first, in its place.
    QVERIFY2(
        lines.at(0).contains(QStringLiteral("[WARN ] QStandardPaths: XDG_RUNTIME_DIR not set")),
        qPrintable(text));
    QVERIFY2(
        lines.at(1).contains(
            QStringLiteral("[INFO ] Tessavo %1 starting").arg(QLatin1String(Tessavo::versionText))),
        qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("[INFO ] Unattended import of missing.pdf")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("[INFO ] Unattended export to Bundles Out")),
             qPrintable(text));
}

QTEST_GUILESS_MAIN(TestLogStartup)
#include "tst_logstartup.moc"
