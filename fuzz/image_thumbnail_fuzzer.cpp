// Feeds arbitrary bytes, as a picture, to the thumbnail maker of text recognition: Qt's
// decoders, and Leptonica's for TIFF, WebP and JPEG 2000 scans. It must never crash, and a
// thumbnail is never larger than asked.
#include "app/services/content_image.h"
#include "fuzz/support/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    constexpr int side = 256;
    static fuzzing::InputFile input("input.img");
    auto thumbnail = loadImageThumbnail(input.write(data, size), side);
    if (thumbnail && (thumbnail->width() > side || thumbnail->height() > side))
        std::abort();
    return 0;
}
