#include "app/services/date_detector.h"

#include "app/services/content_text.h"
#include "engine/model/text.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace sorvik {

std::string CalendarDay::isoText() const
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

namespace {

    struct Token {
        enum class Kind { number, word, space, punctuation };
        Kind kind;
        std::string text; // ASCII-lower-cased for words; the character for punctuation
        int value = 0; // numbers: their value, capped
        std::size_t digits = 0; // numbers: how many digits
    };

    bool isWordScalar(char32_t scalar)
    {
        if (scalar < 0x80)
            return (scalar >= 'a' && scalar <= 'z') || (scalar >= 'A' && scalar <= 'Z');
        auto mask = U_GET_GC_MASK(static_cast<UChar32>(scalar));
        return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
    }

    std::vector<Token> tokenize(std::string_view text)
    {
        std::vector<Token> tokens;
        std::size_t offset = 0;
        while (offset < text.size()) {
            std::size_t start = offset;
            UChar32 first = 0;
            auto position = static_cast<int32_t>(offset);
            U8_NEXT(text.data(), position, static_cast<int32_t>(text.size()), first);
            offset = static_cast<std::size_t>(position);
            auto scalar = first < 0 ? U'\uFFFD' : static_cast<char32_t>(first);

            if (scalar >= '0' && scalar <= '9') {
                Token token { Token::Kind::number, {}, static_cast<int>(scalar - '0'), 1 };
                while (offset < text.size() && text[offset] >= '0' && text[offset] <= '9') {
                    if (token.value < 100000)
                        token.value = token.value * 10 + (text[offset] - '0');
                    ++token.digits;
                    ++offset;
                }
                tokens.push_back(std::move(token));
                continue;
            }
            if (isWordScalar(scalar)) {
                Token token { Token::Kind::word, {}, 0, 0 };
                std::size_t end = offset;
                while (end < text.size()) {
                    UChar32 next = 0;
                    auto nextPosition = static_cast<int32_t>(end);
                    U8_NEXT(text.data(), nextPosition, static_cast<int32_t>(text.size()), next);
                    if (next < 0 || (next >= '0' && next <= '9')
                        || !isWordScalar(static_cast<char32_t>(next)))
                        break;
                    end = static_cast<std::size_t>(nextPosition);
                }
                offset = end;
                for (char character : text.substr(start, end - start)) {
                    token.text += (character >= 'A' && character <= 'Z')
                        ? static_cast<char>(character - 'A' + 'a')
                        : character;
                }
                tokens.push_back(std::move(token));
                continue;
            }
            if (contentText::isWhitespaceOrNewline(scalar)) {
                if (tokens.empty() || tokens.back().kind != Token::Kind::space)
                    tokens.push_back({ Token::Kind::space, " ", 0, 0 });
                continue;
            }
            tokens.push_back({ Token::Kind::punctuation,
                std::string(text.substr(start, offset - start)), 0, 0 });
        }
        return tokens;
    }

    struct MonthName {
        std::string_view name;
        int month;
    };

    // English and Spanish names and their usual abbreviations. "set" (Spanish September) is
    // left out: as an English word it is far more often something else.
    // clang-format off
    constexpr MonthName monthNames[] = {
        { "january", 1 }, { "jan", 1 }, { "enero", 1 }, { "ene", 1 },
        { "february", 2 }, { "feb", 2 }, { "febrero", 2 },
        { "march", 3 }, { "mar", 3 }, { "marzo", 3 },
        { "april", 4 }, { "apr", 4 }, { "abril", 4 }, { "abr", 4 },
        { "may", 5 }, { "mayo", 5 },
        { "june", 6 }, { "jun", 6 }, { "junio", 6 },
        { "july", 7 }, { "jul", 7 }, { "julio", 7 },
        { "august", 8 }, { "aug", 8 }, { "agosto", 8 }, { "ago", 8 },
        { "september", 9 }, { "sep", 9 }, { "sept", 9 }, { "septiembre", 9 },
        { "setiembre", 9 },
        { "october", 10 }, { "oct", 10 }, { "octubre", 10 },
        { "november", 11 }, { "nov", 11 }, { "noviembre", 11 },
        { "december", 12 }, { "dec", 12 }, { "diciembre", 12 }, { "dic", 12 },
    };
    // clang-format on

    int monthNumber(const Token& token)
    {
        if (token.kind != Token::Kind::word)
            return 0;
        for (const auto& [name, month] : monthNames) {
            if (token.text == name)
                return month;
        }
        return 0;
    }

    bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

