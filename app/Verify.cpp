#include "app/Verify.h"

#include "app/Headless.h"
#include "bundle/BundleVerifier.h"
#include "logging/ConsoleOutput.h"

#include <QCoreApplication>
#include <QFile>

namespace Tessavo::App {

int runVerify(int argc, char** argv, const QByteArray& pathBytes)
{
    // No window and no PDF engine here: index.pdf comes from elsewhere and is opened by an
    // inspection worker, this executable started again, so that a file that hangs or crashes
    // the engine costs the worker, not this process.
    QCoreApplication application(argc, argv);
    const QString path = QFile::decodeName(pathBytes);
    const BundleVerification result = verifyBundle(path);
    // Problems name entries of an untrusted archive: each line is printed as the log writes it.
    using Logging::ConsoleStream;
    for (const QString& problem : result.problems)
        Logging::printLine(ConsoleStream::Output, problem);
    const QString counts =
        QStringLiteral("%1 ZIP entries, %2 manifest rows, %3 originals checked")
            .arg(QString::number(result.zipEntries), QString::number(result.manifestRows),
                 QString::number(result.originals));
    if (result.ok())
        Logging::printLine(ConsoleStream::Output,
                           QStringLiteral("Verified %1: %2; everything holds.").arg(path, counts));
    else
        Logging::printLine(ConsoleStream::Output,
                           QStringLiteral("Verification of %1 failed: %2 problem(s); %3.")
                               .arg(path, QString::number(result.problemCount), counts));
    return result.ok() ? ExitSuccess : ExitFailed;
}

} // namespace Tessavo::App
