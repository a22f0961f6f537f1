// Generated messages with secrets and paths of every shape embedded in ordinary text: no secret
// and no folder name may survive cleaning, every message stays one line, and no message costs
// more than a few milliseconds per kilobyte. The seed and the count can be changed with
// TESSAVO_FUZZ_SEED and TESSAVO_FUZZ_COUNT for longer runs.
#include "RedactionInvariants.h"
#include "logging/LogRedaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace Tessavo::Logging;

namespace {

// A piece of a message and the strings that must not survive its cleaning.
struct Piece {
    QString text;
    QStringList forbidden;
};

class MessageGenerator {
public:
    explicit MessageGenerator(quint32 seed)
        : m_random(seed)
    {}

    // A message of one to a dozen pieces (now and then many more) joined by ordinary text.
    Piece message()
    {
        Piece result;
        const int pieces = pick(20) == 0 ? 40 + pick(120) : 1 + pick(12);
        for (int i = 0; i < pieces; ++i) {
            result.text += joiner();
            if (pick(3) == 0) {
                result.text += filler();
                continue;
            }
            const Piece piece = pick(2) == 0 ? secret() : path();
            result.text += piece.text;
            result.forbidden += piece.forbidden;
        }
        result.text += joiner() + filler();
        return result;
    }

private:
    int pick(int n) { return int(m_random.bounded(quint32(n))); }

    template <typename T> T oneOf(std::initializer_list<T> items)
    {
        return *(items.begin() + pick(int(items.size())));
    }

    // Letters and digits that no template or filler holds, always with a digit.
    QString unique(const char* prefix, int minLength = 8)
    {
        static const QString alphabet =
            QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789");
        QString text = QString::fromLatin1(prefix) + QString::number(2 + pick(8));
        const int length = minLength + pick(12);
        while (text.size() < length)
            text += alphabet.at(pick(int(alphabet.size())));
        return text;
    }

    QString hex(int length)
    {
        QString text;
        for (int i = 0; i < length; ++i)
            text += QStringLiteral("0123456789abcdef").at(pick(16));
        return text;
    }

    QString joiner()
    {
        return oneOf<QString>({QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("  "),
                               QStringLiteral("\n"), QStringLiteral("\t"), QStringLiteral(" ("),
                               QStringLiteral(" ["), QStringLiteral("\r\n"), QStringLiteral(" - "),
                               QStringLiteral(": ")});
    }

    QString filler()
    {
        QStringList words;
        const int count = 1 + pick(6);
        for (int i = 0; i < count; ++i) {
            words += oneOf<QString>({QStringLiteral("the"),     QStringLiteral("bearer"),
                                     QStringLiteral("of"),      QStringLiteral("1/2"),
                                     QStringLiteral("pages"),   QStringLiteral("/s"),
                                     QStringLiteral("author"),  QStringLiteral("passes"),
                                     QStringLiteral("ok."),     QStringLiteral("Ångström"),
                                     QStringLiteral("—"),       QStringLiteral("done,"),
                                     QStringLiteral("x=1;"),    QStringLiteral("authorization"),
                                     QStringLiteral("token"),   QStringLiteral("😀"),
                                     QStringLiteral("\x1b[0m"), QStringLiteral("C:"),
                                     QStringLiteral("\\\\"),    QStringLiteral("\"quoted\""),
                                     QStringLiteral("it's"),    QStringLiteral("file:"),
                                     QStringLiteral("https:"),  QStringLiteral("docs/a.pdf"),
                                     QStringLiteral("3.5 s")});
        }
        return words.join(u' ');
    }

    // --- Secrets ---

