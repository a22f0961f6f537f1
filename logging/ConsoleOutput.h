#pragma once

#include <QString>

namespace Tessavo::Logging {

// Everything the program prints on standard output or standard error goes through here, so that
// nothing it prints says more than its log: names from a package or a ZIP are untrusted, and a
// control character in one must never reach the terminal as a command.

enum class ConsoleStream { Output, Error };

// Text for a person: cleaned exactly as a log message is (secrets, absolute paths cut down to
// their last component, control characters escaped, the length capped).
QString printableText(const QString& text);

// A value a script reads, such as the path of a bundle the program wrote: kept whole, with only
// its control characters escaped ("\n", "\t", "\u001B"), so that one value stays one line.
QString printableValue(const QString& value);

// printableText followed by a line end.
void printLine(ConsoleStream stream, const QString& text);

// printableValue followed by a line end.
void printValueLine(ConsoleStream stream, const QString& value);

// A status line on a terminal's standard error, drawn over the previous one: a carriage return,
// printableText and an erase to the end of the line, without a line end.
void printStatusLine(const QString& text);

} // namespace Tessavo::Logging
