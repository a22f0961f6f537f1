#include "inspection/InspectionWorker.h"
#include "inspection/ProcessCpuTime.h"
#include "inspection/WorkerProtocol.h"

#include <QCoreApplication>
#include <QTest>

#include <QtEndian>
#include <array>

#include <ctime>

using namespace Tessavo::Inspection;

namespace {

// The frames of a stream, or nothing when the reader gave up on it.
std::optional<QList<Frame>> framesOf(const QByteArray& stream, int pieceSize)
{
    FrameReader reader;
    QList<Frame> frames;
    for (qsizetype at = 0; at < stream.size(); at += pieceSize) {
        reader.append(stream.mid(at, pieceSize));
        while (const std::optional<Frame> frame = reader.next())
            frames << *frame;
    }
    if (reader.broken())
        return std::nullopt;
    return frames;
}

QByteArray withLength(quint8 type, const QByteArray& body, quint32 claimedLength)
{
    QByteArray frame(4, '\0');
    qToBigEndian(claimedLength, frame.data());
    return frame + char(type) + body;
}

} // namespace

class TestWorkerProtocol : public QObject {
    Q_OBJECT

private slots:
    void messagesSurviveAnyCuttingOfTheStream();
    void decodersRefuseWhatDoesNotFit_data();
    void decodersRefuseWhatDoesNotFit();
    void recognitionMessagesRoundTripAndRefuseNonsense();
    void renderMessagesStayWithinTheirBounds();
    void readerGivesUpOnImpossibleFrames();
    void workerOptionCountsOnlyAsFirstArgument();
    void processorTimeIsReadFromTheSystem();
};

void TestWorkerProtocol::messagesSurviveAnyCuttingOfTheStream()
{
    const PageRequest request{7, 9, QByteArray("/tmp/caf\xe9 \xff.pdf"), 16, 256, {}};
    const LoadedMessage loaded{7, 0, QString(), 300, QStringLiteral("Tender — “final”")};
    const PageMessage page{7, 299, QStringLiteral("Seite\r\n𝔘 ünd ß")};
    const LogMessage log{QtWarningMsg, QStringLiteral("a warning")};
    const QByteArray stream = encode(request) + encodeLoading(7) + encode(loaded) + encode(page) +
                              encode(log) + encodeDone(7) + encodeLoopFound(7);

    for (int piece : {1, 3, 7, 4096}) {
        const auto frames = framesOf(stream, piece);
        QVERIFY(frames);
        QCOMPARE(frames->size(), 7);
        QCOMPARE(frames->at(0).type, MessageType::Read);
        const auto r = decodePageRequest(frames->at(0).type, frames->at(0).body);
        QVERIFY(r);
        QCOMPARE(r->path, request.path); // bytes that are no UTF-8 stay as they are
        QCOMPARE(r->firstPage, 16);
        QCOMPARE(r->pageCount, 256);
        QCOMPARE(r->fileId, quint64(9));
        QCOMPARE(decodeJobId(frames->at(1).body), std::optional<quint64>(7));
        const auto l = decodeLoaded(frames->at(2).body);
        QVERIFY(l);
        QCOMPARE(l->pages, 300);
        QCOMPARE(l->title, loaded.title);
        const auto p = decodePage(frames->at(3).body);
        QVERIFY(p);
        QCOMPARE(p->pageIndex, 299);
        QCOMPARE(p->text, page.text);
        QCOMPARE(decodeLog(frames->at(4).body)->text, log.text);
        QCOMPARE(frames->at(5).type, MessageType::Done);
        QCOMPARE(frames->at(6).type, MessageType::LoopFound);
        QCOMPARE(decodeJobId(frames->at(6).body), std::optional<quint64>(7));
    }
}

void TestWorkerProtocol::decodersRefuseWhatDoesNotFit_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QByteArray page = encode(PageMessage{1, 2, QStringLiteral("text")});
    QTest::newRow("page cut short") << page.left(page.size() - 1);
    const QByteArray longer = page.mid(5) + 'x';
    QTest::newRow("page with trailing bytes")
        << withLength(quint8(MessageType::Page), longer, quint32(longer.size() + 1));
    QTest::newRow("negative page") << encode(PageMessage{1, -1, QStringLiteral("text")});
    QTest::newRow("negative page count") << encode(LoadedMessage{1, 0, QString(), -5, QString()});
    QTest::newRow("unknown state") << encode(LoadedMessage{1, 9, QString(), 1, QString()});
    QTest::newRow("title over the cap")
        << encode(LoadedMessage{1, 0, QString(), 1, QString(maxTitleChars + 1, QLatin1Char('t'))});
    // A text length that claims far more than follows must be refused before anything is
    // allocated for it.
    QByteArray lying = encode(PageMessage{1, 2, QString()});
    qToBigEndian(quint32(0x7ffffff0), lying.data() + lying.size() - 4);
    QTest::newRow("text length beyond the frame") << lying;
}

