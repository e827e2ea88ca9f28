#pragma once

#include <compare>
#include <ctime>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// A moment in time: seconds since 2001-01-01 00:00:00 UTC, with their fraction. This is
/// also the stored form, so a date written to JSON reads back bit for bit.
struct Date {
    /// Seconds from 1970-01-01 (the Unix epoch) to 2001-01-01.
    static constexpr double unixEpochOffset = 978307200.0;

    double seconds = 0;

    static Date now();
    static Date fromUnixSeconds(double unixSeconds);
    /// Exact for every time stamp the file system hands out (`stat`, `statx`).
    static Date fromTimespec(std::time_t seconds, long nanoseconds);
    /// The first moment of year 1, far before any file.
    static Date distantPast();

    double unixSeconds() const { return seconds + unixEpochOffset; }
    /// Milliseconds since the Unix epoch, as ICU's `UDate`.
    double icuDate() const { return unixSeconds() * 1000.0; }

    friend bool operator==(const Date&, const Date&) = default;
    friend auto operator<=>(const Date&, const Date&) = default;
};

void to_json(nlohmann::json& json, const Date& date);
/// Strict: a JSON number, nothing else.
void from_json(const nlohmann::json& json, Date& date);

} // namespace sorvik
