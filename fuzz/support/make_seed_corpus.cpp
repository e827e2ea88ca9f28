// Makes the seed corpus of the readers' fuzz targets (fuzz/corpus/<name>/) from the files the
// services tests make: pictures written by Qt and Leptonica with EXIF added by exiv2 and
// exiftool, PDFs written by hand and encrypted by qpdf, audio and video encoded by ffmpeg,
// Word, RTF and plain text documents. Beside each kind of file go the damaged ones readers
// meet: cut short, with bytes flipped, empty, locked, and with sizes that claim far more than
// the file holds.
//
//   sorvik_make_seed_corpus FOLDER          writes the seeds into FOLDER/<name>/
//   sorvik_make_seed_corpus --check FOLDER  makes them in a temporary folder, and fails when
//                                           FOLDER lacks one of them (by name)
//
// Most seeds come out the same on every run; PDFs with 256-bit keys (random salts), the scan
// (its creation date) and the MP3 files do not. Exits with 77 when one of the programs it runs
// (qpdf, ffmpeg, exiftool) is missing.
#include "tests/app/services/content_samples.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/app/services/scan_samples.h"
#include "tests/support/temporary_folder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <leptonica/allheaders.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace sorvik;
using Bytes = std::string;
namespace fs = std::filesystem;

// Seeds stay small: the fuzzer mutates small inputs fastest, and the corpus lives in git.
constexpr std::size_t largestSeed = 24 * 1024;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "sorvik_make_seed_corpus: %s\n", message.c_str());
    std::exit(1);
}

/// The seeds, by fuzz target.
class Corpus {
public:
    void add(std::initializer_list<std::string_view> targets, const std::string& name,
        const Bytes& bytes)
    {
        if (bytes.size() > largestSeed)
            fail(name + " is too large for a seed: " + std::to_string(bytes.size()) + " bytes");
        for (auto target : targets) {
            if (!m_seeds[std::string(target)].emplace(name, bytes).second)
                fail(name + " is made twice for " + std::string(target));
        }
    }

    void write(const fs::path& root) const
    {
        for (const auto& [target, seeds] : m_seeds) {
            fs::create_directories(root / target);
            for (const auto& [name, bytes] : seeds)
                std::ofstream(root / target / name, std::ios::binary) << bytes;
        }
    }

    /// The seeds that `root` lacks, as "target/name".
    std::vector<std::string> missingFrom(const fs::path& root) const
    {
        std::vector<std::string> missing;
        for (const auto& [target, seeds] : m_seeds) {
            for (const auto& seed : seeds) {
                if (!fs::is_regular_file(root / target / seed.first))
                    missing.push_back(target + "/" + seed.first);
            }
        }
        return missing;
    }

private:
    std::map<std::string, std::map<std::string, Bytes>> m_seeds;
};

// Damage.

Bytes cut(const Bytes& bytes, std::size_t length) { return bytes.substr(0, length); }

/// About one byte in 50 flipped, always the same ones, the first 16 bytes left alone so that
/// the file still reaches the reader of its kind.
Bytes flipped(Bytes bytes, std::uint32_t seed)
{
    std::uint32_t state = seed | 1;
    for (std::size_t index = 16; index < bytes.size(); ++index) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        if (state % 50 == 0)
            bytes[index] = static_cast<char>(bytes[index] ^ static_cast<char>(1 << (state % 8)));
    }
    return bytes;
}

std::size_t find(const Bytes& bytes, std::string_view what, std::size_t from = 0)
{
    auto position = bytes.find(what, from);
    if (position == Bytes::npos)
        fail("no \"" + std::string(what) + "\" in a seed to damage");
    return position;
}

/// The file cut in half and with bytes flipped, as "cut-half.<extension>" and
/// "flipped.<extension>".
template <class Add>
void addCutAndFlipped(
    const Add& add, const std::string& extension, const Bytes& bytes, std::uint32_t seed)
{
    add("cut-half." + extension, cut(bytes, bytes.size() / 2));
    add("flipped." + extension, flipped(bytes, seed));
}

Bytes replaced(Bytes bytes, std::string_view from, std::string_view to)
{
    auto position = find(bytes, from);
    return bytes.replace(position, from.size(), to);
}

Bytes replacedAll(Bytes bytes, std::string_view from, std::string_view to)
{
    for (auto position = find(bytes, from); position != Bytes::npos;
         position = bytes.find(from, position + to.size()))
        bytes.replace(position, from.size(), to);
    return bytes;
}

void putBigEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length)
{
    if (offset + static_cast<std::size_t>(length) > bytes.size())
        fail("a field to damage lies beyond the seed's end");
    for (int index = 0; index < length; ++index)
        bytes[offset + static_cast<std::size_t>(index)]
            = static_cast<char>(value >> (8 * (length - 1 - index)));
}

void putLittleEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length)
{
    if (offset + static_cast<std::size_t>(length) > bytes.size())
        fail("a field to damage lies beyond the seed's end");
    for (int index = 0; index < length; ++index)
        bytes[offset + static_cast<std::size_t>(index)] = static_cast<char>(value >> (8 * index));
}

