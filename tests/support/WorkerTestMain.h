#pragma once

#include "inspection/InspectionWorker.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTest>
#include <QThread>

#include <cstdio>

// A test main for executables that import PDFs: started with the worker option, the test
// executable serves as the inspection worker, exactly as the application's own executable does.
//
// Test workers hold on before opening a file whose name starts with "gate": they create a file of
// the same path plus ".waiting" (the worker has said it is loading the file) and wait until one
// plus ".open" exists (at most a minute), so tests decide exactly when an inspection proceeds.
// Before opening a file whose name starts with "warn" they log a warning and write a line to
// standard error. Before recognising any page but the first of a file whose name starts with "hold"
// they wait until a file of the same path plus ".ocr" exists.
namespace WorkerTestHooks {

inline QString gateOf(const QString& path)
{
    return path + QStringLiteral(".open");
}

inline QString waitingAt(const QString& path)
{
    return path + QStringLiteral(".waiting");
}

inline Tessavo::Inspection::WorkerHooks hooks()
{
    Tessavo::Inspection::WorkerHooks hooks;
    hooks.beforeOpen = [](const QString& path) {
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith(QLatin1String("warn"))) {
            qWarning("test worker warns about %s", qPrintable(name));
            std::fprintf(stderr, "test worker writes to stderr about %s\n", qPrintable(name));
            std::fflush(stderr);
        }
        if (!name.startsWith(QLatin1String("gate")))
            return;
        QFile(waitingAt(path)).open(QIODevice::WriteOnly);
        for (int waited = 0; waited < 60000 && !QFileInfo::exists(gateOf(path)); waited += 10)
            QThread::msleep(10);
    };
    hooks.beforeRecognise = [](const QString& path, int pageIndex) {
        if (pageIndex == 0 || !QFileInfo(path).fileName().startsWith(QLatin1String("hold")))
            return;
        for (int waited = 0; waited < 60000 && !QFileInfo::exists(path + QStringLiteral(".ocr"));
             waited += 10)
            QThread::msleep(10);
    };
    return hooks;
}

} // namespace WorkerTestHooks

#define TESSAVO_TEST_MAIN_WITH_WORKER(TestClass)                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        if (Tessavo::Inspection::isWorkerInvocation(argc, argv))                                   \
            return Tessavo::Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());           \
        QGuiApplication application(argc, argv);                                                   \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
