// Feeds arbitrary bytes, as an audio or video file, to the reader of their properties
// (FFmpeg). It must never crash, and it gives only audio and video keys as UTF-8.
#include "app/services/media_readers.h"
#include "engine/model/regular_file.h"
#include "fuzz/support/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    static fuzzing::InputFile input("input.mp4");
    RegularFile file = input.open(data, size);
    MetadataDictionary values;
    MediaReaders::shared().readMediaMetadata(file, values);
    fuzzing::checkValues(values, { "audio.", "video." });
    return 0;
}