/// A field of a file's header to overwrite: where, with what, in how many bytes and in
/// which order.
enum class ByteOrder { bigEndian, littleEndian };
constexpr auto little = ByteOrder::littleEndian;

struct Field {
    std::size_t offset;
    std::uint64_t value;
    int length;
    ByteOrder order = ByteOrder::bigEndian;
};

Bytes patched(Bytes bytes, std::initializer_list<Field> fields)
{
    for (const auto& field : fields) {
        if (field.order == ByteOrder::bigEndian)
            putBigEndian(bytes, field.offset, field.value, field.length);
        else
            putLittleEndian(bytes, field.offset, field.value, field.length);
    }
    return bytes;
}

std::uint32_t crc32(std::string_view data)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (char character : data) {
        crc ^= static_cast<std::uint8_t>(character);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

/// A TIFF structure (a TIFF file, or the EXIF block of a picture) at `start` in `bytes`.
class TiffView {
public:
    TiffView(Bytes& bytes, std::size_t start)
        : m_bytes(bytes)
        , m_start(start)
        , m_isLittleEndian(bytes.compare(start, 2, "II") == 0)
    {
        if (!m_isLittleEndian && bytes.compare(start, 2, "MM") != 0)
            fail("no TIFF header where one was expected");
    }

    std::uint32_t get(std::size_t offset, int length) const
    {
        std::uint32_t value = 0;
        for (int index = 0; index < length; ++index) {
            auto byte = static_cast<std::uint8_t>(
                m_bytes.at(m_start + offset + static_cast<std::size_t>(index)));
            value |= m_isLittleEndian ? std::uint32_t(byte) << (8 * index)
                                      : std::uint32_t(byte) << (8 * (length - 1 - index));
        }
        return value;
    }

    void put(std::size_t offset, std::uint32_t value, int length)
    {
        if (m_isLittleEndian)
            putLittleEndian(m_bytes, m_start + offset, value, length);
        else
            putBigEndian(m_bytes, m_start + offset, value, length);
    }

    std::size_t firstDirectory() const { return get(4, 4); }

    /// The offset of the entry of `tag` in the first directory.
    std::size_t entry(std::uint16_t tag) const
    {
        std::size_t directory = firstDirectory();
        std::uint32_t count = get(directory, 2);
        for (std::uint32_t index = 0; index < count; ++index) {
            std::size_t offset = directory + 2 + 12 * index;
            if (get(offset, 2) == tag)
                return offset;
        }
        fail("no TIFF tag " + std::to_string(tag) + " to damage");
    }

    /// Sets a tag's value, in the width of its type.
    void setValue(std::uint16_t tag, std::uint32_t value)
    {
        std::size_t offset = entry(tag);
        put(offset + 8, value, get(offset + 2, 2) == 3 ? 2 : 4);
    }

private:
    Bytes& m_bytes;
    std::size_t m_start;
    bool m_isLittleEndian;
};

// Making files.

class Maker {
public:
    Maker()
    {
        for (const char* program : { "qpdf", "ffmpeg", "exiftool" }) {
            if (QStandardPaths::findExecutable(program).isEmpty()) {
                std::fprintf(stderr, "sorvik_make_seed_corpus: %s is not installed\n", program);
                std::exit(77);
            }
        }
    }

    fs::path path(const std::string& name) const { return m_folder / name; }

    Bytes read(const std::string& name) const
    {
        Bytes bytes = testing::readFile(path(name));
        if (bytes.empty())
            fail("could not make " + name);
        return bytes;
    }

    Bytes written(const std::string& name, const Bytes& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return bytes;
    }

    void run(const char* program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            fail(std::string(program) + " " + arguments.join(' ').toStdString() + " failed");
    }

    /// The output of ffmpeg from a generated source, with the same bytes on every run.
    Bytes ffmpeg(const std::string& name, const QStringList& arguments) const
    {
        if (!testing::runFFmpeg(arguments
                + QStringList { "-fflags", "+bitexact", "-flags", "+bitexact", "-threads", "1",
                    testing::qtPath(path(name)) }))
            fail("ffmpeg could not make " + name);
        return read(name);
    }

    Bytes encrypted(const std::string& source, const std::string& name,
        const testing::PdfEncryption& encryption) const
    {
        if (!testing::encryptPdf(path(source), path(name), encryption))
            fail("qpdf could not encrypt " + source);
        return read(name);
    }

    Bytes qpdf(const std::string& source, const std::string& name, QStringList options) const
    {
        options << "--static-id" << testing::qtPath(path(source)) << testing::qtPath(path(name));
        run("qpdf", options);
        return read(name);
    }

    /// `bytes` compressed by the gzip program.
    Bytes gzipped(const std::string& name, const Bytes& bytes) const
    {
        written(name, bytes);
        run("gzip", { "-9", "-n", "-f", testing::qtPath(path(name)) });
        return read(name + ".gz");
    }

    Bytes withExiftool(const std::string& name, const QStringList& tags) const
    {
        run("exiftool",
            QStringList { "-q", "-overwrite_original" } + tags << testing::qtPath(path(name)));
        return read(name);
    }

private:
    testing::TemporaryFolder m_folder;
};

Bytes encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        fail(std::string("Qt could not write ") + format);
    return data.toStdString();
}

