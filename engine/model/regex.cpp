#include "engine/model/regex.h"

#include "engine/model/error.h"
#include "engine/model/text.h"

#include <array>
#include <vector>

#include <unicode/regex.h>
#include <unicode/utypes.h>

namespace sorvik {

namespace {

    // Units of ICU's match-engine clock; one unit is a few milliseconds of work at most.
    constexpr int32_t matchTimeLimit = 200;
    constexpr int32_t matchStackLimit = 1 << 20;

    struct MatchRange {
        int32_t start = 0;
        int32_t end = 0;
        std::vector<std::pair<int32_t, int32_t>> groups;
    };

    std::unique_ptr<icu::RegexMatcher> makeMatcher(
        const icu::RegexPattern& pattern, const icu::UnicodeString& text)
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
        if (U_FAILURE(status))
            return nullptr;
        matcher->setTimeLimit(matchTimeLimit, status);
        matcher->setStackLimit(matchStackLimit, status);
        if (U_FAILURE(status))
            return nullptr;
        return matcher;
    }

    using SharedPattern = std::shared_ptr<const icu::RegexPattern>;

    struct CachedMatcher {
        SharedPattern pattern;
        std::unique_ptr<icu::RegexMatcher> matcher;
    };

    /// Matchers kept per thread for the last few patterns: making a matcher costs more than
    /// most matches, and a preview runs the same expressions over every file of a list. A
    /// reset matcher starts its time limit afresh, as a new one would.
    std::array<CachedMatcher, 8>& matcherCache()
    {
        thread_local std::array<CachedMatcher, 8> cache;
        return cache;
    }

    /// A matcher of the pattern set to `text`, which it refers to until the next call on this
    /// thread; nothing when ICU cannot make one.
    icu::RegexMatcher* matcherFor(const SharedPattern& pattern, const icu::UnicodeString& text)
    {
        thread_local std::size_t nextSlot = 0;
        auto& cache = matcherCache();
        for (auto& entry : cache) {
            if (entry.pattern == pattern) {
                entry.matcher->reset(text);
                return entry.matcher.get();
            }
        }
        auto matcher = makeMatcher(*pattern, text);
        if (!matcher)
            return nullptr;
        auto& slot = cache[nextSlot];
        nextSlot = (nextSlot + 1) % cache.size();
        slot.pattern = pattern;
        slot.matcher = std::move(matcher);
        return slot.matcher.get();
    }

    /// Drops the pattern's matcher after a failed match, so that no state of it carries over.
    void forgetMatcher(const SharedPattern& pattern)
    {
        for (auto& entry : matcherCache()) {
            if (entry.pattern == pattern) {
                entry.matcher.reset();
                entry.pattern.reset();
            }
        }
    }

    /// Every match, or nothing when the engine gave up (time or stack limit).
    std::optional<std::vector<MatchRange>> allMatches(
        const SharedPattern& pattern, const icu::UnicodeString& text)
    {
        auto* matcher = matcherFor(pattern, text);
        if (!matcher)
            return std::nullopt;
        std::vector<MatchRange> matches;
        UErrorCode status = U_ZERO_ERROR;
        int32_t groupCount = matcher->groupCount();
        while (matcher->find(status) && U_SUCCESS(status)) {
            MatchRange range;
            range.start = matcher->start(status);
            range.end = matcher->end(status);
            for (int32_t group = 1; group <= groupCount; ++group)
                range.groups.emplace_back(
                    matcher->start(group, status), matcher->end(group, status));
            if (U_FAILURE(status))
                break;
            matches.push_back(std::move(range));
        }
        if (U_FAILURE(status)) {
            forgetMatcher(pattern);
            return std::nullopt;
        }
        return matches;
    }

