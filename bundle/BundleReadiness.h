#pragma once

#include "core/DocumentRecord.h"
#include "core/ReadinessCheck.h"
#include "core/SubmissionProfile.h"

#include <QList>
#include <QString>

namespace Tessavo {

// The check of the package that exporting records would give, with the names as the export would
// store them: below their folders, or fitted to the profile's name limits when fitNames is set
// (ExportOptions::fitNames).
ReadinessReport checkExportReadiness(const SubmissionProfile& profile,
                                     const QList<DocumentRecord>& records, bool fitNames);

struct [[nodiscard]] BundleReadiness {
    bool ok = false;
    QString error; // why the bundle's manifest could not be read
    ReadinessReport report;
};

// Checks a written bundle, given as its folder (the ZIP beside it is weighed) or its ZIP, against
// the profile: the documents, sizes, states, decisions and categories its manifest lists, the
// names its originals are stored under, and the ZIP's size. Whether the bundle holds what its
// manifest says is verifyBundle's concern.
BundleReadiness checkBundleReadiness(const QString& path, const SubmissionProfile& profile);

} // namespace Tessavo
