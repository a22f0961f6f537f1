#include "app/Headless.h"

#include "app/Batch.h"
#include "app/CommandLine.h"
#include "app/Verify.h"
#include "core/Version.h"
#include "logging/ConsoleOutput.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

namespace Tessavo::App {

namespace {

const QString applicationVersion = QString::fromLatin1(versionText);

// The program's own fixed texts (help, version), several lines at once.
void printOut(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

void printError(const QString& line)
{
    Logging::printLine(Logging::ConsoleStream::Error, line);
}

void preferOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessavo"));
    QCoreApplication::setApplicationVersion(applicationVersion);
}

std::optional<int> runHeadlessMode(int argc, char** argv, const CommandLine& commandLine)
{
    switch (commandLine.mode) {
    case CommandLine::Mode::Help:
        printOut(helpText());
        return ExitSuccess;
    case CommandLine::Mode::Version:
        printOut(QStringLiteral("Tessavo %1\n").arg(applicationVersion));
        return ExitSuccess;
    case CommandLine::Mode::Verify:
        return runVerify(argc, argv, *commandLine.verifyPath, commandLine.profileFile);
    case CommandLine::Mode::Batch:
        return runBatch(argc, argv, commandLine);
    case CommandLine::Mode::Window:
        break;
    }
    return std::nullopt;
}

} // namespace Tessavo::App
