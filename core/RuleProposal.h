#pragma once

#include "core/DocumentRecord.h"
#include "core/Rule.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo {

// A rule proposed after the user filed a document under another category: the words of its
// heading or file name that no document of another category in the package shares, as a rule
// the user still reviews before saving.
struct RuleProposal {
    Rule rule;            // named, in the chosen category, whole words, with one condition
    QStringList terms;    // the words the condition uses, best first; empty when none sets it apart
    int sameCategory = 0; // documents of that category in the package the rule matches (itself too)
};

// Proposes a rule that files this document under the category. The package is every document
// in the list (the document itself may be among them); a document counts under the category it
// is filed or suggested under. Heading words win over file-name words, two-word phrases over
// single words, then the words that match more documents of the same category; ties go to the
// alphabet, so the same package always gives the same proposal.
RuleProposal proposeRule(const DocumentRecord& document, const QString& category,
                         const QList<DocumentRecord>& package);

} // namespace Tessavo
