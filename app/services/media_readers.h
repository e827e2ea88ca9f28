#pragma once

#include "engine/model/metadata_dictionary.h"

#include <QImage>

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace sorvik {

class RegularFile;

/// A PDF opened for what its first pages say. Only page 1 and page 2 are ever read, and only
/// page 1 is ever rendered, whatever the length of the document.
class PdfPages {
public:
    struct Rendering {
        QImage image;
        int dotsPerInch = 0;
    };

    virtual ~PdfPages() = default;

    /// The text of page 1 and, when there is one, page 2 in reading order, joined with one
    /// space; a page without text is left out.
    virtual std::string text() const = 0;

    /// Page 1 drawn on white to fit `width` by `height` pixels, keeping its proportions;
    /// a null image when there is no page or drawing fails.
    virtual Rendering renderFirstPage(int width, int height) const = 0;
};

/// The readers that need poppler (PDF), FFmpeg (audio and video) and Tesseract with Leptonica
/// (text in pictures; TIFF, WebP and JPEG 2000 scans).
///
/// They live in a module of their own, "libsorvik_media.so" beside the program, loaded on
/// first use: those libraries and the hundred and more they bring along take longer to load
/// than most runs of sorvik take in all, and most runs never need them. All calls are safe
/// from several threads.
class MediaReaders {
public:
    static constexpr const char* moduleName = "libsorvik_media.so";
    /// The function the module exports: `const MediaReaders* sorvikMediaReaders()`.
    static constexpr const char* entryName = "sorvikMediaReaders";

    /// The readers, the module loaded on the first call. Fails with `Error` saying why when
    /// the module cannot be loaded.
    static const MediaReaders& shared();
    /// The readers, or nothing when the module cannot be loaded.
    static const MediaReaders* loaded();

    virtual ~MediaReaders() = default;

    /// Adds "pdf.pages" and, when the document information holds them, "pdf.title" and
    /// "pdf.author". A file that does not open as a PDF, or opens only with a password, adds
    /// nothing. Never throws.
    virtual void readPDFMetadata(const RegularFile& file, MetadataDictionary& values) const = 0;

    /// Adds the audio and video keys of `file` (title, artist, album, date, genre and track
    /// tags; duration; size, frame rate and codec of the first video stream); a file FFmpeg
    /// cannot open adds nothing. Never throws.
    virtual void readMediaMetadata(const RegularFile& file, MetadataDictionary& values) const = 0;

    /// The document at `path`, or nothing when it is not a regular file that opens as a PDF
    /// without a password.
    virtual std::unique_ptr<PdfPages> openPDF(const std::filesystem::path& path) const = 0;

    /// The recognised lines of the image in reading order, joined with one space; empty when
    /// it holds no readable text. `dotsPerInch` is the image's resolution when known (0:
    /// unknown). A stop request ends the recognition early with what was read so far. Fails
    /// with `Error` when the recognizer cannot start or the recognition fails.
    virtual std::string recognizeText(
        const QImage& image, int dotsPerInch, std::stop_token stop) const = 0;

    /// A TIFF, WebP or JPEG 2000 picture, which Qt does not read; nothing when the file is
    /// none of these, a null image when it cannot be decoded safely (damaged, or more than
    /// `maximumImagePixels`).
    virtual std::optional<QImage> readScannedImage(const RegularFile& file) const = 0;
};

} // namespace sorvik
