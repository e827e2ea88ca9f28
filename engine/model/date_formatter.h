#pragma once

#include "engine/model/date.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

namespace sorvik {

/// The hand-made route of a date formatter (see below); private to it.
struct DateFormatPlan;

/// An ICU date format with a fixed pattern, locale and time zone. Construction is the
/// expensive part: build one and reuse it (`cached` keeps them per thread). `format` is const
/// and safe to call from several threads at once (ICU formats on a copy of its calendar).
///
/// Formatting through ICU costs about a microsecond, most of it in its number formatting.
/// Patterns made only of numeric year, month, day, hour, minute and second fields and
/// literal text are therefore also compiled into a plan that formats by hand. The plan is
/// used only after it gave ICU's own text for a set of probe dates at construction, so a
/// locale with other digits or another calendar keeps ICU's result; dates outside the years
/// 1601 to 9998 always go through ICU.
class DateFormatter {
public:
    /// An empty `localeName` is the user's locale, an empty `timeZoneID` the system's zone.
    explicit DateFormatter(std::string_view pattern, std::string_view localeName = {},
        std::string_view timeZoneID = {});
    ~DateFormatter();
    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;

    /// A formatter for this pattern, locale and zone from a cache kept per thread, built on
    /// first use. An empty `localeName` or `timeZoneID` stands for the user's locale or the
    /// default zone at the time of the call, so a changed default gets a formatter of its own.
    /// The reference stays valid until the next call of `cached` on the same thread.
    static const DateFormatter& cached(std::string_view pattern, std::string_view localeName = {},
        std::string_view timeZoneID = {});

    /// False when ICU refused the pattern.
    bool isValid() const { return m_format != nullptr; }
    /// The formatted date, or nothing when the pattern was refused or formatting failed.
    std::optional<std::string> format(Date date) const;

private:
    std::optional<std::string> formatWithICU(Date date) const;
    std::optional<std::string> formatWithPlan(Date date) const;

    std::unique_ptr<icu::SimpleDateFormat> m_format;
    std::unique_ptr<const DateFormatPlan> m_plan;
};

} // namespace sorvik