QImage textPicture(const QStringList& lines, QImage::Format format = QImage::Format_RGB32)
{
    QImage picture = testing::pictureOfText(lines, format);
    return picture.scaledToWidth(360, Qt::SmoothTransformation);
}

// PDFs: for the properties reader and the pages reader alike.
void addPdfs(Corpus& corpus, Maker& maker)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "pdf_metadata", "pdf_pages" }, name, bytes);
    };
    testing::writePdf(maker.path("properties.pdf"), 3,
        { { "Title", "Annual Report" }, { "Author", "Ada" }, { "Subject", "Figures" } });
    Bytes properties = maker.read("properties.pdf");
    Bytes text = maker.written("text.pdf",
        testing::pdfWithPages({ "Invoice 2024-05-01 for the harbour office",
            "Second page: paid in full", "Third page" }));
    testing::writeScannedPdf(maker.path("scan.pdf"), textPicture({ "Receipt", "12.50 EUR" }));
    add("properties.pdf", properties);
    add("text.pdf", text);
    add("scan.pdf", maker.read("scan.pdf"));
    add("empty-text.pdf", testing::pdfWithPages({ "" }));
    add("no-pages.pdf", testing::pdfWithPages({}));

    // Locked by a password needed to open them, and restricted by an owner password only.
    for (const auto& lock : testing::pdfLocks())
        add(lock.name, maker.encrypted("text.pdf", lock.name, lock.encryption));
    add("locked-object-streams.pdf",
        maker.qpdf("text.pdf", "locked-object-streams.pdf",
            { "--object-streams=generate", "--encrypt", "user", "owner", "256", "--" }));

    // Other ways of writing the same documents.
    add("object-streams.pdf",
        maker.qpdf("properties.pdf", "object-streams.pdf", { "--object-streams=generate" }));
    add("linearized.pdf", maker.qpdf("text.pdf", "linearized.pdf", { "--linearize" }));
    add("uncompressed.pdf",
        maker.qpdf("scan.pdf", "uncompressed.pdf", { "--stream-data=uncompress", "--qdf" })
            .substr(0, 8192));

    // Damage.
    add("empty.pdf", "");
    add("header-only.pdf", "%PDF-1.7\n");
    add("cut-before-trailer.pdf", cut(properties, properties.rfind("trailer")));
    addCutAndFlipped(add, "pdf", text, 1);
    add("flipped-locked.pdf", flipped(maker.read(testing::pdfLocks().front().name), 2));
    add("startxref-nowhere.pdf",
        replaced(properties, "startxref\n" + std::to_string(properties.rfind("xref\n0 ")),
            "startxref\n99999999"));
    add("page-count-huge.pdf", replaced(properties, "/Count 3", "/Count 2147483647"));
    add("page-count-negative.pdf", replaced(properties, "/Count 3", "/Count -5"));
    add("stream-length-huge.pdf", replacedAll(text, "/Length ", "/Length 4294967295"));
    add("media-box-huge.pdf", replacedAll(text, "[0 0 612 792]", "[0 0 1e30 1e30]"));
    add("media-box-tiny.pdf", replacedAll(text, "[0 0 612 792]", "[0 0 0.0001 0.0001]"));
    add("media-box-inverted.pdf", replacedAll(text, "[0 0 612 792]", "[612 792 0 0]"));
    add("rotated.pdf", replacedAll(text, "/Type /Page ", "/Type /Page /Rotate 90 "));
    add("pages-loop.pdf", replaced(properties, "/Kids [4 0 R", "/Kids [2 0 R 4 0 R"));
    add("page-parent-loop.pdf", replacedAll(text, "/Parent 2 0 R", "/Parent 4 0 R"));
    add("deep-arrays.pdf",
        replaced(properties, "/Title (Annual Report)",
            "/Title " + std::string(3000, '[') + std::string(3000, ']')));
    add("deep-dictionaries.pdf",
        replaced(text, "/Type /Catalog",
            "/Deep " + std::string(1000, '<') + std::string(1000, '<') + std::string(2000, '>')
                + " /Type /Catalog"));
    add("title-utf16.pdf", replaced(properties, "(Annual Report)", "<FEFF0041D800006E00C9>"));
}

