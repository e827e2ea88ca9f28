#include "app/services/media/pdf_metadata.h"

#include "app/services/metadata_text.h"
#include "engine/model/regular_file.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include <unistd.h>

namespace sorvik::PDFMetadata {

namespace {

    void ignoreMessage(const std::string&, void*) { }

    void setUpPoppler()
    {
        static std::once_flag once;
        // poppler writes every syntax complaint about a damaged file to the standard error.
        std::call_once(once, [] { poppler::set_debug_error_function(ignoreMessage, nullptr); });
    }

    std::string text(const poppler::ustring& value)
    {
        poppler::byte_array bytes = value.to_utf8();
        return MetadataText::cleaned(std::string_view(bytes.data(), bytes.size()));
    }

} // namespace

bool mayOpen(const RegularFile& file)
{
    constexpr std::size_t edge = 1024;
    if (file.readPrefix(edge).find("%PDF-") == std::string::npos)
        return false;
    if (file.size() <= largestToRebuild)
        return true;
    std::string end(edge, '\0');
    auto count = ::pread(file.descriptor(), end.data(), end.size(),
        static_cast<off_t>(file.size() - static_cast<std::int64_t>(edge)));
    end.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return end.find("startxref") != std::string::npos;
}

void read(const RegularFile& file, MetadataDictionary& values)
{
    if (!mayOpen(file))
        return;
    setUpPoppler();
    try {
        std::unique_ptr<poppler::document> document(
            poppler::document::load_from_file(file.descriptorPath()));
        if (!document)
            return;
        values["pdf.pages"] = std::to_string(std::max(document->pages(), 0));
        // The information of a locked document is encrypted and cannot be read.
        if (document->is_locked())
            return;
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
