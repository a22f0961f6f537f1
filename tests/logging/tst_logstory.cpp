// What the log tells about the rules file and an export, through the real controller: outcomes at
// info level, failures as warnings, files by name and never with their folders.
#include "logging/LogFile.h"
#include "support/PdfFixtures.h"
#include "ui/AppController.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Ui;

class TestLogStory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void logsTheRulesFile();
    void logsExportOutcomes();
    void cleanupTestCase();

private:
    // The log lines written since the last call.
    QStringList newLines();
    QString m_private; // a folder whose name must never reach the log
    QTemporaryDir m_dir;
    qsizetype m_seen = 0;
};

QStringList TestLogStory::newLines()
{
    QFile file(Logging::currentLogFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    const QStringList fresh = lines.mid(m_seen);
    m_seen = lines.size();
    return fresh;
}

void TestLogStory::initTestCase()
{
    QVERIFY(Logging::initLogging(m_dir.filePath(QStringLiteral("logs"))).ok);
    m_private = m_dir.filePath(QStringLiteral("Private Client Folder"));
    QVERIFY(QDir().mkpath(m_private));
}

void TestLogStory::logsTheRulesFile()
{
    QTemporaryDir data;
    QVERIFY(PdfFixtures::writeBytes(data.filePath(QStringLiteral("rules.json")), "{ not rules"));
    AppController c(ControllerSetup::inFolder(data.path()));
    QStringList lines = newLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).contains(QStringLiteral(
                 "[WARN ] The rules file rules.json holds no usable rules; using the built-in "
                 "rules")),
             qPrintable(lines.at(0)));

    c.review()->removeRule(0); // keeps the unusable file as a backup, then saves
    lines = newLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QStringLiteral("[WARN ] The rules file could not be used at "
                                                 "start-up; its content was kept as "
                                                 "rules.json.bak (")),
             qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral("[INFO ] Saved 8 rule(s) to rules.json (")),
             qPrintable(lines.at(1)));

    const QString mine = m_private + QStringLiteral("/my rules.json");
    c.review()->saveRules(QUrl::fromLocalFile(mine));
    c.review()->loadRules(QUrl::fromLocalFile(mine));
    c.review()->loadRules(QUrl::fromLocalFile(m_private + QStringLiteral("/missing.json")));
    c.review()->saveRules(
        QUrl::fromLocalFile(m_private + QStringLiteral("/no such folder/r.json")));
    lines = newLines();
    QCOMPARE(lines.size(), 5);
    QVERIFY2(lines.at(0).contains(QStringLiteral("[INFO ] Rules exported to my rules.json (")),
             qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral("[INFO ] Saved 8 rule(s) to rules.json")),
             qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).contains(QStringLiteral("[INFO ] Loaded 8 rule(s) from my rules.json (")),
             qPrintable(lines.at(2)));
    QVERIFY2(
        lines.at(3).contains(QStringLiteral("[WARN ] Cannot read the rules file missing.json")),
        qPrintable(lines.at(3)));
    QVERIFY2(lines.at(4).contains(QStringLiteral("[WARN ] Cannot write rules to r.json: ")),
             qPrintable(lines.at(4)));
}

void TestLogStory::logsExportOutcomes()
{
    AppController c;
    newLines();
    const QString source = m_private + QStringLiteral("/sources/offer.pdf");
    QVERIFY(QDir().mkpath(QFileInfo(source).path()));
    QVERIFY(PdfFixtures::writeTextPdf(source, {QStringLiteral("Offer")}));
    DocumentRecord record;
    record.sourcePath = source;
    record.sizeBytes = QFileInfo(source).size();
    record.fileName = QStringLiteral("offer.pdf");
    record.state = Ready;
    record.pages = 1;
    record.suggestion.category = QStringLiteral("02_Forms");
    c.documentList()->appendRecord(record);

    c.exporter()->exportTo(QUrl::fromLocalFile(m_private + QStringLiteral("/Out Folder")));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
    const auto last = c.lastExport();
    QVERIFY(last.ok);
    const QString bundle = QFileInfo(last.directory).fileName();
    const QString zip = QFileInfo(last.zip).fileName();
    QStringList lines = newLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(
        lines.at(0).contains(QStringLiteral("[INFO ] Exported 1 documents to %1 (").arg(bundle)),
        qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QRegularExpression(
                 QStringLiteral(R"(\[INFO \] Export bundle %1, ZIP %2: 1 document\(s\), 0 )"
                                R"(skipped, 0 warning\(s\), \d+ ms)")
                     .arg(QRegularExpression::escape(bundle), QRegularExpression::escape(zip)))),
             qPrintable(lines.at(1)));

    // A failure is a warning; the path in the builder's error is cut by the redaction.
    QVERIFY(PdfFixtures::writeBytes(m_private + QStringLiteral("/a file"), "x"));
    c.exporter()->exportTo(QUrl::fromLocalFile(m_private + QStringLiteral("/a file/sub")));
    QTRY_VERIFY_WITH_TIMEOUT(!c.exporter()->exporting(), 60000);
    lines = newLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).contains(
                 QRegularExpression(QStringLiteral(R"(\[WARN \] Export failed: .*<path>/sub )"
                                                   R"(\(after \d+ ms\))"))),
             qPrintable(lines.at(0)));
}

void TestLogStory::cleanupTestCase()
{
    QFile file(Logging::currentLogFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    QVERIFY2(!log.contains(QStringLiteral("Private Client Folder")), qPrintable(log));
    QVERIFY2(!log.contains(m_dir.path()), qPrintable(log));
    QVERIFY2(!log.contains(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)),
             qPrintable(log));
}

QTEST_MAIN(TestLogStory)
#include "tst_logstory.moc"
