#include "engine/pipeline/token_resolver.h"

#include "engine/model/date_formatter.h"
#include "engine/pipeline/padded_number.h"
#include "engine/pipeline/token_parser.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace sorvik::TokenResolver {

namespace {

    constexpr std::string_view defaultDatePattern = "yyyy-MM-dd";
    // The date tokens of the file and of the run format the same way whatever the user's
    // locale; only "exif.date" follows it.
    constexpr std::string_view fixedDateLocale = "en_US_POSIX";
    constexpr std::size_t parsedTemplateLimit = 64;

    /// A whole number: an optional "+" or "-", then ASCII digits only, within 64 bits.
    std::optional<std::int64_t> wholeNumber(std::string_view text)
    {
        bool isNegative = false;
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            isNegative = text.front() == '-';
            text.remove_prefix(1);
        }
        if (text.empty())
            return std::nullopt;
        std::uint64_t magnitude = 0;
        for (char character : text) {
            if (character < '0' || character > '9')
                return std::nullopt;
            auto digit = static_cast<std::uint64_t>(character - '0');
            if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
                return std::nullopt;
            magnitude = magnitude * 10 + digit;
        }
        constexpr auto largest
            = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        if (isNegative) {
            if (magnitude > largest + 1)
                return std::nullopt;
            return static_cast<std::int64_t>(0 - magnitude);
        }
        if (magnitude > largest)
            return std::nullopt;
        return static_cast<std::int64_t>(magnitude);
    }

    std::optional<int> digitsAt(std::string_view text, std::size_t position, std::size_t count)
    {
        int value = 0;
        for (std::size_t index = position; index < position + count; ++index) {
            char character = text[index];
            if (character < '0' || character > '9')
                return std::nullopt;
            value = value * 10 + (character - '0');
        }
        return value;
    }

    std::int64_t daysFromCivil(std::int64_t year, int month, int day)
    {
        year -= month <= 2 ? 1 : 0;
        std::int64_t era = (year >= 0 ? year : year - 399) / 400;
        std::int64_t yearOfEra = year - era * 400;
        std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
        std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146097 + dayOfEra - 719468;
    }

    bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

    /// An internet date and time as the metadata service writes "exif.date":
    /// "yyyy-MM-ddTHH:mm:ss" and a zone designator, "Z" or "+HH:mm" / "-HH:mm", without
    /// fractional seconds.
    std::optional<Date> parseInternetDateTime(std::string_view text)
    {
        if (text.size() != 20 && text.size() != 25)
            return std::nullopt;
        if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':'
            || text[16] != ':')
            return std::nullopt;
        auto year = digitsAt(text, 0, 4);
        auto month = digitsAt(text, 5, 2);
        auto day = digitsAt(text, 8, 2);
        auto hour = digitsAt(text, 11, 2);
        auto minute = digitsAt(text, 14, 2);
        auto second = digitsAt(text, 17, 2);
        if (!year || !month || !day || !hour || !minute || !second)
            return std::nullopt;
        static constexpr int daysInMonth[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        if (*month < 1 || *month > 12 || *day < 1)
            return std::nullopt;
        int monthLength = daysInMonth[*month - 1] + (*month == 2 && isLeapYear(*year) ? 1 : 0);
        if (*day > monthLength || *hour > 23 || *minute > 59 || *second > 59)
            return std::nullopt;

        int offsetSeconds = 0;
        if (text.size() == 20) {
            if (text[19] != 'Z')
                return std::nullopt;
        } else {
            if ((text[19] != '+' && text[19] != '-') || text[22] != ':')
                return std::nullopt;
            auto offsetHours = digitsAt(text, 20, 2);
            auto offsetMinutes = digitsAt(text, 23, 2);
            if (!offsetHours || !offsetMinutes || *offsetHours > 23 || *offsetMinutes > 59)
                return std::nullopt;
            offsetSeconds
                = (*offsetHours * 3600 + *offsetMinutes * 60) * (text[19] == '-' ? -1 : 1);
        }
        std::int64_t seconds = daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600
            + *minute * 60 + *second - offsetSeconds;
        return Date::fromUnixSeconds(static_cast<double>(seconds));
    }

    bool isWhitespaceScalar(UChar32 scalar)
    {
        if (scalar == 0x85)
            return true;
        auto category = u_charType(scalar);
        return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR
            || category == U_PARAGRAPH_SEPARATOR;
    }

    /// Appends the value made fit for a file name: "/" and ":" become "-", the text is cut at
    /// every run of white space and line ends, and the non-empty pieces are joined with single
    /// spaces. Bytes that are not valid UTF-8 are kept as they are.
    void appendCleaned(std::string& result, std::string_view value)
    {
        if (value.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            result.append(value);
            return;
        }
        auto length = static_cast<std::int32_t>(value.size());
        bool hasPiece = false;
        bool needsSpace = false;
        std::int32_t offset = 0;
        while (offset < length) {
            auto byte = static_cast<unsigned char>(value[static_cast<std::size_t>(offset)]);
            if (byte < 0x80) {
                if (byte == ' ' || (byte >= 0x09 && byte <= 0x0D)) {
                    needsSpace = hasPiece;
                    ++offset;
                    continue;
                }
                if (needsSpace) {
                    result.push_back(' ');
                    needsSpace = false;
                }
                result.push_back(byte == '/' || byte == ':' ? '-' : static_cast<char>(byte));
                hasPiece = true;
                ++offset;
                continue;
            }
            std::int32_t start = offset;
            UChar32 scalar = 0;
            U8_NEXT(value.data(), offset, length, scalar);
            if (scalar >= 0 && isWhitespaceScalar(scalar)) {
                needsSpace = hasPiece;
                continue;
            }
            if (needsSpace) {
                result.push_back(' ');
                needsSpace = false;
            }
            result.append(value.substr(
                static_cast<std::size_t>(start), static_cast<std::size_t>(offset - start)));
            hasPiece = true;
        }
    }

    std::string formattedDate(
        Date date, const std::optional<std::string>& format, std::string_view localeName)
    {
        std::string_view pattern = format ? std::string_view(*format) : defaultDatePattern;
        return DateFormatter::cached(pattern, localeName).format(date).value_or(std::string());
    }

    std::string decimal(std::int64_t value)
    {
        std::array<char, 24> digits {};
        auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        return std::string(digits.data(), end);
    }

    std::string counter(const TokenSegment::Token& token, const RenameContext& context)
    {
        std::int64_t number = 0;
        // The run is never that long; a context built by hand still gets a number.
        if (__builtin_add_overflow(context.index, 1, &number))
            number = std::numeric_limits<std::int64_t>::max();
        std::int64_t width = 1;
        if (token.format) {
            if (auto read = wholeNumber(*token.format))
                width = *read;
        }
        return RenamePipeline::paddedNumber(number, width);
    }

    /// The value of a metadata token before the fallback for an empty value and the cleaning.
    std::string metadataValue(const TokenSegment::Token& token, const RenameContext& context)
    {
        std::string value;
        if (auto found = context.metadata.find(token.name); found != context.metadata.end())
            value = found->second;
        else if (token.fallback)
            value = *token.fallback;

        if (token.name == "exif.date") {
            if (auto date = parseInternetDateTime(value))
                value = formattedDate(*date, token.format, {});
        } else if (token.name == "video.duration" && token.format == "mm-ss") {
            if (auto seconds = wholeNumber(value)) {
                std::array<char, 48> text {};
                std::snprintf(text.data(), text.size(), "%02lld-%02lld",
                    static_cast<long long>(*seconds / 60), static_cast<long long>(*seconds % 60));
                value = text.data();
            }
        }
        if (token.format) {
            if (auto number = wholeNumber(value)) {
                if (auto width = wholeNumber(*token.format))
                    value = RenamePipeline::paddedNumber(*number, *width);
            }
        }
        return value;
    }

    /// The value of a built-in token other than "name" and "ext", or of a metadata token;
    /// nothing for a name the resolver does not know.
    std::optional<std::string> drawnValue(
        const TokenSegment::Token& token, const RenameContext& context)
    {
        const std::string& name = token.name;
        const FileItem& item = context.item;
        if (name == "folder")
            return item.url.deletingLastPathComponent().lastPathComponent();
        if (name == "parent")
            return item.url.deletingLastPathComponent()
                .deletingLastPathComponent()
                .lastPathComponent();
        if (name == "#")
            return counter(token, context);
        if (name == "size")
            return decimal(item.size);
        if (name == "size.kb")
            return decimal(item.size / 1024);
        if (name == "size.mb")
            return decimal(item.size / 1048576);
        if (name == "date.created")
            return formattedDate(item.created, token.format, fixedDateLocale);
        if (name == "date.modified")
            return formattedDate(item.modified, token.format, fixedDateLocale);
        if (name == "today")
            return formattedDate(context.now, token.format, fixedDateLocale);
        if (TokenParser::hasMetadataPrefix(name))
            return metadataValue(token, context);
        return std::nullopt;
    }

    void appendToken(std::string& result, const TokenSegment::Token& token,
        std::string_view baseName, std::string_view ext, const RenameContext& context)
    {
        std::optional<std::string> drawn;
        std::string_view value;
        if (token.name == "name") {
            value = baseName;
        } else if (token.name == "ext") {
            value = ext;
        } else if ((drawn = drawnValue(token, context))) {
            value = *drawn;
        } else {
            result.append(token.original);
            return;
        }
        if (value.empty() && token.fallback)
            value = *token.fallback;
        appendCleaned(result, value);
    }

    void appendSegment(std::string& result, const TokenSegment& segment, std::string_view baseName,
        std::string_view ext, const RenameContext& context)
    {
        if (const auto* literal = segment.asLiteral()) {
            result.append(literal->text);
            return;
        }
        appendToken(result, *segment.asToken(), baseName, ext, context);
    }

    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept
        {
            return std::hash<std::string_view> {}(text);
        }
    };

    /// The parsed template, from a cache kept per thread: one rule's template is rendered for
    /// every file of a run. The reference stays valid until the next call on the same thread.
    const std::vector<TokenSegment>& parsedTemplate(std::string_view templateText)
    {
        thread_local std::unordered_map<std::string, std::vector<TokenSegment>, TextHash,
            std::equal_to<>>
            cache;
        if (auto found = cache.find(templateText); found != cache.end())
            return found->second;
        if (cache.size() >= parsedTemplateLimit)
            cache.clear();
        return cache.emplace(std::string(templateText), TokenParser::parse(templateText))
            .first->second;
    }

} // namespace

std::string resolve(const TokenSegment& segment, std::string_view baseName, std::string_view ext,
    const RenameContext& context)
{
    std::string result;
    appendSegment(result, segment, baseName, ext, context);
    return result;
}

std::string render(std::string_view templateText, const RenameContext& context,
    std::string_view baseName, std::string_view ext)
{
    std::string result;
    if (templateText.empty())
        return result;
    for (const auto& segment : parsedTemplate(templateText))
        appendSegment(result, segment, baseName, ext, context);
    return result;
}

} // namespace sorvik::TokenResolver
