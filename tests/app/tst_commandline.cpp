// The command line as the program reads it: which options exist, what their values are, and
// which mistakes stop the program with a usage error.
#include "app/CommandLine.h"

#include <QTest>

using namespace Tessavo;
using App::CommandLine;

namespace {

App::CommandLineParse parse(const QList<QByteArray>& arguments)
{
    QList<QByteArray> all{"tessavo"};
    all.append(arguments);
    return App::parseCommandLine(all);
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void unknownOptionsAreUsageErrors_data();
    void unknownOptionsAreUsageErrors();
    void everyOptionAndItsValue();
    void valuesAreExactFirstAndTakeAnyValue();
    void anOptionWithoutItsValueIsNotGiven();
    void modesAndWhatTheyNeed_data();
    void modesAndWhatTheyNeed();
    void pathsKeepTheirBytes();
    void learnFromIsRepeatable();
};

void TestCommandLine::unknownOptionsAreUsageErrors_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<QString>("error");
    const QString hint = QStringLiteral("; tessavo --help lists the options");
    QTest::newRow("misspelt") << QList<QByteArray>{"--imprt", "x"}
                              << "unknown option --imprt" + hint;
    QTest::newRow("other case") << QList<QByteArray>{"--Smoke-Test"}
                                << "unknown option --Smoke-Test" + hint;
    QTest::newRow("batch misspelt")
        << QList<QByteArray>{"--batch", "--import", "a", "--export", "b", "--accept-clean"}
        << "unknown option --accept-clean" + hint;
    QTest::newRow("single dash") << QList<QByteArray>{"-h"} << "unknown option -h" + hint;
    QTest::newRow("not UTF-8") << QList<QByteArray>{"--imp\xE9rt", "x"}
                               << "unknown option --imp\uFFFDrt" + hint;
}

void TestCommandLine::unknownOptionsAreUsageErrors()
{
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(QString, error);
    const App::CommandLineParse parsed = parse(arguments);
    QVERIFY(!parsed.ok);
    QCOMPARE(parsed.error, error);
}

