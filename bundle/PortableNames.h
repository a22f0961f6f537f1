#pragma once

#include "core/FileNames.h" // nameKey
#include "core/SubmissionProfile.h"

#include <QString>
#include <QStringList>

namespace Tessavo {

// One file or folder name made acceptable to Windows and macOS as well: characters Windows
// forbids (\ / : * ? " < > |) and control characters become "_", trailing dots and spaces are
// dropped, a device name (CON, AUX, NUL, COM1, …, also with an extension) gets "_" appended to its
// stem, and a name left empty becomes "_".
QString portableName(const QString& name);

// Stored paths for relative paths ('/' separated), in the same order: every piece portable, a
// folder spelled the same way wherever it recurs, and no two paths equal under nameKey. A clash
// gets "-2", "-3", … before the extension of its file name, never taking a path that another
// entry of the list has naturally. The first entry with a name keeps it.
QStringList portablePaths(const QStringList& relativePaths);

// Names for files stored side by side, fitted to the limits, in the same order. With plain names
// every character outside the plain ones becomes "_" (a letter loses its accent first, a run of
// others makes one "_") and leading periods and spaces go; with a length, the stem is shortened
// and the extension kept. Every name is portable, none a device name, and no two are alike under
// nameKey: a clash gets "-2", "-3", … before the extension, shortened to stay within the length,
// never taking a name another entry has naturally. Only a length too short for the number itself
// is exceeded.
QStringList fittedNames(const QStringList& names, const NameLimits& limits);

} // namespace Tessavo