// Pictures: image properties, thumbnails, and text recognition.
void addPictures(Corpus& corpus, Maker& maker)
{
    QImage photo = testing::pictureWithoutText().scaled(48, 36);
    auto tagged = [&](const std::string& name, const Bytes& bytes) {
        maker.written(name, bytes);
        testing::writeExif(maker.path(name), testing::cameraExif());
        return maker.read(name);
    };
    Bytes jpeg = tagged("camera.jpg", encoded(photo, "JPEG"));
    Bytes png = tagged("camera.png", encoded(photo, "PNG"));
    Bytes tiff = tagged("camera.tif", testing::leptonicaEncoded(photo, IFF_TIFF_ZIP));
    Bytes webp = tagged("camera.webp", testing::leptonicaEncoded(photo, IFF_WEBP));
    maker.ffmpeg("camera.avif",
        { "-f", "lavfi", "-i", "testsrc=size=32x24", "-frames:v", "1", "-c:v", "libaom-av1",
            "-still-picture", "1", "-cpu-used", "8" });
    Bytes avif = maker.withExiftool("camera.avif",
        { "-Make=Canon", "-Model=EOS R5", "-DateTimeOriginal=2024:05:01 08:20:30",
            "-GPSLatitude=48.858", "-GPSLatitudeRef=N", "-GPSLongitude=2.294",
            "-GPSLongitudeRef=E" });
    Bytes gif = maker.ffmpeg(
        "still.gif", { "-f", "lavfi", "-i", "testsrc=size=24x16", "-frames:v", "1" });
    for (const auto& [name, bytes] : std::initializer_list<std::pair<std::string, Bytes>> {
             { "camera.jpg", jpeg }, { "camera.png", png }, { "camera.tif", tiff },
             { "camera.webp", webp }, { "camera.avif", avif }, { "still.gif", gif } })
        corpus.add({ "image_metadata", "image_thumbnail" }, name, bytes);

    // The EXIF block of the JPEG, damaged: its first directory claims 65,535 entries, the
    // make's text claims two billion bytes, the directory names itself as the next one.
    std::size_t exif = find(jpeg, std::string("Exif\0\0", 6)) + 6;
    auto exifDamaged = [&](auto damage) {
        Bytes bytes = jpeg;
        TiffView view(bytes, exif);
        damage(view);
        return bytes;
    };
    corpus.add({ "image_metadata" }, "exif-entries-huge.jpg",
        exifDamaged([](TiffView& view) { view.put(view.firstDirectory(), 0xFFFF, 2); }));
    corpus.add({ "image_metadata" }, "exif-text-huge.jpg",
        exifDamaged([](TiffView& view) { view.put(view.entry(0x010F) + 4, 0x7FFFFFFF, 4); }));
    corpus.add({ "image_metadata" }, "exif-directory-loop.jpg", exifDamaged([](TiffView& view) {
        std::size_t directory = view.firstDirectory();
        std::uint32_t count = view.get(directory, 2);
        view.put(directory + 2 + 12 * count, static_cast<std::uint32_t>(directory), 4);
    }));
    corpus.add({ "image_metadata" }, "exif-offset-beyond.jpg",
        exifDamaged([](TiffView& view) { view.put(4, 0x7FFFFFF0, 4); }));
    corpus.add({ "image_metadata" }, "exif-rational-zero.jpg", [&] {
        maker.written("zero.jpg", encoded(photo, "JPEG"));
        testing::writeExif(maker.path("zero.jpg"),
            { { "Exif.Photo.FNumber", "28/0" }, { "Exif.GPSInfo.GPSLatitude", "1/0 0/0 0/0" },
                { "Exif.Photo.DateTimeOriginal", "2023:02:30 25:61:61" },
                { "Exif.Image.Make", std::string("Caf\xE9\0x", 6) } });
        return maker.read("zero.jpg");
    }());

    // Damage that every picture reader meets.
    auto addDamaged = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "image_metadata", "image_thumbnail" }, name, bytes);
    };
    addDamaged("empty.jpg", "");
    addDamaged("cut-header.jpg", cut(jpeg, 30));
    addDamaged("cut-exif.jpg", cut(jpeg, exif + 40));
    addCutAndFlipped(addDamaged, "jpg", jpeg, 3);
    addCutAndFlipped(addDamaged, "png", png, 4);
    addCutAndFlipped(addDamaged, "tif", tiff, 5);
    addCutAndFlipped(addDamaged, "webp", webp, 6);
    addCutAndFlipped(addDamaged, "avif", avif, 7);

    // Sizes that claim far more than the file holds.
    Bytes hugePng = patched(png, { { 16, 0x7FFFFFFF, 4 }, { 20, 0x7FFFFFFF, 4 } });
    addDamaged("size-huge.png",
        patched(hugePng, { { 29, crc32(std::string_view(hugePng).substr(12, 17)), 4 } }));
    std::size_t frame = find(jpeg, "\xFF\xC0");
    addDamaged(
        "size-huge.jpg", patched(jpeg, { { frame + 5, 0xFFFF, 2 }, { frame + 7, 0xFFFF, 2 } }));
    Bytes hugeTiff = tiff;
    TiffView view(hugeTiff, 0);
    view.setValue(256, 0x7FFFFFFF);
    view.setValue(257, 0x7FFFFFFF);
    addDamaged("size-huge.tif", hugeTiff);
    addDamaged("size-huge.bmp",
        patched(encoded(photo, "BMP"),
            { { 18, 0x7FFFFFFF, 4, little }, { 22, 0x7FFFFFFF, 4, little } }));
    addDamaged(
        "size-huge.gif", patched(gif, { { 6, 0xFFFF, 2, little }, { 8, 0xFFFF, 2, little } }));
    std::size_t extent = find(avif, "ispe");
    addDamaged("size-huge.avif",
        patched(avif, { { extent + 8, 0xFFFFFFFF, 4 }, { extent + 12, 0xFFFFFFFF, 4 } }));
    addDamaged("box-size-huge.avif", patched(avif, { { find(avif, "meta") - 4, 0xFFFFFFFF, 4 } }));
    addDamaged("chunk-claims-more.png",
        Bytes(png).insert(8 + 8 + 13 + 4, Bytes("\x5D\x3C\x21\x2DzTXtRaw profile\0\0x\xDA", 21)));
    addDamaged("chunk-length-huge.png", patched(png, { { 8 + 8 + 13 + 4, 0x7FFFFFFF, 4 } }));

    // SVG, which Qt reads too: a picture, a huge one, one whose uses fan out a billion
    // times, and compressed ones, one inflating to a thousand times its size.
    const Bytes svgStart = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" ";
    Bytes svg = svgStart + "width=\"48\" height=\"36\"><rect width=\"20\" height=\"10\"/>"
        + "<text x=\"2\" y=\"30\">Invoice</text></svg>";
    addDamaged("picture.svg", svg);
    addDamaged("size-huge.svg",
        svgStart
            + "width=\"100000000\" height=\"100000000\"><rect width=\"10\" height=\"10\"/></svg>");
    Bytes uses
        = svgStart + "width=\"48\" height=\"36\"><defs><rect id=\"u0\" width=\"1\" height=\"1\"/>";
    for (int level = 1; level <= 9; ++level) {
        uses += "<g id=\"u" + std::to_string(level) + "\">";
        for (int copy = 0; copy < 10; ++copy)
            uses += "<use xlink:href=\"#u" + std::to_string(level - 1) + "\"/>";
        uses += "</g>";
    }
    addDamaged("uses-fan-out.svg", uses + "</defs><use xlink:href=\"#u9\"/></svg>");
    addDamaged("picture.svgz", maker.gzipped("picture.svg", svg));
    addDamaged("inflates.svgz",
        maker.gzipped("inflates.svg",
            svgStart + "width=\"48\" height=\"36\"><!--" + Bytes(1024 * 1024, ' ') + "--></svg>"));
    addDamaged("size-huge.pbm", "P4\n100000 100000\n" + std::string(64, '\x55'));
    addDamaged("size-zero.pbm", "P4\n0 0\n");
}

