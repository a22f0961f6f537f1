#pragma once

#include <QString>
#include <QStringList>

namespace Tessavo {

// One file or folder name made acceptable to Windows and macOS as well: characters Windows
// forbids (\ / : * ? " < > |) and control characters become "_", trailing dots and spaces are
// dropped, a device name (CON, AUX, NUL, COM1, …, also with an extension) gets "_" appended to its
// stem, and a name left empty becomes "_".
QString portableName(const QString& name);

// The form under which two names count as the same on a case-insensitive or normalising file
// system: NFC, case-folded.
QString nameKey(const QString& name);

// Stored paths for relative paths ('/' separated), in the same order: every piece portable, a
// folder spelled the same way wherever it recurs, and no two paths equal under nameKey. A clash
// gets "-2", "-3", … before the extension of its file name, never taking a path that another
// entry of the list has naturally. The first entry with a name keeps it.
QStringList portablePaths(const QStringList& relativePaths);

} // namespace Tessavo
