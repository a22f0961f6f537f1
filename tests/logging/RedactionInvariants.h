#pragma once

// What cleaning a log message promises for any input whatsoever; checked by the fuzz harness and
// by the tests that replay its regression corpus.
#include "logging/LogRedaction.h"

#include <QString>

namespace RedactionInvariants {

inline const QString plantedSecret = QStringLiteral("FuzzSecret7x");
inline const QString plantedFolder = QStringLiteral("FuzzFolder");

// The text followed by lines with secrets and paths, all of which must be gone after cleaning
// whatever came before them: a key-value secret, a token known by its shape, a path with a space
// and one whose folder follows a comma.
inline QString withPlants(const QString& text)
{
    return text + QStringLiteral("\npassword=%1\n/home/%2 1/Bids/a.pdf\nghp_%1x\n"
                                 "/srv/Smith, %2/Bids/b.pdf\n")
                      .arg(plantedSecret, plantedFolder);
}

// Empty when the cleaned text keeps every promise; otherwise what went wrong. planted says that
// the input went through withPlants and was short enough for the plants to be cleaned.
inline QString violation(const QString& cleaned, bool planted)
{
    for (const QChar c : cleaned) {
        if (c.category() == QChar::Other_Control || c == QChar(0x2028) || c == QChar(0x2029))
            return QStringLiteral("a control character is left");
    }
    if (cleaned.size() > 4096 + qsizetype(sizeof(" <truncated>") - 1))
        return QStringLiteral("longer than the cap");
    if (planted && cleaned.contains(plantedSecret))
        return QStringLiteral("the planted secret survived");
    if (planted && cleaned.contains(plantedFolder))
        return QStringLiteral("the planted folder survived");
    return {};
}

// Cleans the text with the plants added when they fit into what the patterns see.
inline QString check(const QString& text)
{
    const QString plantedText = withPlants(text);
    const bool planted = plantedText.size() <= Tessavo::Logging::maxRedactionInputChars;
    return violation(Tessavo::Logging::sanitizeLogMessage(planted ? plantedText : text), planted);
}

} // namespace RedactionInvariants
