#pragma once

#include <QImage>

#include <optional>

namespace sorvik {

class RegularFile;

/// A TIFF, WebP or JPEG 2000 picture through Leptonica (see `MediaReaders::readScannedImage`).
std::optional<QImage> readScannedImage(const RegularFile& file);

} // namespace sorvik
