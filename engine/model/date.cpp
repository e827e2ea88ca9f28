#include "engine/model/date.h"

#include "engine/model/json.h"

#include <chrono>

namespace sorvik {

Date Date::now()
{
    auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
    return fromTimespec(static_cast<std::time_t>(nanoseconds / 1'000'000'000),
        static_cast<long>(nanoseconds % 1'000'000'000));
}

Date Date::fromUnixSeconds(double unixSeconds) { return Date { unixSeconds - unixEpochOffset }; }

Date Date::fromTimespec(std::time_t seconds, long nanoseconds)
{
    // Subtract in integers first so that the whole seconds lose nothing.
    auto whole = static_cast<double>(static_cast<long long>(seconds) - 978307200LL);
    return Date { whole + static_cast<double>(nanoseconds) / 1e9 };
}

Date Date::distantPast() { return Date { -63114076800.0 }; }

void to_json(nlohmann::json& json, const Date& date) { json = date.seconds; }

void from_json(const nlohmann::json& json, Date& date)
{
    date.seconds = json::decode<double>(json);
}

} // namespace sorvik
