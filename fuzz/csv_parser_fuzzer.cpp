// Feeds arbitrary bytes to the list parser. Any failure other than the parser's own error, and
// any record outside one or two fields or with only empty fields, is a bug.
#include "engine/model/csv_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        auto records = sorvik::CSVParser::parse(text);
        std::size_t bytes = 0;
        for (const auto& record : records) {
            if (record.empty() || record.size() > 2)
                std::abort();
            if (std::all_of(record.begin(), record.end(),
                    [](const std::string& field) { return field.empty(); }))
                std::abort();
            for (const auto& field : record)
                bytes += field.size();
        }
        // Fields are taken from the text, never invented: they can only be shorter.
        if (bytes > size)
            std::abort();
    } catch (const sorvik::CSVParser::ParseError&) {
    }
    return 0;
}
