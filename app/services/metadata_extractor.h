#pragma once

#include "engine/model/file_url.h"
#include "engine/model/metadata_dictionary.h"

#include <string>
#include <string_view>

namespace sorvik {

class RegularFile;

/// Reads the metadata of one file into the flat map of token keys.
///
/// Policy: only a regular file is opened, once, through `RegularFile`; a folder, FIFO, socket
/// or device yields an empty map without being read. Every file is offered to the image
/// reader; a file with the extension "pdf" (any letter case) also to the PDF reader; a file
/// with one of the ten media extensions also to FFmpeg. Each reader catches its library's
/// failures, so extraction never fails: what cannot be read is absent.
namespace MetadataExtractor {

    /// The metadata of the file at `url`. Stateless; safe to run on several threads at once.
    MetadataDictionary extract(const FileURL& url);

    /// A path that names the open file itself ("/proc/self/fd/…"), for libraries that insist
    /// on opening a path: they reach the very file that was checked, whatever happens to its
    /// name meanwhile.
    std::string descriptorPath(const RegularFile& file);

    /// True for the extensions whose audio and video properties are read: mp3, m4a, wav, aiff,
    /// aac, flac, mp4, mov, m4v, avi (lower case).
    bool isMediaExtension(std::string_view lowercasedExtension);

} // namespace MetadataExtractor

} // namespace sorvik