    icu::UnicodeString expandTemplate(const icu::UnicodeString& text, const MatchRange& match,
        const icu::UnicodeString& replacement)
    {
        auto groupCount = static_cast<int32_t>(match.groups.size());
        icu::UnicodeString result;
        for (int32_t index = 0; index < replacement.length(); ++index) {
            char16_t unit = replacement.charAt(index);
            if (unit == u'\\') {
                if (index + 1 < replacement.length()) {
                    UChar32 next = replacement.char32At(index + 1);
                    result.append(next);
                    index += U16_LENGTH(next);
                } else {
                    result.append(unit);
                }
                continue;
            }
            if (unit != u'$' || index + 1 >= replacement.length()
                || !u_isdigit(replacement.charAt(index + 1))) {
                result.append(unit);
                continue;
            }
            ++index;
            int32_t group = u_charDigitValue(replacement.charAt(index));
            while (index + 1 < replacement.length() && u_isdigit(replacement.charAt(index + 1))) {
                int32_t longer = group * 10 + u_charDigitValue(replacement.charAt(index + 1));
                if (longer > groupCount)
                    break;
                group = longer;
                ++index;
            }
            if (group == 0) {
                result.append(text, match.start, match.end - match.start);
            } else if (group <= groupCount) {
                auto [start, end] = match.groups[static_cast<std::size_t>(group - 1)];
                if (start >= 0)
                    result.append(text, start, end - start);
            }
        }
        return result;
    }

} // namespace

Regex::Regex(std::shared_ptr<const icu::RegexPattern> pattern)
    : m_pattern(std::move(pattern))
{
}

Regex Regex::compile(std::string_view pattern, bool caseInsensitive)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError {};
    uint32_t flags = caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
    std::shared_ptr<const icu::RegexPattern> compiled(
        icu::RegexPattern::compile(text::toUnicode(pattern), flags, parseError, status));
    if (U_FAILURE(status) || !compiled)
        throw Error(
            "The regular expression is not valid (" + std::string(u_errorName(status)) + ")");
    return Regex(std::move(compiled));
}

std::optional<Regex> Regex::tryCompile(std::string_view pattern, bool caseInsensitive)
{
    try {
        return compile(pattern, caseInsensitive);
    } catch (const Error&) {
        return std::nullopt;
    }
}

Regex Regex::literal(std::string_view literalText, bool caseInsensitive)
{
    return compile(escapedPattern(literalText), caseInsensitive);
}

std::string Regex::escapedPattern(std::string_view literalText)
{
    // \Q…\E cannot hold "\E" itself, so escape character by character instead.
    static constexpr std::string_view special = "\\^$.|?*+()[]{}-/#&~ ";
    std::string result;
    result.reserve(literalText.size() * 2);
    for (char character : literalText) {
        if (special.find(character) != std::string_view::npos)
            result.push_back('\\');
        result.push_back(character);
    }
    return result;
}

bool Regex::search(std::string_view input) const
{
    auto unicode = text::toUnicode(input);
    auto* matcher = matcherFor(m_pattern, unicode);
    if (!matcher)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    bool found = matcher->find(status);
    if (U_FAILURE(status)) {
        forgetMatcher(m_pattern);
        return false;
    }
    return found;
}

int Regex::captureGroupCount() const
{
    auto matcher = makeMatcher(*m_pattern, icu::UnicodeString());
    return matcher ? matcher->groupCount() : 0;
}

std::string Regex::replacing(
    std::string_view input, std::string_view replacementTemplate, Occurrence occurrence) const
{
    return replace(input, replacementTemplate, true, occurrence);
}

std::string Regex::replacingLiterally(
    std::string_view input, std::string_view replacement, Occurrence occurrence) const
{
    return replace(input, replacement, false, occurrence);
}

std::string Regex::replace(std::string_view input, std::string_view replacement, bool shouldExpand,
    Occurrence occurrence) const
{
    auto unicode = text::toUnicode(input);
    auto matches = allMatches(m_pattern, unicode);
    if (!matches || matches->empty())
        return std::string(input);
    std::size_t first = 0;
    std::size_t last = matches->size();
    if (occurrence == Occurrence::first)
        last = 1;
    if (occurrence == Occurrence::last)
        first = matches->size() - 1;

    auto replacementText = text::toUnicode(replacement);
    icu::UnicodeString result;
    int32_t copied = 0;
    for (std::size_t index = first; index < last; ++index) {
        const MatchRange& match = (*matches)[index];
        result.append(unicode, copied, match.start - copied);
        result.append(
            shouldExpand ? expandTemplate(unicode, match, replacementText) : replacementText);
        copied = match.end;
    }
    result.append(unicode, copied, unicode.length() - copied);
    return text::fromUnicode(result);
}

} // namespace sorvik
