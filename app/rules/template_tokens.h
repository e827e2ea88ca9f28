#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The tokens that the template fields of the insert, pattern and subfolder editors offer,
// ready to insert: each entry is the text between the braces, its format included where it
// has one ("#:3"). It is the editors' own list, not the token language's list of known
// names: it carries formats and leaves out the AI tokens.
namespace sorvik {

inline constexpr std::array<std::string_view, 44> templateTokens {
    "name",
    "ext",
    "folder",
    "parent",
    "#:3",
    "date.created:yyyy-MM-dd",
    "date.modified:yyyy-MM-dd",
    "today:yyyy-MM-dd",
    "size",
    "size.kb",
    "size.mb",
    "exif.date:yyyy-MM-dd",
    "exif.year",
    "exif.month",
    "exif.day",
    "exif.camera",
    "exif.make",
    "exif.model",
    "exif.lens",
    "exif.iso",
    "exif.focal",
    "exif.aperture",
    "exif.shutter",
    "gps.city",
    "gps.country",
    "gps.lat",
    "gps.lon",
    "image.width",
    "image.height",
    "image.orientation",
    "audio.title",
    "audio.artist",
    "audio.album",
    "audio.track:2",
    "audio.year",
    "audio.genre",
    "video.duration:mm-ss",
    "video.width",
    "video.height",
    "video.fps",
    "video.codec",
    "pdf.title",
    "pdf.author",
    "pdf.pages",
};

/// The tokens that the search `query` finds, in their order: all of them for an empty query,
/// otherwise those whose whole entry (format included) contains it (`searchMatches`).
std::vector<std::string> matchingTokens(
    const std::vector<std::string>& tokens, std::string_view query);

/// The template with the token appended in braces at its very end, nothing in between.
std::string appendingToken(std::string_view templateText, std::string_view token);

/// The 44 template tokens as texts.
std::vector<std::string> templateTokenList();

} // namespace sorvik
