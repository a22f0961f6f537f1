#include "ui/LastExport.h"

#include "bundle/ExportBundle.h"
#include "bundle/ExportWarning.h"

namespace Tessavo::Ui {

LastExport LastExport::of(const ExportResult& result)
{
    return {.ok = result.ok,
            .error = result.error,
            .directory = result.directory,
            .csv = result.csv,
            .pdf = result.pdf,
            .zip = result.zip,
            .exported = result.exported,
            .skipped = result.skipped,
            .warnings = warningTexts(result.warnings),
            .originalsLeftOut = int(Tessavo::originalsLeftOut(result.warnings))};
}

} // namespace Tessavo::Ui
