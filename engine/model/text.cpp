#include "engine/model/text.h"

#include <algorithm>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace sorvik::text {

namespace {

    char asciiLower(char character)
    {
        return (character >= 'A' && character <= 'Z') ? static_cast<char>(character - 'A' + 'a')
                                                      : character;
    }

    char asciiUpper(char character)
    {
        return (character >= 'a' && character <= 'z') ? static_cast<char>(character - 'a' + 'A')
                                                      : character;
    }

    icu::BreakIterator& characterIterator()
    {
        thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::BreakIterator> created(
                icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
            if (U_FAILURE(status) || !created)
                std::abort();
            return created;
        }();
        return *iterator;
    }

    char32_t firstScalar(std::string_view character)
    {
        if (character.empty())
            return 0;
        UChar32 scalar = 0;
        int32_t offset = 0;
        U8_NEXT(character.data(), offset, static_cast<int32_t>(character.size()), scalar);
        return scalar < 0 ? 0xFFFD : static_cast<char32_t>(scalar);
    }

    const icu::Normalizer2& nfdNormalizer()
    {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* normalizer = icu::Normalizer2::getNFDInstance(status);
        if (U_FAILURE(status))
            std::abort();
        return *normalizer;
    }

    const icu::Normalizer2& nfcNormalizer()
    {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status))
            std::abort();
        return *normalizer;
    }

    const icu::Normalizer2& nfkdNormalizer()
    {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* normalizer = icu::Normalizer2::getNFKDInstance(status);
        if (U_FAILURE(status))
            std::abort();
        return *normalizer;
    }

    bool isWordDelimiter(std::string_view character)
    {
        return character == " " || character == "\t" || character == "\n" || character == "\r"
            || character == "\r\n" || character == "\u2028" || character == "\u2029";
    }

} // namespace

bool isValidUtf8(std::string_view text)
{
    int32_t offset = 0;
    auto length = static_cast<int32_t>(text.size());
    while (offset < length) {
        auto byte = static_cast<unsigned char>(text[static_cast<std::size_t>(offset)]);
        if (byte < 0x80) {
            ++offset;
            continue;
        }
        UChar32 scalar = 0;
        U8_NEXT(text.data(), offset, length, scalar);
        if (scalar < 0)
            return false;
    }
    return text.size() <= static_cast<std::size_t>(INT32_MAX);
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
        [](char character) { return static_cast<unsigned char>(character) < 0x80; });
}

