#include "app/rules/search_match.h"

#include "engine/model/text.h"

namespace sorvik {

bool searchMatches(std::string_view text, std::string_view query)
{
    if (query.empty())
        return true;
    // Text that is not UTF-8 can only be matched byte for byte.
    if (!text::isValidUtf8(text) || !text::isValidUtf8(query))
        return text.find(query) != std::string_view::npos;
    if (text::isAscii(text) && text::isAscii(query))
        return text::contains(text, query, true);
    return text::contains(text::nfc(text), text::nfc(query), true);
}

} // namespace sorvik
