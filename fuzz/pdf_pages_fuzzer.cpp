// Feeds arbitrary bytes, as a PDF file, to the reader of a PDF's first pages: the text of
// pages 1 and 2, and page 1 drawn as a scan is drawn for text recognition, though into a
// smaller box, to keep each run short. It must never crash; the text is UTF-8, and the
// drawing fits its box.
#include "app/services/content_text.h"
#include "app/services/media_readers.h"
#include "engine/model/text.h"
#include "fuzz/support/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    constexpr int width = 160;
    constexpr int height = 200;
    static fuzzing::InputFile input("input.pdf");
    auto document = MediaReaders::shared().openPDF(input.write(data, size));
    if (!document)
        return 0;
    std::string text = document->text();
    fuzzing::checkText(text);
    text::characterCount(contentText::trimmed(text));
    auto page = document->renderFirstPage(width, height);
    // Rounding the resolution may add a pixel.
    if (!page.image.isNull()
        && (page.image.width() > width + 1 || page.image.height() > height + 1))
        std::abort();
    return 0;
}