    Piece secret()
    {
        switch (pick(12)) {
        case 9: {
            const QString user = unique("u");
            const QString password = unique("P");
            return {QStringLiteral("https:%1:%2@host.example.org/x").arg(user, password),
                    {user, password}};
        }
        case 10: {
            const QString value = unique("T", 24);
            QString upper;
            while (upper.size() < 16)
                upper += QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZ234567").at(pick(30));
            const QString aws = QStringLiteral("AKIA") + upper;
            const QString shape = oneOf<QString>(
                {QStringLiteral("ghp_%1"), QStringLiteral("github_pat_%1"),
                 QStringLiteral("sk_live_%1"), QStringLiteral("rk_test_%1"),
                 QStringLiteral("glpat-%1"), QStringLiteral("xoxb-%1"), QStringLiteral("%1"),
                 QStringLiteral("passwd-%1"), QStringLiteral("bearer-%1"),
                 QStringLiteral("the password is %1"), QStringLiteral("PASSWORD was '%1'")});
            if (shape == QStringLiteral("%1"))
                return {aws, {upper}};
            return {shape.arg(value), {value}};
        }
        case 11: {
            // A plain word after the scheme's own spelling, behind another secret's value.
            QString value;
            while (value.size() < 12)
                value += QStringLiteral("abcdefghijkmnopqrstuvwxyzQWERTZ").at(pick(31));
            const QString other = unique("O");
            return {QStringLiteral("password=%1%2Bearer %3")
                        .arg(other,
                             oneOf<QString>(
                                 {QStringLiteral(" "), QStringLiteral("; "), QStringLiteral(", ")}),
                             value),
                    {other, value}};
        }
        case 0: {
            const QString user = unique("u");
            const QString password = unique("P");
            return {QStringLiteral("%1://%2:%3@host.example.org/a/b?x=1")
                        .arg(oneOf<QString>({QStringLiteral("https"), QStringLiteral("ftp"),
                                             QStringLiteral("postgres")}),
                             user, password),
                    {user, password}};
        }
        case 1: {
            const QString credential = unique("C");
            const QString header = oneOf<QString>(
                {QStringLiteral("Authorization"), QStringLiteral("authorization"),
                 QStringLiteral("Proxy-Authorization"), QStringLiteral("AUTHORIZATION")});
            const QString scheme = oneOf<QString>(
                {QStringLiteral("Bearer "), QStringLiteral("Basic "), QStringLiteral("Token "),
                 QStringLiteral("Negotiate "), QStringLiteral("Bearer Bearer "),
                 QStringLiteral("Custom-Scheme "), QString()});
            return {header + separator() + scheme + credential, {credential}};
        }
        case 2: {
            const QString response = hex(32);
            const QString prefix = pick(2) == 0 ? QStringLiteral("Authorization: ") : QString();
            const QString quote = pick(2) == 0 ? QStringLiteral("\"") : QStringLiteral("\\\"");
            return {QStringLiteral("%1Digest username=%2bob%2, realm=%2x%2, response=%2%3%2")
                        .arg(prefix, quote, response),
                    {response}};
        }
        case 3:
        case 4: {
            const QString value = unique("V");
            return {key() + separator() + valueForm(value), {value}};
        }
        case 5: {
            const QString value = unique("J");
            const QString k = key();
            if (pick(2) == 0)
                return {QStringLiteral("{\"%1\": \"%2\", \"n\": 1}").arg(k, value), {value}};
            return {QStringLiteral(R"({\"%1\":\"%2\",\"n\":1})").arg(k, value), {value}};
        }
        case 6: {
            const QString value = unique("Y");
            return {QStringLiteral("token:\n  note: none\npassword: %1").arg(value), {value}};
        }
        case 7: {
            const QString value = unique("E");
            return {QStringLiteral("password= api_key=%1").arg(value), {value}};
        }
        default: {
            const QString value = unique("B") + QStringLiteral(".x");
            return {QStringLiteral("bearer ") + value, {value}};
        }
        }
    }

    QString separator()
    {
        return oneOf<QString>({QStringLiteral(": "), QStringLiteral(":"), QStringLiteral("="),
                               QStringLiteral(" = "), QStringLiteral("\t: ")});
    }

    QString key()
    {
        return oneOf<QString>(
            {QStringLiteral("password"), QStringLiteral("pwd"), QStringLiteral("passphrase"),
             QStringLiteral("sessionid"), QStringLiteral("auth"), QStringLiteral("credentials"),
             QStringLiteral("access_token"), QStringLiteral("X-Auth-Token"),
             QStringLiteral("api_key"), QStringLiteral("client_secret"),
             QStringLiteral("PHPSESSID"), QStringLiteral("AuthToken"), QStringLiteral("db_pass"),
             QStringLiteral("Set-Cookie"), QStringLiteral("private-key"),
             QStringLiteral("licenseKey"), QStringLiteral("dbPass"), QStringLiteral("SECRET")});
    }

