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

/// An ICU date format with a fixed pattern, locale and time zone. Construction is the
/// expensive part: build one and reuse it. `format` is const and safe to call from several
/// threads at once (ICU formats on a copy of its calendar).
class DateFormatter {
public:
    /// An empty `localeName` is the user's locale, an empty `timeZoneID` the system's zone.
    explicit DateFormatter(std::string_view pattern, std::string_view localeName = {},
        std::string_view timeZoneID = {});
    ~DateFormatter();
    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;

    /// False when ICU refused the pattern.
    bool isValid() const { return m_format != nullptr; }
    /// The formatted date, or nothing when the pattern was refused or formatting failed.
    std::optional<std::string> format(Date date) const;

private:
    std::unique_ptr<icu::SimpleDateFormat> m_format;
};

} // namespace sorvik
