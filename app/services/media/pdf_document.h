#pragma once

#include <cstdint>
#include <memory>

namespace poppler {
class document;
}

namespace sorvik {

class RegularFile;

/// The one way the PDF readers open a document with poppler.
namespace PdfDocument {

    /// Whether the file is given to poppler at all: it begins as a PDF does ("%PDF-" within
    /// its first 1,024 bytes, where readers look for it) and, when it is larger than
    /// `largestToRebuild`, ends as one ("startxref" within its last 1,024 bytes). poppler
    /// opens anything, and rebuilds a file without its table of objects by reading all of it,
    /// a minute for every few gigabytes: such a large file counts as one that does not open.
    bool mayOpen(const RegularFile& file);
    inline constexpr std::int64_t largestToRebuild = 64 * 1024 * 1024;

    /// The document in `file`, ready to be read; nothing when the file may not be opened
    /// (`mayOpen`), does not open as a PDF, or is locked by a password that opening it needs.
    /// poppler answers almost every question about a locked document (its pages, their
    /// count, its version, its metadata) by reading the catalog it could not decrypt, and
    /// crashes; the little it can tell without the password (whether it is locked) is
    /// nothing a reader wants. A document with only an owner password, which anyone may open,
    /// is returned like any other.
    std::unique_ptr<poppler::document> open(const RegularFile& file);

} // namespace PdfDocument

} // namespace sorvik
