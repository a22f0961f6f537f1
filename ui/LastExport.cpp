#include "ui/LastExport.h"

#include "export/ExportBundle.h"

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
            .warnings = result.warnings};
}

} // namespace Tessavo::Ui
