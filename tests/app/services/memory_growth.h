#pragma once

#include <cstdint>
#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sorvik::testing {

/// How much the peak memory of a process grows while it does `work`, in bytes: a child
/// process does it and reports its peak resident set before and after, so that the test
/// program's own peak stays as it was. -1 when the child died doing it.
inline std::int64_t peakMemoryGrowth(const std::function<void()>& work)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        work();
        rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        std::int64_t growth = (std::int64_t(after.ru_maxrss) - before.ru_maxrss) * 1024;
        bool sent = ::write(channel[1], &growth, sizeof growth) == sizeof growth;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    std::int64_t growth = -1;
    if (child < 0 || ::read(channel[0], &growth, sizeof growth) != sizeof growth)
        growth = -1;
    ::close(channel[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return growth;
}

} // namespace sorvik::testing
