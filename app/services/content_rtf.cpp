#include "app/services/content_rtf.h"

#include "engine/model/error.h"
#include "engine/model/text.h"

#include <array>
#include <charconv>
#include <memory>
#include <optional>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

namespace sorvik {

namespace {

    // Documents nest groups a few dozen deep; what lies deeper is read as a group that is no
    // body text, so that a file of nothing but braces costs no more than its own size.
    constexpr std::size_t maximumDepth = 256;

    // Groups whose content is not body text, even without the "\*" marker.
    constexpr std::string_view skippedDestinations[] = {
        "fonttbl",
        "colortbl",
        "stylesheet",
        "info",
        "pict",
        "object",
        "header",
        "headerl",
        "headerr",
        "headerf",
        "footer",
        "footerl",
        "footerr",
        "footerf",
        "fldinst",
        "listtable",
        "listoverridetable",
        "revtbl",
        "filetbl",
        "rsidtbl",
        "latentstyles",
        "themedata",
        "colorschememapping",
        "datastore",
        "xmlnstbl",
        "nonshppict",
        "generator",
        "userprops",
        "docvar",
        "pgdsctbl",
    };

    struct Symbol {
        std::string_view word;
        std::u16string_view text;
    };

    constexpr Symbol symbols[] = {
        { "par", u"\n" },
        { "line", u"\n" },
        { "sect", u"\n" },
        { "page", u"\n" },
        { "row", u"\n" },
        { "tab", u"\t" },
        { "cell", u"\t" },
        { "emdash", u"\u2014" },
        { "endash", u"\u2013" },
        { "emspace", u"\u2003" },
        { "enspace", u"\u2002" },
        { "qmspace", u"\u2005" },
        { "bullet", u"\u2022" },
        { "lquote", u"\u2018" },
        { "rquote", u"\u2019" },
        { "ldblquote", u"\u201C" },
        { "rdblquote", u"\u201D" },
    };

    struct ConverterCloser {
        void operator()(UConverter* converter) const { ucnv_close(converter); }
    };

    class Parser {
    public:
        Parser(std::string_view rtf, std::size_t characterLimit)
            : m_rtf(rtf)
            , m_characterLimit(characterLimit)
        {
            setCodePage(1252);
        }

        std::string run()
        {
            while (m_position < m_rtf.size() && !m_isDone) {
                char character = m_rtf[m_position];
                if (character == '{') {
                    ++m_position;
                    flushBytes();
                    if (m_groups.size() < maximumDepth) {
                        m_groups.push_back(m_groups.empty() ? Group {} : m_groups.back());
                        m_groups.back().isDestinationStart = true;
                    } else {
                        ++m_tooDeep;
                        m_deepGroup = Group { true, true, 1 };
                    }
                } else if (character == '}') {
                    ++m_position;
                    flushBytes();
                    if (m_tooDeep > 0)
                        --m_tooDeep;
                    else if (!m_groups.empty())
                        m_groups.pop_back();
                    if (m_groups.empty())
                        break; // the document's own group has ended
                } else if (character == '\\') {
                    ++m_position;
                    controlSequence();
                } else {
                    ++m_position;
                    if (character != '\r' && character != '\n')
                        appendByte(character);
                }
            }
            flushBytes();
            return text::fromUnicode(m_text);
        }

    private:
        struct Group {
            bool isSkipped = false;
            bool isDestinationStart = false; // nothing but control words seen in it yet
            int unicodeSkip = 1;
        };

        Group& group()
        {
            if (m_tooDeep > 0)
                return m_deepGroup;
            if (m_groups.empty())
                m_groups.emplace_back();
            return m_groups.back();
        }

        void controlSequence()
        {
            if (m_position >= m_rtf.size())
                return;
            char first = m_rtf[m_position];
            if (!isAsciiLetter(first)) {
                ++m_position;
                controlSymbol(first);
                group().isDestinationStart = false;
                return;
            }
            std::size_t start = m_position;
            while (m_position < m_rtf.size() && isAsciiLetter(m_rtf[m_position]))
                ++m_position;
            std::string_view word = m_rtf.substr(start, m_position - start);
            std::optional<int> parameter;
            std::size_t numberStart = m_position;
            if (m_position < m_rtf.size() && m_rtf[m_position] == '-')
                ++m_position;
            while (
                m_position < m_rtf.size() && m_rtf[m_position] >= '0' && m_rtf[m_position] <= '9')
                ++m_position;
            if (m_position > numberStart) {
                int value = 0;
                auto [end, error]
                    = std::from_chars(m_rtf.data() + numberStart, m_rtf.data() + m_position, value);
                if (error == std::errc() && end == m_rtf.data() + m_position)
                    parameter = value;
            }
            if (m_position < m_rtf.size() && m_rtf[m_position] == ' ')
                ++m_position; // the delimiter belongs to the control word
            controlWord(word, parameter);
        }

        void controlSymbol(char symbol)
        {
            switch (symbol) {
            case '\\':
            case '{':
            case '}':
                appendByte(symbol);
                break;
            case '~':
                appendUnit(u'\u00A0');
                break;
            case '_':
                appendUnit(u'\u2011');
                break;
            case '*':
                if (group().isDestinationStart)
                    group().isSkipped = true;
                break;
            case '\'':
                hexByte();
                break;
            case '\r':
            case '\n':
                appendUnit(u'\n'); // a backslash before a line end is a paragraph mark
                break;
            default:
                break; // "\-" (optional hyphen), "\:" and unknown symbols have no text
            }
        }

