#include "tasks/BackgroundRunner.h"

#include <chrono>

namespace Tessavo::Tasks {

BackgroundRunner::BackgroundRunner(QThreadPool* pool)
    : m_pool(pool ? pool : QThreadPool::globalInstance())
{}

int BackgroundRunner::active() const
{
    const std::lock_guard lock(m_tracker->mutex);
    return m_tracker->running;
}

bool BackgroundRunner::waitForDone(int timeoutMs) const
{
    std::unique_lock lock(m_tracker->mutex);
    const auto none = [this] {
        return m_tracker->running == 0;
    };
    if (timeoutMs < 0) {
        m_tracker->idle.wait(lock, none);
        return true;
    }
    return m_tracker->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), none);
}

void BackgroundRunner::Tracker::begin()
{
    const std::lock_guard lock(mutex);
    ++running;
}

void BackgroundRunner::Tracker::end()
{
    const std::lock_guard lock(mutex);
    if (--running == 0)
        idle.notify_all();
}

} // namespace Tessavo::Tasks
