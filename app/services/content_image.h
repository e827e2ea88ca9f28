#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include <QImage>

namespace sorvik {

/// Decoded pictures stay below Qt's own default allocation limit (256 MiB of pixels).
inline constexpr std::int64_t maximumImagePixels = 64LL * 1024 * 1024;

/// The picture in a file as a thumbnail for text recognition: never decoded larger than it
/// must be, at most `maxPixelSize` on its longer side, turned upright by its orientation
/// tag. Nothing when the file is not a picture (or not a regular file); a null image when it
/// is one that cannot be decoded (damaged, or too large to decode safely).
///
/// Qt reads PNG, JPEG, GIF, BMP and the portable formats; TIFF, WebP and JPEG 2000, common
/// for scans, are read through Leptonica, which the recognizer already brings along
/// (`MediaReaders::readScannedImage`).
std::optional<QImage> loadImageThumbnail(const std::filesystem::path& path, int maxPixelSize);

} // namespace sorvik