// Pictures with text, for thumbnails and for text recognition.
void addPicturesOfText(Corpus& corpus)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "image_thumbnail", "text_recognizer" }, name, bytes);
    };
    QImage text = textPicture({ "Invoice 2024", "Harbour office" });
    add("text.png", encoded(text.convertToFormat(QImage::Format_Grayscale8), "PNG"));
    add("text.jpg", encoded(text, "JPEG"));
    add("text-g4.tif",
        testing::leptonicaEncoded(text.convertToFormat(QImage::Format_Mono), IFF_TIFF_G4));
    add("text.webp", testing::leptonicaEncoded(text, IFF_WEBP));
    Bytes jpeg2000 = testing::leptonicaEncoded(text.scaledToWidth(120), IFF_JP2);
    add("text.jp2", jpeg2000);
    // The size segment of its codestream, damaged: a component subsampled, so smaller than
    // the picture; a picture of four billion pixels square; 16,384 components.
    std::size_t size = find(jpeg2000, "\xFF\x4F\xFF\x51") + 4;
    add("jp2-component-subsampled.jp2", patched(jpeg2000, { { size + 38 + 3 + 1, 0xFFFF, 2 } }));
    add("jp2-size-huge.jp2",
        patched(jpeg2000, { { size + 4, 0xFFFFFFFF, 4 }, { size + 8, 0xFFFFFFFF, 4 } }));
    add("jp2-components-many.jp2", patched(jpeg2000, { { size + 36, 0x4000, 2 } }));
    add("text-transparent.png",
        encoded(textPicture({ "Contract draft" }, QImage::Format_ARGB32), "PNG"));
    add("text-16-bit.png", encoded(text.convertToFormat(QImage::Format_Grayscale16), "PNG"));
    add("text-rotated.jpg", encoded(text.transformed(QTransform().rotate(90)), "JPEG"));
    add("text.pbm", encoded(text.convertToFormat(QImage::Format_Mono), "PBM"));
    add("text.xpm", encoded(text.scaled(60, 20).convertToFormat(QImage::Format_Indexed8), "XPM"));
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    add("one-pixel.png", encoded(tiny, "PNG"));
    add("three-pixels.png", encoded(tiny.scaled(3, 3), "PNG"));
    QImage strip(2, 3000, QImage::Format_Grayscale8);
    strip.fill(Qt::white);
    add("strip-tall.png", encoded(strip, "PNG"));
    add("strip-wide.png", encoded(strip.transformed(QTransform().rotate(90)), "PNG"));
    QImage noise(64, 64, QImage::Format_Grayscale8);
    std::uint32_t state = 1;
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1103515245 + 12345;
            noise.setPixel(x, y, qRgb(state >> 24, state >> 24, state >> 24));
        }
    }
    add("noise.png", encoded(noise, "PNG"));
}

