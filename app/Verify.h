#pragma once

#include <QStringList>

namespace Tessavo::App {

// "--verify PATH": checks the bundle folder or ZIP, prints one line per problem and a summary on
// standard output, and returns 0 when everything holds, 1 when not, 2 without a path.
int runVerify(int argc, char** argv, const QStringList& arguments);

} // namespace Tessavo::App
