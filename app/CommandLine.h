#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Tessavo::App {

// Options are matched exactly and case-sensitively; only the first occurrence counts.
bool hasOption(const QStringList& arguments, const QString& option);

// The argument that follows the first occurrence of the option, whatever it looks like; nothing
// when the option is absent or is the last argument.
std::optional<QString> optionValue(const QStringList& arguments, const QString& option);

// The arguments as the application object will see them, available before it exists.
QStringList argumentsOf(int argc, char** argv);

// The same arguments as the bytes they are: a path that is not valid UTF-8 does not survive the
// decoding above. Index for index the same list.
QList<QByteArray> rawArgumentsOf(int argc, char** argv);

// The bytes of the argument after the first occurrence of the option, as optionValue.
std::optional<QByteArray> optionBytes(const QList<QByteArray>& rawArguments,
                                      const QByteArray& option);

// The text of "--help": every option of the window, the batch mode and the verification.
QString helpText();

} // namespace Tessavo::App
