#pragma once

#include "engine/model/file_url.h"

#include <functional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// One planned move of one file. Equal when both URLs are equal exactly as held (no
/// standardising, no case folding).
struct RenameMove {
    FileURL from;
    FileURL to;

    friend bool operator==(const RenameMove&, const RenameMove&) = default;
};

/// The key under which the executor compares URLs: the standardised path ("." and ".."
/// resolved without touching the disk, symbolic links kept), lower-cased, so that two names
/// a case-insensitive volume would take for one file give one key.
std::string comparisonKey(const FileURL& url);

/// {"from": URL text, "to": URL text}.
void to_json(nlohmann::json& json, const RenameMove& move);
/// Strict: both keys required.
void from_json(const nlohmann::json& json, RenameMove& move);

} // namespace sorvik

template <> struct std::hash<sorvik::RenameMove> {
    std::size_t operator()(const sorvik::RenameMove& move) const noexcept
    {
        std::size_t seed = std::hash<sorvik::FileURL> {}(move.from);
        return seed
            ^ (std::hash<sorvik::FileURL> {}(move.to) + 0x9E3779B97F4A7C15ULL + (seed << 6)
                + (seed >> 2));
    }
};
