#include "logging/LogFile.h"

#include "logging/LogRedaction.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace Tessavo::Logging {

namespace {

struct LogState {
    QMutex mutex;
    QString directory;
    QString filePath;
    bool handlerInstalled = false;
    const LogLimits limits;
};

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

} // namespace

void initLogging(const QString& directory)
{
    LogState& s = state();
    bool installedBefore = false;
    {
        QMutexLocker lock(&s.mutex);
        s.directory = directory;
        const bool ready = !directory.isEmpty() && QDir().mkpath(directory);
        s.filePath = ready
                         ? QDir(directory).filePath(
                               QStringLiteral("tessavo-%1.log")
                                   .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))))
                         : QString();
        installedBefore = s.handlerInstalled;
        s.handlerInstalled = true;
    }
    if (!installedBefore)
        qInstallMessageHandler(messageHandler);
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
    const QString line =
        formatLogLine(QDateTime::currentDateTime(), type, context, sanitizeLogMessage(message));

    LogState& s = state();
    {
        QMutexLocker lock(&s.mutex);
        if (!s.filePath.isEmpty()) {
            rotateIfNeeded(s.filePath, s.limits);
            QFile file(s.filePath);
            if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
                QTextStream stream(&file);
                stream.setEncoding(QStringConverter::Utf8);
                stream << line << '\n';
            }
        }
    }

    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);

    if (type == QtFatalMsg)
        std::abort();
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
