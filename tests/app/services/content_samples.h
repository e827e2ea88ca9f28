#pragma once

// Sample documents made on the fly for the content extraction tests and benchmarks.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <QFont>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QStringList>

#include <zip.h>

namespace sorvik::testing {

/// A PDF whose pages each show one line of text in Helvetica (a font every PDF reader has,
/// so nothing is embedded). The texts must be ASCII.
inline std::string pdfWithPages(const std::vector<std::string>& pageTexts)
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (std::size_t index = 0; index < pageTexts.size(); ++index)
        kids += std::to_string(4 + 2 * index) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object(
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageTexts.size()) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (std::size_t index = 0; index < pageTexts.size(); ++index) {
        std::string escaped;
        for (char character : pageTexts[index]) {
            if (character == '(' || character == ')' || character == '\\')
                escaped += '\\';
            escaped += character;
        }
        std::string stream = "BT /F1 12 Tf 72 720 Td (" + escaped + ") Tj ET";
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 "
               "3 0 R >> >> /Contents "
            + std::to_string(5 + 2 * index) + " 0 R >>");
        object("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream
            + "\nendstream");
    }
    std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (auto offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1)
        + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

/// Black lines of text on a white picture, large enough to be read reliably.
inline QImage pictureOfText(const QStringList& lines, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(1400, 140 + 110 * static_cast<int>(lines.size()), format);
    image.fill(format == QImage::Format_ARGB32 ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    QFont font("DejaVu Sans");
    font.setPixelSize(64);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int baseline = 130;
    for (const auto& line : lines) {
        painter.drawText(70, baseline, line);
        baseline += 110;
    }
    painter.end();
    return image;
}

/// A PDF whose only page is the picture: a scan, without any text of its own.
inline void writeScannedPdf(const std::filesystem::path& path, const QImage& picture)
{
    QPdfWriter writer(QString::fromStdString(path.string()));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    QPainter painter(&writer);
    int width = painter.viewport().width();
    painter.drawImage(QRect(0, 0, width, width * picture.height() / picture.width()), picture);
    painter.end();
}

/// A picture of nothing legible: smooth colour gradients like sky and sand.
inline QImage pictureWithoutText()
{
    QImage image(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(80 + x / 8, 120 + y / 6, 200 - y / 5));
    }
    return image;
}

/// A Word document (a zip archive) whose body part holds `documentXml`; no body part at
/// all when `documentXml` is empty.
inline std::string docxWithBody(std::string_view documentXml)
{
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_source_keep(memory);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, nullptr);
    auto add = [&](const char* name, std::string_view data) {
        auto* copy = static_cast<char*>(malloc(data.size()));
        std::memcpy(copy, data.data(), data.size());
        zip_source_t* source = zip_source_buffer(archive, copy, data.size(), 1);
        zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_OVERWRITE);
        // A fixed time, so that the same document is the same bytes.
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 1700000000, 0);
    };
    add("[Content_Types].xml",
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
    if (!documentXml.empty())
        add("word/document.xml", documentXml);
    zip_close(archive);

    std::string data;
    zip_source_open(memory);
    zip_source_seek(memory, 0, SEEK_END);
    data.resize(static_cast<std::size_t>(zip_source_tell(memory)));
    zip_source_seek(memory, 0, SEEK_SET);
    zip_source_read(memory, data.data(), data.size());
    zip_source_close(memory);
    zip_source_free(memory);
    return data;
}

/// The body part of a Word document with the given paragraphs, each inside one run.
inline std::string wordBody(const std::vector<std::string>& paragraphXml)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                       "<w:document "
                       "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                       "<w:body>";
    for (const auto& paragraph : paragraphXml)
        body += "<w:p><w:r>" + paragraph + "</w:r></w:p>";
    return body + "</w:body></w:document>";
}

} // namespace sorvik::testing
