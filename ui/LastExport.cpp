#include "ui/LastExport.h"

#include "bundle/ExportBundle.h"
#include "bundle/ExportWarning.h"

namespace Tessavo::Ui {

LastExport LastExport::of(const ExportResult& result)
{
    return {result, result.ok, result.error, warningTexts(result.warnings),
            int(Tessavo::originalsLeftOut(result.warnings))};
}

} // namespace Tessavo::Ui