// Audio and video.
void addMedia(Corpus& corpus, Maker& maker)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "media_metadata" }, name, bytes);
    };
    const QStringList tags { "-metadata", "title=Night Drive", "-metadata", "artist=The Owls",
        "-metadata", "album=Roads", "-metadata", "date=2021", "-metadata", "genre=Synthwave",
        "-metadata", "track=3/12" };
    const QStringList tone { "-f", "lavfi", "-i",
        "sine=frequency=440:duration=0.2:sample_rate=8000", "-ac", "1" };
    const QStringList picture { "-f", "lavfi", "-i", "testsrc=size=32x24:rate=10:duration=0.3" };
    maker.written("cover.jpg", encoded(QImage(8, 8, QImage::Format_RGB32), "JPEG"));

    Bytes mp3 = maker.ffmpeg("song.mp3",
        tone
            + QStringList { "-i", testing::qtPath(maker.path("cover.jpg")), "-map", "0", "-map",
                "1", "-c:a", "libmp3lame", "-b:a", "8k", "-c:v", "mjpeg", "-disposition:v",
                "attached_pic" }
            + tags);
    Bytes wav = maker.ffmpeg("beep.wav", tone + QStringList { "-c:a", "pcm_u8" } + tags);
    Bytes flac = maker.ffmpeg("song.flac", tone + tags);
    Bytes aiff = maker.ffmpeg("song.aiff", tone + QStringList { "-c:a", "pcm_s8" } + tags);
    Bytes aac = maker.ffmpeg("song.aac", tone + QStringList { "-c:a", "aac", "-b:a", "8k" });
    Bytes m4a = maker.ffmpeg("song.m4a", tone + QStringList { "-c:a", "aac", "-b:a", "8k" } + tags);
    Bytes mp4 = maker.ffmpeg("clip.mp4",
        picture + tone
            + QStringList { "-c:v", "libx264", "-preset", "ultrafast", "-crf", "51", "-pix_fmt",
                "yuv420p", "-c:a", "aac", "-b:a", "8k", "-shortest", "-metadata", "title=Clip" });
    Bytes mov = maker.ffmpeg("clip.mov",
        picture + QStringList { "-c:v", "mjpeg", "-q:v", "31", "-metadata", "title=Clip" });
    Bytes avi = maker.ffmpeg("clip.avi",
        QStringList { "-f", "lavfi", "-i", "testsrc=size=16x16:rate=10:duration=0.1" } + tone
            + QStringList { "-c:v", "mjpeg", "-q:v", "31", "-c:a", "pcm_u8", "-shortest" });
    for (const auto& [name, bytes] :
        std::initializer_list<std::pair<std::string, Bytes>> { { "song.mp3", mp3 },
            { "beep.wav", wav }, { "song.flac", flac }, { "song.aiff", aiff }, { "song.aac", aac },
            { "song.m4a", m4a }, { "clip.mp4", mp4 }, { "clip.mov", mov }, { "clip.avi", avi } })
        add(name, bytes);

    add("empty.mp4", "");
    add("cut-header.mp3", cut(mp3, 20));
    addCutAndFlipped(add, "mp4", mp4, 8);
    addCutAndFlipped(add, "mp3", mp3, 9);
    addCutAndFlipped(add, "flac", flac, 10);
    addCutAndFlipped(add, "avi", avi, 11);

    // Sizes that claim far more than the file holds.
    add("riff-size-huge.wav",
        patched(wav,
            { { 4, 0xFFFFFFFF, 4, little }, { find(wav, "data") + 4, 0xFFFFFFFF, 4, little } }));
    add("info-size-huge.wav",
        patched(wav,
            { { find(wav, "LIST") + 4, 0xFFFFFFF0, 4, little },
                { find(wav, "INAM") + 4, 0x60000000, 4, little } }));
    add("channels-huge.wav", patched(wav, { { find(wav, "fmt ") + 10, 0xFFFF, 2, little } }));
    add("id3-size-huge.mp3", patched(mp3, { { 6, 0x7F7F7F7F, 4 } }));
    add("block-size-huge.flac", patched(flac, { { 5, 0xFFFFFF, 3 } }));
    add("form-size-huge.aiff",
        patched(aiff, { { 4, 0xFFFFFFFF, 4 }, { find(aiff, "SSND") + 4, 0xFFFFFFFF, 4 } }));
    add("moov-size-huge.mp4", patched(mp4, { { find(mp4, "moov") - 4, 0xFFFFFFFF, 4 } }));
    {
        // A 64-bit box size: "1" in the size field, the real size after the type.
        Bytes large = mp4;
        std::size_t moov = find(large, "moov") - 4;
        large.replace(moov, 8, Bytes("\0\0\0\1moov\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16));
        add("moov-large-size.mp4", large);
    }
    add("sample-count-huge.mp4", patched(mp4, { { find(mp4, "stsz") + 12, 0x3FFFFFFF, 4 } }));
    add("chunk-count-huge.mp4", patched(mp4, { { find(mp4, "stco") + 8, 0x3FFFFFFF, 4 } }));
    add("time-scale-zero.mp4", patched(mp4, { { find(mp4, "mdhd") + 16, 0, 4 } }));
    std::size_t track = find(mov, "tkhd");
    add("frame-size-huge.mov",
        patched(mov, { { track + 80, 0xFFFFFFFF, 4 }, { track + 84, 0xFFFFFFFF, 4 } }));
    add("riff-size-huge.avi", patched(avi, { { 4, 0xFFFFFFFF, 4, little } }));
    add("streams-huge.avi", patched(avi, { { find(avi, "avih") + 32, 0xFFFFFFFF, 4, little } }));

    // Files that name other files: never followed.
    add("playlist.mp4",
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:///etc/hostname\n"
        "#EXT-X-ENDLIST\n");
    add("concat.mp4", "ffconcat version 1.0\nfile /etc/hostname\n");
    Bytes reference = mov;
    add("reference.mov", replaced(reference, "mdat", "rmra"));
}

// Word documents.
void addWordDocuments(Corpus& corpus)
{
    auto add
        = [&](const std::string& name, const Bytes& bytes) { corpus.add({ "docx" }, name, bytes); };
    Bytes contract = testing::docxWithBody(testing::wordBody({
        "<w:t>Service contract</w:t>",
        "<w:t xml:space=\"preserve\">between </w:t><w:t>Ana</w:t><w:tab/><w:t>and Bo</w:t>",
        "<w:delText>deleted</w:delText><w:t>Signed</w:t><w:br/><w:t>2024-05-01</w:t>",
        "<w:instrText>PAGE</w:instrText><w:t>&amp; more &#233; &#x1F600;</w:t>",
    }));
    add("contract.docx", contract);
    add("no-body.docx", testing::docxWithBody(""));
    add("not-a-zip.docx", "not a zip archive");
    add("empty.docx", "");
    add("unclosed.docx", testing::docxWithBody("<w:document><w:body><w:p>"));
    add("wrong-namespace.docx",
        testing::docxWithBody("<document><body><p><t>not Word's</t></p></body></document>"));
    add("cut-directory.docx", cut(contract, contract.size() - 10));
    addCutAndFlipped(add, "docx", contract, 12);

    Bytes paragraph;
    for (int index = 0; index < 2000; ++index)
        paragraph += "<w:t>word" + std::to_string(index) + " </w:t>";
    add("one-long-paragraph.docx", testing::docxWithBody(testing::wordBody({ paragraph })));
    Bytes marks = "<w:t>a";
    for (int index = 0; index < 20000; ++index)
        marks += "\xCC\x81"; // U+0301, a combining acute accent
    add("one-long-character.docx",
        testing::docxWithBody(testing::wordBody({ marks + "</w:t>", "<w:t>next</w:t>" })));
    Bytes nested;
    for (int index = 0; index < 5000; ++index)
        nested += "<w:r>";
    add("deep-elements.docx",
        testing::docxWithBody(testing::wordBody({ nested + "<w:t>deep</w:t>" })));
    add("entities.docx",
        testing::docxWithBody("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\">"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                              "<w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                              "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>&d;&d;&d;"
                              "</w:t></w:r></w:p></w:body></w:document>"));

    // Sizes that claim far more than the archive holds: every entry's unpacked size, and the
    // directory's count of entries, its size and its place.
    Bytes sizes = contract;
    for (auto position = sizes.find("PK\3\4"); position != Bytes::npos;
         position = sizes.find("PK\3\4", position + 4))
        putLittleEndian(sizes, position + 22, 0xFFFFFFFF, 4);
    for (auto position = sizes.find("PK\1\2"); position != Bytes::npos;
         position = sizes.find("PK\1\2", position + 4))
        putLittleEndian(sizes, position + 24, 0xFFFFFFFF, 4);
    add("unpacked-size-huge.docx", sizes);
    std::size_t end = contract.rfind("PK\5\6");
    Bytes entries = contract;
    putLittleEndian(entries, end + 8, 0xFFFF, 2);
    putLittleEndian(entries, end + 10, 0xFFFF, 2);
    add("entry-count-huge.docx", entries);
    Bytes directory = contract;
    putLittleEndian(directory, end + 12, 0xFFFFFFF0, 4);
    add("directory-size-huge.docx", directory);
    Bytes place = contract;
    putLittleEndian(place, end + 16, 0xFFFFFFF0, 4);
    add("directory-place-beyond.docx", place);
    Bytes name = contract;
    for (auto position = name.find("PK\1\2"); position != Bytes::npos;
         position = name.find("PK\1\2", position + 4))
        putLittleEndian(name, position + 28, 0xFFFF, 2);
    add("name-length-huge.docx", name);
}

void addRtfDocuments(Corpus& corpus)
{
    auto add
        = [&](const std::string& name, const Bytes& bytes) { corpus.add({ "rtf" }, name, bytes); };
    add("letter.rtf",
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Helvetica;}}{\\colortbl;\\red0\\green0\\blue0;}"
        "{\\info{\\title Secret}}\\f0 Dear Mr L\\'f3pez,\\par Thanks for the invoice\\tab 12\\line "
        "{\\*\\generator Writer;}{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}"
        "\\emdash\\bullet\\ldblquote quoted\\rdblquote\\~\\_}");
    add("unicode.rtf",
        "{\\rtf1 \\u8364?uro {\\uc2\\u8364\\'80\\'80x} \\u-10179?\\u-8704? "
        "\\u-32768?\\u32767?\\u65535?}");
    add("cyrillic.rtf", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}");
    add("japanese.rtf", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2\\'82}");
    add("code-page-unknown.rtf", "{\\rtf1\\ansi\\ansicpg99999 caf\\'e9\\ansicpg-1 x}");
    add("picture.rtf", "{\\rtf1 Before{\\pict\\pngblip 89504e470d0a1a0a}After\\bin4 {}}}y}");
    add("bin-huge.rtf", "{\\rtf1 x\\bin2147483647 {}}");
    add("bin-negative.rtf", "{\\rtf1 x\\bin-2147483648 y}");
    add("skip-huge.rtf", "{\\rtf1\\uc2147483647\\u8364 text after}");
    add("number-overflow.rtf", "{\\rtf1\\u99999999999999999999 \\ansicpg99999999999999999 x}");
    add("unterminated.rtf", "{\\rtf1 unterminated {\\b bold \\'");
    add("empty.rtf", "");
    add("header-only.rtf", "{\\rtf");
    add("deep-groups.rtf",
        "{\\rtf1 A" + std::string(2000, '{') + "deep" + std::string(2000, '}') + "B}");
    add("unbalanced-groups.rtf",
        "{\\rtf1 A" + std::string(2000, '}') + std::string(2000, '{') + "B");
    Bytes marks = "{\\rtf1 a";
    for (int index = 0; index < 1000; ++index)
        marks += "\\u769?";
    add("one-long-character.rtf", marks + " b}");
    Bytes paragraphs = "{\\rtf1 ";
    for (int index = 0; index < 500; ++index)
        paragraphs += "word\\par ";
    add("many-paragraphs.rtf", paragraphs + "}");
}

