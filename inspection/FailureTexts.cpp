#include "inspection/FailureTexts.h"

#include "inspection/WorkerPool.h"

namespace Tessavo::Inspection::FailureText {

QString engineNotStarted()
{
    return QStringLiteral("PDF engine could not be started");
}

QString engineStopped()
{
    return QStringLiteral("PDF engine stopped while reading this file");
}

QString openTimedOut()
{
    return QStringLiteral("timed out while opening the PDF");
}

QString pageTreeLoops()
{
    return QStringLiteral("PDF page tree refers to itself");
}

QString readTimedOut(int pageNumber)
{
    return QStringLiteral("timed out while reading page %1").arg(pageNumber);
}

QString noPages()
{
    return QStringLiteral("PDF contains no pages");
}

QString tooManyPages()
{
    return QStringLiteral("PDF claims more pages than the file can hold");
}

QString ofReading(const JobFailure& failure)
{
    switch (failure.kind) {
    case JobFailure::Kind::NotStarted:
        return engineNotStarted();
    case JobFailure::Kind::OpenTimedOut:
        return openTimedOut();
    case JobFailure::Kind::LoopTimedOut:
        return pageTreeLoops();
    case JobFailure::Kind::PageTimedOut:
        return readTimedOut(failure.page + 1);
    case JobFailure::Kind::Stopped:
        break;
    }
    return engineStopped();
}

QString recognitionNotStarted()
{
    return QStringLiteral("text recognition could not be started");
}

QString recognitionStopped(int pageNumber)
{
    return QStringLiteral("text recognition stopped on page %1").arg(pageNumber);
}

QString recognitionTimedOut(int pageNumber)
{
    return QStringLiteral("timed out while recognising page %1").arg(pageNumber);
}

QString changedSinceImport()
{
    return QStringLiteral("the file changed since it was imported");
}

} // namespace Tessavo::Inspection::FailureText
