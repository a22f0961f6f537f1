#pragma once

#include "core/DocumentRecord.h"
#include "inspection/FileDigest.h"
#include "inspection/TextState.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace Tessavo {

// How long the PDF engine may take to open a file before it counts as unreadable.
inline constexpr int pdfOpenTimeoutMs = 15000;

// One PDF opened by the engine. Only inspection workers use this: a hostile file may hang or
// crash the engine, which must never happen in the application's own process.
class OpenedPdf {
public:
    OpenedPdf();
    ~OpenedPdf();
    OpenedPdf(const OpenedPdf&) = delete;
    OpenedPdf& operator=(const OpenedPdf&) = delete;

    // Opens the file and sets state, errorText, pages and title of the record as inspection
    // defines them. True when the document is open with at least one page.
    //
    // A page tree that contains itself can make the engine walk it for ever, yet the engine
    // repairs many such trees. When the file has one, onLoop is called before the engine is given
    // the file, so that the caller can bound the engine (a worker tells the application, which
    // kills the worker when the engine runs out of its short limit); the engine's answer is kept
    // when it reads the pages, and only when it fails is the file "PDF page tree refers to
    // itself". Without onLoop, nothing can bound the engine: such a file is not opened at all.
    [[nodiscard]] bool open(const QString& path, DocumentRecord& record,
                            const std::function<void()>& onLoop = {});

    // The complete text of page index, untrimmed.
    QString pageText(int index) const;

    // The size of page index in points; empty for a page the engine cannot measure.
    QSizeF pageSize(int index) const;

    // Page index drawn into an image of the given size; a null image when that fails.
    QImage renderPage(int index, QSize pixels) const;

    // Where the terms appear on page index, regardless of case, a run of white space in a term or
    // on the page counting as one space: one rectangle in points (origin top left) per line of
    // each occurrence, at most limit in all, the first term's first.
    QList<QRectF> termBounds(int index, const QStringList& terms, int limit) const;

private:
    bool openWithEngine(const QString& path, DocumentRecord& record);

    struct Engine;
    std::unique_ptr<Engine> m_engine;
};

// The whole inspection of one file in this process: name, size, SHA-256, pages, the text of every
// page and the resulting state. Never fails as a call; problems end up in state and errorText.
DocumentRecord inspectPdf(const QString& path);

} // namespace Tessavo
