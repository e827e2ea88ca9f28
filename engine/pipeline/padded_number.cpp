#include "engine/pipeline/padded_number.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace sorvik::RenamePipeline {

std::string paddedNumber(std::int64_t value, std::int64_t width)
{
    return paddedNumber(value, width, maximumPaddingWidth);
}

std::string paddedNumber(std::int64_t value, std::int64_t width, std::int64_t maximumWidth)
{
    // The magnitude is taken in unsigned arithmetic: negating INT64_MIN as a signed value
    // would overflow.
    auto magnitude = static_cast<std::uint64_t>(value);
    if (value < 0)
        magnitude = 0 - magnitude;
    std::array<char, 20> digits {};
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude).ptr;
    auto digitCount = static_cast<std::int64_t>(end - digits.data());
    // Clamped before subtracting, so that no width, however negative, can overflow.
    auto zeros = std::max<std::int64_t>(0,
        std::clamp<std::int64_t>(width, 0, std::max<std::int64_t>(maximumWidth, 0)) - digitCount);

    std::string result;
    result.reserve(static_cast<std::size_t>(zeros + digitCount + 1));
    if (value < 0)
        result.push_back('-');
    result.append(static_cast<std::size_t>(zeros), '0');
    result.append(digits.data(), end);
    return result;
}

} // namespace sorvik::RenamePipeline
