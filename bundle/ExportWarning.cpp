#include "bundle/ExportWarning.h"

#include <algorithm>

namespace Tessavo {

bool ExportWarning::leavesOriginalOut() const
{
    switch (kind) {
    case Kind::RenamedNotUtf8:
    case Kind::RenamedPortable:
    case Kind::NamesClash:
        return false;
    case Kind::SourceMissing:
    case Kind::SourceChanged:
    case Kind::CopyFailed:
        return true;
    }
    return true;
}

QStringList warningTexts(const QList<ExportWarning>& warnings)
{
    QStringList texts;
    for (const ExportWarning& warning : warnings)
        texts.append(warning.text);
    return texts;
}

qsizetype originalsLeftOut(const QList<ExportWarning>& warnings)
{
    return std::count_if(warnings.begin(), warnings.end(),
                         [](const ExportWarning& warning) { return warning.leavesOriginalOut(); });
}

} // namespace Tessavo
