#pragma once

#include "tasks/TaskService.h"

#include <QList>
#include <QObject>

// Records every signal of a task service, in emission order.
struct TaskEventRecord {
    enum Kind { Started, Progress, Cancellation, Finished };
    Kind kind;
    quint64 id;
    Morvane::TaskService::Outcome outcome = Morvane::TaskService::Outcome::Succeeded;
    int percent = -1;
    QVariant result;
    QString error;
};

class TaskRecorder : public QObject {
public:
    explicit TaskRecorder(Morvane::TaskService* service)
    {
        using S = Morvane::TaskService;
        connect(service, &S::started, this,
                [this](qulonglong id) { add(TaskEventRecord::Started, id); });
        connect(service, &S::progress, this, [this](qulonglong id, int percent) {
            add(TaskEventRecord::Progress, id, S::Outcome::Succeeded, percent);
        });
        connect(service, &S::cancellationRequested, this, [this](qulonglong id, S::Outcome reason) {
            add(TaskEventRecord::Cancellation, id, reason);
        });
        connect(service, &S::finished, this,
                [this](qulonglong id, S::Outcome outcome, const QVariant& result,
                       const QString& error) {
                    add(TaskEventRecord::Finished, id, outcome, -1, result, error);
                });
    }

    QList<TaskEventRecord> of(quint64 id) const
    {
        QList<TaskEventRecord> mine;
        for (const TaskEventRecord& e : events) {
            if (e.id == id)
                mine.append(e);
        }
        return mine;
    }

    bool isFinished(quint64 id) const
    {
        const QList<TaskEventRecord> mine = of(id);
        return !mine.isEmpty() && mine.constLast().kind == TaskEventRecord::Finished;
    }

    QList<TaskEventRecord> events;

private:
    void add(TaskEventRecord::Kind kind, quint64 id,
             Morvane::TaskService::Outcome outcome = Morvane::TaskService::Outcome::Succeeded,
             int percent = -1, const QVariant& result = {}, const QString& error = {})
    {
        events.append({kind, id, outcome, percent, result, error});
    }
};
