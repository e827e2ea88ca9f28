// The seeds of pictures: written by Qt, Leptonica and ffmpeg, with EXIF added by exiv2 and
// exiftool, and damaged.
#include "fuzz/support/seed_corpus.h"

#include "tests/app/services/content_samples.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/app/services/scan_samples.h"

#include <QImage>
#include <QTransform>

#include <leptonica/allheaders.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace sorvik::fuzzing::seeds {

namespace {

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

} // namespace

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

} // namespace sorvik::fuzzing::seeds