void addPlainText(Corpus& corpus)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "plain_text" }, name, bytes);
    };
    add("invoice.txt",
        "Invoice 2024-05-01\nACME Corporation\nTotal due: 12.50 EUR by June 3, "
        "2024.\nFactura recibo contrato el 3 de junio de 2024\n");
    add("utf8.txt",
        "Caf\xC3\xA9 \xE2\x80\x94 na\xC3\xAFve \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC");
    add("invalid-utf8.txt", "Caf\xE9 \xC3 \xED\xA0\x80 \xF4\x90\x80\x80 \xFF\xFE end");
    add("utf16.txt", Bytes("\xFF\xFEI\0n\0v\0o\0i\0c\0e\0", 16));
    add("empty.txt", "");
    add("white-space.txt", " \t\r\n\xC2\xA0\xE2\x80\xA8\xE3\x80\x80");
    Bytes marks = "a";
    for (int index = 0; index < 2000; ++index)
        marks += "\xCC\x81";
    add("one-long-character.txt", marks + " b");
    Bytes dates;
    for (int index = 0; index < 100; ++index)
        dates += "on 2024-" + std::to_string(index % 14) + "-" + std::to_string(index % 33)
            + " and 31/02/2023 or 12.13.2024, ";
    add("dates.txt", dates);
    // Text that reads as a picture too: content extraction tries it as one first.
    add("picture.txt", "P1\n8 2\n0 1 1 0 0 1 1 0\n1 0 0 1 1 0 0 1\n");
    add("picture-huge.txt", "P1\n100000 100000\n0 1 1 0\n");
    add("xpm.txt",
        "/* XPM */\nstatic char *x[] = {\"2 1 2 1\", \"a c #000000\", \"b c #FFFFFF\", "
        "\"ab\"};\n");
}

} // namespace

int main(int argc, char** argv)
{
    bool isCheck = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !isCheck) {
        std::fprintf(stderr, "Usage: sorvik_make_seed_corpus [--check] FOLDER\n");
        return 2;
    }
    fs::path root = argv[argc - 1];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::IsolatedHome home;
    QGuiApplication application(argc, argv);
    setMsgSeverity(L_SEVERITY_NONE);

    Corpus corpus;
    Maker maker;
    addPdfs(corpus, maker);
    addPictures(corpus, maker);
    addPicturesOfText(corpus);
    addMedia(corpus, maker);
    addWordDocuments(corpus);
    addRtfDocuments(corpus);
    addPlainText(corpus);

    if (!isCheck) {
        corpus.write(root);
        return 0;
    }
    auto missing = corpus.missingFrom(root);
    for (const auto& name : missing)
        std::fprintf(stderr, "The seed %s is not in %s: make the corpus anew.\n", name.c_str(),
            root.c_str());
    return missing.empty() ? 0 : 1;
}
