#include "inspection/TextState.h"

#include <utility>

namespace Tessavo {

void settleTextState(DocumentRecord& record)
{
    record.textPages = 0;
    record.textChars = 0;
    for (const PageText& page : std::as_const(record.pageTexts)) {
        record.textChars += page.charCount;
        if (!page.text.trimmed().isEmpty())
            ++record.textPages;
    }
    record.state = record.textPages == 0 ? NeedsOcr : Ready;
}

} // namespace Tessavo
