#pragma once

#include "core/Failure.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace Tessavo::Logging {

struct LogLimits {
    qint64 maxMessageChars = 4096; // longest message text kept; 0 or less: no cap
    qint64 maxFileBytes = 2097152; // the log file is rotated once it reaches this size
    int keepFiles = 3;             // rotated files kept beside the current one
};

// Lines kept in memory at most while the log folder is not known yet; later ones are counted.
inline constexpr qsizetype maxHeldLines = 1000;

// Installs the message handler (once per process) before the log folder is known, so that even
// the first messages of the process are redacted. Their lines go to standard error at once and
// are held for the log file until initLogging names its folder.
void installMessageHandler();

// Sets the folder of the daily log file, writes the held lines to it and installs the message
// handler if that has not happened yet. An empty folder, or one that cannot be created, sends
// lines to standard error only; the latter fails and says so.
Status initLogging(const QString& directory);

// Lines below this severity go to the log file only, not to standard error (by default every line
// goes to both). A command-line run that reports on standard error itself raises it.
void setStandardErrorThreshold(QtMsgType minimum);

// The handler installed by initLogging: one redacted line to the log file and to stderr.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Logs a message that another process (an inspection worker) sent to this one, at its own level:
// the same redaction, escaping, line format, file and standard error as a message of this
// process. The context gives the source file and line when the sender reported them (the file
// string must stay valid during the call). Thread-safe; a fatal level is written as "FATAL" but
// never ends this process.
void logForwardedMessage(QtMsgType type, const QString& message,
                         const QMessageLogContext& context = QMessageLogContext());

// The five-character level word written in square brackets.
QString levelName(QtMsgType type);

// One log line without its line end, for the given local time.
QString formatLogLine(const QDateTime& time, QtMsgType type, const QMessageLogContext& context,
                      const QString& cleanedMessage);

// Renames a full log file to ".1", shifting older ones up to ".keepFiles"; the caller holds the
// log mutex.
void rotateIfNeeded(const QString& logFilePath, const LogLimits& limits);

// The path lines are appended to now; empty when only stderr is written.
QString currentLogFilePath();

// The limits in force, read under the log mutex.
LogLimits currentLogLimits();

} // namespace Tessavo::Logging
