#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace Tessavo::Logging {

struct LogLimits {
    qint64 maxMessageChars = 4096; // longest message text kept; 0 or less: no cap
    qint64 maxFileBytes = 2097152; // the log file is rotated once it reaches this size
    int keepFiles = 3;             // rotated files kept beside the current one
};

// Sets the folder of the daily log file and installs the message handler (once per process).
// An empty folder, or one that cannot be created, sends lines to standard error only.
void initLogging(const QString& directory);

// The handler installed by initLogging: one redacted line to the log file and to stderr.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

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
