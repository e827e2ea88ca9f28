#include "app/services/media/text_recognizer.h"

#include "app/services/content_text.h"
#include "engine/model/error.h"
#include "engine/model/text.h"

#include <QImage>
#include <QPainter>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <memory>

#include <dlfcn.h>

namespace sorvik {

namespace {

    // English first, then Spanish: the languages documents are named in.
    constexpr const char* recognitionLanguages = "eng+spa";

    // Lines and words that Tesseract is less sure of (0…100) are noise rather than text.
    constexpr float minimumConfidence = 50.0f;

    bool hasLetterOrDigit(std::string_view line)
    {
        for (auto character : text::characters(line)) {
            if (text::isLetter(character) || text::isNumber(character))
                return true;
        }
        return false;
    }

    /// The image as 8-bit grey on white: transparent parts of a picture are paper, not ink.
    QImage greyscaleOnWhite(const QImage& image)
    {
        if (!image.hasAlphaChannel())
            return image.convertToFormat(QImage::Format_Grayscale8);
        QImage flattened(image.size(), QImage::Format_RGB32);
        flattened.fill(Qt::white);
        QPainter painter(&flattened);
        painter.drawImage(0, 0, image);
        painter.end();
        return flattened.convertToFormat(QImage::Format_Grayscale8);
    }

    std::string utf8Text(
        const tesseract::ResultIterator& iterator, tesseract::PageIteratorLevel level)
    {
        std::unique_ptr<char[]> utf8(iterator.GetUTF8Text(level));
        if (!utf8)
            return {};
        std::string decoded = contentText::decodingUtf8Lossily(utf8.get());
        return std::string(contentText::trimmed(decoded));
    }

    /// Appends the words of the line that `line` is at, when Tesseract is sure enough of
    /// them, and leaves `line` at the line's last word.
    void appendLine(tesseract::ResultIterator& line, std::string& joined)
    {
        if (line.Confidence(tesseract::RIL_TEXTLINE) < minimumConfidence
            || !hasLetterOrDigit(utf8Text(line, tesseract::RIL_TEXTLINE)))
            return;
        do {
            if (line.Empty(tesseract::RIL_WORD)
                || line.Confidence(tesseract::RIL_WORD) < minimumConfidence)
                continue;
            std::string word = utf8Text(line, tesseract::RIL_WORD);
            if (word.empty())
                continue;
            if (!joined.empty())
                joined += ' ';
            joined += word;
        } while (!line.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD)
            && line.Next(tesseract::RIL_WORD));
    }

    /// Runs Tesseract's OpenMP regions on the calling thread alone. Its worker threads spin
    /// while they wait, which costs several times the processor time they save (and far
    /// more when other recognitions or extractions run at the same time); Tesseract's
    /// authors advise one thread. Tesseract is looked up at run time so that a build without
    /// OpenMP needs nothing.
    void keepOpenMPToOneThread()
    {
        using SetMaxActiveLevels = void (*)(int);
        static const auto setMaxActiveLevels = reinterpret_cast<SetMaxActiveLevels>(
            dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
        if (setMaxActiveLevels)
            setMaxActiveLevels(0);
    }

    bool isStopRequested(void* stop, int)
    {
        return static_cast<std::stop_token*>(stop)->stop_requested();
    }

} // namespace

TextRecognizer& TextRecognizer::shared()
{
    static TextRecognizer recognizer;
    return recognizer;
}

TextRecognizer::TextRecognizer()
{
    // Starting here, inside the constructor, makes Tesseract's own process-wide dictionary
    // cache older than the shared recognizer, so that at exit the recognizer gives its
    // dictionaries back before that cache is torn down.
    start();
}

TextRecognizer::~TextRecognizer()
{
    if (m_api)
        m_api->End();
}

void TextRecognizer::start()
{
    if (m_api)
        return;
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's diagnostics ("Estimating resolution as …") are not ours to print.
    api->SetVariable("debug_file", "/dev/null");
    if (api->Init(nullptr, recognitionLanguages, tesseract::OEM_LSTM_ONLY) != 0) {
        throw Error("Text recognition is not available: the English and Spanish language data "
                    "of Tesseract could not be loaded.");
    }
    m_api = std::move(api);
}

std::string TextRecognizer::recognize(const QImage& image, int dotsPerInch, std::stop_token stop)
{
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    QImage grey = greyscaleOnWhite(image);

    std::lock_guard lock(m_mutex);
    start();
    keepOpenMPToOneThread();
    m_api->SetImage(
        grey.constBits(), grey.width(), grey.height(), 1, static_cast<int>(grey.bytesPerLine()));
    if (dotsPerInch > 0)
        m_api->SetSourceResolution(dotsPerInch);

    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &isStopRequested;
    monitor.cancel_this = &stop;
    bool failed = m_api->Recognize(&monitor) != 0;
    if (failed && !stop.stop_requested()) {
        m_api->Clear();
        throw Error("Text recognition failed.");
    }

    std::string joined;
    std::unique_ptr<tesseract::ResultIterator> lines(m_api->GetIterator());
    if (lines) {
        do {
            if (!lines->Empty(tesseract::RIL_TEXTLINE))
                appendLine(*lines, joined);
        } while (lines->Next(tesseract::RIL_TEXTLINE));
    }
    m_api->Clear();
    return joined;
}

} // namespace sorvik
