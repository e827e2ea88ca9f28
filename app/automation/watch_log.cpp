#include "app/automation/watch_log.h"

#include "engine/model/date_formatter.h"
#include "engine/model/text.h"

#include <map>
#include <memory>

#include <unicode/dtptngen.h>
#include <unicode/locid.h>

namespace sorvik {

namespace {

    /// The best pattern of the skeleton in the locale, kept per thread: making a pattern
    /// generator takes a while.
    std::string patternFor(std::string_view localeName)
    {
        thread_local std::map<std::string, std::string, std::less<>> patterns;
        icu::Locale locale = localeName.empty()
            ? icu::Locale::getDefault()
            : icu::Locale::createCanonical(std::string(localeName).c_str());
        std::string key = locale.getName();
        if (auto found = patterns.find(key); found != patterns.end())
            return found->second;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(locale, status));
        std::string pattern = "y-MM-dd HH:mm";
        if (U_SUCCESS(status)) {
            auto best = generator->getBestPattern(icu::UnicodeString(u"yMdjmm"), status);
            if (U_SUCCESS(status))
                pattern = text::fromUnicode(best);
        }
        patterns.emplace(key, pattern);
        return pattern;
    }

} // namespace

std::string watchLogDate(Date date, std::string_view localeName)
{
    const auto& formatter = DateFormatter::cached(patternFor(localeName), localeName);
    return formatter.format(date).value_or(std::string());
}

std::string watchLogLine(Date date, std::string_view text)
{
    return watchLogDate(date) + std::string(watchLogSeparator) + std::string(text);
}

} // namespace sorvik
