#pragma once

#include <QRegularExpression>
#include <QString>

#include <functional>

namespace Tessavo::Logging {

// Longest message text the patterns ever see; anything beyond is dropped before they run, so no
// message costs more than this much work.
inline constexpr qsizetype maxRedactionInputChars = 65536;

// What the rest of a message becomes when the expression engine gives up on it.
inline constexpr char16_t redactedRemainder[] = u"<redacted>";

// Cleans a message before it is logged: the input bound, secrets, absolute paths, control
// characters, then the length cap.
QString sanitizeLogMessage(const QString& text);

// Replaces credentials (URL user-info, authorization headers of any scheme, digest responses,
// key=value secrets, bearer tokens) by "***".
QString redactSecrets(const QString& text);

// Cuts every absolute path (quoted, bare, file URL or behind a scheme) down to "<path>/" and its
// last component.
QString maskAbsolutePaths(const QString& text);

// Escapes line breaks and other control characters ("\n", "\r", "\t", "\uXXXX"), so that one
// message always stays one line.
QString escapeControlCharacters(const QString& text);

// "<path>/" followed by the last component of the path, or "<path>" when there is none.
QString shortenPath(const QString& path);

// Copy of text with every non-overlapping match replaced by what the callback returns for it.
// When the expression engine gives up (match limit, stack), the text from the point where the
// failing search began is replaced by "<redacted>": nothing is passed through unexamined.
QString replaceMatches(const QString& text, const QRegularExpression& expression,
                       const std::function<QString(const QRegularExpressionMatch&)>& callback);

} // namespace Tessavo::Logging
