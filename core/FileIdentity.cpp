#include "core/FileIdentity.h"

#include "core/RawPath.h"

#include <limits>

namespace Tessavo {

namespace {

constexpr qint64 nsPerSecond = 1'000'000'000;
constexpr qint64 nsPerMillisecond = 1'000'000;
constexpr qint64 int64Max = std::numeric_limits<qint64>::max();

} // namespace

FileIdentity currentIdentity(const QByteArray& rawPath)
{
    const RawFileStatus status = rawFileStatus(rawPath);
    FileIdentity identity;
    identity.path = rawPath;
    if (status.ok) {
        identity.size = status.size;
        identity.modifiedNs = status.modifiedNs;
    }
    return identity;
}

FileIdentity identityOf(const DocumentRecord& record)
{
    return {sourcePathBytesOf(record), record.sizeBytes, record.modifiedNs, record.sha256};
}

qint64 nanosecondsSinceEpoch(qint64 seconds, qint64 nanoseconds)
{
    if (seconds < 0 || nanoseconds < 0 || nanoseconds >= nsPerSecond ||
        seconds > (int64Max - nanoseconds) / nsPerSecond)
        return -1;
    return seconds * nsPerSecond + nanoseconds;
}

qint64 nanosecondsFromMilliseconds(qint64 milliseconds)
{
    if (milliseconds < 0 || milliseconds > int64Max / nsPerMillisecond)
        return -1;
    return milliseconds * nsPerMillisecond;
}

} // namespace Tessavo
