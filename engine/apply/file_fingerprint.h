#pragma once

#include "engine/model/date.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <functional>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// The state of one file right after a batch renamed it: undo puts a batch back only while
/// every file still has the fingerprint the batch left. Equal when size, modification date
/// (exactly) and file number are.
struct FileFingerprint {
    /// Bytes; -1 when not readable.
    std::int64_t size = -1;
    /// Content modification date; `Date::distantPast()` when not readable.
    Date modified = Date::distantPast();
    /// File-system file number; 0 when not readable.
    std::uint64_t inode = 0;

    FileFingerprint() = default;
    FileFingerprint(std::int64_t size_, Date modified_, std::uint64_t inode_)
        : size(size_)
        , modified(modified_)
        , inode(inode_)
    {
    }
    /// The fingerprint of the item at `url`; a final symbolic link is not followed. Fails
    /// with `FileSystemError` when its attributes cannot be read (for instance, no such file).
    explicit FileFingerprint(const FileURL& url);

    friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};

/// {"inode": integer, "modified": seconds since 2001, "size": integer}.
void to_json(nlohmann::json& json, const FileFingerprint& fingerprint);
/// Strict: all three keys required.
void from_json(const nlohmann::json& json, FileFingerprint& fingerprint);

} // namespace sorvik

template <> struct std::hash<sorvik::FileFingerprint> {
    std::size_t operator()(const sorvik::FileFingerprint& fingerprint) const noexcept
    {
        std::size_t seed = std::hash<std::int64_t> {}(fingerprint.size);
        auto combine = [&seed](std::size_t value) {
            seed ^= value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
        };
        combine(std::hash<double> {}(fingerprint.modified.seconds));
        combine(std::hash<std::uint64_t> {}(fingerprint.inode));
        return seed;
    }
};
