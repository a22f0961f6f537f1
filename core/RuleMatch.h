#pragma once

#include <QList>
#include <QString>

namespace Tessavo {

// One rule that matched a document, with that rule's own evidence.
struct RuleMatch {
    QString ruleId;
    QString ruleName;
    QString category;
    QString evidence;
    int page = -1; // zero-based page of the text hit; -1 without a text condition

    friend bool operator==(const RuleMatch&, const RuleMatch&) = default;
};

} // namespace Tessavo
