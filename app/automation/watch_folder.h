#pragma once

#include "app/store/bookmark.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// One folder whose arriving files are renamed with a preset once they stop changing.
struct WatchFolder {
    static constexpr std::string_view fileName = "watchfolders.json";
    static constexpr std::int64_t defaultSettleSeconds = 3;

    Uuid id = Uuid::random();
    /// The watched folder; at start-up the folder its bookmark finds.
    FileURL folder;
    BookmarkData bookmark;
    /// The preset (in "presets.json") whose rules rename the folder's files.
    Uuid presetID;
    bool includeSubfolders = false;
    /// Extensions separated by ","; empty means every file.
    std::string fileTypes;
    /// Quiet seconds before a file counts as settled; below 1 counts as 1.
    std::int64_t settleSeconds = defaultSettleSeconds;
    bool isEnabled = true;

    friend bool operator==(const WatchFolder&, const WatchFolder&) = default;
};

/// Every key is written; the bookmark as Base64 text, the folder as folder URL text.
void to_json(nlohmann::json& json, const WatchFolder& folder);
/// Strict: all eight keys are required, and the bookmark must be valid Base64.
void from_json(const nlohmann::json& json, WatchFolder& folder);

/// The extensions a file type list lets through, lower-cased and in composed form: the list
/// lower-cased, split at ",", empty pieces dropped, each piece trimmed of blanks (spaces and
/// tabs, not line ends). A piece of blanks alone becomes the empty extension, which lets files
/// without one through. An empty set lets every file through.
std::unordered_set<std::string> wantedExtensions(std::string_view fileTypes);

/// Whether a file named `name` passes `wanted` (every file when it is empty).
bool hasWantedExtension(std::string_view name, const std::unordered_set<std::string>& wanted);

} // namespace sorvik
