// libFuzzer harness for the submission profile reader (built only with clang; see
// tests/CMakeLists.txt). Any input is either refused with a reason or gives a profile within the
// ranges, which comes back the same when written and read again.
#include "core/Rule.h"
#include "core/SubmissionProfile.h"
#include "support/FuzzPromise.h"

#include <cstdint>

using Tessavo::Fuzz::require;

namespace {

template <typename T> bool within(const std::optional<T>& value, qint64 max)
{
    return !value || (qint64(*value) >= 1 && qint64(*value) <= max);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = Tessavo::Fuzz::inputBytes(data, size);
    const Tessavo::SubmissionProfileRead read = Tessavo::readSubmissionProfile(bytes);
    require(read.ok == read.error.isEmpty(), "refused exactly when there is a reason");
    if (!read.ok) {
        require(read.warnings.isEmpty(), "a refused profile has no warnings");
        return 0;
    }
    const Tessavo::SubmissionProfile& profile = read.profile;
    require(within(profile.maxFileBytes, Tessavo::maxProfileBytesValue), "maxFileBytes in range");
    require(within(profile.maxTotalBytes, Tessavo::maxProfileBytesValue), "maxTotalBytes in range");
    require(within(profile.zipVolumeBytes, Tessavo::maxProfileBytesValue),
            "zipVolumeBytes in range");
    require(within(profile.maxFiles, Tessavo::maxProfileFiles), "maxFiles in range");
    require(within(profile.maxNameLength, Tessavo::maxProfileNameLength), "maxNameLength in range");
    require(profile.name.size() <= Tessavo::maxProfileNameChars, "name within its length");
    const QStringList known = Tessavo::categoryList();
    for (const QString& category : profile.requiredCategories)
        require(known.contains(category), "only known categories", category);
    const Tessavo::SubmissionProfileRead again =
        Tessavo::readSubmissionProfile(Tessavo::submissionProfileJson(profile));
    require(again.ok && again.warnings.isEmpty(), "what is written reads back cleanly",
            again.error);
    require(again.profile == profile, "written and read again, the profile is the same");
    return 0;
}
