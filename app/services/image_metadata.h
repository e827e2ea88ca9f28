#pragma once

#include "engine/model/metadata_dictionary.h"

#include <string>
#include <string_view>

namespace sorvik {

class RegularFile;

/// Image properties of one file: pixel size and orientation, the EXIF camera settings, the
/// TIFF make and model, the capture date with its parts and the GPS position. exiv2 reads the
/// file; Qt's image reader supplies the pixel size where exiv2 has none.
namespace ImageMetadata {

    /// Adds the image keys of `file` to `values`. `extension` (lower case) lets Qt try formats
    /// exiv2 does not know. A file that does not open as an image adds nothing. Never throws.
    void read(const RegularFile& file, std::string_view extension, MetadataDictionary& values);

    /// "DateTimeOriginal" text ("2023:12:31 23:30:00", read in the current time zone) as the
    /// four date keys: "exif.date" in UTC, "exif.year", "exif.month" and "exif.day" in local
    /// time. A text that does not parse adds nothing.
    void addCaptureDate(const std::string& text, MetadataDictionary& values);

} // namespace ImageMetadata

} // namespace sorvik
