#include "logging/LogRedaction.h"

#include <QTest>

using namespace Tessavo::Logging;

class TestLogRedaction : public QObject {
    Q_OBJECT

private slots:
    void sanitizesMessages_data();
    void sanitizesMessages();
    void shortensPaths_data();
    void shortensPaths();
    void capsLongMessages();
    void replaceMatchesKeepsTextBetweenMatches();
};

void TestLogRedaction::sanitizesMessages_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // Paths
    QTest::newRow("bare drive path stops at the first space")
        << R"(Opening C:\Data\Bids\form 3a.pdf now)"
        << "Opening <path>/form 3a.pdf now";
    QTest::newRow("double-quoted path keeps its spaces and quotes")
        << R"(Opening "C:\Data\Bids\form 3a.pdf" now)"
        << R"(Opening "<path>/form 3a.pdf" now)";
    QTest::newRow("single-quoted path keeps its quotes")
        << R"(Opening 'C:\Data\Bids\form 3a.pdf' now)"
        << "Opening '<path>/form 3a.pdf' now";
    QTest::newRow("network path") << R"(read \\server\share\a.pdf)"
                                  << "read <path>/a.pdf";
    QTest::newRow("unix path") << "read /srv/data/a.pdf, done"
                               << "read <path>/a.pdf, done";
    QTest::newRow("drive root") << R"(scan C:\)"
                                << "scan <path>/C:";
    QTest::newRow("quoted lone slash") << R"(root "/")"
                                       << R"(root "<path>")";
    QTest::newRow("relative path untouched") << "read docs/a.pdf"
                                             << "read docs/a.pdf";
    QTest::newRow("address untouched") << "see https://example.org/a/b.pdf"
                                       << "see https://example.org/a/b.pdf";
    QTest::newRow("several paths") << "copy /a/b/x.pdf to /c/d/y.pdf"
                                   << "copy <path>/x.pdf to <path>/y.pdf";
    QTest::newRow("qml url keeps its scheme") << "file:///home/user/Main.qml:3:1: error"
                                              << "file:///home/user/Main.qml:3:1: error";

    // Secrets
    QTest::newRow("authorization bearer header") << "Authorization: Bearer abc.def-123"
                                                 << "Authorization: ***";
    QTest::newRow("authorization basic header quoted") << R"("authorization"="Basic dXNlcjpwYXNz")"
                                                       << R"("authorization"="***")";
    QTest::newRow("password pair") << "login password=hunter2; next"
                                   << "login password=***; next";
    QTest::newRow("api key with colon and quotes") << R"({"api_key": "xyz", "n": 1})"
                                                   << R"({"api_key": "***", "n": 1})";
    QTest::newRow("cookie") << "SessionCookie=abc123"
                            << "SessionCookie=***";
    QTest::newRow("value after a space is kept") << "password hunter2"
                                                 << "password hunter2";
    QTest::newRow("bare bearer token") << "sent bearer abc.123"
                                       << "sent Bearer ***";
    QTest::newRow("secret that looks like a path is redacted, not masked")
        << "token=/home/user/secret.txt"
        << "token=***";
}

void TestLogRedaction::sanitizesMessages()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(sanitizeLogMessage(input), expected);
}

void TestLogRedaction::shortensPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("backslashes") << R"(C:\a\b.pdf)"
                                 << "<path>/b.pdf";
    QTest::newRow("trailing slashes") << "/srv/data//"
                                      << "<path>/data";
    QTest::newRow("drive root") << "C:/"
                                << "<path>/C:";
    QTest::newRow("lone slash") << "/"
                                << "<path>";
    QTest::newRow("no slash") << "name"
                              << "<path>/name";
}

void TestLogRedaction::shortensPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(shortenPath(path), expected);
}

void TestLogRedaction::capsLongMessages()
{
    const QString exact(4096, u'a');
    QCOMPARE(sanitizeLogMessage(exact), exact);

    const QString longer = exact + QStringLiteral("bcd");
    const QString capped = sanitizeLogMessage(longer);
    QCOMPARE(capped.size(), 4108);
    QCOMPARE(capped, exact + QStringLiteral(" <truncated>"));

    // The cap applies to the cleaned text, not to the original.
    const QString withPath = QStringLiteral("/very/long/folder/x.pdf ") + QString(4090, u'z');
    const QString cleaned = sanitizeLogMessage(withPath);
    QVERIFY(cleaned.startsWith(QStringLiteral("<path>/x.pdf zzz")));
    QVERIFY(cleaned.endsWith(QStringLiteral(" <truncated>")));
    QCOMPARE(cleaned.size(), 4108);
}

void TestLogRedaction::replaceMatchesKeepsTextBetweenMatches()
{
    const QRegularExpression digits(QStringLiteral("\\d+"));
    const QString result =
        replaceMatches(QStringLiteral("a1b22c333"), digits, [](const QRegularExpressionMatch& m) {
            return QString::number(m.captured(0).size());
        });
    QCOMPARE(result, QStringLiteral("a1b2c3"));
}

QTEST_APPLESS_MAIN(TestLogRedaction)
#include "tst_logredaction.moc"
