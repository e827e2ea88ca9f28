#pragma once

#include "engine/model/metadata_dictionary.h"

#include <cstdint>

namespace sorvik {

class RegularFile;

/// PDF properties of one file through poppler: the page count and the title and author of the
/// document information.
namespace PDFMetadata {

    /// Whether the file is given to poppler at all: it begins as a PDF does ("%PDF-" within
    /// its first 1,024 bytes, where readers look for it) and, when it is larger than
    /// `largestToRebuild`, ends as one ("startxref" within its last 1,024 bytes). poppler
    /// opens anything, and rebuilds a file without its table of objects by reading all of it,
    /// a minute for every few gigabytes: such a large file counts as one that does not open.
    bool mayOpen(const RegularFile& file);
    inline constexpr std::int64_t largestToRebuild = 64 * 1024 * 1024;

    /// Adds "pdf.pages" and, when the document information holds them, "pdf.title" and
    /// "pdf.author". A file that does not open as a PDF adds nothing. Never throws.
    void read(const RegularFile& file, MetadataDictionary& values);

} // namespace PDFMetadata

} // namespace sorvik
