#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Tessavo {

// The upload rules of a tender portal that a package has to meet, as the user keeps them in a
// JSON file. Every rule is optional; an unset one is not checked.
struct SubmissionProfile {
    QString name;
    std::optional<qint64> maxFileBytes;  // no single file larger
    std::optional<qint64> maxTotalBytes; // the files together no larger
    std::optional<int> maxFiles;         // no more files
    std::optional<int> maxNameLength;    // characters of a file name, extension included
    // File names of letters, digits, space and - _ . ( ) only, none starting with a period, no
    // device name, no two alike but for case.
    bool plainNames = false;
    bool allowEncrypted = true;           // false: no password-protected file in the package
    bool requireText = false;             // no document without text; recognised text counts
    bool requireDecided = false;          // every exported document accepted or changed
    QStringList requiredCategories;       // at least one exported document in each
    std::optional<qint64> zipVolumeBytes; // no ZIP larger

    friend bool operator==(const SubmissionProfile&, const SubmissionProfile&) = default;
};

// The limits a profile sets on the names of the stored copies; an export fits the names to them
// when any is set.
struct NameLimits {
    std::optional<int> maxLength;
    bool plain = false;
    bool any() const { return maxLength.has_value() || plain; }

    friend bool operator==(const NameLimits&, const NameLimits&) = default;
};

NameLimits nameLimitsOf(const SubmissionProfile& profile);

// A profile file holds at most this many bytes.
constexpr qsizetype maxProfileBytes = 64 * 1024;

// The ranges the numbers of a profile must lie in, ends included.
constexpr qint64 maxProfileBytesValue = qint64(1) << 53; // exact in a JSON number
constexpr int maxProfileFiles = 1000000;
constexpr int maxProfileNameLength = 255;
constexpr int maxProfileNameChars = 200; // of the profile's own name

struct [[nodiscard]] SubmissionProfileRead {
    bool ok = false;
    QString error;        // set when !ok: what is wrong, naming the key
    QStringList warnings; // keys that mean nothing here and were ignored
    SubmissionProfile profile;
};

// Reads a profile from JSON: one object whose keys are the fields' names. A value of the wrong
// type, a number that is not a whole number within its range, a category that does not exist or
// more than maxProfileBytes of input make it unusable; unknown keys are warnings.
SubmissionProfileRead readSubmissionProfile(QByteArrayView json);

// Reads the profile file at path (a regular file, never waited for) as readSubmissionProfile.
SubmissionProfileRead readSubmissionProfileFile(const QString& path);

// Indented JSON that reads back to the same profile: the set numbers, every flag, and the
// required categories when there are any.
QByteArray submissionProfileJson(const SubmissionProfile& profile);

// The profiles that come with the program: portable names only (what every export does anyway)
// and a typical tender portal.
SubmissionProfile portableNamesProfile();
SubmissionProfile typicalPortalProfile();
QList<SubmissionProfile> builtInProfiles();

} // namespace Tessavo
