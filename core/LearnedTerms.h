#pragma once

#include "core/DocumentRecord.h"

#include <QList>
#include <QString>

#include <utility>

namespace Tessavo {

// A document reduced to the words that can set its category apart: case-folded word unigrams
// and bigrams without stop words, numbers or one-letter words. Each occurrence in the file name
// or the heading (PDF title and first lines) counts headingTermWeight times, one in the body once.
// Only the first bodyCharLimit characters of the page texts are read.
constexpr int headingTermWeight = 4;
constexpr qsizetype bodyCharLimit = 20000;
// A document keeps its heaviest terms only, so a stored history stays small.
constexpr qsizetype maxTermsPerDocument = 160;
constexpr qsizetype maxTermChars = 64;

// A term and its weighted count; lists are sorted by term.
using TermCount = std::pair<QString, int>;

// The heaviest terms of the document under its file name, sorted by term.
QList<TermCount> documentTerms(const DocumentRecord& record);

} // namespace Tessavo