void TestCommandLine::everyOptionAndItsValue()
{
    App::CommandLineParse parsed =
        parse({"--import", "in", "--export", "out", "--ocr", "--smoke-test", "stray"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    CommandLine line = parsed.commandLine;
    QCOMPARE(line.mode, CommandLine::Mode::Window);
    QCOMPARE(line.importPath, QByteArray("in"));
    QCOMPARE(line.exportFolder, QByteArray("out"));
    QVERIFY(line.recognise);
    QVERIFY(line.smokeTest);
    QVERIFY(!line.acceptClear);
    QVERIFY(!line.rulesFile);
    QCOMPARE(line.positionals, QList<QByteArray>{"stray"});

    parsed =
        parse({"--batch", "--rules", "r.json", "--accept-clear", "--import=in", "--export", "out"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    line = parsed.commandLine;
    QCOMPARE(line.mode, CommandLine::Mode::Batch);
    QCOMPARE(line.rulesFile, QByteArray("r.json"));
    QCOMPARE(line.importPath, QByteArray("in"));
    QVERIFY(line.acceptClear);
    QVERIFY(!line.recognise);
    QVERIFY(!line.smokeTest);

    parsed = parse({"--verify", "bundle.zip"});
    QVERIFY(parsed.ok);
    QCOMPARE(parsed.commandLine.mode, CommandLine::Mode::Verify);
    QCOMPARE(parsed.commandLine.verifyPath, QByteArray("bundle.zip"));

    // Qt's own options are the application object's; a value that looks like one stays a value.
    parsed = parse({"-platform", "offscreen", "--import", "-style", "-reverse", "--smoke-test",
                    "-qmljsdebugger=port:1234"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    QCOMPARE(parsed.commandLine.importPath, QByteArray("-style"));
    QVERIFY(parsed.commandLine.smokeTest);
    QVERIFY(parsed.commandLine.positionals.isEmpty());

    // The worker's option means something only first, where the program never parses it.
    parsed = parse({"--smoke-test", "--inspection-worker"});
    QVERIFY(parsed.ok);
    QCOMPARE(parsed.commandLine.mode, CommandLine::Mode::Window);
}

void TestCommandLine::valuesAreExactFirstAndTakeAnyValue()
{
    const App::CommandLineParse parsed =
        parse({"--import", "--export", "--export", "--import", "--import", "second", "--ocr"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    QCOMPARE(parsed.commandLine.importPath, QByteArray("--export"));
    QCOMPARE(parsed.commandLine.exportFolder, QByteArray("--import"));
    QVERIFY(parsed.commandLine.recognise);
    QVERIFY(parse({"--import", "-x"}).ok); // a value, not a short option
}

void TestCommandLine::anOptionWithoutItsValueIsNotGiven()
{
    App::CommandLineParse parsed = parse({"--smoke-test", "--import"});
    QVERIFY(parsed.ok);
    QVERIFY(!parsed.commandLine.importPath);
    QVERIFY(parsed.commandLine.smokeTest);

    // Here "--import" is the value of "--export", not an option without one.
    parsed = parse({"--export", "--import"});
    QVERIFY(parsed.ok);
    QVERIFY(!parsed.commandLine.importPath);
    QCOMPARE(parsed.commandLine.exportFolder, QByteArray("--import"));
}

void TestCommandLine::modesAndWhatTheyNeed_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error");
    const int none = -1;
    QTest::newRow("window") << QList<QByteArray>{} << int(CommandLine::Mode::Window) << QString();
    QTest::newRow("help wins") << QList<QByteArray>{"--batch", "--help"}
                               << int(CommandLine::Mode::Help) << QString();
    QTest::newRow("version") << QList<QByteArray>{"--version", "--import", "x"}
                             << int(CommandLine::Mode::Version) << QString();
    QTest::newRow("no --export") << QList<QByteArray>{"--batch", "--import", "in"} << none
                                 << "--batch needs --export FOLDER";
    QTest::newRow("no --import") << QList<QByteArray>{"--batch", "--export", "out"} << none
                                 << "--batch needs --import PATH";
    QTest::newRow("--import last") << QList<QByteArray>{"--export", "out", "--batch", "--import"}
                                   << none << "--batch needs --import PATH";
    QTest::newRow("empty --export")
        << QList<QByteArray>{"--batch", "--import", "in", "--export", ""} << none
        << "--batch needs --export FOLDER";
    QTest::newRow("--rules last") << QList<QByteArray>{"--batch",  "--import", "in",
                                                       "--export", "out",      "--rules"}
                                  << none << "--rules needs a FILE";
    QTest::newRow("batch and verify") << QList<QByteArray>{"--batch", "--verify", "out"} << none
                                      << "--batch and --verify cannot be combined";
    QTest::newRow("verify without path")
        << QList<QByteArray>{"--verify"} << none << "--verify needs a bundle folder or ZIP file";
    QTest::newRow("batch with a profile")
        << QList<QByteArray>{"--batch", "--import", "in", "--export", "out", "--profile", "p.json"}
        << int(CommandLine::Mode::Batch) << QString();
    QTest::newRow("verify with a profile") << QList<QByteArray>{"--profile=p.json", "--verify", "b"}
                                           << int(CommandLine::Mode::Verify) << QString();
    QTest::newRow("--profile last")
        << QList<QByteArray>{"--batch", "--import", "in", "--export", "out", "--profile"} << none
        << "--profile needs a FILE";
    QTest::newRow("empty --profile")
        << QList<QByteArray>{"--verify", "b", "--profile", ""} << none << "--profile needs a FILE";
    QTest::newRow("profile with the window")
        << QList<QByteArray>{"--import", "in", "--profile", "p.json"} << none
        << "--profile works with --batch or --verify";
}

void TestCommandLine::modesAndWhatTheyNeed()
{
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(int, mode);
    QFETCH(QString, error);
    const App::CommandLineParse parsed = parse(arguments);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.ok, mode >= 0);
    if (parsed.ok)
        QCOMPARE(int(parsed.commandLine.mode), mode);
}

// A name that is not valid UTF-8 reaches the program as the bytes the command line spelt it with.
void TestCommandLine::pathsKeepTheirBytes()
{
    const QByteArray in = "/tmp/in \xE9";
    const QByteArray out = "out \xFF\xFE/bundles";
    const QByteArray stray = "\x80stray";
    const App::CommandLineParse parsed =
        parse({"--batch", "--import", in, stray, "--export", out, "--rules", "r\xE9.json"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    QCOMPARE(parsed.commandLine.importPath, in);
    QCOMPARE(parsed.commandLine.exportFolder, out);
    QCOMPARE(parsed.commandLine.rulesFile, QByteArray("r\xE9.json"));
    QCOMPARE(parsed.commandLine.positionals, QList<QByteArray>{stray});
    const App::CommandLineParse profile = parse({"--verify", "b", "--profile", "p\xE9.json"});
    QCOMPARE(profile.commandLine.profileFile, QByteArray("p\xE9.json"));
    // Valid UTF-8 comes through as it is, and so does the value "--export" spelt in bytes.
    const App::CommandLineParse text = parse({"--import", "Angebot \xC3\xA4.pdf"});
    QCOMPARE(text.commandLine.importPath, QByteArray("Angebot \xC3\xA4.pdf"));
}

void TestCommandLine::learnFromIsRepeatable()
{
    App::CommandLineParse parsed =
        parse({"--batch", "--learn-from", "past/Tessavo-Export-1", "--import", "a", "--export", "b",
               "--learn-from=old.zip", "--learn-from", "alt\xE9.zip", "--learn-from", "--rules"});
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    QCOMPARE(parsed.commandLine.learnFrom,
             (QList<QByteArray>{"past/Tessavo-Export-1", "old.zip", "alt\xE9.zip", "--rules"}));
    QVERIFY(!parsed.commandLine.rulesFile);
    QVERIFY(parse({"--import", "a"}).commandLine.learnFrom.isEmpty());
    for (const QList<QByteArray>& wrong :
         {QList<QByteArray>{"--learn-from"}, QList<QByteArray>{"--learn-from="}}) {
        parsed = parse(wrong);
        QVERIFY(!parsed.ok);
        QCOMPARE(parsed.error, QStringLiteral("--learn-from needs a bundle folder or ZIP file"));
    }
    QVERIFY(App::helpText().contains(QStringLiteral("--learn-from BUNDLE")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
