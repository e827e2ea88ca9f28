#pragma once

class QImageReader;

namespace sorvik {

class RegularFile;

/// Which files Qt's image reader decodes: those it decodes safely, in every program (the
/// command line has no GUI application), taking no more memory than their size warrants. The
/// image reader and the thumbnails for text recognition ask first.
namespace QtImageGuard {

    /// False for the files that `reader`, set on `file`, must not decode:
    /// - a PNG one of whose chunks other than image data claims more bytes than the file
    ///   holds: libpng allocates and clears what a chunk claims before it reads it, up to
    ///   2 GiB for a file of a few hundred bytes (image data is read in small pieces, so a
    ///   picture only cut short is read);
    /// - gzip-compressed data (an SVGZ picture, or any file that begins as one): Qt's SVG
    ///   reader inflates all of it into memory, up to a thousand times the file's size;
    /// - an SVG picture: drawing its text ends a program without a GUI application, and SVG
    ///   is none of the picture formats whose properties are read.
    bool mayDecode(const RegularFile& file, QImageReader& reader);

} // namespace QtImageGuard

} // namespace sorvik
