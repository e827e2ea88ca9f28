#pragma once

#include "engine/model/metadata_dictionary.h"

namespace sorvik {

class RegularFile;

/// PDF properties of one file through poppler: the page count and the title and author of the
/// document information.
namespace PDFMetadata {

    /// Adds "pdf.pages" and, when the document information holds them, "pdf.title" and
    /// "pdf.author". A file that does not open as a PDF, or opens only with a password, adds
    /// nothing. Never throws.
    void read(const RegularFile& file, MetadataDictionary& values);

} // namespace PDFMetadata

} // namespace sorvik
