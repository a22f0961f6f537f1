#include "inspection/ParentWatch.h"

#include <QByteArray>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace Tessavo::Inspection {

void endWithParent(int pollMs)
{
    // The parent's id comes from the parent itself: one that died before this process looked would
    // otherwise go unnoticed, as the adoptive parent would be taken for the real one.
    pid_t parent = ::getppid();
    bool ok = false;
    const int announced = qEnvironmentVariableIntValue(parentPidVariable, &ok);
    if (ok && announced > 1)
        parent = pid_t(announced);
    if (::getppid() != parent)
        std::_Exit(3);
    std::thread([parent, pollMs] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
            if (::getppid() != parent)
                std::_Exit(3);
        }
    }).detach();
}

} // namespace Tessavo::Inspection