    QString valueForm(const QString& value)
    {
        switch (pick(7)) {
        case 0:
            return QStringLiteral("'my %1, pass'").arg(value);
        case 1:
            return QStringLiteral("\"%1 x; y\"").arg(value);
        case 2:
            return QStringLiteral("\"Bearer %1\"").arg(value);
        case 3:
            return QStringLiteral("Bearer ") + value;
        case 4:
            return QStringLiteral("\\\"%1\\\"").arg(value);
        default:
            return value;
        }
    }

    // --- Paths ---

    // A folder name of one to four words, joined by spaces or, in a bare path, perhaps by
    // characters that end a bare path ("Smith, John").
    QString folder(QStringList& forbidden, bool bare)
    {
        QStringList words;
        const int count = pick(3) == 0 ? 1 + pick(4) : 1;
        for (int i = 0; i < count; ++i)
            words += unique("F", 6);
        forbidden += words;
        if (!bare || pick(2) == 0)
            return words.join(u' ');
        return words.join(oneOf<QString>(
            {QStringLiteral(", "), QStringLiteral("; "), QStringLiteral("\t"), QStringLiteral("' "),
             QStringLiteral("\" "), QStringLiteral("| "), QStringLiteral("<"), QStringLiteral(">"),
             QStringLiteral("?"), QStringLiteral("*"), QStringLiteral(","), QStringLiteral(" ,"),
             QStringLiteral("'")}));
    }

    QString fileName()
    {
        return oneOf<QString>({QStringLiteral("offer.pdf"), QStringLiteral("form 3a.pdf"),
                               QStringLiteral("Lot 2 price list.pdf"), QStringLiteral("x"),
                               QStringLiteral("rules.json.bak"), QStringLiteral("Å—b.pdf")});
    }

    QStringList folders(QStringList& forbidden, bool bare)
    {
        QStringList list;
        const int depth = 1 + pick(4);
        for (int i = 0; i < depth; ++i)
            list += folder(forbidden, bare);
        return list;
    }

    Piece path()
    {
        Piece piece;
        const int shape = pick(11);
        const QStringList dirs = folders(piece.forbidden, shape == 0 || shape == 2);
        const QString file = fileName();
        const QString unix = u'/' + dirs.join(u'/') + u'/' + file;
        const QString windows = dirs.join(u'\\') + u'\\' + file;
        switch (shape) {
        case 0:
            piece.text = unix;
            break;
        case 1:
            piece.text = QStringLiteral("C:\\") + windows;
            break;
        case 2:
            piece.text = QStringLiteral("D:/") + dirs.join(u'/') + u'/' + file;
            break;
        case 3:
            piece.text = QStringLiteral("\\\\") + windows;
            break;
        case 4:
            piece.text =
                oneOf<QString>({QStringLiteral("\\\\?\\C:\\"), QStringLiteral("\\\\?\\UNC\\"),
                                QStringLiteral("\\\\.\\"), QStringLiteral("\\??\\")}) +
                windows;
            break;
        case 5:
            piece.text = oneOf<QString>({QStringLiteral("file://"), QStringLiteral("file:"),
                                         QStringLiteral("FILE://")}) +
                         unix;
            break;
        case 6:
            piece.text =
                QStringLiteral("file://") + windows.section(u'\\', 0, 0) + u'/' + unix.mid(1);
            break;
        case 7:
            piece.text = oneOf<QString>({QStringLiteral("path:"), QStringLiteral("x-open:"),
                                         QStringLiteral("file:///C:")}) +
                         unix;
            break;
        case 8:
            piece.text =
                QStringLiteral("'%1'").arg(pick(2) == 0 ? unix : QStringLiteral("C:\\") + windows);
            break;
        case 9:
            piece.text = QStringLiteral("\"%1\"").arg(
                pick(2) == 0 ? unix : QStringLiteral("C:\\") + windows);
            break;
        default: // a Windows path inside a string as qDebug prints it
            piece.text =
                QStringLiteral("\"C:\\\\%1\\\\%2\"").arg(dirs.join(QStringLiteral("\\\\")), file);
            break;
        }
        return piece;
    }

    QRandomGenerator m_random;
};

// The fastest of a few runs, in nanoseconds.
qint64 bestOfThree(const QString& text)
{
    qint64 best = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer clock;
        clock.start();
        const QString cleaned = sanitizeLogMessage(text);
        best = std::min(best, clock.nsecsElapsed());
        Q_UNUSED(cleaned);
    }
    return best;
}

