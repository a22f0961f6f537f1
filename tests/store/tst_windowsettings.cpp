// window.json: what the window keeps comes back; values no window could have written are left at
// their default and named, and the file is only ever a private regular file.
#include "store/WindowSettings.h"
#include "support/PrivateFolder.h"

#include <QTest>

using namespace Tessavo::Store;

class TestWindowSettings : public QObject {
    Q_OBJECT

private slots:
    void keptSettingsComeBack();
    void unusableValuesKeepTheirDefault_data();
    void unusableValuesKeepTheirDefault();
    void aLinkIsNeverRead();

private:
    PrivateFolder m_data{QStringLiteral("window.json")};
};

void TestWindowSettings::keptSettingsComeBack()
{
    WindowSettings kept;
    kept.placement = {QStringLiteral("HDMI-1"), QRect(-1900, 40, 1100, 700), true};
    kept.appearance = Appearance::Dark;
    kept.exportFolder = QStringLiteral("/home/u/Bundles für Lot 1");
    kept.lastExport = {QStringLiteral("/home/u/b/Tessavo-Export"),
                       QStringLiteral("m.csv"),
                       QStringLiteral("i.pdf"),
                       QStringLiteral("/home/u/b/Tessavo-Export-part1.zip"),
                       12,
                       3,
                       {QStringLiteral("/home/u/b/Tessavo-Export-part1.zip"),
                        QStringLiteral("/home/u/b/Tessavo-Export-part2.zip")},
                       1,
                       {QStringLiteral("one"), QStringLiteral("two")}};
    QVERIFY(saveWindowSettings(m_data.file(), kept).ok);
    QVERIFY(m_data.isPrivate());
    const WindowSettingsReading reading = readWindowSettingsFile(m_data.file());
    QVERIFY(reading.ok);
    QVERIFY(reading.ignored.isEmpty());
    QCOMPARE(reading.settings, kept);
    // A warning longer than the file keeps is cut, not a reason to lose the bundle.
    kept.lastExport.warnings = {QString(5000, u'w')};
    QVERIFY(saveWindowSettings(m_data.file(), kept).ok);
    QCOMPARE(readWindowSettingsFile(m_data.file()).settings.lastExport.warnings,
             QStringList{QString(maxRememberedTextChars, u'w')});
}

void TestWindowSettings::unusableValuesKeepTheirDefault_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("ignored");
    QTest::newRow("huge coordinate")
        << QByteArray(
               R"({"window": {"screen": "a", "x": 1e300, "y": 0, "width": 900, "height": 600}})")
        << QStringLiteral("window is not a window's place");
    QTest::newRow("fractional size")
        << QByteArray(
               R"({"window": {"screen": "a", "x": 0, "y": 0, "width": 900.5, "height": 600}})")
        << QStringLiteral("window is not a window's place");
    QTest::newRow("no size")
        << QByteArray(R"({"window": {"screen": "a", "x": 0, "y": 0, "width": 0, "height": 600}})")
        << QStringLiteral("window is not a window's place");
    QTest::newRow("unknown appearance")
        << QByteArray(R"({"appearance": "purple"})")
        << QStringLiteral("appearance is not light, dark or desktop");
    QTest::newRow("folder of the wrong type") << QByteArray(R"({"exportFolder": ["/tmp"]})")
                                              << QStringLiteral("exportFolder is not a folder");
    QTest::newRow("negative count")
        << QByteArray(R"({"lastExport": {"directory": "/b", "manifest": "", "index": "", "zip": "",
                          "exported": -1, "skipped": 0, "originalsLeftOut": 0, "warnings": []}})")
        << QStringLiteral("lastExport is not a bundle's description");
    QTest::newRow("volume that is no path")
        << QByteArray(R"({"lastExport": {"directory": "/b", "manifest": "", "index": "", "zip": "",
                          "exported": 1, "skipped": 0, "originalsLeftOut": 0, "warnings": [],
                          "volumes": ["/b-part1.zip", 2]}})")
        << QStringLiteral("lastExport is not a bundle's description");
}

void TestWindowSettings::unusableValuesKeepTheirDefault()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, ignored);
    QVERIFY(saveWindowSettings(m_data.file(), WindowSettings{}).ok); // makes the private folder
    QVERIFY(m_data.overwrite(bytes));
    const WindowSettingsReading reading = readWindowSettingsFile(m_data.file());
    QVERIFY(reading.ok);
    QCOMPARE(reading.ignored, QStringList{ignored});
    QCOMPARE(reading.settings, WindowSettings{});
}

void TestWindowSettings::aLinkIsNeverRead()
{
    const QString elsewhere = m_data.outside(QStringLiteral("elsewhere.json"));
    WindowSettings kept;
    kept.exportFolder = QStringLiteral("/tmp");
    QVERIFY(saveWindowSettings(elsewhere, kept).ok);
    QFile::remove(m_data.file());
    QVERIFY(QFile::link(elsewhere, m_data.file()));
    const WindowSettingsReading reading = readWindowSettingsFile(m_data.file());
    QVERIFY(!reading.ok);
    QCOMPARE(reading.settings, WindowSettings{});
    // Writing replaces the link by a file of its own; the file it pointed to stays as it was.
    QVERIFY(saveWindowSettings(m_data.file(), WindowSettings{}).ok);
    QVERIFY(!QFileInfo(m_data.file()).isSymLink());
    QCOMPARE(readWindowSettingsFile(elsewhere).settings, kept);
}

QTEST_GUILESS_MAIN(TestWindowSettings)
#include "tst_windowsettings.moc"
