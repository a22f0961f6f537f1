// settings.json: what a window keeps comes back, and whatever of the file cannot be used is
// named in the log with its reason before the defaults are taken.
#include "store/SettingsFile.h"
#include "support/PrivateFolder.h"

#include <QRegularExpression>
#include <QTest>

using namespace Tessavo::Store;

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void keptSettingsComeBack();
    void unusableSettingsAreNamedInTheLog_data();
    void unusableSettingsAreNamedInTheLog();
    void noPathKeepsNothing();

private:
    PrivateFolder m_data{QStringLiteral("settings.json")};
};

void TestSettingsFile::keptSettingsComeBack()
{
    const Settings kept{true, QStringLiteral("deu+eng")};
    QVERIFY(saveSettings(m_data.file(), kept).ok);
    QVERIFY(m_data.isPrivate());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(loadSettings(m_data.file()), kept);
    // A window that kept the default language writes it as empty: nothing to note.
    QVERIFY(saveSettings(m_data.file(), Settings{}).ok);
    QCOMPARE(loadSettings(m_data.file()), Settings{});
}

void TestSettingsFile::unusableSettingsAreNamedInTheLog_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<Settings>("expected");
    QTest::newRow("not JSON") << QByteArray("{\"recogniseScansDuringImport\": tru")
                              << QStringLiteral("could not be read \\(not a settings file\\)")
                              << Settings{};
    QTest::newRow("flag of the wrong type")
        << QByteArray(R"({"recogniseScansDuringImport": "yes", "recognitionLanguage": "fra"})")
        << QStringLiteral("ignored \\(recogniseScansDuringImport is not true or false\\)")
        << Settings{false, QStringLiteral("fra")};
    QTest::newRow("language of the wrong type")
        << QByteArray(R"({"recogniseScansDuringImport": true, "recognitionLanguage": 7})")
        << QStringLiteral("ignored \\(recognitionLanguage is not a language code\\)")
        << Settings{true, QString()};
    QTest::newRow("a path as language")
        << QByteArray(R"({"recognitionLanguage": "../../etc/passwd"})")
        << QStringLiteral("ignored \\(recognitionLanguage is not a language code\\)") << Settings{};
}

void TestSettingsFile::unusableSettingsAreNamedInTheLog()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(Settings, expected);
    QVERIFY(saveSettings(m_data.file(), Settings{}).ok); // the folder, private
    QVERIFY(m_data.overwrite(bytes));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
    QCOMPARE(loadSettings(m_data.file()), expected);
}

void TestSettingsFile::noPathKeepsNothing()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(loadSettings(QString()), Settings{});
    QVERIFY(saveSettings(QString(), Settings{true, QStringLiteral("eng")}).ok);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
