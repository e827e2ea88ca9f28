#include "app/services/content_text.h"

#include "engine/model/text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace sorvik::contentText {

namespace {

    /// The code point that starts at `offset`, and the offset after it.
    char32_t nextScalar(std::string_view text, std::size_t& offset)
    {
        UChar32 scalar = 0;
        auto position = static_cast<int32_t>(offset);
        U8_NEXT(text.data(), position, static_cast<int32_t>(text.size()), scalar);
        offset = static_cast<std::size_t>(position);
        return scalar < 0 ? 0xFFFD : static_cast<char32_t>(scalar);
    }

} // namespace

bool isWhitespaceOrNewline(char32_t scalar)
{
    if (scalar == U'\t' || (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85)
        return true;
    if (scalar < 0x80)
        return scalar == U' ';
    auto category = u_charType(static_cast<UChar32>(scalar));
    return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR
        || category == U_PARAGRAPH_SEPARATOR;
}

std::string_view trimmed(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t next = start;
        if (!isWhitespaceOrNewline(nextScalar(text, next)))
            break;
        start = next;
    }
    std::size_t end = start;
    for (std::size_t offset = start; offset < text.size();) {
        if (!isWhitespaceOrNewline(nextScalar(text, offset)))
            end = offset;
    }
    return text.substr(start, end - start);
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> result;
    std::size_t wordStart = 0;
    for (std::size_t offset = 0; offset < text.size();) {
        std::size_t scalarStart = offset;
        if (!isWhitespaceOrNewline(nextScalar(text, offset)))
            continue;
        if (scalarStart > wordStart)
            result.push_back(text.substr(wordStart, scalarStart - wordStart));
        wordStart = offset;
    }
    if (wordStart < text.size())
        result.push_back(text.substr(wordStart));
    return result;
}

std::string decodingUtf8Lossily(std::string_view bytes)
{
    if (text::isValidUtf8(bytes))
        return std::string(bytes);
    std::string result;
    result.reserve(bytes.size() + 16);
    for (std::size_t offset = 0; offset < bytes.size();) {
        // ICU steps over the maximal malformed subpart at once, so each one is one U+FFFD.
        text::appendScalar(result, nextScalar(bytes, offset));
    }
    return result;
}

std::string prefixCharacters(std::string_view text, std::size_t count)
{
    return std::string(text::prefix(text, count));
}

std::string couldNotOpenMessage(const std::filesystem::path& path, const std::error_code& error)
{
    std::string name = decodingUtf8Lossily(path.filename().native());
    return "The file \u201C" + name + "\u201D couldn\u2019t be opened: " + error.message();
}

std::string couldNotReadMessage(const std::filesystem::path& path, const std::error_code& error)
{
    std::string name = decodingUtf8Lossily(path.filename().native());
    return "The file \u201C" + name + "\u201D couldn\u2019t be read: " + error.message();
}

} // namespace sorvik::contentText
