#include "logging/LogRedaction.h"

#include "logging/LogFile.h"

namespace Tessavo::Logging {

namespace {

// Each expression is compiled on first use and shared by every thread that logs.

const QRegularExpression& authorizationHeader()
{
    static const QRegularExpression re(QStringLiteral(
        R"re((?i)(authorization\s*["']?\s*[:=]\s*["']?)(?:bearer|basic)\s+[^\s"',;]+)re"));
    return re;
}

const QRegularExpression& keyValueSecret()
{
    static const QRegularExpression re(QStringLiteral(
        R"re((?i)([A-Za-z0-9_-]*(?:token|api[_-]?key|access[_-]?key|secret|password|passwd|licen[cs]e[_-]?key|private[_-]?key|cookie)[A-Za-z0-9_-]*)(["']?\s*[:=]\s*["']?)([^\s"',;]+))re"));
    return re;
}

const QRegularExpression& bearerToken()
{
    static const QRegularExpression re(QStringLiteral(R"re((?i)bearer\s+[A-Za-z0-9._~+/=-]+)re"));
    return re;
}

const QRegularExpression& doubleQuotedPath()
{
    static const QRegularExpression re(
        QStringLiteral(R"re("((?:[A-Za-z]:[\\/]|\\\\|/)[^"\r\n]*)")re"));
    return re;
}

const QRegularExpression& singleQuotedPath()
{
    static const QRegularExpression re(
        QStringLiteral(R"re('((?:[A-Za-z]:[\\/]|\\\\|/)[^'\r\n]*)')re"));
    return re;
}

const QRegularExpression& barePath()
{
    static const QRegularExpression re(QStringLiteral(
        R"re((?<![A-Za-z0-9:./\\>])(?:[A-Za-z]:[\\/][^\s"'<>|?*,;]*|\\\\[^\s"'<>|?*,;]+|/[^\s"'<>|?*,;]+))re"));
    return re;
}

QString keepQuotesAroundShortenedPath(const QRegularExpressionMatch& match)
{
    const QString whole = match.captured(0);
    const QChar quote = whole.isEmpty() ? QChar(u'"') : whole.front();
    return quote + shortenPath(match.captured(1)) + quote;
}

} // namespace

QString replaceMatches(const QString& text, const QRegularExpression& expression,
                       const std::function<QString(const QRegularExpressionMatch&)>& callback)
{
    QString result;
    result.reserve(text.size());
    qsizetype position = 0;
    auto it = expression.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedStart(0) < position)
            continue;
        result += QStringView(text).mid(position, match.capturedStart(0) - position);
        result += callback(match);
        position = match.capturedEnd(0);
    }
    result += QStringView(text).mid(position);
    return result;
}

QString shortenPath(const QString& path)
{
    QString normalized = path;
    normalized.replace(u'\\', u'/');
    while (normalized.endsWith(u'/'))
        normalized.chop(1);
    const QString last = normalized.mid(normalized.lastIndexOf(u'/') + 1);
    return last.isEmpty() ? QStringLiteral("<path>") : QStringLiteral("<path>/") + last;
}

QString redactSecrets(const QString& text)
{
    QString result = text;
    result.replace(authorizationHeader(), QStringLiteral("\\1***"));
    result.replace(keyValueSecret(), QStringLiteral("\\1\\2***"));
    result.replace(bearerToken(), QStringLiteral("Bearer ***"));
    return result;
}

QString maskAbsolutePaths(const QString& text)
{
    QString result = replaceMatches(text, doubleQuotedPath(), keepQuotesAroundShortenedPath);
    result = replaceMatches(result, singleQuotedPath(), keepQuotesAroundShortenedPath);
    return replaceMatches(result, barePath(), [](const QRegularExpressionMatch& match) {
        return shortenPath(match.captured(0));
    });
}

QString sanitizeLogMessage(const QString& text)
{
    QString result = maskAbsolutePaths(redactSecrets(text));
    const qint64 cap = currentLogLimits().maxMessageChars;
    if (cap > 0 && result.size() > cap) {
        result.truncate(qsizetype(cap));
        result += QStringLiteral(" <truncated>");
    }
    return result;
}

} // namespace Tessavo::Logging
