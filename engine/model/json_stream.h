#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// JSON read and written a piece at a time, for stored files too large to hold twice: a reader
// that hands out one token after another from a source it fills itself, and the writing of
// single values in the stored form. Both keep the rules of `json::parse` and
// `json::serialize`: RFC 8259 strictly, text that is UTF-8, "/" written as "\/".
namespace sorvik::json {

/// A pull reader of one JSON document. Every token it gives is in its place (objects hold
/// keys and values in turn, separators and nesting are checked); anything that is not JSON
/// fails with `DecodeError`, as do bytes after the document.
class StreamReader {
public:
    /// Fills `buffer` with up to `capacity` bytes and returns how many; 0 at the end. May
    /// throw; the failure then ends the reading.
    using Source = std::function<std::size_t(char* buffer, std::size_t capacity)>;

    enum class Token {
        beginObject,
        endObject,
        beginArray,
        endArray,
        /// A member's name; its value follows.
        key,
        string,
        number,
        boolean,
        null,
        /// After the whole document.
        end,
    };

    explicit StreamReader(Source source, std::size_t bufferSize = 1 << 20);
    /// A reader over text held in memory.
    static StreamReader overText(std::string_view text);

    /// The next token.
    Token next();
    /// The JSON type of a value that begins with `token` as a word for error texts ("a
    /// string", "null"), as `json::describeType` gives it; for a number, the last one read.
    std::string describe(Token token) const;
    /// The last key or string, unescaped, or the last number exactly as written.
    std::string_view text() const { return m_text; }
    /// The last Boolean.
    bool boolean() const { return m_boolean; }
    /// Whether the last number is written without fraction and exponent.
    bool isInteger() const { return m_isInteger; }
    /// How many bytes of the document the tokens so far took: the offset just after the last
    /// one.
    std::size_t offset() const { return m_consumedBefore + m_position; }
    /// Passes over the rest of the value that `first` began (nothing more for a scalar).
    void skip(Token first);

    /// The last number as a signed integer, when it is written as one that fits.
    std::optional<std::int64_t> int64() const;
    /// The last number as an unsigned integer, when it is written as one that fits.
    std::optional<std::uint64_t> uint64() const;
    /// The last number as the double it stands for.
    double number() const;

private:
    enum class Expect { value, keyOrEnd, valueOrEnd, commaOrEnd, key, colon, done };

    bool fill();
    int peek()
    {
        if (m_position == m_end && !fill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_position]);
    }
    void skipWhitespace();
    [[noreturn]] void fail(std::string_view what) const;
    Token value(int character);
    Token finishValue(Token token);
    Token close(char container);
    void readString();
    void readEscape();
    void readMultibyte(unsigned char lead);
    void readNumber();
    void readLiteral(std::string_view literal);

    Source m_source;
    std::vector<char> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
    std::size_t m_consumedBefore = 0;
    bool m_atEnd = false;
    bool m_started = false;

    std::vector<char> m_containers;
    Expect m_expect = Expect::value;
    std::string m_text;
    bool m_boolean = false;
    bool m_isInteger = false;
};

/// Appends `text` as a JSON string in the stored form: quotes, backslashes and control
/// characters escaped, "/" as "\/", other text as UTF-8. Fails with `Error` for text that is
/// not UTF-8.
void appendString(std::string& out, std::string_view text);
/// Appends a number so that it reads back as exactly the same double; one without a
/// fraction still gets ".0", as the stored files write it. Fails with `Error` for NaN and
/// infinities, which JSON cannot hold.
void appendNumber(std::string& out, double value);
void appendInteger(std::string& out, std::int64_t value);
void appendInteger(std::string& out, std::uint64_t value);

} // namespace sorvik::json
