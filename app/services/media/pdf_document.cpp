#include "app/services/media/pdf_document.h"

#include "engine/model/regular_file.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <mutex>
#include <string>

#include <unistd.h>

namespace sorvik::PdfDocument {

namespace {

    void ignoreMessage(const std::string&, void*) { }

    void setUpPoppler()
    {
        static std::once_flag once;
        // poppler writes every syntax complaint about a damaged file to the standard error.
        std::call_once(once, [] { poppler::set_debug_error_function(ignoreMessage, nullptr); });
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

std::unique_ptr<poppler::document> open(const RegularFile& file)
{
    if (!mayOpen(file))
        return nullptr;
    setUpPoppler();
    // poppler reads the document through the descriptor that was checked to be a regular
    // file, so a path swapped for a FIFO in between can never make it block.
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_file(file.descriptorPath()));
    if (!document || document->is_locked())
        return nullptr;
    return document;
}

} // namespace sorvik::PdfDocument
