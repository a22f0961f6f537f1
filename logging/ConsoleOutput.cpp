#include "logging/ConsoleOutput.h"

#include "logging/LogRedaction.h"

#include <QByteArray>

#include <cstdio>

namespace Tessavo::Logging {

namespace {

void write(ConsoleStream stream, const QString& text)
{
    FILE* file = stream == ConsoleStream::Output ? stdout : stderr;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fflush(file);
}

} // namespace

QString printableText(const QString& text)
{
    return sanitizeLogMessage(text);
}

QString printableValue(const QString& value)
{
    return escapeControlCharacters(value);
}

void printLine(ConsoleStream stream, const QString& text)
{
    write(stream, printableText(text) + u'\n');
}

void printValueLine(ConsoleStream stream, const QString& value)
{
    write(stream, printableValue(value) + u'\n');
}

void printStatusLine(const QString& text)
{
    write(ConsoleStream::Error, u'\r' + printableText(text) + QStringLiteral("\x1b[K"));
}

} // namespace Tessavo::Logging
