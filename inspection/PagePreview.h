#pragma once

#include "inspection/WorkerProtocol.h"

#include <QStringList>

namespace Tessavo {
class OpenedPdf;
}

namespace Tessavo::Inspection {

// The preview of one page, drawn in a worker: the page at the given width on white paper (scaled
// down to stay within the image bounds of the protocol) with the rectangles where the terms
// appear. A page the engine cannot draw gives a null image and says why.
RenderedMessage renderPreview(const OpenedPdf& pdf, int pageIndex, int width,
                              const QStringList& terms);

} // namespace Tessavo::Inspection
