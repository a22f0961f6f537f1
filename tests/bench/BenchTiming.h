#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>

// What the benchmarks share: made-up texts from word lists, the time a piece of work takes, and
// the median of several such times.
namespace Bench {

// One of the words, as the generator picks it.
inline const QString& pick(QRandomGenerator& random, const QStringList& words)
{
    return words.at(random.bounded(int(words.size())));
}

// The milliseconds one run of the work takes.
template <typename Work> double millisecondsOf(Work&& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The seconds the fastest of several runs takes.
template <typename Work> double bestSecondsOf(int runs, Work&& work)
{
    double best = 1e12;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, millisecondsOf(work));
    return best / 1e3;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace Bench
