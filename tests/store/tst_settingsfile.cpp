// settings.json: what a window keeps comes back, and whatever of the file cannot be used is
// named in the log with its reason before the defaults are taken.
#include "store/SettingsFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
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
    bool write(const QByteArray& bytes)
    {
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size();
    }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("data/settings.json"));
};

void TestSettingsFile::keptSettingsComeBack()
{
    const Settings kept{true, QStringLiteral("deu+eng")};
    QVERIFY(saveSettings(m_path, kept).ok);
    QCOMPARE(QFile::permissions(m_path) & 0x0077, QFileDevice::Permissions());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(loadSettings(m_path), kept);
    // A window that kept the default language writes it as empty: nothing to note.
    QVERIFY(saveSettings(m_path, Settings{}).ok);
    QCOMPARE(loadSettings(m_path), Settings{});
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
    QVERIFY(saveSettings(m_path, Settings{}).ok); // the folder, private
    QVERIFY(write(bytes));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
    QCOMPARE(loadSettings(m_path), expected);
}

void TestSettingsFile::noPathKeepsNothing()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(loadSettings(QString()), Settings{});
    QVERIFY(saveSettings(QString(), Settings{true, QStringLiteral("eng")}).ok);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
