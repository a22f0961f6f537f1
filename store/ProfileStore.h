#pragma once

#include "core/Failure.h"
#include "core/SubmissionProfile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo::Store {

// The submission profiles the user added: one JSON file each in a private folder, so a profile
// stays when the file it was read from moves or goes.
inline constexpr int maxStoredProfiles = 100;

struct StoredProfiles {
    QList<SubmissionProfile> profiles; // by file name
    QStringList problems;              // the files that could not be used, each with why
};

// Reads the profiles kept in the folder: regular files ending in ".json", never through a link,
// at most maxStoredProfiles of them. A missing folder holds none.
StoredProfiles loadProfiles(const QString& folder);

// Keeps the profile in the folder (created 0700; the file 0600, replaced atomically) under a file
// named after the profile; a profile kept under the same name before is replaced.
Status saveProfile(const QString& folder, const SubmissionProfile& profile);

} // namespace Tessavo::Store
