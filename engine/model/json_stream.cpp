#include "engine/model/json_stream.h"

#include "engine/model/hex_digit.h"
#include "engine/model/json.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace sorvik::json {

namespace {

    /// The bytes that stand for themselves inside a string: printable ASCII but quote and
    /// backslash.
    constexpr auto plainByte = [] {
        std::array<bool, 256> table {};
        for (int byte = 0x20; byte < 0x80; ++byte)
            table[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
        return table;
    }();

    /// The same without "/", which the stored form escapes: a run of text stops at either.
    constexpr auto storedByte = [] {
        auto table = plainByte;
        table['/'] = false;
        return table;
    }();

    bool isDigit(int character) { return character >= '0' && character <= '9'; }

    void appendUtf8(std::string& out, char32_t codePoint)
    {
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (codePoint >> 18));
            out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }

    /// The length of the UTF-8 sequence at `text[index]`, or 0 when none starts there.
    std::size_t sequenceLength(std::string_view text, std::size_t index)
    {
        auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || index + length > text.size())
            return 0;
        auto second = static_cast<unsigned char>(text[index + 1]);
        // The second byte's range rules out overlong forms, surrogates and code points above
        // U+10FFFF.
        unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high)
            return 0;
        for (std::size_t offset = 2; offset < length; ++offset) {
            if ((static_cast<unsigned char>(text[index + offset]) & 0xC0) != 0x80)
                return 0;
        }
        return length;
    }

} // namespace

StreamReader::StreamReader(Source source, std::size_t bufferSize)
    : m_source(std::move(source))
    , m_buffer(std::max<std::size_t>(bufferSize, 16))
{
}

StreamReader StreamReader::overText(std::string_view text)
{
    auto remaining = std::make_shared<std::string_view>(text);
    return StreamReader(
        [remaining](char* buffer, std::size_t capacity) {
            auto count = std::min(capacity, remaining->size());
            std::memcpy(buffer, remaining->data(), count);
            remaining->remove_prefix(count);
            return count;
        },
        std::max<std::size_t>(16, std::min<std::size_t>(text.size(), 1 << 20)));
}

bool StreamReader::fill()
{
    if (m_atEnd)
        return false;
    m_consumedBefore += m_end;
    m_position = 0;
    m_end = m_source(m_buffer.data(), m_buffer.size());
    if (m_end == 0)
        m_atEnd = true;
    return m_end > 0;
}

void StreamReader::fail(std::string_view what) const
{
    throw DecodeError("The data is not valid JSON: " + std::string(what) + " at byte "
        + std::to_string(m_consumedBefore + m_position));
}

void StreamReader::skipWhitespace()
{
    for (;;) {
        while (m_position < m_end) {
            char character = m_buffer[m_position];
            if (character != ' ' && character != '\n' && character != '\r' && character != '\t')
                return;
            ++m_position;
        }
        if (!fill())
            return;
    }
}

StreamReader::Token StreamReader::next()
{
    if (!m_started) {
        m_started = true;
        // A byte order mark before the document is allowed, as json::parse allows it.
        if (peek() == 0xEF) {
            readLiteral("\xEF\xBB\xBF");
        }
    }
    skipWhitespace();
    int character = peek();
    switch (m_expect) {
    case Expect::done:
        if (character != -1)
            fail("unexpected data after the document");
        return Token::end;
    case Expect::value:
        return value(character);
    case Expect::valueOrEnd:
        if (character == ']')
            return close('a');
        return value(character);
    case Expect::keyOrEnd:
        if (character == '}')
            return close('o');
        [[fallthrough]];
    case Expect::key:
        if (character != '"')
            fail("expected a member name");
        ++m_position;
        readString();
        m_expect = Expect::colon;
        return Token::key;
    case Expect::colon:
        if (character != ':')
            fail("expected ':'");
        ++m_position;
        skipWhitespace();
        return value(peek());
    case Expect::commaOrEnd:
        if (character == ',') {
            ++m_position;
            m_expect = m_containers.back() == 'o' ? Expect::key : Expect::value;
            return next();
        }
        if (character == ']' && m_containers.back() == 'a')
            return close('a');
        if (character == '}' && m_containers.back() == 'o')
            return close('o');
        fail(m_containers.back() == 'o' ? "expected ',' or '}'" : "expected ',' or ']'");
    }
    fail("unexpected state");
}