void TestWorkerProtocol::decodersRefuseWhatDoesNotFit()
{
    QFETCH(QByteArray, frame);
    const auto frames = framesOf(frame, 4096);
    QVERIFY(frames);
    if (frames->isEmpty())
        return; // cut short: never complete, so never decoded
    const Frame& f = frames->constFirst();
    const bool decoded =
        f.type == MessageType::Page ? bool(decodePage(f.body)) : bool(decodeLoaded(f.body));
    QVERIFY(!decoded);
}

void TestWorkerProtocol::recognitionMessagesRoundTripAndRefuseNonsense()
{
    const PageRequest request{3, 4, QByteArray("/tmp/scan \xff.pdf"),
                              2, 1, QStringLiteral("eng+deu")};
    const RecognisedMessage ok{3, 2, QStringLiteral("CERTIFICATE OF INSURANCE\n"), QString()};
    const RecognisedMessage failed{3, 2, QString(), QStringLiteral("page 3 is too large")};
    const auto frames = framesOf(encode(request) + encode(ok) + encode(failed), 5);
    QVERIFY(frames);
    QCOMPARE(frames->size(), 3);
    QCOMPARE(frames->at(0).type, MessageType::Recognise);
    const auto r = decodePageRequest(MessageType::Recognise, frames->at(0).body);
    QVERIFY(r);
    QCOMPARE(r->path, request.path);
    QCOMPARE(r->firstPage, 2);
    QCOMPARE(r->pageCount, 1);
    QCOMPARE(r->language, request.language);
    const auto a = decodeRecognised(frames->at(1).body);
    QVERIFY(a);
    QCOMPARE(a->text, ok.text);
    QVERIFY(a->errorText.isEmpty());
    QCOMPARE(decodeRecognised(frames->at(2).body)->errorText, failed.errorText);

    // A request without a language, or for a negative page, is refused.
    const auto readFrame = framesOf(encode(PageRequest{1, 1, "x", 0, 1, QString()}), 64)->at(0);
    QCOMPARE(readFrame.type, MessageType::Read);
    QVERIFY(!decodePageRequest(MessageType::Recognise, readFrame.body));
    QVERIFY(!decodePageRequest(
        MessageType::Recognise,
        framesOf(encode(PageRequest{1, 1, "x", -1, 1, QStringLiteral("eng")}), 64)->at(0).body));
    QVERIFY(!decodePageRequest(MessageType::Page, readFrame.body));
    QVERIFY(!decodeRecognised(framesOf(encode(PageMessage{1, 2, "x"}), 64)->at(0).body));
}