    std::optional<CalendarDay> validDay(int year, int month, int day)
    {
        static constexpr int lengths[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1)
            return std::nullopt;
        int length = lengths[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
        if (day > length)
            return std::nullopt;
        return CalendarDay { year, month, day };
    }

    int expandYear(const Token& token)
    {
        if (token.digits == 4)
            return token.value;
        if (token.digits == 2)
            return token.value < 50 ? 2000 + token.value : 1900 + token.value;
        return 0;
    }

    class Matcher {
    public:
        Matcher(const std::vector<Token>& tokens, DateDetector::NumericOrder order)
            : m_tokens(tokens)
            , m_order(order)
        {
        }

        std::optional<CalendarDay> matchAt(std::size_t index) const
        {
            if (!startsCleanly(index))
                return std::nullopt;
            const Token& token = m_tokens[index];
            if (token.kind == Token::Kind::number) {
                if (auto found = numeric(index))
                    return found;
                if (auto found = dayMonthYear(index))
                    return found;
                return yearMonthDay(index);
            }
            return monthDayYear(index);
        }

    private:
        const Token* at(std::size_t index) const
        {
            return index < m_tokens.size() ? &m_tokens[index] : nullptr;
        }

        bool isNumber(std::size_t index) const
        {
            auto* token = at(index);
            return token && token->kind == Token::Kind::number;
        }

        bool isPunctuation(std::size_t index, std::string_view set) const
        {
            auto* token = at(index);
            return token && token->kind == Token::Kind::punctuation && token->text.size() == 1
                && set.find(token->text[0]) != std::string_view::npos;
        }

        // A date starts where no letter touches it and it does not continue a number chain.
        bool startsCleanly(std::size_t index) const
        {
            if (index == 0)
                return true;
            if (m_tokens[index - 1].kind == Token::Kind::word)
                return false;
            return !(isPunctuation(index - 1, "-/.:,") && index >= 2 && isNumber(index - 2));
        }

        // A date ends where no letter touches it and no number chain goes on; an ISO time
        // ("T10:30") may follow directly.
        bool endsCleanly(std::size_t next) const
        {
            auto* token = at(next);
            if (!token)
                return true;
            if (token->kind == Token::Kind::word)
                return token->text == "t" && isNumber(next + 1);
            return !(isPunctuation(next, "-/.") && isNumber(next + 1));
        }

        // "2024-03-15", "15/03/2024", "03/15/24", "15.03.2024"
        std::optional<CalendarDay> numeric(std::size_t index) const
        {
            if (!isNumber(index + 2) || !isNumber(index + 4) || !isPunctuation(index + 1, "-/.")
                || m_tokens[index + 1].text != m_tokens[index + 3].text || !endsCleanly(index + 5))
                return std::nullopt;
            const Token& first = m_tokens[index];
            const Token& second = m_tokens[index + 2];
            const Token& third = m_tokens[index + 4];
            if (second.digits > 2)
                return std::nullopt;
            if (first.digits == 4)
                return third.digits <= 2 ? validDay(first.value, second.value, third.value)
                                         : std::nullopt;
            if (first.digits > 2 || (third.digits != 4 && third.digits != 2))
                return std::nullopt;
            int year = expandYear(third);
            auto monthFirst = validDay(year, first.value, second.value);
            auto dayFirst = validDay(year, second.value, first.value);
            if (m_order == DateDetector::NumericOrder::monthFirst)
                return monthFirst ? monthFirst : dayFirst;
            return dayFirst ? dayFirst : monthFirst;
        }

        struct Gap {
            std::size_t next = 0;
            bool isOneDash = false; // exactly one "-" or "/" and nothing else
            std::string dash;
        };

        // What may stand between the parts of a written date: spaces, at most two of
        // ",.-/" and at most one "of", "de" or "del". At least one token.
        std::optional<Gap> gap(std::size_t index) const
        {
            std::size_t next = index;
            int punctuation = 0;
            int connectors = 0;
            std::string dashes;
            bool onlyDash = true;
            while (auto* token = at(next)) {
                if (token->kind == Token::Kind::space) {
                    onlyDash = false;
                } else if (isPunctuation(next, ",.-/")) {
                    if (++punctuation > 2)
                        return std::nullopt;
                    if (token->text == "-" || token->text == "/")
                        dashes += token->text;
                    else
                        onlyDash = false;
                } else if (token->kind == Token::Kind::word
                    && (token->text == "of" || token->text == "de" || token->text == "del")) {
                    if (++connectors > 1)
                        return std::nullopt;
                    onlyDash = false;
                } else {
                    break;
                }
                ++next;
            }
            if (next == index)
                return std::nullopt;
            bool isOneDash = onlyDash && next == index + 1 && dashes.size() == 1;
            return Gap { next, isOneDash, dashes };
        }

        // A day number with an optional ordinal ending ("1st", "2nd", "1º"); the index after.
        std::optional<std::size_t> day(std::size_t index) const
        {
            auto* token = at(index);
            if (!token || token->kind != Token::Kind::number || token->digits > 2)
                return std::nullopt;
            auto* ending = at(index + 1);
            if (ending && ending->kind == Token::Kind::word) {
                static constexpr std::string_view ordinals[]
                    = { "st", "nd", "rd", "th", "\u00BA", "\u00AA" };
                for (auto ordinal : ordinals) {
                    if (ending->text == ordinal)
                        return index + 2;
                }
                return std::nullopt;
            }
            return index + 1;
        }

        // A year after a month name: four digits, or two in the compact "15-Mar-24".
        std::optional<int> yearAfter(std::size_t index, const Gap& first, const Gap& second) const
        {
            auto* token = at(index);
            if (!token || token->kind != Token::Kind::number || !endsCleanly(index + 1))
                return std::nullopt;
            if (token->digits == 4)
                return token->value;
            if (token->digits == 2 && first.isOneDash && second.isOneDash
                && first.dash == second.dash)
                return expandYear(*token);
            return std::nullopt;
        }

        // "15 March 2024", "15th of March, 2024", "15 de marzo de 2024", "15-Mar-24"
        std::optional<CalendarDay> dayMonthYear(std::size_t index) const
        {
            auto afterDay = day(index);
            if (!afterDay)
                return std::nullopt;
            auto first = gap(*afterDay);
            if (!first || !at(first->next))
                return std::nullopt;
            int month = monthNumber(m_tokens[first->next]);
            if (month == 0)
                return std::nullopt;
            auto second = gap(first->next + 1);
            if (!second)
                return std::nullopt;
            auto year = yearAfter(second->next, *first, *second);
            if (!year)
                return std::nullopt;
            return validDay(*year, month, m_tokens[index].value);
        }

        // "March 15, 2024", "Mar. 1st 2024", "marzo 15 de 2024"
        std::optional<CalendarDay> monthDayYear(std::size_t index) const
        {
            int month = monthNumber(m_tokens[index]);
            if (month == 0)
                return std::nullopt;
            auto first = gap(index + 1);
            if (!first)
                return std::nullopt;
            auto afterDay = day(first->next);
            if (!afterDay)
                return std::nullopt;
            auto second = gap(*afterDay);
            if (!second)
                return std::nullopt;
            auto year = yearAfter(second->next, *first, *second);
            if (!year)
                return std::nullopt;
            return validDay(*year, month, m_tokens[first->next].value);
        }

        // "2024 March 15", "2024-Mar-15"
        std::optional<CalendarDay> yearMonthDay(std::size_t index) const
        {
            const Token& year = m_tokens[index];
            if (year.digits != 4)
                return std::nullopt;
            auto first = gap(index + 1);
            if (!first || !at(first->next))
                return std::nullopt;
            int month = monthNumber(m_tokens[first->next]);
            if (month == 0)
                return std::nullopt;
            auto second = gap(first->next + 1);
            if (!second)
                return std::nullopt;
            auto afterDay = day(second->next);
            if (!afterDay || !endsCleanly(*afterDay))
                return std::nullopt;
            return validDay(year.value, month, m_tokens[second->next].value);
        }

        const std::vector<Token>& m_tokens;
        DateDetector::NumericOrder m_order;
    };

} // namespace

DateDetector::DateDetector(NumericOrder order)
    : m_order(order)
{
}

DateDetector::NumericOrder DateDetector::numericOrder(std::string_view localeName)
{
    icu::Locale locale = localeName.empty()
        ? icu::Locale::getDefault()
        : icu::Locale::createCanonical(std::string(localeName).c_str());
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
    auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get());
    if (!simple)
        return NumericOrder::monthFirst;
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    auto dayAt = pattern.indexOf(u'd');
    auto monthAt = pattern.indexOf(u'M');
    if (monthAt < 0)
        monthAt = pattern.indexOf(u'L');
    return (dayAt >= 0 && monthAt >= 0 && dayAt < monthAt) ? NumericOrder::dayFirst
                                                           : NumericOrder::monthFirst;
}

std::optional<CalendarDay> DateDetector::firstDate(std::string_view text) const
{
    auto tokens = tokenize(text);
    Matcher matcher(tokens, m_order);
    for (std::size_t index = 0; index < tokens.size(); ++index) {
        auto kind = tokens[index].kind;
        if (kind != Token::Kind::number && kind != Token::Kind::word)
            continue;
        if (auto found = matcher.matchAt(index))
            return found;
    }
    return std::nullopt;
}

} // namespace sorvik