std::string StreamReader::describe(Token token) const
{
    switch (token) {
    case Token::null:
        return "null";
    case Token::beginObject:
        return "an object";
    case Token::beginArray:
        return "an array";
    case Token::string:
        return "a string";
    case Token::boolean:
        return "a boolean";
    case Token::number:
        return m_isInteger ? "an integer" : "a number";
    default:
        return "an unknown value";
    }
}

StreamReader::Token StreamReader::close(char container)
{
    ++m_position;
    m_containers.pop_back();
    return finishValue(container == 'o' ? Token::endObject : Token::endArray);
}

StreamReader::Token StreamReader::finishValue(Token token)
{
    m_expect = m_containers.empty() ? Expect::done : Expect::commaOrEnd;
    return token;
}

StreamReader::Token StreamReader::value(int character)
{
    switch (character) {
    case '{':
        ++m_position;
        m_containers.push_back('o');
        m_expect = Expect::keyOrEnd;
        return Token::beginObject;
    case '[':
        ++m_position;
        m_containers.push_back('a');
        m_expect = Expect::valueOrEnd;
        return Token::beginArray;
    case '"':
        ++m_position;
        readString();
        return finishValue(Token::string);
    case 't':
        readLiteral("true");
        m_boolean = true;
        return finishValue(Token::boolean);
    case 'f':
        readLiteral("false");
        m_boolean = false;
        return finishValue(Token::boolean);
    case 'n':
        readLiteral("null");
        return finishValue(Token::null);
    case -1:
        fail("unexpected end of the data");
    default:
        if (character == '-' || isDigit(character)) {
            readNumber();
            return finishValue(Token::number);
        }
        fail("unexpected character");
    }
}

void StreamReader::readLiteral(std::string_view literal)
{
    for (char expected : literal) {
        if (peek() != static_cast<unsigned char>(expected))
            fail("invalid literal");
        ++m_position;
    }
}

void StreamReader::readString()
{
    m_text.clear();
    for (;;) {
        // Most of a stored file is plain ASCII text, with "/" written as "\/": take it a run
        // at a time.
        const char* data = m_buffer.data();
        std::size_t start = m_position;
        std::size_t position = m_position;
        while (position < m_end) {
            auto byte = static_cast<unsigned char>(data[position]);
            if (storedByte[byte]) {
                ++position;
                continue;
            }
            if (byte == '\\' && position + 1 < m_end && data[position + 1] == '/') {
                m_text.append(data + start, position - start);
                m_text += '/';
                position += 2;
                start = position;
                continue;
            }
            break;
        }
        m_text.append(data + start, position - start);
        m_position = position;
        int character = peek();
        if (character == -1)
            fail("unterminated string");
        if (storedByte[character])
            continue; // the buffer was refilled
        ++m_position;
        if (character == '"')
            return;
        if (character == '/') {
            m_text += '/';
        } else if (character == '\\') {
            readEscape();
        } else if (character < 0x20) {
            fail("control character in a string");
        } else {
            readMultibyte(static_cast<unsigned char>(character));
        }
    }
}

void StreamReader::readEscape()
{
    int character = peek();
    if (character == -1)
        fail("unterminated string");
    ++m_position;
    switch (character) {
    case '"':
    case '\\':
    case '/':
        m_text += static_cast<char>(character);
        return;
    case 'b':
        m_text += '\b';
        return;
    case 'f':
        m_text += '\f';
        return;
    case 'n':
        m_text += '\n';
        return;
    case 'r':
        m_text += '\r';
        return;
    case 't':
        m_text += '\t';
        return;
    case 'u':
        break;
    default:
        fail("invalid escape in a string");
    }
    auto codeUnit = [this] {
        char32_t unit = 0;
        for (int digit = 0; digit < 4; ++digit) {
            int value = hexDigitValue(peek());
            if (value < 0)
                fail("invalid \\u escape in a string");
            ++m_position;
            unit = unit * 16 + static_cast<char32_t>(value);
        }
        return unit;
    };
    char32_t codePoint = codeUnit();
    if (codePoint >= 0xDC00 && codePoint <= 0xDFFF)
        fail("a lone low surrogate in a string");
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
        if (peek() != '\\')
            fail("a lone high surrogate in a string");
        ++m_position;
        if (peek() != 'u')
            fail("a lone high surrogate in a string");
        ++m_position;
        char32_t low = codeUnit();
        if (low < 0xDC00 || low > 0xDFFF)
            fail("a lone high surrogate in a string");
        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(m_text, codePoint);
}

