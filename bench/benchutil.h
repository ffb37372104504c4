#ifndef KWN_BENCH_BENCHUTIL_H
#define KWN_BENCH_BENCHUTIL_H

// Small helpers shared by the benchmark programs: run a piece of work many
// times and report the median and the worst time in milliseconds.

#include <QElapsedTimer>
#include <QVector>
#include <algorithm>
#include <cstdio>

struct BenchFigures
{
    double medianMs = 0;
    double maxMs = 0;
    int runs = 0;
};

template<typename Work>
BenchFigures measure(int runs, Work work)
{
    QVector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    BenchFigures f;
    f.runs = runs;
    f.medianMs = times.isEmpty() ? 0 : times.at(times.size() / 2);
    f.maxMs = times.isEmpty() ? 0 : times.last();
    return f;
}

// Prints one line "name: median X ms, max Y ms (N runs), goal <= G ms: ok|MISSED"
// and returns whether the goal was met.
inline bool report(const char *name, const BenchFigures &f, double goalMs)
{
    const bool ok = f.medianMs <= goalMs;
    std::printf("%-48s median %8.3f ms  max %8.3f ms  (%d runs)  goal <= %g ms: %s\n",
                name, f.medianMs, f.maxMs, f.runs, goalMs, ok ? "ok" : "MISSED");
    std::fflush(stdout);
    return ok;
}

// The same line for a figure shown beside the goals but not judged (a cold
// cache, Qt's own share of an edit): "... for information, <= G ms: within|beyond".
inline void reportInfo(const char *name, const BenchFigures &f, double goalMs)
{
    std::printf("%-48s median %8.3f ms  max %8.3f ms  (%d runs)  for information, <= %g ms: %s\n",
                name, f.medianMs, f.maxMs, f.runs, goalMs, f.medianMs <= goalMs ? "within" : "beyond");
    std::fflush(stdout);
}

#endif
