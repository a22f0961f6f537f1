#include "app/Verify.h"

#include "app/Batch.h"
#include "app/Headless.h"
#include "bundle/BundleReadiness.h"
#include "bundle/BundleVerifier.h"
#include "logging/ConsoleOutput.h"

#include <QCoreApplication>
#include <QFile>

namespace Tessavo::App {

namespace {

// The bundle against the profile; false when it breaks a rule or cannot be checked.
bool checkAgainstProfile(const QString& path, const SubmissionProfile& profile)
{
    using Logging::ConsoleStream;
    const BundleReadiness readiness = checkBundleReadiness(path, profile);
    if (!readiness.ok) {
        Logging::printLine(ConsoleStream::Output,
                           QStringLiteral("Cannot check %1 against the profile \"%2\": %3")
                               .arg(path, profile.name, readiness.error));
        return false;
    }
    const ReadinessReport& report = readiness.report;
    for (const QString& line : report.failureLines())
        Logging::printLine(ConsoleStream::Output, QStringLiteral("not ready: %1").arg(line));
    const qsizetype broken = report.brokenCount();
    const QString rules = QString::number(report.outcomes.size());
    if (broken == 0)
        Logging::printLine(ConsoleStream::Output,
                           QStringLiteral("%1 meets the profile \"%2\": %3 rule(s) checked.")
                               .arg(path, profile.name, rules));
    else
        Logging::printLine(ConsoleStream::Output,
                           QStringLiteral("%1 does not meet the profile \"%2\": %3 of %4 "
                                          "rule(s) broken.")
                               .arg(path, profile.name, QString::number(broken), rules));
    return broken == 0;
}

} // namespace

int runVerify(int argc, char** argv, const QByteArray& pathBytes,
              const std::optional<QByteArray>& profileFile)
{
    // The profile first: a file that cannot be used stops the run before any work.
    std::optional<SubmissionProfile> profile;
    if (profileFile) {
        const SubmissionProfileRead read = profileOf(*profileFile);
        if (!read.ok) {
            printError(QStringLiteral("tessavo: %1").arg(read.error));
            return ExitUsage;
        }
        for (const QString& warning : read.warnings)
            printError(QStringLiteral("tessavo: warning: %1").arg(warning));
        profile = read.profile;
    }
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
    if (!result.ok())
        return ExitFailed;
    if (profile && !checkAgainstProfile(path, *profile))
        return ExitNotReady;
    return ExitSuccess;
}

} // namespace Tessavo::App
