#include "engine/model/date_formatter.h"

#include "engine/model/text.h"

#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace sorvik {

struct DateFormatPlan {
    enum class Field : std::uint8_t { literal, year, month, day, hour, minute, second };

    struct Piece {
        Field field = Field::literal;
        int count = 0;
        std::string text;
    };

    std::vector<Piece> pieces;
};

namespace {

    constexpr double millisecondsPerDay = 86'400'000.0;
    // The hand-made plan counts in the proleptic Gregorian calendar, which ICU's calendar
    // agrees with only after its Julian cutover in 1582; years of five digits are left to
    // ICU as well.
    constexpr std::int64_t firstPlannedYear = 1601;
    constexpr std::int64_t lastPlannedYear = 9998;
    constexpr std::size_t cacheLimit = 64;

    // Moments the plan must format exactly as ICU does before it is trusted: one- and
    // two-digit months, days, hours, minutes and seconds, both ends of a year and both
    // sides of 1970 and 2000.
    constexpr std::array<double, 9> probeUnixSeconds = {
        1231038245.678, // 2009-01-04 03:04:05.678 UTC
        946684799.0, // 1999-12-31 23:59:59 UTC
        1700000000.0, // 2023-11-14 22:13:20 UTC
        0.0, // 1970-01-01 00:00:00 UTC
        -1000000000.25, // 1938-04-24 22:13:19.75 UTC
        1655294400.5, // 2022-06-15 12:00:00.5 UTC
        4102444799.0, // 2099-12-31 23:59:59 UTC
        -6000000000.0, // 1779-11-13 13:20:00 UTC
        2147483647.0, // 2038-01-19 03:14:07 UTC
    };

    std::optional<DateFormatPlan> compilePlan(std::string_view pattern)
    {
        using Field = DateFormatPlan::Field;
        DateFormatPlan plan;
        auto appendLiteral = [&plan](std::string_view literal) {
            if (literal.empty())
                return;
            if (plan.pieces.empty() || plan.pieces.back().field != Field::literal)
                plan.pieces.push_back({ Field::literal, 0, {} });
            plan.pieces.back().text.append(literal);
        };
        std::size_t index = 0;
        while (index < pattern.size()) {
            char character = pattern[index];
            if (character == '\'') {
                if (index + 1 < pattern.size() && pattern[index + 1] == '\'') {
                    appendLiteral("'");
                    index += 2;
                    continue;
                }
                std::string quoted;
                std::size_t position = index + 1;
                bool closed = false;
                while (position < pattern.size()) {
                    if (pattern[position] != '\'') {
                        quoted.push_back(pattern[position++]);
                        continue;
                    }
                    if (position + 1 < pattern.size() && pattern[position + 1] == '\'') {
                        quoted.push_back('\'');
                        position += 2;
                        continue;
                    }
                    ++position;
                    closed = true;
                    break;
                }
                if (!closed)
                    return std::nullopt;
                appendLiteral(quoted);
                index = position;
                continue;
            }
            bool isLetter
                = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
            if (!isLetter) {
                appendLiteral(pattern.substr(index, 1));
                ++index;
                continue;
            }
            std::size_t end = index;
            while (end < pattern.size() && pattern[end] == character)
                ++end;
            int count = static_cast<int>(end - index);
            Field field = Field::literal;
            switch (character) {
            case 'y':
                field = Field::year;
                break;
            case 'M':
                field = Field::month;
                break;
            case 'd':
                field = Field::day;
                break;
            case 'H':
                field = Field::hour;
                break;
            case 'm':
                field = Field::minute;
                break;
            case 's':
                field = Field::second;
                break;
            default:
                return std::nullopt;
            }
            if (count > (field == Field::year ? 4 : 2))
                return std::nullopt;
            plan.pieces.push_back({ field, count, {} });
            index = end;
        }
        return plan;
    }

    void appendNumber(std::string& text, std::int64_t value, int minimumDigits)
    {
        std::array<char, 24> digits {};
        auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
        (void)error;
        auto length = static_cast<int>(end - digits.data());
        for (int padding = length; padding < minimumDigits; ++padding)
            text.push_back('0');
        text.append(digits.data(), end);
    }

    struct CivilDate {
        std::int64_t year;
        int month;
        int day;
    };

    // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
    CivilDate civilFromDays(std::int64_t days)
    {
        days += 719468;
        std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        auto dayOfEra = static_cast<std::int64_t>(days - era * 146097);
        std::int64_t yearOfEra
            = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
        auto day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
        auto month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
        return { yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day };
    }

} // namespace

