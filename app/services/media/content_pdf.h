#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QImage>

namespace poppler {
class document;
}

namespace sorvik {

/// A PDF opened for what its first pages say. Only page 1 and page 2 are ever read, and only
/// page 1 is ever rendered, whatever the length of the document.
class PdfFirstPages {
public:
    /// The document at `path`, or nothing when it is not a regular file that opens as a PDF.
    static std::optional<PdfFirstPages> open(const std::filesystem::path& path);

    PdfFirstPages(PdfFirstPages&&) noexcept;
    PdfFirstPages& operator=(PdfFirstPages&&) noexcept;
    ~PdfFirstPages();

    /// The text of page 1 and, when there is one, page 2 in reading order, joined with one
    /// space; a page without text is left out.
    std::string text() const;

    struct Rendering {
        QImage image;
        int dotsPerInch = 0;
    };

    /// Page 1 drawn on white to fit `width` by `height` pixels, keeping its proportions;
    /// a null image when there is no page or drawing fails.
    Rendering renderFirstPage(int width, int height) const;

private:
    explicit PdfFirstPages(std::unique_ptr<poppler::document> document);

    std::unique_ptr<poppler::document> m_document;
};

} // namespace sorvik
