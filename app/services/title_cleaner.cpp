#include "app/services/title_cleaner.h"

#include "app/services/content_text.h"
#include "engine/model/text.h"

#include <algorithm>

namespace sorvik {

std::string limitTitleWords(std::string_view text, std::int64_t max)
{
    std::string spaced = text::replacingAll(text::replacingAll(text, "/", " "), ":", " ");
    auto pieces = contentText::words(spaced);
    auto count = static_cast<std::size_t>(std::clamp<std::int64_t>(max, 1, maximumTitleWords));
    std::string result;
    for (std::size_t index = 0; index < pieces.size() && index < count; ++index) {
        if (index > 0)
            result += ' ';
        result += pieces[index];
    }
    return result;
}

} // namespace sorvik