void TestWorkerProtocol::renderMessagesStayWithinTheirBounds()
{
    // A request: its width is clamped by the sender, its terms cut to the limits.
    RenderRequest request;
    request.page = PageRequest{3, 4, "/tmp/a.pdf", 2, 9, {}};
    request.width = maxRenderWidth + 1000;
    request.terms = QStringList(maxRenderTerms + 5, QString(maxRenderTermChars + 9, u'x'));
    const Frame sent = framesOf(encode(request), 100)->at(0);
    QCOMPARE(sent.type, MessageType::Render);
    QVERIFY(!decodePageRequest(sent.type, sent.body)); // no Read or Recognise
    const std::optional<RenderRequest> got = decodeRenderRequest(sent.body);
    QVERIFY(got);
    QCOMPARE(got->width, maxRenderWidth);
    QCOMPARE(got->page.firstPage, 2);
    QCOMPARE(got->page.pageCount, 1);
    QCOMPARE(got->page.path, QByteArray("/tmp/a.pdf"));
    QCOMPARE(got->terms.size(), maxRenderTerms);
    QCOMPARE(got->terms.at(0).size(), maxRenderTermChars);

    // An image and its marks survive the trip.
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(5, 7, qRgb(10, 20, 30));
    const RenderedMessage rendered{3, 2, image, {QRect(1, 2, 10, 5), QRect(30, 25, 10, 5)}, {}};
    const Frame answer = framesOf(encode(rendered), 1000)->at(0);
    const std::optional<RenderedMessage> back = decodeRendered(answer.body);
    QVERIFY(back);
    QCOMPARE(back->image.size(), QSize(40, 30));
    QCOMPARE(back->image.pixel(5, 7), qRgb(10, 20, 30));
    QCOMPARE(back->highlights, rendered.highlights);

    // Dimensions past the bounds, pixels that do not fill the image exactly, and marks outside it
    // are refused before anything is allocated for them.
    // A mark as it crosses: x, y, width, height (a QRect cannot hold every hostile one).
    using Mark = std::array<qint32, 4>;
    const auto body = [](qint32 width, qint32 height, qint32 pixelBytes, QList<Mark> marks) {
        QByteArray bytes(8, '\0');
        const auto i32 = [&bytes](qint32 value) {
            char raw[4];
            qToBigEndian(value, raw);
            bytes.append(raw, 4);
        };
        i32(0);
        i32(width);
        i32(height);
        i32(pixelBytes);
        bytes.append(QByteArray(std::max(0, std::min(pixelBytes, 1 << 20)), '\x7f'));
        i32(qint32(marks.size()));
        for (const Mark& mark : marks) {
            for (const qint32 value : mark)
                i32(value);
        }
        i32(0);
        return bytes;
    };
    QVERIFY(decodeRendered(body(4, 4, 64, {Mark{0, 0, 4, 4}})));
    QVERIFY(decodeRendered(body(0, 0, 0, {})));
    QVERIFY(!decodeRendered(body(4, 4, 60, {})));
    QVERIFY(!decodeRendered(body(4, 4, 68, {})));
    QVERIFY(!decodeRendered(body(maxRenderWidth + 1, 1, 4 * (maxRenderWidth + 1), {})));
    QVERIFY(!decodeRendered(body(1, maxRenderHeight + 1, 4 * (maxRenderHeight + 1), {})));
    QVERIFY(!decodeRendered(body(maxRenderWidth, maxRenderHeight, 1 << 20, {})));
    QVERIFY(!decodeRendered(body(-1, 4, 0, {})));
    QVERIFY(!decodeRendered(body(4, 4, 64, {Mark{2, 2, 3, 1}})));
    QVERIFY(!decodeRendered(body(4, 4, 64, {Mark{0, 0, 0, 1}})));
    QVERIFY(!decodeRendered(body(4, 4, 64, {Mark{-1, 0, 2, 2}})));
    QVERIFY(!decodeRendered(body(4, 4, 64, {Mark{3, 3, 2147483647, 1}})));
    QVERIFY(!decodeRendered(body(0, 0, 0, {Mark{0, 0, 1, 1}})));
    // A width of 0 or past the bound in a request is refused.
    QByteArray zeroWidth = sent.body;
    qToBigEndian(qint32(0), zeroWidth.data() + 8 + 8 + 4 + 10 + 4);
    QVERIFY(!decodeRenderRequest(zeroWidth));
}

void TestWorkerProtocol::readerGivesUpOnImpossibleFrames()
{
    QVERIFY(!framesOf(withLength(12, {}, maxFrameBytes + 1), 4096));
    QVERIFY(!framesOf(withLength(99, "x", 2), 4096)); // no such message
    QVERIFY(!framesOf(withLength(12, {}, 0), 4096));
    // A frame at the limit is still waited for, not refused.
    const auto waiting = framesOf(withLength(12, "partial", maxFrameBytes), 4096);
    QVERIFY(waiting);
    QVERIFY(waiting->isEmpty());
}

void TestWorkerProtocol::workerOptionCountsOnlyAsFirstArgument()
{
    auto invocation = [](QList<QByteArray> arguments) {
        std::vector<char*> argv;
        for (QByteArray& argument : arguments)
            argv.push_back(argument.data());
        return isWorkerInvocation(int(argv.size()), argv.data());
    };
    QVERIFY(invocation({"tessavo", "--inspection-worker"}));
    QVERIFY(!invocation({"tessavo"}));
    QVERIFY(!invocation({"tessavo", "--import", "--inspection-worker"}));
    QVERIFY(!invocation({"tessavo", "--smoke-test", "--inspection-worker"}));
    QVERIFY(!invocation({"tessavo", "--inspection-worker=1"}));
    QVERIFY(!invocation({"tessavo", "--Inspection-Worker"}));
}

void TestWorkerProtocol::processorTimeIsReadFromTheSystem()
{
    // This process's own time, as the system accounts it, against its own clock.
    const auto ownClockMs = [] {
        timespec now{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    };
    const qint64 pid = QCoreApplication::applicationPid();
    const qint64 before = processCpuTimeMs(pid);
    QVERIFY(before >= 0);
    const qint64 start = ownClockMs();
    volatile quint64 spin = 0;
    while (ownClockMs() - start < 300)
        spin = spin + 1;
    const qint64 after = processCpuTimeMs(pid);
    // The system counts in clock ticks (10 ms here): allow a few either way.
    QVERIFY2(after - before >= 250 && after - before <= 2000,
             qPrintable(QStringLiteral("%1 ms").arg(after - before)));

    for (qint64 nobody : {qint64(0), qint64(-1), qint64(0x7ffffff0)})
        QCOMPARE(processCpuTimeMs(nobody), qint64(-1));
}

QTEST_APPLESS_MAIN(TestWorkerProtocol)

#include "tst_workerprotocol.moc"
