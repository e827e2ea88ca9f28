#pragma once

#include "engine/model/file_url.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// What a start of the window program asks of the window: the running sorvik receives it
/// from a later start, or the first start makes it of itself.
struct InstanceRequest {
    enum class Kind : std::uint8_t {
        /// Show and raise the window.
        show = 1,
        /// Files the file manager opened with sorvik: preset documents are imported one by
        /// one, all others added in one call.
        openDocuments = 2,
        /// "Open in sorvik": every file is added, preset documents included, in one call.
        addFiles = 3,
    };

    Kind kind = Kind::show;
    /// Absolute paths, as the system spells them (bytes).
    std::vector<FileURL> files;

    friend bool operator==(const InstanceRequest&, const InstanceRequest&) = default;
};

// The request on the wire, one frame per connection: its length (4 bytes, big-endian), then
// "sorvik-request", a version byte, the kind, the file count (4 bytes) and each file as its
// folder flag (one byte), its path length (4 bytes) and its path's bytes. Paths travel as
// bytes, never as text, so a name that is not UTF-8 arrives as it left.
namespace InstanceRequestFrame {

    /// The largest frame a receiver takes; a longer one is refused unread.
    inline constexpr std::uint32_t sizeLimit = 64u << 20;
    /// The bytes before the body that tell the body's length.
    inline constexpr std::size_t headerSize = 4;

    /// The whole frame of `request`, length first.
    std::string encode(const InstanceRequest& request);
    /// The length a frame's first `headerSize` bytes announce.
    std::uint32_t bodyLength(std::string_view header);
    /// The request in a frame's body (the bytes after the length); nothing when the body is
    /// not one: another format or version, an unknown kind, a truncated or overlong list, or
    /// a path that is not absolute or holds a NUL byte.
    std::optional<InstanceRequest> decode(std::string_view body);

} // namespace InstanceRequestFrame

} // namespace sorvik
