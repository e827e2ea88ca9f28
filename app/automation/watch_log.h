#pragma once

#include "engine/model/date.h"

#include <string>
#include <string_view>

namespace sorvik {

/// The separator between a log line's date and its text, and before a folder's name.
inline constexpr std::string_view watchLogSeparator = " \u00B7 ";

/// `date` as the log shows it: a numeric date and a short time in the user's locale (ICU's
/// best pattern for the skeleton "yMdjmm", e.g. "6/28/2025, 3:04 PM" or "28/06/2025, 15:04").
/// `localeName` empty is the user's locale.
std::string watchLogDate(Date date, std::string_view localeName = {});

/// One log line: the date, the separator, the text.
std::string watchLogLine(Date date, std::string_view text);

} // namespace sorvik
