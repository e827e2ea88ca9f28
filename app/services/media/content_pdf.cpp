#include "app/services/media/content_pdf.h"

#include "app/services/media/pdf_document.h"
#include "engine/model/regular_file.h"

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <string>

namespace sorvik {

namespace {

    std::string utf8(const poppler::ustring& text)
    {
        auto bytes = text.to_utf8();
        return std::string(bytes.begin(), bytes.end());
    }

} // namespace

PdfFirstPages::PdfFirstPages(std::unique_ptr<poppler::document> document)
    : m_document(std::move(document))
{
}

PdfFirstPages::~PdfFirstPages() = default;

std::unique_ptr<PdfFirstPages> PdfFirstPages::open(const std::filesystem::path& path)
{
    auto file = RegularFile::open(path);
    if (!file)
        return nullptr;
    auto document = PdfDocument::open(*file);
    if (!document)
        return nullptr;
    return std::unique_ptr<PdfFirstPages>(new PdfFirstPages(std::move(document)));
}

std::string PdfFirstPages::text() const
{
    std::string joined;
    int pageCount = std::min(m_document->pages(), 2);
    for (int index = 0; index < pageCount; ++index) {
        std::unique_ptr<poppler::page> page(m_document->create_page(index));
        if (!page)
            continue;
        std::string pageText
            = utf8(page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout));
        if (pageText.empty())
            continue;
        if (!joined.empty())
            joined += ' ';
        joined += pageText;
    }
    return joined;
}

PdfFirstPages::Rendering PdfFirstPages::renderFirstPage(int width, int height) const
{
    if (m_document->pages() < 1)
        return {};
    std::unique_ptr<poppler::page> page(m_document->create_page(0));
    if (!page)
        return {};
    poppler::rectf box = page->page_rect(poppler::media_box);
    double pageWidth = box.width();
    double pageHeight = box.height();
    auto orientation = page->orientation();
    if (orientation == poppler::page::landscape || orientation == poppler::page::seascape)
        std::swap(pageWidth, pageHeight);
    if (pageWidth <= 0 || pageHeight <= 0)
        return {};
    double scale = std::min(width / pageWidth, height / pageHeight);
    double resolution = 72.0 * scale;

    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing);
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(poppler::image::format_gray8);
    poppler::image rendered = renderer.render_page(page.get(), resolution, resolution);
    if (!rendered.is_valid() || rendered.width() <= 0 || rendered.height() <= 0)
        return {};

    QImage image(reinterpret_cast<const uchar*>(rendered.const_data()), rendered.width(),
        rendered.height(), rendered.bytes_per_row(), QImage::Format_Grayscale8);
    return { image.copy(), static_cast<int>(resolution + 0.5) };
}

} // namespace sorvik
