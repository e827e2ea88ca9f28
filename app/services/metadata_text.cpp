#include "app/services/metadata_text.h"

#include "engine/model/text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace sorvik::MetadataText {

std::string shortest(double value, bool keepFraction)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // The scientific form gives the shortest round-trip digits and their exponent; the digits
    // are then laid out around the decimal point by hand.
    char buffer[64];
    auto [end, error]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    if (error != std::errc {})
        return {};
    std::string_view text(buffer, static_cast<std::size_t>(end - buffer));

    std::string result;
    if (text.front() == '-') {
        result.push_back('-');
        text.remove_prefix(1);
    }
    auto exponentAt = text.find('e');
    std::string digits;
    for (char character : text.substr(0, exponentAt)) {
        if (character != '.')
            digits.push_back(character);
    }
    int exponent = std::atoi(std::string(text.substr(exponentAt + 1)).c_str());
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    int digitCount = static_cast<int>(digits.size());
    int pointPosition = exponent + 1; // digits before the decimal point
    if (pointPosition <= 0) {
        result += "0.";
        result.append(static_cast<std::size_t>(-pointPosition), '0');
        result += digits;
    } else if (pointPosition >= digitCount) {
        result += digits;
        result.append(static_cast<std::size_t>(pointPosition - digitCount), '0');
        if (keepFraction)
            result += ".0";
    } else {
        result += digits.substr(0, static_cast<std::size_t>(pointPosition));
        result += '.';
        result += digits.substr(static_cast<std::size_t>(pointPosition));
    }
    return result;
}

std::string fixed(double value, int digits)
{
    if (!std::isfinite(value))
        return shortest(value, false);
    char buffer[400];
    auto [end, error]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    if (error != std::errc {})
        return {};
    return std::string(buffer, end);
}

std::string cleaned(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char character : text) {
        if (character != '\0')
            result.push_back(character);
    }
    if (text::isValidUtf8(result))
        return result;
    std::string latin1;
    latin1.reserve(result.size() * 2);
    for (unsigned char byte : result)
        text::appendScalar(latin1, byte);
    return latin1;
}

} // namespace sorvik::MetadataText
