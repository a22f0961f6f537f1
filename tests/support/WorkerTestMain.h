#pragma once

#include "core/InspectionWorker.h"

#include <QGuiApplication>
#include <QTest>

// A test main for executables that import PDFs: started with the private worker option, the test
// executable serves as the inspection worker, exactly as the application's own executable does.
#define TESSAVO_TEST_MAIN_WITH_WORKER(TestClass)                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        if (Tessavo::isInspectionWorkerInvocation(argc, argv))                                     \
            return Tessavo::runInspectionWorker(argc, argv);                                       \
        QGuiApplication application(argc, argv);                                                   \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
