#pragma once

#include "engine/model/metadata_dictionary.h"

namespace sorvik {

class RegularFile;

/// Audio and video properties of one file through FFmpeg: the title, artist, album, date,
/// genre and track tags, the duration, and the size, frame rate and codec of the first video
/// stream (cover pictures are not video).
///
/// A damaged or hostile file costs a bounded amount: FFmpeg reads at most a few megabytes to
/// find the streams, gives up after a few seconds, opens no other file or URL that the file
/// names, and only the demuxers of the media extensions are tried.
namespace MediaMetadata {

    /// Adds the audio and video keys of `file` to `values`; a file FFmpeg cannot open adds
    /// nothing. Never throws.
    void read(const RegularFile& file, MetadataDictionary& values);

} // namespace MediaMetadata

} // namespace sorvik
