#include "engine/model/json.h"

#include "engine/model/json_stream.h"

#include <cmath>
#include <limits>

namespace sorvik::json {

DecodeError::DecodeError(std::string reason)
    : Error(reason)
    , m_reason(std::move(reason))
{
    rebuildMessage();
}

void DecodeError::prependKey(std::string_view key)
{
    if (m_path.empty() || m_path.front() == '[')
        m_path = std::string(key) + m_path;
    else
        m_path = std::string(key) + "." + m_path;
    rebuildMessage();
}

void DecodeError::prependIndex(std::size_t index)
{
    std::string component = "[" + std::to_string(index) + "]";
    if (m_path.empty() || m_path.front() == '[')
        m_path = component + m_path;
    else
        m_path = component + "." + m_path;
    rebuildMessage();
}

void DecodeError::rebuildMessage()
{
    m_message = m_path.empty() ? m_reason : m_path + ": " + m_reason;
}

std::string describeType(const Json& value)
{
    switch (value.type()) {
    case Json::value_t::null:
        return "null";
    case Json::value_t::object:
        return "an object";
    case Json::value_t::array:
        return "an array";
    case Json::value_t::string:
        return "a string";
    case Json::value_t::boolean:
        return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
        return "an integer";
    case Json::value_t::number_float:
        return "a number";
    default:
        return "an unknown value";
    }
}

void requireObject(const Json& value)
{
    if (!value.is_object())
        throw DecodeError("Expected an object but found " + describeType(value));
}

std::string Decoder<std::string>::decode(const Json& value)
{
    if (!value.is_string())
        throw DecodeError("Expected a string but found " + describeType(value));
    return value.get_ref<const std::string&>();
}

bool Decoder<bool>::decode(const Json& value)
{
    if (!value.is_boolean())
        throw DecodeError("Expected a boolean but found " + describeType(value));
    return value.get<bool>();
}

std::int64_t Decoder<std::int64_t>::decode(const Json& value)
{
    if (value.is_number_unsigned()) {
        auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw DecodeError(
                "Number " + std::to_string(number) + " does not fit in a 64-bit integer");
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    throw DecodeError("Expected an integer but found " + describeType(value));
}

std::uint64_t Decoder<std::uint64_t>::decode(const Json& value)
{
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>();
    if (value.is_number_integer())
        throw DecodeError("Number " + std::to_string(value.get<std::int64_t>())
            + " does not fit in an unsigned 64-bit integer");
    throw DecodeError("Expected an integer but found " + describeType(value));
}

double Decoder<double>::decode(const Json& value)
{
    if (!value.is_number())
        throw DecodeError("Expected a number but found " + describeType(value));
    return value.get<double>();
}

const Json& member(const Json& object, std::string_view key)
{
    requireObject(object);
    auto found = object.find(key);
    if (found == object.end())
        throw DecodeError("Missing key \"" + std::string(key) + "\"");
    if (found->is_null()) {
        DecodeError error("Unexpected null value");
        error.prependKey(key);
        throw error;
    }
    return *found;
}

Json parse(std::string_view text)
{
    try {
        return Json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        throw DecodeError(std::string("The data is not valid JSON: ") + error.what());
    }
}

namespace {

    std::string scalarText(const Json& value)
    {
        // nlohmann writes NaN and infinities as null, which would not read back as the number
        // that was stored; refuse them like any value that cannot be encoded.
        if (value.is_number_float() && !std::isfinite(value.get<double>()))
            throw Error("The data couldn’t be written because it isn’t in the correct format.");
        return value.dump();
    }

    void write(const Json& value, int depth, std::string& out)
    {
        auto indent = [&out](int level) { out.append(static_cast<std::size_t>(level) * 2, ' '); };
        if (value.is_object()) {
            if (value.empty()) {
                out += "{\n\n";
                indent(depth);
                out += "}";
                return;
            }
            out += "{\n";
            bool first = true;
            // nlohmann's object type is an ordered map keyed by std::string: iteration is
            // already in sorted key order.
            for (auto it = value.begin(); it != value.end(); ++it) {
                if (!first)
                    out += ",\n";
                first = false;
                indent(depth + 1);
                appendString(out, it.key());
                out += " : ";
                write(it.value(), depth + 1, out);
            }
            out += "\n";
            indent(depth);
            out += "}";
            return;
        }
        if (value.is_array()) {
            if (value.empty()) {
                out += "[\n\n";
                indent(depth);
                out += "]";
                return;
            }
            out += "[\n";
            bool first = true;
            for (const auto& element : value) {
                if (!first)
                    out += ",\n";
                first = false;
                indent(depth + 1);
                write(element, depth + 1, out);
            }
            out += "\n";
            indent(depth);
            out += "]";
            return;
        }
        if (value.is_string())
            appendString(out, value.get_ref<const std::string&>());
        else
            out += scalarText(value);
    }

} // namespace

std::string serialize(const Json& value)
{
    std::string out;
    write(value, 0, out);
    return out;
}

} // namespace sorvik::json
