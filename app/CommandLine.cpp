#include "app/CommandLine.h"

namespace Tessavo::App {

bool hasOption(const QStringList& arguments, const QString& option)
{
    return arguments.contains(option);
}

std::optional<QString> optionValue(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(at + 1);
}

} // namespace Tessavo::App
