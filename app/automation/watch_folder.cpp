#include "app/automation/watch_folder.h"

#include "engine/model/file_item.h"
#include "engine/model/json.h"
#include "engine/model/text.h"

#include <QByteArray>

#include <nlohmann/json.hpp>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace sorvik {

namespace {

    constexpr std::string_view bookmarkKey = "bookmark";
    constexpr std::string_view fileTypesKey = "fileTypes";
    constexpr std::string_view folderKey = "folder";
    constexpr std::string_view idKey = "id";
    constexpr std::string_view includeSubfoldersKey = "includeSubfolders";
    constexpr std::string_view isEnabledKey = "isEnabled";
    constexpr std::string_view presetIDKey = "presetID";
    constexpr std::string_view settleSecondsKey = "settleSeconds";

    /// A space separator (the space, the no-break space and their kind) or a tab; line ends
    /// are not blanks.
    bool isBlank(UChar32 scalar)
    {
        return scalar == '\t' || (scalar >= 0 && u_charType(scalar) == U_SPACE_SEPARATOR);
    }

    std::string_view trimmingBlanks(std::string_view text)
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        auto length = static_cast<std::int32_t>(text.size());
        std::int32_t start = 0;
        while (start < length) {
            std::int32_t next = start;
            UChar32 scalar;
            U8_NEXT(bytes, next, length, scalar);
            if (!isBlank(scalar))
                break;
            start = next;
        }
        std::int32_t end = length;
        while (end > start) {
            std::int32_t previous = end;
            UChar32 scalar;
            U8_PREV(bytes, start, previous, scalar);
            if (!isBlank(scalar))
                break;
            end = previous;
        }
        return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    }

    std::string base64(const BookmarkData& data)
    {
        QByteArray bytes(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
        return bytes.toBase64().toStdString();
    }

    BookmarkData fromBase64(const std::string& text)
    {
        auto decoded = QByteArray::fromBase64Encoding(
            QByteArray::fromStdString(text), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw json::DecodeError("Invalid Base64 data");
        const auto& bytes = *decoded;
        return BookmarkData(bytes.begin(), bytes.end());
    }

} // namespace

void to_json(nlohmann::json& json, const WatchFolder& folder)
{
    json = nlohmann::json::object();
    json[bookmarkKey] = base64(folder.bookmark);
    json[fileTypesKey] = folder.fileTypes;
    json[folderKey] = FileURL(folder.folder.path, true);
    json[idKey] = folder.id;
    json[includeSubfoldersKey] = folder.includeSubfolders;
    json[isEnabledKey] = folder.isEnabled;
    json[presetIDKey] = folder.presetID;
    json[settleSecondsKey] = folder.settleSeconds;
}

void from_json(const nlohmann::json& json, WatchFolder& folder)
{
    using json::field;
    WatchFolder read;
    try {
        read.bookmark = fromBase64(field<std::string>(json, bookmarkKey));
    } catch (json::DecodeError& error) {
        error.prependKey(bookmarkKey);
        throw;
    }
    read.fileTypes = field<std::string>(json, fileTypesKey);
    auto url = field<FileURL>(json, folderKey);
    read.folder = FileURL(url.path, true);
    read.id = field<Uuid>(json, idKey);
    read.includeSubfolders = field<bool>(json, includeSubfoldersKey);
    read.isEnabled = field<bool>(json, isEnabledKey);
    read.presetID = field<Uuid>(json, presetIDKey);
    read.settleSeconds = field<std::int64_t>(json, settleSecondsKey);
    folder = std::move(read);
}

std::unordered_set<std::string> wantedExtensions(std::string_view fileTypes)
{
    std::unordered_set<std::string> wanted;
    auto lowered = text::lowercased(fileTypes);
    std::string_view rest = lowered;
    while (true) {
        auto comma = rest.find(',');
        auto piece = rest.substr(0, comma);
        if (!piece.empty())
            wanted.insert(text::nfc(trimmingBlanks(piece)));
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return wanted;
}

bool hasWantedExtension(std::string_view name, const std::unordered_set<std::string>& wanted)
{
    if (wanted.empty())
        return true;
    return wanted.contains(text::nfc(text::lowercased(extensionOfName(name))));
}

} // namespace sorvik
