#pragma once

#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace sorvik::testing {

/// Makes `zoneID` the process's time zone, for the C library (TZ) and for ICU's default
/// zone, while the object lives; restores both afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zoneID)
    {
        if (const char* previous = std::getenv("TZ"))
            m_previous = previous;
        m_previousDefault.reset(icu::TimeZone::createDefault());
        ::setenv("TZ", zoneID, 1);
        ::tzset();
        icu::TimeZone::adoptDefault(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneID)));
    }
    ~ScopedTimeZone()
    {
        if (m_previous)
            ::setenv("TZ", m_previous->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        icu::TimeZone::adoptDefault(m_previousDefault.release());
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_previous;
    std::unique_ptr<icu::TimeZone> m_previousDefault;
};

/// Makes `localeName` ICU's default locale while the object lives.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* localeName)
        : m_previous(icu::Locale::getDefault())
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(localeName), status);
    }
    ~ScopedLocale()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(m_previous, status);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    icu::Locale m_previous;
};

} // namespace sorvik::testing
