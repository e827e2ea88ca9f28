#pragma once

#include <chrono>

namespace sorvik {

/// The clock that decides when a file has been quiet long enough. It must be monotonic: a
/// clock set back or forward, or a suspend in the middle of a copy, must never make a file that
/// is still arriving look settled. The log's dates come from the wall clock instead.
class WatchClock {
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~WatchClock() = default;
    /// Time since some fixed moment, never going back.
    virtual Duration now() const = 0;
};

/// `CLOCK_MONOTONIC`: it stands still while the computer sleeps and ignores clock changes.
class SteadyWatchClock : public WatchClock {
public:
    Duration now() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

} // namespace sorvik
