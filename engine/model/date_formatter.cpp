#include "engine/model/date_formatter.h"

#include "engine/model/text.h"

#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace sorvik {

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
}

DateFormatter::~DateFormatter() = default;
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;

std::optional<std::string> DateFormatter::format(Date date) const
{
    if (!m_format)
        return std::nullopt;
    icu::UnicodeString result;
    UErrorCode status = U_ZERO_ERROR;
    m_format->format(date.icuDate(), result, nullptr, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return text::fromUnicode(result);
}

} // namespace sorvik
