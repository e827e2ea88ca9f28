// Feeds arbitrary bytes, as a picture, to text recognition: its thumbnail, made as for the AI
// rule though smaller to keep each run short, read by Tesseract. It must never crash; what
// it reads is UTF-8.
#include "app/services/content_image.h"
#include "app/services/media_readers.h"
#include "engine/model/error.h"
#include "fuzz/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    static fuzzing::InputFile input("input.img");
    auto thumbnail = loadImageThumbnail(input.write(data, size), 160);
    if (!thumbnail || thumbnail->isNull())
        return 0;
    try {
        fuzzing::checkText(MediaReaders::shared().recognizeText(*thumbnail, 0, {}));
    } catch (const Error&) {
    }
    return 0;
}
