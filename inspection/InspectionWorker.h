#pragma once

#include <QString>

#include <functional>

namespace Tessavo::Inspection {

// Lets a test executable that serves as its own worker slow the worker down at a chosen point.
struct WorkerHooks {
    std::function<void(const QString& path)> beforeOpen;
    std::function<void(const QString& path, int pageIndex)> beforeRecognise;
    std::function<void(const QString& path, int pageIndex)> beforeRender;
};

// True when the process was started as an inspection worker: the worker option is exactly its
// first argument.
bool isWorkerInvocation(int argc, char** argv);

// The worker's whole life: answer Read, Recognise and Render requests from standard input on
// standard output until standard input closes. Messages, its own and those of the libraries it
// uses, go to the application as Log frames or on standard error; nothing else is written.
int runWorker(int argc, char** argv, const WorkerHooks& hooks = {});

} // namespace Tessavo::Inspection
