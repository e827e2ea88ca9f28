#pragma once

#include <cstdint>
#include <string>

namespace sorvik::RenamePipeline {

/// The widest run of digits a padded number gets; a larger width counts as this one.
inline constexpr std::int64_t maximumPaddingWidth = 255;

/// The decimal text of `value` padded with leading zeros to `width` digits: a "-" for a
/// negative number, then max(0, min(width, 255) minus the digit count) zeros, then the digits
/// of the magnitude. The sign does not count toward the width. Every 64-bit value has a
/// magnitude here, the most negative one included, and no width can ask for more than 255
/// zeros, however large the number a template or a file's tags hand in.
std::string paddedNumber(std::int64_t value, std::int64_t width);

/// As above, with `maximumWidth` in place of 255 as the largest width that counts.
std::string paddedNumber(std::int64_t value, std::int64_t width, std::int64_t maximumWidth);

} // namespace sorvik::RenamePipeline
