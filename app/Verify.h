#pragma once

#include <QByteArray>

#include <optional>

namespace Tessavo::App {

// "--verify PATH": checks the bundle folder or ZIP, prints one line per problem and a summary on
// standard output, and returns 0 when everything holds, 1 when not. With "--profile FILE" it
// also checks the bundle against that submission profile, one "not ready:" line per failure, and
// returns 3 when the bundle is sound but breaks a rule; 2 when the profile cannot be used.
int runVerify(int argc, char** argv, const QByteArray& path,
              const std::optional<QByteArray>& profileFile = std::nullopt);

} // namespace Tessavo::App
