#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs a program that is not ours (unzip, python3, qpdf, pdftotext) and collects its output.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool ok() const { return exitCode == 0; }
};

inline ToolRun runTool(const QString& program, const QStringList& arguments,
                       const QByteArray& input = {})
{
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted(30000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Runs a Python 3 script given as text with the arguments that follow it.
inline ToolRun runPython(const QByteArray& script, const QStringList& arguments = {})
{
    return runTool(QStringLiteral("python3"),
                   QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + arguments);
}
