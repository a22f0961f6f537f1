#pragma once

#include <QString>

// Why an inspection or a recognition failed, as the record and the log tell it. Each text is
// written here only.
namespace Tessavo::Inspection {
struct JobFailure;
}

namespace Tessavo::Inspection::FailureText {

QString engineNotStarted();           // "PDF engine could not be started"
QString engineStopped();              // "PDF engine stopped while reading this file"
QString openTimedOut();               // "timed out while opening the PDF"
QString pageTreeLoops();              // "PDF page tree refers to itself"
QString readTimedOut(int pageNumber); // "timed out while reading page N"
QString noPages();                    // "PDF contains no pages"
QString tooManyPages();               // "PDF claims more pages than the file can hold"

// Why the engine failed to read a file, from how its request failed.
QString ofReading(const JobFailure& failure);

QString recognitionNotStarted();             // "text recognition could not be started"
QString recognitionStopped(int pageNumber);  // "text recognition stopped on page N"
QString recognitionTimedOut(int pageNumber); // "timed out while recognising page N"
QString changedSinceImport();                // "the file changed since it was imported"

} // namespace Tessavo::Inspection::FailureText
