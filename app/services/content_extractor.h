#pragma once

#include "app/services/ai_image_classifier.h"

#include <cstddef>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace sorvik {

/// What a file says or shows: at most 2,000 characters of text and at most four image
/// labels.
struct Content {
    std::string text;
    std::vector<std::string> labels;

    friend bool operator==(const Content&, const Content&) = default;
};

namespace contentLimits {
    /// Characters of text that content extraction hands on.
    inline constexpr std::size_t characters = 2000;
    /// Bytes read from a plain text file.
    inline constexpr std::size_t plainTextBytes = 64000;
    /// Labels kept from the image classifier, and the confidence a label must exceed.
    inline constexpr std::size_t labels = 4;
    inline constexpr float labelConfidence = 0.3f;
    /// A PDF whose first two pages hold fewer characters than this (white space and line
    /// breaks at the ends aside) is treated as a scan and read by text recognition.
    inline constexpr std::size_t scannedPdfCharacters = 30;
    /// The box a scanned page is rendered into, and the largest side of an image thumbnail.
    inline constexpr int pageRenderWidth = 1600;
    inline constexpr int pageRenderHeight = 2000;
    inline constexpr int thumbnailPixels = 2048;
} // namespace contentLimits

/// Reads what the file at `path` says, by the first of these that applies:
///
/// 1. A PDF (extension "pdf") that opens: the text of pages 1 and 2; when it holds fewer than
///    30 characters, page 1 is rendered and read by text recognition, which also supplies
///    the labels.
/// 2. A file that opens as a picture (by its content, whatever its extension): text and
///    labels of its thumbnail; a picture that cannot be decoded gives nothing.
/// 3. Plain text ("txt", "md", "csv", "log", "json"): its first 64,000 bytes as UTF-8, a
///    malformed sequence read as U+FFFD.
/// 4. A rich document ("docx", "rtf"): its plain text.
/// 5. Anything else: nothing.
///
/// Extensions are compared without regard to ASCII case. Only regular files are read.
/// Fails with `Error` when text recognition fails or a plain text file or rich document
/// cannot be read; a PDF or picture that cannot be read just gives no content. A stop
/// request ends text recognition early.
Content extractContent(const std::filesystem::path& path,
    const ImageClassifier& classifier = ImageClassifier::platformDefault(),
    std::stop_token stop = {});

} // namespace sorvik
