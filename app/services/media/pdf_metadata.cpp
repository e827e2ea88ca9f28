#include "app/services/media/pdf_metadata.h"

#include "app/services/media/pdf_document.h"
#include "app/services/metadata_text.h"

#include <poppler/cpp/poppler-document.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace sorvik::PDFMetadata {

namespace {

    std::string text(const poppler::ustring& value)
    {
        poppler::byte_array bytes = value.to_utf8();
        return MetadataText::cleaned(std::string_view(bytes.data(), bytes.size()));
    }

} // namespace

void read(const RegularFile& file, MetadataDictionary& values)
{
    try {
        auto document = PdfDocument::open(file);
        if (!document)
            return;
        values["pdf.pages"] = std::to_string(std::max(document->pages(), 0));
        std::vector<std::string> keys = document->info_keys();
        auto has = [&](const char* key) {
            return std::find(keys.begin(), keys.end(), key) != keys.end();
        };
        if (has("Title"))
            values["pdf.title"] = text(document->get_title());
        if (has("Author"))
            values["pdf.author"] = text(document->get_author());
    } catch (...) {
    }
}

} // namespace sorvik::PDFMetadata
