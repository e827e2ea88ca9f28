// Feeds arbitrary bytes, as a file named SORVIK_FUZZ_INPUT_NAME ("input.docx", "input.rtf",
// "input.txt"), to content extraction as the AI rule reads it, and the naming heuristic to
// what it reads. It must never crash: a file it cannot read fails with `Error`, anything
// else gives content within its limits. Built once for each of those readers.
#include "app/services/content_extractor.h"
#include "engine/model/error.h"
#include "fuzz/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    static fuzzing::InputFile input(SORVIK_FUZZ_INPUT_NAME);
    try {
        fuzzing::checkContent(extractContent(input.write(data, size)));
    } catch (const Error&) {
    }
    return 0;
}
