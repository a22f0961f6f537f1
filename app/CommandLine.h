#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Tessavo::App {

// Everything the command line asks for, read once at start. Paths are the bytes the command line
// spelt them with, so that a name that is not valid UTF-8 names that very file or folder.
struct CommandLine {
    enum class Mode { Window, Batch, Verify, Help, Version };
    Mode mode = Mode::Window;

    // Each value is that of the option's first occurrence; absent when the option is, or when it
    // is the last argument and so has none.
    std::optional<QByteArray> importPath;   // --import PATH
    std::optional<QByteArray> exportFolder; // --export FOLDER
    std::optional<QByteArray> rulesFile;    // --rules FILE (batch mode)
    std::optional<QByteArray> verifyPath;   // --verify PATH
    std::optional<QByteArray> profileFile;  // --profile FILE (batch mode and verification)
    // --learn-from BUNDLE, every occurrence in order: past bundles (folders or ZIPs) to learn
    // from at start; in batch mode for that run only.
    QList<QByteArray> learnFrom;
    bool acceptClear = false; // --accept-clear (batch mode)
    bool recognise = false;   // --ocr
    bool smokeTest = false;   // --smoke-test (the window)
    // Arguments that are not options, nor an option's value: the program ignores them.
    QList<QByteArray> positionals;
};

struct [[nodiscard]] CommandLineParse {
    bool ok = false;
    QString error; // the reason for exit code 2, one line without the "tessavo: " prefix
    CommandLine commandLine;
};

// Reads the arguments (argv as bytes, the program's name first). An unknown or misspelt option
// is a usage error, and so is a mode without what it needs ("--batch" without "--import" or
// "--export", "--verify" without a path, "--batch" with "--verify", "--profile" with neither).
// An option's value is the
// argument that follows it, whatever it looks like, or what follows "=" in "--option=value".
CommandLineParse parseCommandLine(const QList<QByteArray>& arguments);

// The same arguments as the bytes they are, before any application object exists.
QList<QByteArray> rawArgumentsOf(int argc, char** argv);

// The text of "--help": every option of the window, the batch mode and the verification.
QString helpText();

} // namespace Tessavo::App
