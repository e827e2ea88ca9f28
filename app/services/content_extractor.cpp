#include "app/services/content_extractor.h"

#include "app/services/content_docx.h"
#include "app/services/content_image.h"
#include "app/services/content_rtf.h"
#include "app/services/content_text.h"
#include "app/services/media_readers.h"
#include "engine/model/error.h"
#include "engine/model/file_item.h"
#include "engine/model/regular_file.h"
#include "engine/model/text.h"

#include <QImage>

namespace sorvik {

namespace {

    // An RTF document is read whole up to this size; its text practically always begins
    // well inside it, even behind large embedded pictures.
    constexpr std::size_t richDocumentBytes = 32 * 1024 * 1024;

    std::string lowercasedExtension(const std::filesystem::path& path)
    {
        std::string extension = extensionOfName(path.filename().native());
        for (char& character : extension) {
            if (character >= 'A' && character <= 'Z')
                character = static_cast<char>(character - 'A' + 'a');
        }
        return extension;
    }

    bool isOneOf(std::string_view extension, std::initializer_list<std::string_view> list)
    {
        for (auto candidate : list) {
            if (extension == candidate)
                return true;
        }
        return false;
    }

    Content recognized(const QImage& image, int dotsPerInch, const ImageClassifier& classifier,
        std::stop_token stop)
    {
        Content content;
        content.text = MediaReaders::shared().recognizeText(image, dotsPerInch, stop);
        for (const auto& label : classifier.classify(image)) {
            if (content.labels.size() == contentLimits::labels)
                break;
            if (label.confidence > contentLimits::labelConfidence)
                content.labels.push_back(label.identifier);
        }
        return content;
    }

    RegularFile openForReading(const std::filesystem::path& path)
    {
        std::error_code error;
        auto file = RegularFile::open(path, error);
        if (!file)
            throw Error(contentText::couldNotOpenMessage(path, error));
        return std::move(*file);
    }

    std::optional<Content> pdfContent(
        const std::filesystem::path& path, const ImageClassifier& classifier, std::stop_token stop)
    {
        auto document = MediaReaders::shared().openPDF(path);
        if (!document)
            return std::nullopt;
        std::string pageText = document->text();
        if (text::characterCount(contentText::trimmed(pageText))
            >= contentLimits::scannedPdfCharacters)
            return Content { std::move(pageText), {} };
        auto page = document->renderFirstPage(
            contentLimits::pageRenderWidth, contentLimits::pageRenderHeight);
        if (page.image.isNull())
            return Content { std::move(pageText), {} };
        return recognized(page.image, page.dotsPerInch, classifier, stop);
    }

    /// The file's first `limit` bytes; fails when they cannot be read.
    std::string readStart(
        const RegularFile& file, const std::filesystem::path& path, std::size_t limit)
    {
        std::error_code error;
        std::string data = file.readPrefix(limit, error);
        if (error)
            throw Error(contentText::couldNotReadMessage(path, error));
        return data;
    }

    std::string richDocumentText(const std::filesystem::path& path, std::string_view extension)
    {
        RegularFile file = openForReading(path);
        if (extension == "docx")
            return docxPlainText(file, contentLimits::characters);
        return rtfPlainText(readStart(file, path, richDocumentBytes), contentLimits::characters);
    }

    Content uncut(
        const std::filesystem::path& path, const ImageClassifier& classifier, std::stop_token stop)
    {
        std::string extension = lowercasedExtension(path);
        if (extension == "pdf") {
            if (auto content = pdfContent(path, classifier, stop))
                return std::move(*content);
        }
        if (auto thumbnail = loadImageThumbnail(path, contentLimits::thumbnailPixels)) {
            if (thumbnail->isNull())
                return {};
            return recognized(*thumbnail, 0, classifier, stop);
        }
        if (isOneOf(extension, { "txt", "md", "csv", "log", "json" })) {
            RegularFile file = openForReading(path);
            return { contentText::decodingUtf8Lossily(
                         readStart(file, path, contentLimits::plainTextBytes)),
                {} };
        }
        if (isOneOf(extension, { "docx", "rtf" }))
            return { richDocumentText(path, extension), {} };
        return {};
    }

} // namespace

Content extractContent(
    const std::filesystem::path& path, const ImageClassifier& classifier, std::stop_token stop)
{
    Content content = uncut(path, classifier, stop);
    if (text::characterCount(content.text) > contentLimits::characters)
        content.text = contentText::prefixCharacters(content.text, contentLimits::characters);
    return content;
}

} // namespace sorvik
