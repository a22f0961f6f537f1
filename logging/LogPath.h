#pragma once

#include <QString>

namespace Tessavo::Logging {

// How a file or folder is named in a log message: its last component only, so that no message of
// ours ever holds the folders of the user's disk ("/home/alice/Bids/offer.pdf" gives "offer.pdf").
// Slashes and backslashes both separate; trailing ones are ignored; a root or an empty path gives
// "<path>". Every message that mentions a path passes it through here.
QString pathForLog(const QString& path);

} // namespace Tessavo::Logging
