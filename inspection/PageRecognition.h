#pragma once

#include "inspection/PdfInspection.h"

#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <memory>

namespace Tessavo::Inspection {

// Pages are rendered at this resolution for recognition, lower for pages so large that the image
// would exceed maxRecognitionPixels, but never below minimumRecognitionDpi.
inline constexpr double recognitionDpi = 300;
inline constexpr double minimumRecognitionDpi = 100;
inline constexpr double maxRecognitionPixels = 40'000'000;

// The language data recognition uses unless told otherwise.
inline const QString defaultRecognitionLanguage = QStringLiteral("eng");

// How a page of the given size in points is rendered for recognition.
struct RenderPlan {
    QSize pixels; // empty when the page cannot be rendered within the limits
    double dpi = 0;
};
RenderPlan recognitionRenderPlan(QSizeF points);

// The languages whose recognition data is installed, such as "eng" and "deu", sorted; looked for
// where Tesseract looks: in TESSDATA_PREFIX when it is set, else in the system's data folder.
QStringList installedRecognitionLanguages();

// What to install for a language such as "eng" or "eng+deu", as the user is told.
QString missingLanguageText(const QString& language);

// Recognises the text of rendered PDF pages with Tesseract. Lives in an inspection worker only:
// rendering a hostile page and recognising it may take long or much memory, which the
// application bounds by killing the worker.
class PageRecogniser {
public:
    struct [[nodiscard]] Result {
        bool ok = false;
        QString error; // set when !ok
        QString text;  // what was recognised
    };

    PageRecogniser();
    ~PageRecogniser();
    PageRecogniser(const PageRecogniser&) = delete;
    PageRecogniser& operator=(const PageRecogniser&) = delete;

    // Recognises page index (zero-based) of the open document in the given language.
    Result recognise(const OpenedPdf& pdf, int index, const QString& language);

private:
    bool prepare(const QString& language);

    struct Engine;
    std::unique_ptr<Engine> m_engine;
    QString m_language;     // the language the engine was last prepared for
    QString m_prepareError; // why preparing for m_language failed; empty when it worked
};

} // namespace Tessavo::Inspection
