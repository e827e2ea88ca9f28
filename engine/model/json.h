#pragma once

#include "engine/model/error.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// Strict reading of JSON records: every key is required unless the record says otherwise, a
// `null` or a value of the wrong JSON type fails the whole document, integers are never read
// from floats or booleans, and unknown keys are ignored. Every decoder in sorvik goes through
// these accessors, so the rules hold everywhere.
namespace sorvik::json {

using Json = nlohmann::json;

/// A document that does not have the expected shape. `reason()` is the failure itself;
/// `what()` puts the path of the failing value first ("rules[2].kind.config: Missing key").
class DecodeError : public Error {
public:
    explicit DecodeError(std::string reason);

    const std::string& reason() const { return m_reason; }
    const std::string& path() const { return m_path; }
    const char* what() const noexcept override { return m_message.c_str(); }

    /// Called while the error travels outwards through nested values.
    void prependKey(std::string_view key);
    void prependIndex(std::size_t index);

private:
    void rebuildMessage();

    std::string m_reason;
    std::string m_path;
    std::string m_message;
};

/// The JSON type of a value as a word for error texts ("a string", "null").
std::string describeType(const Json& value);

/// Fails unless the value is an object.
void requireObject(const Json& value);

template <class T> struct Decoder {
    static T decode(const Json& value)
    {
        if (value.is_null())
            throw DecodeError("Unexpected null value");
        try {
            return value.get<T>();
        } catch (const nlohmann::json::exception& error) {
            // A value nlohmann reads itself (a container of the wrong JSON type, say)
            // fails like every other strict read.
            throw DecodeError(error.what());
        }
    }
};

/// Decodes one value strictly as `T`.
template <class T> T decode(const Json& value) { return Decoder<T>::decode(value); }

template <> struct Decoder<std::string> {
    static std::string decode(const Json& value);
};

template <> struct Decoder<bool> {
    static bool decode(const Json& value);
};

template <> struct Decoder<std::int64_t> {
    static std::int64_t decode(const Json& value);
};

/// Unsigned: a negative number fails rather than wrapping round.
template <> struct Decoder<std::uint64_t> {
    static std::uint64_t decode(const Json& value);
};

template <> struct Decoder<double> {
    static double decode(const Json& value);
};

template <class T> struct Decoder<std::vector<T>> {
    static std::vector<T> decode(const Json& value)
    {
        if (!value.is_array())
            throw DecodeError("Expected an array but found " + describeType(value));
        std::vector<T> result;
        result.reserve(value.size());
        for (std::size_t index = 0; index < value.size(); ++index) {
            try {
                result.push_back(Decoder<T>::decode(value[index]));
            } catch (DecodeError& error) {
                error.prependIndex(index);
                throw;
            }
        }
        return result;
    }
};

/// The value under `key` of an object; fails when the key is missing or holds `null`.
const Json& member(const Json& object, std::string_view key);

/// The value under `key`, decoded strictly as `T`; the error names the key.
template <class T> T field(const Json& object, std::string_view key)
{
    const Json& value = member(object, key);
    try {
        return Decoder<T>::decode(value);
    } catch (DecodeError& error) {
        error.prependKey(key);
        throw;
    }
}

/// The value under `key` when present; a missing key and `null` both read as absent.
template <class T> std::optional<T> optionalField(const Json& object, std::string_view key)
{
    requireObject(object);
    auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return std::nullopt;
    try {
        return Decoder<T>::decode(*found);
    } catch (DecodeError& error) {
        error.prependKey(key);
        throw;
    }
}

/// Reads an enumeration stored as one of its texts; any other text fails.
template <class Enum, std::size_t Count>
Enum decodeText(
    const Json& value, const std::array<std::pair<Enum, std::string_view>, Count>& table)
{
    std::string text = Decoder<std::string>::decode(value);
    for (const auto& [item, name] : table) {
        if (name == text)
            return item;
    }
    throw DecodeError("Cannot initialize from invalid value \"" + text + "\"");
}

/// The stored text of an enumeration value.
template <class Enum, std::size_t Count>
std::string_view textOf(
    Enum item, const std::array<std::pair<Enum, std::string_view>, Count>& table)
{
    for (const auto& [candidate, name] : table) {
        if (candidate == item)
            return name;
    }
    return {};
}

/// The enumeration value of a stored text, or nothing.
template <class Enum, std::size_t Count>
std::optional<Enum> fromText(
    std::string_view text, const std::array<std::pair<Enum, std::string_view>, Count>& table)
{
    for (const auto& [item, name] : table) {
        if (name == text)
            return item;
    }
    return std::nullopt;
}

/// Parses a document; a syntax error becomes a `DecodeError`.
Json parse(std::string_view text);

/// The stored form of a document: pretty-printed with two spaces, keys sorted, `"key" : value`,
/// "/" written as "\/", non-ASCII text as UTF-8. Fails with `Error` for text that is not UTF-8
/// and for numbers that are not finite (JSON has no form for them).
std::string serialize(const Json& value);

} // namespace sorvik::json