void StreamReader::readMultibyte(unsigned char lead)
{
    char sequence[4] = { static_cast<char>(lead) };
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    for (std::size_t offset = 1; offset < length; ++offset) {
        int next = peek();
        if (next == -1)
            fail("invalid UTF-8 in a string");
        sequence[offset] = static_cast<char>(next);
        ++m_position;
    }
    if (sequenceLength(std::string_view(sequence, length), 0) != length)
        fail("invalid UTF-8 in a string");
    m_text.append(sequence, length);
}

void StreamReader::readNumber()
{
    m_text.clear();
    auto take = [this] {
        m_text += static_cast<char>(m_buffer[m_position]);
        ++m_position;
    };
    auto digits = [this, &take] {
        if (!isDigit(peek()))
            fail("invalid number");
        while (isDigit(peek()))
            take();
    };
    m_isInteger = true;
    if (peek() == '-')
        take();
    if (peek() == '0') {
        take();
        if (isDigit(peek()))
            fail("invalid number");
    } else {
        digits();
    }
    if (peek() == '.') {
        m_isInteger = false;
        take();
        digits();
    }
    if (peek() == 'e' || peek() == 'E') {
        m_isInteger = false;
        take();
        if (peek() == '+' || peek() == '-')
            take();
        digits();
    }
}

void StreamReader::skip(Token first)
{
    if (first != Token::beginObject && first != Token::beginArray)
        return;
    std::size_t depth = 1;
    while (depth > 0) {
        switch (next()) {
        case Token::beginObject:
        case Token::beginArray:
            ++depth;
            break;
        case Token::endObject:
        case Token::endArray:
            --depth;
            break;
        case Token::end:
            fail("unexpected end of the data");
        default:
            break;
        }
    }
}

std::optional<std::int64_t> StreamReader::int64() const
{
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
    if (!m_isInteger || error != std::errc {} || end != m_text.data() + m_text.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> StreamReader::uint64() const
{
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
    if (!m_isInteger || error != std::errc {} || end != m_text.data() + m_text.size())
        return std::nullopt;
    return value;
}

double StreamReader::number() const
{
    double value = 0;
    auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
    // Out of range: what strtod gives, as json::parse reads it.
    if (error == std::errc::result_out_of_range)
        return std::strtod(m_text.c_str(), nullptr);
    return value;
}

void appendString(std::string& out, std::string_view text)
{
    static constexpr char digits[] = "0123456789abcdef";
    // Room for every character escaped in two; the six of a "\u00XX" are made room for when
    // they come.
    std::size_t base = out.size();
    out.resize(base + 2 + 2 * text.size());
    char* write = out.data() + base;
    *write++ = '"';
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto byte = static_cast<unsigned char>(text[index]);
        if (plainByte[byte] && byte != '/') {
            *write++ = static_cast<char>(byte);
            continue;
        }
        if (byte >= 0x80) {
            auto length = sequenceLength(text, index);
            if (length == 0) {
                out.resize(base);
                throw Error("The data could not be written because a text is not valid UTF-8.");
            }
            std::memcpy(write, text.data() + index, length);
            write += length;
            index += length - 1;
            continue;
        }
        *write++ = '\\';
        switch (byte) {
        case '"':
        case '\\':
        case '/':
            *write++ = static_cast<char>(byte);
            break;
        case '\b':
            *write++ = 'b';
            break;
        case '\f':
            *write++ = 'f';
            break;
        case '\n':
            *write++ = 'n';
            break;
        case '\r':
            *write++ = 'r';
            break;
        case '\t':
            *write++ = 't';
            break;
        default: {
            auto offset = static_cast<std::size_t>(write - out.data());
            out.resize(out.size() + 4);
            write = out.data() + offset;
            *write++ = 'u';
            *write++ = '0';
            *write++ = '0';
            *write++ = digits[byte >> 4];
            *write++ = digits[byte & 0x0F];
        }
        }
    }
    *write++ = '"';
    out.resize(static_cast<std::size_t>(write - out.data()));
}

void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value))
        throw Error(
            "The data couldn\u2019t be written because it isn\u2019t in the correct format.");
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    std::string_view written(text, static_cast<std::size_t>(end - text));
    out.append(written);
    if (written.find_first_of(".e") == std::string_view::npos)
        out += ".0";
}

void appendInteger(std::string& out, std::int64_t value)
{
    char text[24];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    out.append(text, end);
}

void appendInteger(std::string& out, std::uint64_t value)
{
    char text[24];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    out.append(text, end);
}

} // namespace sorvik::json
