// The entry of "libsorvik_media.so": the readers that need poppler, FFmpeg, Tesseract and
// Leptonica, which the program loads on first use (see `MediaReaders`).
#include "app/services/media/content_pdf.h"
#include "app/services/media/media_metadata.h"
#include "app/services/media/pdf_metadata.h"
#include "app/services/media/scanned_image.h"
#include "app/services/media/text_recognizer.h"
#include "app/services/media_readers.h"

namespace sorvik {

namespace {

    class Readers final : public MediaReaders {
    public:
        void readPDFMetadata(const RegularFile& file, MetadataDictionary& values) const override
        {
            PDFMetadata::read(file, values);
        }

        void readMediaMetadata(const RegularFile& file, MetadataDictionary& values) const override
        {
            MediaMetadata::read(file, values);
        }

        std::unique_ptr<PdfPages> openPDF(const std::filesystem::path& path) const override
        {
            return PdfFirstPages::open(path);
        }

        std::string recognizeText(
            const QImage& image, int dotsPerInch, std::stop_token stop) const override
        {
            return TextRecognizer::shared().recognize(image, dotsPerInch, std::move(stop));
        }

        std::optional<QImage> readScannedImage(const RegularFile& file) const override
        {
            return sorvik::readScannedImage(file);
        }
    };

} // namespace

} // namespace sorvik

extern "C" __attribute__((visibility("default"))) const sorvik::MediaReaders* sorvikMediaReaders()
{
    static const sorvik::Readers readers;
    return &readers;
}