double msPerKiB(qint64 nanoseconds, qsizetype characters)
{
    return double(nanoseconds) / 1e6 / (double(std::max<qsizetype>(characters, 1)) / 1024.0);
}

// Far above the usual (well below 1 ms per KiB), so that a busy machine does not fail the test,
// yet far below what a backtracking pattern costs (seconds).
constexpr double msPerKiBBound = 25.0;

} // namespace

class TestRedactionFuzz : public QObject {
    Q_OBJECT

private slots:
    void generatedMessagesLeakNothing();
    void hostileShapesStayFast_data();
    void hostileShapesStayFast();
    void regressionCorpusStaysClean();
};

void TestRedactionFuzz::generatedMessagesLeakNothing()
{
    const quint32 seed = qEnvironmentVariableIsSet("TESSAVO_FUZZ_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TESSAVO_FUZZ_SEED"))
                             : 20251208u;
    const int count = qEnvironmentVariableIsSet("TESSAVO_FUZZ_COUNT")
                          ? qEnvironmentVariableIntValue("TESSAVO_FUZZ_COUNT")
                          : 3000;
    MessageGenerator generator(seed);
    sanitizeLogMessage(QStringLiteral("warm-up: the patterns are compiled on first use"));
    qint64 totalNs = 0;
    qsizetype totalChars = 0;
    double worst = 0;
    for (int i = 0; i < count; ++i) {
        const Piece message = generator.message();
        QElapsedTimer clock;
        clock.start();
        const QString cleaned = sanitizeLogMessage(message.text);
        qint64 ns = clock.nsecsElapsed();
        totalNs += ns;
        totalChars += message.text.size();
        // A slow run is measured again: one slow run on a busy machine proves nothing.
        if (message.text.size() >= 512 && msPerKiB(ns, message.text.size()) > 1.0)
            ns = bestOfThree(message.text);
        if (message.text.size() >= 512)
            worst = std::max(worst, msPerKiB(ns, message.text.size()));

        const auto explain = [&](const QString& what) {
            return QStringLiteral("seed %1, message %2: %3\n  in:  %4\n  out: %5")
                .arg(QString::number(seed), QString::number(i), what, message.text, cleaned)
                .toUtf8();
        };
        for (const QString& forbidden : message.forbidden) {
            if (cleaned.contains(forbidden))
                QFAIL(explain(forbidden + QStringLiteral(" survived")).constData());
        }
        if (std::any_of(cleaned.cbegin(), cleaned.cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; }))
            QFAIL(explain(QStringLiteral("a control character survived")).constData());
        if (cleaned.contains(QStringLiteral("<redacted>")))
            QFAIL(explain(QStringLiteral("the engine gave up")).constData());
        if (message.text.size() >= 512 && msPerKiB(ns, message.text.size()) > msPerKiBBound)
            QFAIL(explain(QStringLiteral("too slow")).constData());
    }
    qInfo("%d messages, %lld characters: %.3f ms per KiB on average, worst %.3f ms per KiB "
          "(messages of 512 characters or more)",
          count, qint64(totalChars), msPerKiB(totalNs, totalChars), worst);
}

