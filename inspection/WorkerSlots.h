#pragma once

#include "inspection/WorkerProcess.h"

#include <QList>

#include <algorithm>
#include <memory>
#include <vector>

// What the import and recognition sessions share about their pools of workers. A slot type has
// `WorkerProcess* process` (null once retired) and `bool idle() const`.
namespace Tessavo::Inspection::WorkerSlots {

// An idle slot for which hasOpen(slot) holds, else any idle slot; null when none is idle.
template <typename Slot, typename HasOpen>
Slot* idleSlot(const std::vector<std::unique_ptr<Slot>>& pool, HasOpen hasOpen)
{
    Slot* idle = nullptr;
    for (const auto& slot : pool) {
        if (!slot->idle())
            continue;
        if (hasOpen(*slot))
            return slot.get();
        if (!idle)
            idle = slot.get();
    }
    return idle;
}

template <typename Slot> qsizetype running(const std::vector<std::unique_ptr<Slot>>& pool)
{
    return std::count_if(pool.begin(), pool.end(),
                         [](const auto& slot) { return slot->process != nullptr; });
}

// A new slot whose worker is starting (made by makeWorker, else running program); its frames and
// failure go to the owner's handlers, which receive the slot.
template <typename Slot, typename Owner>
Slot* startSlot(std::vector<std::unique_ptr<Slot>>& pool, const QString& program,
                const WorkerFactory& makeWorker, Owner* owner,
                void (Owner::*onFrame)(Slot&, const Frame&),
                void (Owner::*onFailed)(Slot&, WorkerProcess::Failure))
{
    auto slot = std::make_unique<Slot>();
    Slot* raw = slot.get();
    raw->process = makeWorker ? makeWorker(owner) : new WorkerProcess(program, owner);
    QObject::connect(raw->process, &WorkerProcess::frameReceived, owner,
                     [owner, raw, onFrame](const Frame& frame) { (owner->*onFrame)(*raw, frame); });
    QObject::connect(raw->process, &WorkerProcess::failed, owner,
                     [owner, raw, onFailed](WorkerProcess::Failure failure) {
                         (owner->*onFailed)(*raw, failure);
                     });
    raw->process->start();
    pool.push_back(std::move(slot));
    return raw;
}

// Kills the slot's worker without a further signal and lets it go once control returns to the
// event loop (a slot may be retired from inside its own worker's signal).
template <typename Slot> void stopWorker(Slot& slot, QObject* owner)
{
    slot.process->disconnect(owner);
    slot.process->kill();
    slot.process->deleteLater();
    slot.process = nullptr;
}

// Whether a slot's worker has spent its opening limit: counted in the processor time it was given
// since slot.openCpuMs, or in real time when its accounting cannot be read; a slot whose file has
// a page tree that contains itself (slot.loopFound) has the shorter limit. The real-time safety net
// counts from slot.since.
template <typename Slot, typename Options>
bool openingExpired(const Slot& slot, const Options& options)
{
    const int limit = slot.loopFound ? options.loopOpenTimeoutMs : options.openTimeoutMs;
    if (slot.since.hasExpired(options.openWallTimeoutMs))
        return true;
    const qint64 now = slot.openCpuMs >= 0 ? options.cpuClock(slot.process->processId()) : -1;
    if (now < 0)
        return slot.since.hasExpired(limit);
    return now - slot.openCpuMs > limit;
}

template <typename Slot>
QList<qint64> processIds(const std::vector<std::unique_ptr<Slot>>& pool, bool busyOnly = false)
{
    QList<qint64> ids;
    for (const auto& slot : pool) {
        if (slot->process && (!busyOnly || !slot->idle()))
            ids << slot->process->processId();
    }
    return ids;
}

} // namespace Tessavo::Inspection::WorkerSlots
