#pragma once

#include "engine/model/file_item.h"
#include "engine/model/rule_options.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvik {

/// How much of a file's start goes into its AI cache key.
inline constexpr std::size_t aiCacheKeyPrefixBytes = 1'048'576;

/// SHA-256 of the bytes as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

/// The shortest decimal text that reads back as the same double, always with a fractional
/// part ("1700000000.0", "1700000000.25", "-0.5").
std::string shortestDecimalText(double value);

/// The key of one AI answer: "v1", the content hash (of the file's first MiB), the item's
/// size, its modification time in seconds since 1970, the mode's case name, `maxWords` as
/// given and the include-date flag, joined by "|". Any change of the file's start, size or
/// time, or of the rule's three settings, makes a new key.
std::string aiCacheKey(std::string_view contentHash, const FileItem& item, AIMode mode,
    std::int64_t maxWords, bool includeDate);

} // namespace sorvik
