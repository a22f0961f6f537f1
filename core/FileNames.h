#pragma once

#include <QString>

namespace Tessavo {

// What file names Windows, macOS and the upload portals of tenders accept.

// Whether a name's stem (before its first dot, trailing spaces ignored) is a device name Windows
// reserves: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0 to LPT9 (also with the
// superscript digits), in any case. "NUL.pdf" and "nul .tar.gz" name the device as well.
bool isReservedDeviceName(const QString& name);

// The form under which two names count as the same on a case-insensitive or normalising file
// system: NFC, case-folded.
QString nameKey(const QString& name);

// A name's length in characters (Unicode code points), extension included.
qsizetype nameLength(const QString& name);

// The characters of a plain name: ASCII letters and digits, space, "-", "_", ".", "(" and ")".
bool isPlainNameCharacter(QChar c);

// What makes a name unwelcome to an upload portal that asks for plain names; None when nothing
// does. Checked in this order.
enum class PlainNameFault {
    None,
    Empty,
    ForbiddenCharacter, // one of \ / : * ? " < > | or a control character
    NotPlain,           // another character outside the plain ones
    LeadingPeriod,
    TrailingPeriodOrSpace,
    DeviceName,
};
PlainNameFault plainNameFault(const QString& name);

// "contains a character outside letters, digits, space and - _ . ( )", … for the fault.
QString plainNameFaultText(PlainNameFault fault);

} // namespace Tessavo
