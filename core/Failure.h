#pragma once

#include <QString>

namespace Tessavo {

// How code in Tessavo reports a failure, in one of two shapes:
// - An object whose operations can fail declares them `[[nodiscard]] bool op(...)` and offers
//   `QString errorString() const`, which says why the last failed operation failed (as QIODevice
//   does).
// - A free function that can fail returns a `[[nodiscard]]` struct holding `bool ok` and
//   `QString error` (set only when ok is false) beside whatever else it produces. Status is that
//   struct for functions that produce nothing else.
// No QString* out-parameters, no empty string that stands for a failure, and no failure that is
// only logged: the caller always learns of it (logging may come in addition).
struct [[nodiscard]] Status {
    bool ok = false;
    QString error; // set when !ok

    static Status success() { return {true, QString()}; }
    static Status failure(const QString& why) { return {false, why}; }
};

} // namespace Tessavo
