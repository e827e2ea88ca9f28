#pragma once

#include <string_view>

namespace sorvik {

/// The search of the rule palette and the token picker: whether `text` contains `query`
/// ignoring letter case and comparing canonically equal forms alike ("Cafe" + U+0301 finds
/// "café"). The query is used as typed, spaces included; an empty query matches everything.
bool searchMatches(std::string_view text, std::string_view query);

} // namespace sorvik
