#include "engine/apply/rename_move.h"

#include "engine/model/json.h"
#include "engine/model/text.h"

#include <algorithm>

namespace sorvik {

namespace {
    constexpr std::string_view fromKey = "from";
    constexpr std::string_view toKey = "to";
} // namespace

std::string comparisonKey(const FileURL& url)
{
    std::string path = url.standardized().path;
    if (text::isAscii(path) || !text::isValidUtf8(path)) {
        // Bytes that are not UTF-8 have no case beyond ASCII letters.
        std::transform(path.begin(), path.end(), path.begin(), [](char character) {
            return character >= 'A' && character <= 'Z' ? static_cast<char>(character + 32)
                                                        : character;
        });
        return path;
    }
    return text::lowercased(path);
}

void to_json(nlohmann::json& json, const RenameMove& move)
{
    json = nlohmann::json::object();
    json[fromKey] = move.from;
    json[toKey] = move.to;
}

void from_json(const nlohmann::json& json, RenameMove& move)
{
    move.from = json::field<FileURL>(json, fromKey);
    move.to = json::field<FileURL>(json, toKey);
}

} // namespace sorvik
