#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Tessavo::App {

// Options are matched exactly and case-sensitively; only the first occurrence counts.
bool hasOption(const QStringList& arguments, const QString& option);

// The argument that follows the first occurrence of the option, whatever it looks like; nothing
// when the option is absent or is the last argument.
std::optional<QString> optionValue(const QStringList& arguments, const QString& option);

} // namespace Tessavo::App
