#include "logging/LogPath.h"

#include <algorithm>

namespace Tessavo::Logging {

QString pathForLog(const QString& path)
{
    qsizetype end = path.size();
    while (end > 0 && (path.at(end - 1) == u'/' || path.at(end - 1) == u'\\'))
        --end;
    const QStringView trimmed = QStringView(path).left(end);
    const qsizetype cut = std::max(trimmed.lastIndexOf(u'/'), trimmed.lastIndexOf(u'\\'));
    const QStringView last = trimmed.mid(cut + 1);
    return last.isEmpty() ? QStringLiteral("<path>") : last.toString();
}

} // namespace Tessavo::Logging
