#pragma once

#include "app/services/media_readers.h"

#include <filesystem>
#include <memory>
#include <string>

namespace poppler {
class document;
}

namespace sorvik {

/// The first pages of a PDF through poppler (see `PdfPages`).
class PdfFirstPages : public PdfPages {
public:
    /// The document at `path`, or nothing when it is not a regular file that opens as a PDF
    /// without a password.
    static std::unique_ptr<PdfFirstPages> open(const std::filesystem::path& path);

    ~PdfFirstPages() override;

    std::string text() const override;
    Rendering renderFirstPage(int width, int height) const override;

private:
    explicit PdfFirstPages(std::unique_ptr<poppler::document> document);

    std::unique_ptr<poppler::document> m_document;
};

} // namespace sorvik
