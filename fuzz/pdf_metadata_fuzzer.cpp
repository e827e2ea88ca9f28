// Feeds arbitrary bytes, as a PDF file, to the reader of a PDF's properties. It must never
// crash, and it gives only the PDF keys as UTF-8, the page count in decimal digits.
#include "app/services/media_readers.h"
#include "engine/model/regular_file.h"
#include "fuzz/support/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    static fuzzing::InputFile input("input.pdf");
    RegularFile file = input.open(data, size);
    MetadataDictionary values;
    MediaReaders::shared().readPDFMetadata(file, values);
    fuzzing::checkValues(values, { "pdf.pages", "pdf.title", "pdf.author" });
    if (auto pages = values.find("pdf.pages"); pages != values.end()
        && (pages->second.empty()
            || pages->second.find_first_not_of("0123456789") != std::string::npos))
        std::abort();
    return 0;
}