icu::UnicodeString toUnicode(std::string_view text)
{
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string fromUnicode(const icu::UnicodeString& text)
{
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::vector<std::size_t> characterBoundaries(std::string_view text)
{
    std::vector<std::size_t> boundaries;
    if (isAscii(text)) {
        boundaries.reserve(text.size() + 1);
        for (std::size_t index = 0; index < text.size(); ++index) {
            if (index > 0 && text[index] == '\n' && text[index - 1] == '\r')
                continue;
            boundaries.push_back(index);
        }
        boundaries.push_back(text.size());
        return boundaries;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText utext = UTEXT_INITIALIZER;
    utext_openUTF8(&utext, text.data(), static_cast<int64_t>(text.size()), &status);
    icu::BreakIterator& iterator = characterIterator();
    iterator.setText(&utext, status);
    if (U_FAILURE(status)) {
        utext_close(&utext);
        return { 0, text.size() };
    }
    for (int32_t position = iterator.first(); position != icu::BreakIterator::DONE;
         position = iterator.next())
        boundaries.push_back(static_cast<std::size_t>(position));
    utext_close(&utext);
    if (boundaries.empty() || boundaries.back() != text.size())
        boundaries.push_back(text.size());
    return boundaries;
}

std::vector<std::string_view> characters(std::string_view text)
{
    auto boundaries = characterBoundaries(text);
    std::vector<std::string_view> result;
    result.reserve(boundaries.size());
    for (std::size_t index = 0; index + 1 < boundaries.size(); ++index)
        result.push_back(text.substr(boundaries[index], boundaries[index + 1] - boundaries[index]));
    return result;
}

std::size_t characterCount(std::string_view text) { return characterBoundaries(text).size() - 1; }

std::string_view prefix(std::string_view text, std::size_t count)
{
    auto boundaries = characterBoundaries(text);
    if (count + 1 >= boundaries.size())
        return text;
    return text.substr(0, boundaries[count]);
}

std::string_view suffix(std::string_view text, std::size_t count)
{
    auto boundaries = characterBoundaries(text);
    if (count + 1 >= boundaries.size())
        return text;
    return text.substr(boundaries[boundaries.size() - 1 - count]);
}

std::string_view dropFirst(std::string_view text, std::size_t count)
{
    auto boundaries = characterBoundaries(text);
    if (count + 1 >= boundaries.size())
        return text.substr(text.size());
    return text.substr(boundaries[count]);
}

std::string_view dropLast(std::string_view text, std::size_t count)
{
    auto boundaries = characterBoundaries(text);
    if (count + 1 >= boundaries.size())
        return text.substr(0, 0);
    return text.substr(0, boundaries[boundaries.size() - 1 - count]);
}

std::string nfc(std::string_view text)
{
    if (isAscii(text))
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    auto result = nfcNormalizer().normalize(toUnicode(text), status);
    return U_FAILURE(status) ? std::string(text) : fromUnicode(result);
}

std::string nfd(std::string_view text)
{
    if (isAscii(text))
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    auto result = nfdNormalizer().normalize(toUnicode(text), status);
    return U_FAILURE(status) ? std::string(text) : fromUnicode(result);
}

bool canonicallyEqual(std::string_view first, std::string_view second)
{
    if (first == second)
        return true;
    if (isAscii(first) && isAscii(second))
        return false;
    return nfd(first) == nfd(second);
}

std::string lowercased(std::string_view text)
{
    if (isAscii(text)) {
        std::string result(text);
        std::transform(result.begin(), result.end(), result.begin(), asciiLower);
        return result;
    }
    auto unicode = toUnicode(text);
    unicode.toLower(icu::Locale::getRoot());
    return fromUnicode(unicode);
}

std::string uppercased(std::string_view text)
{
    if (isAscii(text)) {
        std::string result(text);
        std::transform(result.begin(), result.end(), result.begin(), asciiUpper);
        return result;
    }
    auto unicode = toUnicode(text);
    unicode.toUpper(icu::Locale::getRoot());
    return fromUnicode(unicode);
}

std::string capitalized(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    bool atWordStart = true;
    for (auto character : characters(text)) {
        if (isWordDelimiter(character)) {
            result.append(character);
            atWordStart = true;
            continue;
        }
        result += atWordStart ? uppercased(character) : lowercased(character);
        atWordStart = false;
    }
    return result;
}

std::string foldingDiacriticsAndWidth(std::string_view text)
{
    if (isAscii(text))
        return std::string(text);
    icu::UnicodeString widened;
    const auto& compatibility = nfkdNormalizer();
    for (char32_t scalar : scalars(text)) {
        auto decomposition = static_cast<UDecompositionType>(
            u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_DECOMPOSITION_TYPE));
        icu::UnicodeString single(static_cast<UChar32>(scalar));
        if (decomposition == U_DT_WIDE || decomposition == U_DT_NARROW) {
            UErrorCode status = U_ZERO_ERROR;
            auto normal = compatibility.normalize(single, status);
            widened.append(U_FAILURE(status) ? single : normal);
        } else {
            widened.append(single);
        }
    }
    UErrorCode status = U_ZERO_ERROR;
    auto decomposed = nfdNormalizer().normalize(widened, status);
    if (U_FAILURE(status))
        return std::string(text);
    icu::UnicodeString stripped;
    for (int32_t index = 0; index < decomposed.length();) {
        UChar32 scalar = decomposed.char32At(index);
        if (u_charType(scalar) != U_NON_SPACING_MARK)
            stripped.append(scalar);
        index += U16_LENGTH(scalar);
    }
    auto composed = nfcNormalizer().normalize(stripped, status);
    return U_FAILURE(status) ? fromUnicode(stripped) : fromUnicode(composed);
}

bool isLetter(std::string_view character)
{
    return !character.empty()
        && u_hasBinaryProperty(static_cast<UChar32>(firstScalar(character)), UCHAR_ALPHABETIC);
}

bool isNumber(std::string_view character)
{
    return !character.empty()
        && u_getIntPropertyValue(static_cast<UChar32>(firstScalar(character)), UCHAR_NUMERIC_TYPE)
        != U_NT_NONE;
}

bool isLowercase(std::string_view character)
{
    return !character.empty() && u_isULowercase(static_cast<UChar32>(firstScalar(character)));
}

bool isUppercase(std::string_view character)
{
    return !character.empty() && u_isUUppercase(static_cast<UChar32>(firstScalar(character)));
}

std::string_view trimming(std::string_view text, std::string_view set)
{
    auto isInSet = [set](std::string_view character) {
        return character.size() == 1 && set.find(character.front()) != std::string_view::npos;
    };
    if (isAscii(text)) {
        auto start = text.find_first_not_of(set);
        if (start == std::string_view::npos)
            return text.substr(0, 0);
        auto end = text.find_last_not_of(set);
        return text.substr(start, end - start + 1);
    }
    auto parts = characters(text);
    std::size_t first = 0;
    while (first < parts.size() && isInSet(parts[first]))
        ++first;
    std::size_t last = parts.size();
    while (last > first && isInSet(parts[last - 1]))
        --last;
    if (first == last)
        return text.substr(0, 0);
    auto start = static_cast<std::size_t>(parts[first].data() - text.data());
    auto end
        = static_cast<std::size_t>(parts[last - 1].data() - text.data()) + parts[last - 1].size();
    return text.substr(start, end - start);
}

namespace {

    bool isWhitespaceOrNewline(UChar32 scalar)
    {
        if (scalar == U'\t' || (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85)
            return true;
        if (scalar < 0x80)
            return scalar == U' ';
        auto category = u_charType(scalar);
        return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR
            || category == U_PARAGRAPH_SEPARATOR;
    }

} // namespace

std::string_view trimmingWhitespaceAndNewlines(std::string_view text)
{
    auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 scalar = 0;
        U8_NEXT(text.data(), next, length, scalar);
        if (scalar < 0 || !isWhitespaceOrNewline(scalar))
            break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 scalar = 0;
        U8_PREV(text.data(), start, previous, scalar);
        if (scalar < 0 || !isWhitespaceOrNewline(scalar))
            break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string replacingAll(
    std::string_view text, std::string_view target, std::string_view replacement)
{
    if (target.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t position = 0;
    while (true) {
        auto found = text.find(target, position);
        if (found == std::string_view::npos)
            break;
        result.append(text.substr(position, found - position));
        result.append(replacement);
        position = found + target.size();
    }
    result.append(text.substr(position));
    return result;
}

bool contains(std::string_view haystack, std::string_view needle, bool ignoreCase)
{
    if (needle.empty())
        return false;
    if (!ignoreCase)
        return haystack.find(needle) != std::string_view::npos;
    if (isAscii(haystack) && isAscii(needle)) {
        auto found = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
            [](char first, char second) { return asciiLower(first) == asciiLower(second); });
        return found != haystack.end();
    }
    auto foldedHaystack = toUnicode(haystack).foldCase();
    auto foldedNeedle = toUnicode(needle).foldCase();
    return foldedHaystack.indexOf(foldedNeedle) >= 0;
}

std::optional<std::size_t> find(std::string_view haystack, std::string_view needle)
{
    if (needle.empty())
        return std::nullopt;
    auto found = haystack.find(needle);
    if (found == std::string_view::npos)
        return std::nullopt;
    return found;
}

std::vector<char32_t> scalars(std::string_view text)
{
    std::vector<char32_t> result;
    result.reserve(text.size());
    int32_t offset = 0;
    auto length = static_cast<int32_t>(text.size());
    while (offset < length) {
        UChar32 scalar = 0;
        U8_NEXT(text.data(), offset, length, scalar);
        result.push_back(scalar < 0 ? U'\uFFFD' : static_cast<char32_t>(scalar));
    }
    return result;
}

void appendScalar(std::string& text, char32_t scalar)
{
    char buffer[4];
    int32_t length = 0;
    UBool isError = false;
    U8_APPEND(buffer, length, 4, static_cast<UChar32>(scalar), isError);
    if (!isError)
        text.append(buffer, static_cast<std::size_t>(length));
}

} // namespace sorvik::text
