#pragma once

#include <QRegularExpression>
#include <QString>

#include <functional>

namespace Tessavo::Logging {

// Cleans a message before it is logged: secrets, then absolute paths, then the length cap.
QString sanitizeLogMessage(const QString& text);

// Replaces credentials (authorization headers, key=value secrets, bearer tokens) by "***".
QString redactSecrets(const QString& text);

// Cuts every absolute path (quoted or bare) down to "<path>/" and its last component.
QString maskAbsolutePaths(const QString& text);

// "<path>/" followed by the last component of the path, or "<path>" when there is none.
QString shortenPath(const QString& path);

// Copy of text with every non-overlapping match replaced by what the callback returns for it.
QString replaceMatches(const QString& text, const QRegularExpression& expression,
                       const std::function<QString(const QRegularExpressionMatch&)>& callback);

} // namespace Tessavo::Logging
