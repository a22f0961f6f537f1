#include "inspection/ProcessCpuTime.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace Tessavo::Inspection {

qint64 processCpuTimeMs(qint64 pid)
{
    if (pid <= 0)
        return -1;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.read(4096);
    // "pid (command) state ppid ...": the command may hold spaces and parentheses, so the fields
    // are counted from the last closing parenthesis. utime and stime are fields 14 and 15.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    constexpr int utimeAfterCommand = 11; // field 14, counted from field 3
    if (fields.size() <= utimeAfterCommand + 1)
        return -1;
    bool userOk = false;
    bool systemOk = false;
    const qulonglong user = fields.at(utimeAfterCommand).toULongLong(&userOk);
    const qulonglong system = fields.at(utimeAfterCommand + 1).toULongLong(&systemOk);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    constexpr qulonglong maxTicks = qulonglong(1) << 40; // far beyond any real process
    if (!userOk || !systemOk || ticksPerSecond <= 0 || user > maxTicks || system > maxTicks)
        return -1;
    return qint64((user + system) * 1000 / qulonglong(ticksPerSecond));
}

} // namespace Tessavo::Inspection
