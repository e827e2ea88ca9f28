#pragma once

// What the benchmark programs share beside their scratch home: running the benchmarks the
// command line names, and measuring how long the event loop went unserved.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

#include <benchmark/benchmark.h>

namespace sorvik::bench {

/// Runs the benchmarks the arguments select, once the program's application object exists;
/// the program's exit status (1 for an argument it does not know).
inline int runBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

/// The longest time between two runs of a timer of `interval` milliseconds: how long the
/// thread's event loop could not answer while it ran.
class GapMeter {
public:
    explicit GapMeter(int interval)
    {
        m_timer.setInterval(interval);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { note(); });
    }
    GapMeter(const GapMeter&) = delete;
    GapMeter& operator=(const GapMeter&) = delete;

    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    /// The longest gap since `start`, in nanoseconds, the one up to now among them: the work
    /// measured often ends inside the last event.
    qint64 stop()
    {
        note();
        m_timer.stop();
        return m_longest;
    }

private:
    void note()
    {
        auto now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace sorvik::bench
