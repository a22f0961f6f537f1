#pragma once

#include "core/RuleMatch.h"

#include <QList>
#include <QString>

namespace Tessavo {

// What classification proposes for one document; empty when no rule matched. A record holds the
// suggestion of the latest classification and replaces it only as a whole.
struct Suggestion {
    QString category;
    QString ruleId;
    QString ruleName;
    QString evidence;
    int evidencePage = -1;    // zero-based page of the text hit; -1 without a text condition
    QList<RuleMatch> matches; // ranking order, winner first
    bool conflict = false;
    QString conflictNote;
    // Taught by the documents the user filed, when no enabled rule matched: ruleName is "Learned"
    // and the evidence says what it was learned from. A tentative one is shown, never accepted
    // with the clear suggestions.
    bool learned = false;
    bool tentative = false;

    bool isEmpty() const { return category.isEmpty(); }

    friend bool operator==(const Suggestion&, const Suggestion&) = default;
};

} // namespace Tessavo
