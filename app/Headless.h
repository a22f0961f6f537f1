#pragma once

#include <QString>

#include <optional>

namespace Tessavo::App {

// Exit codes of the modes that run without a window.
enum HeadlessExitCode : int {
    ExitSuccess = 0,
    ExitFailed = 1,         // batch: nothing exported or export failed; verify: a problem found
    ExitUsage = 2,          // a missing or unusable option, with a one-line reason on stderr
    ExitPartlyExported = 3, // batch: bundle written, but not every PDF found is in it
    ExitNotReady = 3,       // batch, verify: the bundle breaks a rule of the submission profile
};

struct CommandLine;

// Runs "--help", "--version", "--verify" or "--batch" when the command line asks for one and
// returns the exit code; nothing when the window is wanted. Needs no display: the modes that need
// an application object use the offscreen platform unless the user chose one.
std::optional<int> runHeadlessMode(int argc, char** argv, const CommandLine& commandLine);

// Before the application object exists: choose the offscreen platform unless QT_QPA_PLATFORM is
// set. The headless modes show nothing, so they must not depend on a display.
void preferOffscreenPlatform();

// Sets the application's organisation, name and version; works before the application object
// exists, and is called once, before any mode starts.
void setApplicationIdentity();

// One line on standard error, ended by a line feed, cleaned as the log cleans its lines.
void printError(const QString& line);

} // namespace Tessavo::App
