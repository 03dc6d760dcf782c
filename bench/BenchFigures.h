#pragma once

// What every benchmark measures and prints with: the middle of several runs, the time of one
// piece of work, and a figure line "name: value" that bench/run collects.
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTextStream>
#include <algorithm>
#include <functional>

/** The middle value of @p values (which it sorts); 0 when there are none. */
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

inline double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

inline void print(const char *name, double ms)
{
    QTextStream(stdout) << name << ": " << QString::number(ms, 'f', 2) << Qt::endl;
}