void TestRedactionFuzz::hostileShapesStayFast_data()
{
    QTest::addColumn<QString>("text");
    const qsizetype n = maxRedactionInputChars;
    QTest::newRow("authorization and spaces")
        << QStringLiteral("authorization") + QString(n, u' ') + QStringLiteral(":");
    QTest::newRow("repeated authorization") << QStringLiteral("authorization   ").repeated(n / 16);
    QTest::newRow("key characters before a secret")
        << QString(n - 20, u'k') + QStringLiteral("password=hunter2");
    QTest::newRow("many short keys") << QStringLiteral("pass-").repeated(n / 5);
    QTest::newRow("dotted scheme run") << QStringLiteral("a.").repeated(n / 2);
    QTest::newRow("scheme separators") << QStringLiteral("a://").repeated(n / 4);
    QTest::newRow("at signs after a scheme") << QStringLiteral("x://") + QString(n, u'@');
    QTest::newRow("slashes") << QString(n, u'/');
    QTest::newRow("backslashes") << QString(n, u'\\');
    QTest::newRow("slash and space") << QStringLiteral("/ ").repeated(n / 2);
    QTest::newRow("path continued by words")
        << QStringLiteral("/a/b") + QStringLiteral(" w w w w x/").repeated(n / 12);
    QTest::newRow("words without a separator")
        << QStringLiteral("/a/b") + QStringLiteral(" word").repeated(n / 5);
    QTest::newRow("path continued after commas")
        << QStringLiteral("/a/b") + QStringLiteral(", w; w' w| x/").repeated(n / 14);
    QTest::newRow("punctuation without a separator")
        << QStringLiteral("/a/b") + QStringLiteral(",?* <> ").repeated(n / 7);
    QTest::newRow("punctuation inside a path") << QStringLiteral("/a") + QString(n, u'?') + u'b';
    QTest::newRow("token prefixes") << QStringLiteral("ghp_ sk_live_ AKIA eyJ.").repeated(n / 23);
    QTest::newRow("password is is") << QStringLiteral("password is ").repeated(n / 12);
    QTest::newRow("schemes without slashes") << QStringLiteral("a:b:").repeated(n / 4);
    QTest::newRow("open quotes") << QStringLiteral("\"/").repeated(n / 2);
    QTest::newRow("unclosed quoted path") << QStringLiteral("\"/a") + QString(n, u'b');
    QTest::newRow("escaped quotes after a key")
        << QStringLiteral("password:\\\"") + QStringLiteral("\\\\").repeated(n / 2);
    QTest::newRow("bearer words") << QStringLiteral("bearer ").repeated(n / 7);
    QTest::newRow("equals signs") << QStringLiteral("token=").repeated(n / 6);
    QTest::newRow("chained values")
        << QStringLiteral("token: ") + QStringLiteral("a: 'b' = ").repeated(n / 9);
    QTest::newRow("scheme words as a value")
        << QStringLiteral("token: ") + QStringLiteral("Bearer ").repeated(n / 7);
    QTest::newRow("drive letters") << QStringLiteral("C:\\ ").repeated(n / 4);
    QTest::newRow("response hex") << QStringLiteral("response=") + QString(n, u'a');
    QTest::newRow("control characters") << QString(n, QChar(0x1b));
    QTest::newRow("surrogates cut apart") << QString(n, QChar(0xd83d));
}

void TestRedactionFuzz::hostileShapesStayFast()
{
    QFETCH(QString, text);
    const QString cleaned = sanitizeLogMessage(text);
    QVERIFY(!cleaned.contains(QStringLiteral("<redacted>")));
    const qint64 ns = bestOfThree(text);
    qInfo("%.3f ms for %lld characters", double(ns) / 1e6, qint64(text.size()));
    QVERIFY2(msPerKiB(ns, text.size()) <= msPerKiBBound, "backtracks");
}

// The inputs kept for the libFuzzer harness (the shapes reported against the redaction and what
// fuzzing found), replayed here in every test run with the harness's own checks.
void TestRedactionFuzz::regressionCorpusStaysClean()
{
    const QDir corpus(QStringLiteral(TESSAVO_FUZZ_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files);
    QVERIFY(files.size() >= 20);
    // Secrets and folder names that appear in the corpus.
    const QStringList forbidden = {
        "hunter", "SECRET",       "eyJ",    "QWxh",      "s3cr3t",  "lice", "6629fae",
        "V9Ed",   "E8Kuf",        "V3P7",   "V6Xg",      "F3Lk",    "F25e", "F2F",
        "F8A",    "F5Bp",         "F8z",    "Bids",      "Users",   "srv",  "Share",
        "Smith",  "Confidential", "HUNTER", "abcdefXYZ", "IOSFODNN"};
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString utf8 = QString::fromUtf8(bytes);
        QString utf16(bytes.size() / 2, Qt::Uninitialized);
        std::memcpy(utf16.data(), bytes.constData(), size_t(bytes.size() / 2) * 2);
        for (const QString& text : {utf8, utf16}) {
            const QString broken = RedactionInvariants::check(text);
            QVERIFY2(broken.isEmpty(), qPrintable(name + QStringLiteral(": ") + broken));
        }
        const QString cleaned = sanitizeLogMessage(utf8);
        for (const QString& word : forbidden) {
            QVERIFY2(!cleaned.contains(word),
                     qPrintable(QStringLiteral("%1: %2 survived in %3").arg(name, word, cleaned)));
        }
    }
}

QTEST_APPLESS_MAIN(TestRedactionFuzz)
#include "tst_redactionfuzz.moc"
