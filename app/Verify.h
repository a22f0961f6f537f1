#pragma once

#include <QByteArray>

namespace Tessavo::App {

// "--verify PATH": checks the bundle folder or ZIP, prints one line per problem and a summary on
// standard output, and returns 0 when everything holds, 1 when not.
int runVerify(int argc, char** argv, const QByteArray& path);

} // namespace Tessavo::App
