#include "engine/pipeline/token_parser.h"

#include "engine/model/text.h"

#include <algorithm>
#include <optional>

namespace sorvik::TokenParser {

namespace {

    constexpr std::string_view knownTokenList
        = "name ext folder parent # date.created date.modified today size size.kb size.mb "
          "exif.date exif.year exif.month exif.day exif.camera exif.make exif.model exif.lens "
          "exif.iso exif.focal exif.aperture exif.shutter gps.city gps.country gps.lat gps.lon "
          "image.width image.height image.orientation audio.title audio.artist audio.album "
          "audio.track audio.year audio.genre video.duration video.width video.height video.fps "
          "video.codec pdf.title pdf.author pdf.pages ai.title ai.type ai.date ai.party";

    // The template's characters as byte ranges, with what the parser needs to know of each.
    class Characters {
    public:
        explicit Characters(std::string_view text)
            : m_text(text)
            , m_boundaries(text::characterBoundaries(text))
        {
        }

        std::size_t count() const { return m_boundaries.size() - 1; }
        std::size_t start(std::size_t index) const { return m_boundaries[index]; }
        std::string_view at(std::size_t index) const
        {
            return m_text.substr(
                m_boundaries[index], m_boundaries[index + 1] - m_boundaries[index]);
        }
        // True when the character is exactly `special`: a brace followed by a combining mark
        // is one character, and not a brace.
        bool is(std::size_t index, char special) const
        {
            return m_boundaries[index + 1] - m_boundaries[index] == 1
                && m_text[m_boundaries[index]] == special;
        }
        // The text of the characters from `first` up to, not including, `last`.
        std::string_view between(std::size_t first, std::size_t last) const
        {
            return m_text.substr(m_boundaries[first], m_boundaries[last] - m_boundaries[first]);
        }

    private:
        std::string_view m_text;
        std::vector<std::size_t> m_boundaries;
    };

    TokenSegment makeToken(const Characters& characters, std::size_t open, std::size_t close)
    {
        std::size_t headEnd = close;
        std::optional<std::string> fallback;
        for (std::size_t index = open + 1; index < close; ++index) {
            if (characters.is(index, '|')) {
                headEnd = index;
                fallback = std::string(characters.between(index + 1, close));
                break;
            }
        }
        std::size_t nameEnd = headEnd;
        std::optional<std::string> format;
        for (std::size_t index = open + 1; index < headEnd; ++index) {
            if (characters.is(index, ':')) {
                nameEnd = index;
                format = std::string(characters.between(index + 1, headEnd));
                break;
            }
        }
        return TokenSegment::token(std::string(characters.between(open + 1, nameEnd)),
            std::move(format), std::move(fallback),
            std::string(characters.between(open, close + 1)));
    }

} // namespace

std::vector<TokenSegment> parse(std::string_view templateText)
{
    std::vector<TokenSegment> segments;
    if (templateText.empty())
        return segments;
    Characters characters(templateText);
    std::size_t count = characters.count();

    // The first "}" at or after each position, found once from the end, so that a template
    // full of unclosed braces still parses in linear time.
    std::vector<std::size_t> nextClose(count + 1, count);
    for (std::size_t index = count; index-- > 0;)
        nextClose[index] = characters.is(index, '}') ? index : nextClose[index + 1];

    std::string pending;
    std::size_t index = 0;
    while (index < count) {
        bool isOpen = characters.is(index, '{');
        bool isClose = !isOpen && characters.is(index, '}');
        if ((isOpen || isClose) && index + 1 < count
            && characters.is(index + 1, isOpen ? '{' : '}')) {
            pending.push_back(isOpen ? '{' : '}');
            index += 2;
            continue;
        }
        if (isOpen && nextClose[index + 1] < count) {
            std::size_t close = nextClose[index + 1];
            if (!pending.empty()) {
                segments.push_back(TokenSegment::literal(std::move(pending)));
                pending.clear();
            }
            segments.push_back(makeToken(characters, index, close));
            index = close + 1;
            continue;
        }
        pending.append(characters.at(index));
        ++index;
    }
    if (!pending.empty())
        segments.push_back(TokenSegment::literal(std::move(pending)));
    return segments;
}

const std::set<std::string, std::less<>>& knownTokens()
{
    static const std::set<std::string, std::less<>> names = [] {
        std::set<std::string, std::less<>> result;
        std::size_t start = 0;
        while (start <= knownTokenList.size()) {
            auto end = std::min(knownTokenList.find(' ', start), knownTokenList.size());
            if (end > start)
                result.emplace(knownTokenList.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }();
    return names;
}

std::vector<std::string> unknownTokens(std::string_view templateText)
{
    std::vector<std::string> names;
    const auto& known = knownTokens();
    for (auto& segment : parse(templateText)) {
        const auto* token = segment.asToken();
        if (token && !known.contains(token->name))
            names.push_back(token->name);
    }
    return names;
}

bool hasMetadataPrefix(std::string_view name)
{
    return std::any_of(metadataPrefixes.begin(), metadataPrefixes.end(),
        [name](std::string_view prefix) { return name.starts_with(prefix); });
}

bool requiresMetadata(std::string_view templateText)
{
    auto segments = parse(templateText);
    return std::any_of(segments.begin(), segments.end(), [](const TokenSegment& segment) {
        const auto* token = segment.asToken();
        return token && hasMetadataPrefix(token->name);
    });
}

} // namespace sorvik::TokenParser
