#pragma once

#include "core/DocumentRecord.h"

namespace Tessavo {

// Sets the state from the page texts: Ready when a page has text, else NeedsOcr.
void settleTextState(DocumentRecord& record);

} // namespace Tessavo
