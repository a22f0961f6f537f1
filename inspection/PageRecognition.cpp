#include "inspection/PageRecognition.h"

#include "inspection/WorkerProtocol.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

#include <tesseract/baseapi.h>

#include <leptonica/allheaders.h>

#include <clocale>
#include <cmath>
#include <cstring>

namespace Tessavo::Inspection {

namespace {

// Neither side of a rendered page may exceed this; images wider than this are not worth the risk.
constexpr double maxSidePixels = 32767;

// Pages turned by less than this are read as they are; scanners rarely turn a page further than
// the search covers.
constexpr float minimumSkewDegrees = 0.1f;

struct PixDeleter {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixHandle = std::unique_ptr<Pix, PixDeleter>;

// The engine renders a page on a transparent background: wherever the page draws nothing (around
// a scan that does not cover the whole page, between the lines of a drawing) the image is
// transparent black, which recognition takes for ink. Grey as the page shows on white paper.
QImage greyOnWhite(const QImage& rendered)
{
    if (rendered.isNull())
        return {};
    const QImage argb = rendered.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage grey(argb.size(), QImage::Format_Grayscale8);
    if (argb.isNull() || grey.isNull())
        return {};
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            // Premultiplied: over white, each channel gains what the pixel does not cover.
            const int paper = 255 - qAlpha(in[x]);
            out[x] = uchar(qGray(qRed(in[x]) + paper, qGreen(in[x]) + paper, qBlue(in[x]) + paper));
        }
    }
    return grey;
}

// A grey image as Leptonica holds it: bytes in big-endian 32-bit words.
PixHandle toPix(const QImage& grey)
{
    PixHandle pix(pixCreate(grey.width(), grey.height(), 8));
    if (!pix)
        return {};
    l_uint32* data = pixGetData(pix.get());
    const int wordsPerLine = pixGetWpl(pix.get());
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(data + qsizetype(y) * wordsPerLine, grey.constScanLine(y),
                    size_t(grey.width()));
    pixEndianByteSwap(pix.get());
    return pix;
}

// The page straightened when its lines run at a slant, as a page put on a scanner at an angle
// does; recognition loses most words of a page turned by a few degrees. Null when Leptonica
// cannot work on the image (the caller then reads it as it is).
PixHandle straightened(const QImage& grey)
{
    PixHandle pix = toPix(grey);
    if (!pix)
        return {};
    float angle = 0;
    float confidence = 0;
    // Default search: about seven degrees either way, on a reduced copy.
    PixHandle deskewed(pixDeskewGeneral(pix.get(), 0, 0.0f, 0.0f, 0, 0, &angle, &confidence));
    if (!deskewed)
        return pix;
    if (std::fabs(angle) < minimumSkewDegrees || confidence <= 0)
        return pix;
    return deskewed;
}

bool knownLanguageName(const QString& language)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_]+(\\+[A-Za-z0-9_]+)*$"));
    return pattern.match(language).hasMatch();
}

} // namespace

RenderPlan recognitionRenderPlan(QSizeF points)
{
    const double width = points.width();
    const double height = points.height();
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
        return {};
    double dpi = recognitionDpi;
    const double pixelsAtDpi = (width * dpi / 72) * (height * dpi / 72);
    if (pixelsAtDpi > maxRecognitionPixels)
        dpi *= std::sqrt(maxRecognitionPixels / pixelsAtDpi);
    if (dpi < minimumRecognitionDpi)
        return {};
    const double w = std::ceil(width * dpi / 72);
    const double h = std::ceil(height * dpi / 72);
    if (w > maxSidePixels || h > maxSidePixels || w * h > maxRecognitionPixels * 1.01)
        return {};
    return {QSize(int(w), int(h)), dpi};
}

QStringList installedRecognitionLanguages()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    const QString folder =
        prefix.isEmpty() ? QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") : prefix;
    QStringList languages;
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.traineddata")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QString language = file.chopped(int(sizeof(".traineddata") - 1));
        // "osd" finds the orientation and script of a page; it reads no text.
        if (language != QLatin1String("osd") && knownLanguageName(language))
            languages << language;
    }
    return languages;
}

QString missingLanguageText(const QString& language)
{
    QStringList packages;
    for (const QString& part : language.split(u'+', Qt::SkipEmptyParts))
        packages << QStringLiteral("tesseract-ocr-%1").arg(part.toLower().replace(u'_', u'-'));
    if (packages.size() == 1)
        return QStringLiteral("Text recognition needs the %1 package").arg(packages.first());
    return QStringLiteral("Text recognition needs the %1 packages")
        .arg(packages.join(QStringLiteral(" and ")));
}

struct PageRecogniser::Engine {
    tesseract::TessBaseAPI api;
};

PageRecogniser::PageRecogniser() = default;

PageRecogniser::~PageRecogniser()
{
    if (m_engine)
        m_engine->api.End();
}

bool PageRecogniser::prepare(const QString& language)
{
    if (m_engine && language == m_language)
        return m_prepareError.isEmpty();
    m_engine.reset();
    m_language = language;
    m_prepareError.clear();
    if (!knownLanguageName(language)) {
        m_prepareError = QStringLiteral("unknown recognition language \"%1\"").arg(language);
        return false;
    }
    // The engine reads its numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    m_engine = std::make_unique<Engine>();
    // Tesseract looks for the language data where TESSDATA_PREFIX points, else in its own folder.
    if (m_engine->api.Init(nullptr, language.toUtf8().constData(), tesseract::OEM_DEFAULT) != 0) {
        m_prepareError = missingLanguageText(language);
        return false;
    }
    m_engine->api.SetPageSegMode(tesseract::PSM_AUTO);
    m_engine->api.SetVariable("debug_file", "/dev/null");
    return true;
}

PageRecogniser::Result PageRecogniser::recognise(const OpenedPdf& pdf, int index,
                                                 const QString& language)
{
    const QString pageNumber = QString::number(qint64(index) + 1);
    if (!prepare(language))
        return {false, m_prepareError, QString()};
    const RenderPlan plan = recognitionRenderPlan(pdf.pageSize(index));
    if (plan.pixels.isEmpty())
        return {false, QStringLiteral("page %1 is too large to recognise").arg(pageNumber),
                QString()};
    const QImage image = greyOnWhite(pdf.renderPage(index, plan.pixels));
    if (image.isNull())
        return {false, QStringLiteral("page %1 could not be rendered").arg(pageNumber), QString()};

    tesseract::TessBaseAPI& api = m_engine->api;
    const PixHandle page = straightened(image);
    if (page)
        api.SetImage(page.get());
    else
        api.SetImage(image.constBits(), image.width(), image.height(), 1,
                     int(image.bytesPerLine()));
    api.SetSourceResolution(int(std::lround(plan.dpi)));
    const std::unique_ptr<char[]> text(api.GetUTF8Text());
    api.Clear();
    if (!text)
        return {false, QStringLiteral("page %1 could not be recognised").arg(pageNumber),
                QString()};
    const QString recognised = QString::fromUtf8(text.get()).left(maxPageChars);
    // A page that yields nothing says so, rather than counting as read.
    if (recognised.trimmed().isEmpty())
        return {false, QStringLiteral("no text found on page %1").arg(pageNumber), QString()};
    return {true, QString(), recognised};
}

} // namespace Tessavo::Inspection