DateFormatter::DateFormatter(
    std::string_view pattern, std::string_view localeName, std::string_view timeZoneID)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = localeName.empty()
        ? icu::Locale::getDefault()
        : icu::Locale::createCanonical(std::string(localeName).c_str());
    auto created
        = std::make_unique<icu::SimpleDateFormat>(text::toUnicode(pattern), locale, status);
    if (U_FAILURE(status))
        return;
    if (!timeZoneID.empty())
        created->adoptTimeZone(icu::TimeZone::createTimeZone(text::toUnicode(timeZoneID)));
    m_format = std::move(created);

    auto plan = compilePlan(pattern);
    if (!plan)
        return;
    m_plan = std::make_unique<const DateFormatPlan>(std::move(*plan));
    for (double seconds : probeUnixSeconds) {
        Date probe = Date::fromUnixSeconds(seconds);
        auto expected = formatWithICU(probe);
        if (!expected || formatWithPlan(probe) != expected) {
            m_plan.reset();
            return;
        }
    }
}

DateFormatter::~DateFormatter() = default;
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;

const DateFormatter& DateFormatter::cached(
    std::string_view pattern, std::string_view localeName, std::string_view timeZoneID)
{
    struct Cache {
        std::string key;
        std::unordered_map<std::string, std::unique_ptr<DateFormatter>> formatters;
    };
    thread_local Cache cache;

    // The key spells out what an empty locale or zone means right now. The pattern's length
    // leads so that no pattern can run into the names that follow it.
    std::string& key = cache.key;
    key.clear();
    key.append(std::to_string(pattern.size()));
    key.push_back(':');
    key.append(pattern);
    key.push_back('\n');
    key.append(
        localeName.empty() ? std::string_view(icu::Locale::getDefault().getName()) : localeName);
    key.push_back('\n');
    if (timeZoneID.empty()) {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
        icu::UnicodeString identifier;
        if (zone)
            zone->getID(identifier);
        identifier.toUTF8String(key);
    } else {
        key.append(timeZoneID);
    }

    auto found = cache.formatters.find(key);
    if (found != cache.formatters.end())
        return *found->second;
    // Patterns come from what users type, one formatter per keystroke; starting over now and
    // then keeps the cache small without bookkeeping on the hot path.
    if (cache.formatters.size() >= cacheLimit)
        cache.formatters.clear();
    auto inserted = cache.formatters.emplace(
        key, std::make_unique<DateFormatter>(pattern, localeName, timeZoneID));
    return *inserted.first->second;
}

std::optional<std::string> DateFormatter::format(Date date) const
{
    if (!m_format)
        return std::nullopt;
    if (m_plan) {
        if (auto planned = formatWithPlan(date))
            return planned;
    }
    return formatWithICU(date);
}

std::optional<std::string> DateFormatter::formatWithICU(Date date) const
{
    icu::UnicodeString result;
    UErrorCode status = U_ZERO_ERROR;
    m_format->format(date.icuDate(), result, nullptr, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return text::fromUnicode(result);
}

std::optional<std::string> DateFormatter::formatWithPlan(Date date) const
{
    double moment = date.icuDate();
    // Far outside the planned years; also keeps the conversions below in range.
    if (!std::isfinite(moment) || std::fabs(moment) > 1.0e15)
        return std::nullopt;
    std::int32_t rawOffset = 0;
    std::int32_t daylightOffset = 0;
    UErrorCode status = U_ZERO_ERROR;
    m_format->getTimeZone().getOffset(moment, false, rawOffset, daylightOffset, status);
    if (U_FAILURE(status))
        return std::nullopt;
    double local = moment + rawOffset + daylightOffset;
    double days = std::floor(local / millisecondsPerDay);
    auto secondOfDay
        = static_cast<std::int64_t>(std::floor((local - days * millisecondsPerDay) / 1000.0));
    if (secondOfDay < 0 || secondOfDay >= 86'400)
        return std::nullopt;
    CivilDate civil = civilFromDays(static_cast<std::int64_t>(days));
    if (civil.year < firstPlannedYear || civil.year > lastPlannedYear)
        return std::nullopt;

    std::string result;
    result.reserve(24);
    using Field = DateFormatPlan::Field;
    for (const auto& piece : m_plan->pieces) {
        switch (piece.field) {
        case Field::literal:
            result.append(piece.text);
            break;
        case Field::year:
            // "yy" is the last two digits; every other count is a minimum width.
            if (piece.count == 2)
                appendNumber(result, civil.year % 100, 2);
            else
                appendNumber(result, civil.year, piece.count);
            break;
        case Field::month:
            appendNumber(result, civil.month, piece.count);
            break;
        case Field::day:
            appendNumber(result, civil.day, piece.count);
            break;
        case Field::hour:
            appendNumber(result, secondOfDay / 3600, piece.count);
            break;
        case Field::minute:
            appendNumber(result, secondOfDay / 60 % 60, piece.count);
            break;
        case Field::second:
            appendNumber(result, secondOfDay % 60, piece.count);
            break;
        }
    }
    return result;
}

} // namespace sorvik
