#pragma once

namespace sorvik {

class RegularFile;

/// Which files Qt's image reader is given: those whose decoding takes no more memory than
/// their size warrants. The image reader and thumbnails for text recognition ask first.
namespace QtImageGuard {

    /// False for files whose decoders take what the file claims rather than what it holds:
    /// - a PNG one of whose chunks other than image data claims more bytes than the file
    ///   holds: libpng allocates and clears what a chunk claims before it reads it, up to
    ///   2 GiB for a file of a few hundred bytes (image data is read in small pieces, so a
    ///   picture only cut short is read);
    /// - gzip-compressed data (an SVGZ picture, or any file that begins as one): Qt's SVG
    ///   reader inflates all of it into memory, up to a thousand times the file's size.
    bool mayDecode(const RegularFile& file);

} // namespace QtImageGuard

} // namespace sorvik
