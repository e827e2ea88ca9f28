#pragma once

#include <QProcess>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// What a program that ran to its end gave.
struct ProgramResult {
    /// The exit status; -1 when it did not exit by itself.
    int status = -1;
    std::string out;
    std::string err;
};

/// Starts `process`, which the caller has set up, and waits two minutes at most for it to
/// end: one still running then is killed, and the test fails.
inline ProgramResult runToEnd(QProcess& process)
{
    process.start();
    ProgramResult result;
    if (!process.waitForFinished(120'000)) {
        ADD_FAILURE() << process.program().toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

/// Reads the events of `watcher` (an inotify descriptor) while `process` runs, and gives the
/// name of each (empty for the watched folder itself) to `seen` until it answers true: the
/// moment a test waits for, found without sleeping. False when `process` ended first or a
/// minute passed.
inline bool waitForEvent(
    int watcher, const QProcess& process, const std::function<bool(std::string_view)>& seen)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    alignas(inotify_event) char events[64 * 1024];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable { watcher, POLLIN, 0 };
        if (::poll(&readable, 1, 50) > 0) {
            auto length = ::read(watcher, events, sizeof events);
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + offset);
                if (seen(std::string_view(event->len > 0 ? event->name : "")))
                    return true;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            continue;
        }
        if (process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

} // namespace sorvik::testing
