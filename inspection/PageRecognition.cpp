#include "inspection/PageRecognition.h"

#include "inspection/WorkerProtocol.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

#include <tesseract/baseapi.h>

#include <clocale>
#include <cmath>

namespace Tessavo::Inspection {

namespace {

// Neither side of a rendered page may exceed this; images wider than this are not worth the risk.
constexpr double maxSidePixels = 32767;

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
    QImage image = pdf.renderPage(index, plan.pixels);
    if (image.isNull())
        return {false, QStringLiteral("page %1 could not be rendered").arg(pageNumber), QString()};
    image = std::move(image).convertToFormat(QImage::Format_Grayscale8);
    if (image.isNull())
        return {false, QStringLiteral("page %1 could not be rendered").arg(pageNumber), QString()};

    tesseract::TessBaseAPI& api = m_engine->api;
    api.SetImage(image.constBits(), image.width(), image.height(), 1, int(image.bytesPerLine()));
    api.SetSourceResolution(int(std::lround(plan.dpi)));
    const std::unique_ptr<char[]> text(api.GetUTF8Text());
    api.Clear();
    if (!text)
        return {false, QStringLiteral("page %1 could not be recognised").arg(pageNumber),
                QString()};
    return {true, QString(), QString::fromUtf8(text.get()).left(maxPageChars)};
}

} // namespace Tessavo::Inspection