        void controlWord(std::string_view word, std::optional<int> parameter)
        {
            bool wasDestinationStart = group().isDestinationStart;
            group().isDestinationStart = false;
            if (word == "bin") {
                flushBytes();
                auto skip = static_cast<std::size_t>(std::max(parameter.value_or(0), 0));
                m_position = std::min(m_rtf.size(), m_position + skip);
                return;
            }
            if (wasDestinationStart) {
                for (auto destination : skippedDestinations) {
                    if (word == destination) {
                        group().isSkipped = true;
                        return;
                    }
                }
            }
            if (word == "ansicpg" && parameter) {
                setCodePage(*parameter);
                return;
            }
            if (word == "uc" && parameter) {
                group().unicodeSkip = std::max(*parameter, 0);
                return;
            }
            if (word == "u" && parameter) {
                int unit = *parameter < 0 ? *parameter + 65536 : *parameter;
                appendUnit(static_cast<char16_t>(unit & 0xFFFF));
                skipFallback(group().unicodeSkip);
                return;
            }
            for (const auto& symbol : symbols) {
                if (word == symbol.word) {
                    for (char16_t unit : symbol.text)
                        appendUnit(unit);
                    return;
                }
            }
        }

        /// Steps over the stand-in that follows "\uN": `count` characters, where "\'hh" and a
        /// control word each count as one.
        void skipFallback(int count)
        {
            while (count > 0 && m_position < m_rtf.size()) {
                char character = m_rtf[m_position];
                if (character == '{' || character == '}')
                    return;
                if (character == '\\') {
                    if (m_position + 1 < m_rtf.size() && m_rtf[m_position + 1] == '\'') {
                        m_position = std::min(m_rtf.size(), m_position + 4);
                    } else {
                        ++m_position;
                        while (m_position < m_rtf.size() && isAsciiLetter(m_rtf[m_position]))
                            ++m_position;
                        if (m_position < m_rtf.size()
                            && (m_rtf[m_position] == '-'
                                || (m_rtf[m_position] >= '0' && m_rtf[m_position] <= '9'))) {
                            ++m_position;
                            while (m_position < m_rtf.size() && m_rtf[m_position] >= '0'
                                && m_rtf[m_position] <= '9')
                                ++m_position;
                        }
                        if (m_position < m_rtf.size() && m_rtf[m_position] == ' ')
                            ++m_position;
                    }
                } else {
                    ++m_position;
                }
                --count;
            }
        }

        void hexByte()
        {
            if (m_position + 2 > m_rtf.size())
                return;
            unsigned value = 0;
            auto [end, error] = std::from_chars(
                m_rtf.data() + m_position, m_rtf.data() + m_position + 2, value, 16);
            if (error != std::errc() || end != m_rtf.data() + m_position + 2)
                return;
            m_position += 2;
            appendByte(static_cast<char>(value));
        }

        void appendByte(char byte)
        {
            if (group().isSkipped)
                return;
            group().isDestinationStart = false;
            m_pendingBytes += byte;
        }

        void appendUnit(char16_t unit)
        {
            if (group().isSkipped)
                return;
            flushBytes();
            m_text += static_cast<UChar>(unit);
            checkLimit();
        }

        /// Bytes of the code page go through its converter together, so multi-byte code
        /// pages (932, 936, 949, 950) decode correctly.
        void flushBytes()
        {
            if (m_pendingBytes.empty())
                return;
            UErrorCode status = U_ZERO_ERROR;
            icu::UnicodeString decoded(m_pendingBytes.data(),
                static_cast<int32_t>(m_pendingBytes.size()), m_converter.get(), status);
            ucnv_reset(m_converter.get());
            m_pendingBytes.clear();
            if (U_SUCCESS(status))
                m_text += decoded;
            checkLimit();
        }

        void checkLimit()
        {
            auto length = static_cast<std::size_t>(m_text.length());
            if (length <= m_characterLimit || length < m_nextLimitCheck)
                return;
            // Counting is linear in the text; counting again only once it has doubled keeps
            // a text of few but long characters (a base and thousands of combining marks)
            // linear in all.
            m_nextLimitCheck = 2 * length;
            if (text::characterCount(text::fromUnicode(m_text)) > m_characterLimit)
                m_isDone = true;
        }

        void setCodePage(int codePage)
        {
            flushBytes();
            UErrorCode status = U_ZERO_ERROR;
            std::string name = "cp" + std::to_string(codePage);
            std::unique_ptr<UConverter, ConverterCloser> converter(
                ucnv_open(name.c_str(), &status));
            if (U_FAILURE(status) || !converter) {
                if (m_converter)
                    return;
                status = U_ZERO_ERROR;
                converter.reset(ucnv_open("windows-1252", &status));
                if (U_FAILURE(status) || !converter)
                    throw Error("The document could not be read: its code page is unknown.");
            }
            m_converter = std::move(converter);
        }

        static bool isAsciiLetter(char character)
        {
            return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
        }

        std::string_view m_rtf;
        std::size_t m_characterLimit;
        std::size_t m_position = 0;
        std::vector<Group> m_groups;
        // Groups opened below `maximumDepth`, all read as the one skipped `m_deepGroup`.
        std::size_t m_tooDeep = 0;
        Group m_deepGroup;
        std::string m_pendingBytes;
        icu::UnicodeString m_text;
        std::unique_ptr<UConverter, ConverterCloser> m_converter;
        std::size_t m_nextLimitCheck = 0;
        bool m_isDone = false;
    };

} // namespace

std::string rtfPlainText(std::string_view rtf, std::size_t characterLimit)
{
    std::size_t start = 0;
    while (start < rtf.size()
        && (rtf[start] == ' ' || rtf[start] == '\r' || rtf[start] == '\n' || rtf[start] == '\t'))
        ++start;
    if (rtf.substr(start, 5) != "{\\rtf")
        throw Error("The document could not be read: it is not a valid RTF document.");
    return Parser(rtf.substr(start), characterLimit).run();
}

} // namespace sorvik
