#include "app/services/content_docx.h"

#include "engine/model/error.h"
#include "engine/model/regular_file.h"
#include "engine/model/text.h"

#include <QString>
#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

#include <unistd.h>

namespace sorvik {

namespace {

    constexpr const char* bodyPart = "word/document.xml";
    constexpr std::int64_t maximumBodySize = 64LL * 1024 * 1024;
    constexpr std::string_view wordNamespace
        = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

    struct ArchiveCloser {
        void operator()(zip_t* archive) const { zip_discard(archive); }
    };
    struct EntryCloser {
        void operator()(zip_file_t* entry) const { zip_fclose(entry); }
    };

    [[noreturn]] void failNotWordDocument()
    {
        throw Error("The document could not be read: it is not a valid Word document.");
    }

    /// Collects the body's text from the XML as it arrives.
    class BodyText {
    public:
        explicit BodyText(std::size_t characterLimit)
            : m_characterLimit(characterLimit)
        {
        }

        /// Reads what the stream holds so far; false once enough text is collected.
        bool read(QXmlStreamReader& reader)
        {
            while (!reader.atEnd()) {
                auto token = reader.readNext();
                if (token == QXmlStreamReader::StartElement) {
                    if (reader.namespaceUri() != QLatin1String(wordNamespace))
                        continue;
                    auto name = reader.name();
                    if (name == QLatin1String("t"))
                        m_inText = true;
                    else if (name == QLatin1String("tab"))
                        m_text += u'\t';
                    else if (name == QLatin1String("br") || name == QLatin1String("cr"))
                        m_text += u'\n';
                } else if (token == QXmlStreamReader::EndElement) {
                    if (reader.namespaceUri() != QLatin1String(wordNamespace))
                        continue;
                    auto name = reader.name();
                    if (name == QLatin1String("t")) {
                        m_inText = false;
                    } else if (name == QLatin1String("p")) {
                        m_text += u'\n';
                        if (hasEnough())
                            return false;
                    }
                } else if (token == QXmlStreamReader::Characters && m_inText) {
                    m_text += reader.text();
                }
            }
            return !hasEnough();
        }

        std::string text() const { return m_text.toStdString(); }

    private:
        bool hasEnough() const
        {
            // A character is at least one UTF-16 unit, so shorter texts are never enough.
            if (static_cast<std::size_t>(m_text.size()) <= m_characterLimit)
                return false;
            return text::characterCount(m_text.toStdString()) > m_characterLimit;
        }

        std::size_t m_characterLimit;
        QString m_text;
        bool m_inText = false;
    };

} // namespace

std::string docxPlainText(const RegularFile& file, std::size_t characterLimit)
{
    int descriptor = ::dup(file.descriptor());
    if (descriptor < 0)
        failNotWordDocument();
    int error = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(zip_fdopen(descriptor, ZIP_RDONLY, &error));
    if (!archive) {
        ::close(descriptor);
        failNotWordDocument();
    }
    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen(archive.get(), bodyPart, 0));
    if (!entry)
        failNotWordDocument();

    QXmlStreamReader reader;
    BodyText body(characterLimit);
    std::int64_t unpacked = 0;
    char buffer[64 * 1024];
    while (unpacked < maximumBodySize) {
        zip_int64_t count = zip_fread(entry.get(), buffer, sizeof buffer);
        if (count < 0)
            failNotWordDocument();
        if (count == 0)
            break;
        unpacked += count;
        reader.addData(QByteArray(buffer, static_cast<qsizetype>(count)));
        if (!body.read(reader))
            return body.text();
        if (reader.hasError() && reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            failNotWordDocument();
    }
    if (unpacked < maximumBodySize && reader.hasError())
        failNotWordDocument();
    return body.text();
}

} // namespace sorvik
