#include "logging/LogFile.h"

#include "logging/LogRedaction.h"

#include "core/PrivateFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace Tessavo::Logging {

namespace {

struct LogState {
    QMutex mutex;
    QString directory;
    QString filePath;
    bool handlerInstalled = false;
    bool folderKnown = false;   // initLogging has run; until then file lines are held
    QStringList heldLines;      // lines waiting for the log folder, oldest first
    qsizetype droppedLines = 0; // lines beyond maxHeldLines, not kept
    const LogLimits limits{};
    std::atomic<int> standardErrorRank{0}; // lines of a lower severity stay out of stderr
};

// Severity in ascending order; QtMsgType's own values are not ordered.
int severityRank(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 0;
    case QtInfoMsg:
        return 1;
    case QtWarningMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtFatalMsg:
        return 4;
    }
    return 2;
}

LogState& state()
{
    static LogState instance;
    return instance;
}

QString bareFileName(const char* file)
{
    const QString path = QString::fromUtf8(file);
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

QString rotatedPath(const QString& logFilePath, int n)
{
    return logFilePath + QStringLiteral(".%1").arg(n);
}

// Appends the lines to the log file; the caller holds the log mutex. A file that cannot be opened
// (or is not a regular file of its own: a link, a pipe) is skipped without any report.
void appendLines(LogState& s, const QStringList& lines)
{
    if (s.filePath.isEmpty() || lines.isEmpty())
        return;
    rotateIfNeeded(s.filePath, s.limits);
    const int fd = openPrivateFileForAppend(s.filePath);
    if (fd < 0)
        return;
    QFile file;
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text,
                  QFileDevice::AutoCloseHandle)) {
        QTextStream stream(&file);
        stream.setEncoding(QStringConverter::Utf8);
        for (const QString& line : lines)
            stream << line << '\n';
    } else {
        ::close(fd);
    }
}

void markHandlerInstalled()
{
    LogState& s = state();
    bool installedBefore = false;
    {
        QMutexLocker lock(&s.mutex);
        installedBefore = s.handlerInstalled;
        s.handlerInstalled = true;
    }
    if (!installedBefore)
        qInstallMessageHandler(messageHandler);
}

// Cleans and formats one message, writes it (or holds it while the folder is unknown) and echoes
// it to standard error.
void writeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line =
        formatLogLine(QDateTime::currentDateTime(), type, context, sanitizeLogMessage(message));

    LogState& s = state();
    {
        QMutexLocker lock(&s.mutex);
        if (!s.folderKnown) {
            if (s.heldLines.size() < maxHeldLines)
                s.heldLines.append(line);
            else
                ++s.droppedLines;
        } else {
            appendLines(s, {line});
        }
    }

    if (severityRank(type) < s.standardErrorRank.load())
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void setStandardErrorThreshold(QtMsgType minimum)
{
    state().standardErrorRank.store(severityRank(minimum));
}

void installMessageHandler()
{
    markHandlerInstalled();
}

Status initLogging(const QString& directory)
{
    LogState& s = state();
    bool ready = false;
    {
        QMutexLocker lock(&s.mutex);
        s.directory = directory;
        // The log tells which files were worked on: only the user may read it.
        ready = !directory.isEmpty() && makePrivateFolder(directory).ok;
        if (ready)
            (void)securePrivateFolder(directory); // files of an older version get their mode
        s.filePath = ready
                         ? QDir(directory).filePath(
                               QStringLiteral("tessavo-%1.log")
                                   .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))))
                         : QString();
        if (!s.folderKnown) {
            s.folderKnown = true;
            QStringList held = std::exchange(s.heldLines, {});
            if (s.droppedLines > 0) {
                held.append(formatLogLine(
                    QDateTime::currentDateTime(), QtWarningMsg, QMessageLogContext(),
                    QStringLiteral("%1 earlier message(s) were not kept for the log file")
                        .arg(s.droppedLines)));
                s.droppedLines = 0;
            }
            appendLines(s, held);
        }
    }
    markHandlerInstalled();
    if (!ready && !directory.isEmpty())
        return Status::failure(QStringLiteral("cannot create the log folder %1").arg(directory));
    return Status::success();
}

QString levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtInfoMsg:
        return QStringLiteral("INFO ");
    case QtWarningMsg:
        return QStringLiteral("WARN ");
    case QtCriticalMsg:
        return QStringLiteral("ERROR");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    }
    return QStringLiteral("INFO ");
}

QString formatLogLine(const QDateTime& time, QtMsgType type, const QMessageLogContext& context,
                      const QString& cleanedMessage)
{
    QString line = time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral(" [") +
                   levelName(type) + QStringLiteral("] ") + cleanedMessage;
    if (context.file)
        line += QStringLiteral(" (%1:%2)").arg(bareFileName(context.file)).arg(context.line);
    return line;
}

void rotateIfNeeded(const QString& logFilePath, const LogLimits& limits)
{
    if (QFileInfo(logFilePath).size() < limits.maxFileBytes)
        return;
    for (int n = std::max(1, limits.keepFiles); n >= 2; --n) {
        QFile::remove(rotatedPath(logFilePath, n));
        QFile::rename(rotatedPath(logFilePath, n - 1), rotatedPath(logFilePath, n));
    }
    QFile::remove(rotatedPath(logFilePath, 1));
    QFile::rename(logFilePath, rotatedPath(logFilePath, 1));
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    writeMessage(type, context, message);
    if (type == QtFatalMsg)
        std::abort();
}

void logForwardedMessage(QtMsgType type, const QString& message, const QMessageLogContext& context)
{
    writeMessage(type, context, message);
}

QString currentLogFilePath()
{
    QMutexLocker lock(&state().mutex);
    return state().filePath;
}

LogLimits currentLogLimits()
{
    QMutexLocker lock(&state().mutex);
    return state().limits;
}

} // namespace Tessavo::Logging
