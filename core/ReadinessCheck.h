#pragma once

#include "core/DocumentRecord.h"
#include "core/SubmissionProfile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo {

// The rules of a submission profile, in the order of its keys.
enum class ReadinessRule {
    FileSize,    // maxFileBytes
    TotalSize,   // maxTotalBytes
    FileCount,   // maxFiles
    NameLength,  // maxNameLength
    PlainNames,  // plainNames
    NoEncrypted, // allowEncrypted false
    Text,        // requireText
    Decided,     // requireDecided
    Categories,  // requiredCategories
    ZipSize,     // zipVolumeBytes
};

// The mechanical fix that makes a failed rule pass, where there is one.
enum class ReadinessFix {
    None,
    FitNames,         // store the copies under shorter plain names
    RecogniseScans,   // recognise the text of the scans
    IgnoreDuplicates, // leave out the byte-identical copies
};

// One document that breaks a rule.
struct FailingDocument {
    int row = -1;   // its index in the list that was checked
    QString path;   // its source path as shown
    QString reason; // what about it breaks the rule: "3.0 MB", "needs review", …
};

// How the package fares against one rule.
struct ReadinessOutcome {
    ReadinessRule rule = ReadinessRule::FileSize;
    QString requirement; // what the rule asks: "Each file at most 50 MB"
    bool passed = true;
    QString problem;                // when failed, what fails, in one line
    QList<FailingDocument> failing; // the documents that break it, when it is about documents
    ReadinessFix fix = ReadinessFix::None;
};

struct ReadinessReport {
    QList<ReadinessOutcome> outcomes; // one per rule the profile sets, in ReadinessRule order
    bool ready() const;
    qsizetype brokenCount() const; // the rules failed
    // One line per failure: per failing document "<requirement>: <path> (<reason>)", and for a
    // failed rule about no document in particular "<requirement>: <problem>".
    QStringList failureLines() const;
};

// Checks the package that exporting records would give against the profile. The check takes the
// exportable records (each source once, as the bundle stores it), and for allowEncrypted the
// password-protected ones that are not ignored, since those cannot be exported at all.
// storedNames[i] is the path below originals/ that records[i]'s copy is stored under (its last
// piece is the name checked; a record without one is checked by its file name), and namesFitted
// says whether they already are fitted to the profile's name limits. Sizes are those of the
// originals, as inspected; manifest.csv and index.pdf are not among the files counted.
ReadinessReport checkReadiness(const SubmissionProfile& profile,
                               const QList<DocumentRecord>& records, const QStringList& storedNames,
                               bool namesFitted);

// A byte count as the check shows it, in decimal units as portals state their limits: "1 MB",
// "2.5 MB", "300 kB", "12 bytes"; whole units without decimals.
QString readinessSizeText(qint64 bytes);

} // namespace Tessavo
