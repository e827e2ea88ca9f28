#pragma once

#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

class QImage;

namespace tesseract {
class TessBaseAPI;
}

namespace sorvik {

/// Reads the text in a picture with Tesseract, in English and Spanish.
///
/// Starting the recognizer loads the language data (a noticeable fraction of a second), so
/// one process-wide recognizer is started on its first use and kept; calls from several
/// threads take turns, and each recognition runs on its caller's thread alone. Lines and
/// words that Tesseract itself doubts (low confidence, or lines without a single letter or
/// digit) are dropped: they are what it "reads" in photos without text.
class TextRecognizer {
public:
    static TextRecognizer& shared();

    TextRecognizer();
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    /// The recognised lines of the image in reading order, joined with one space; empty when
    /// it holds no readable text. `dotsPerInch` is the image's resolution when known (0:
    /// unknown). A stop request ends the recognition early with what was read so far. Fails
    /// with `Error` when the recognizer cannot start or the recognition fails.
    std::string recognize(const QImage& image, int dotsPerInch = 0, std::stop_token stop = {});

private:
    void start();

    std::mutex m_mutex;
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
};

} // namespace sorvik
