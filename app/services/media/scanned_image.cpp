#include "app/services/media/scanned_image.h"

#include "app/services/content_image.h"
#include "engine/model/regular_file.h"

#include <leptonica/allheaders.h>

#include <cstdint>
#include <mutex>
#include <string_view>

namespace sorvik {

namespace {

    // Files read whole for Leptonica: a scan is rarely more than a few dozen MiB.
    constexpr std::int64_t maximumLeptonicaFileSize = 256LL * 1024 * 1024;

    bool isLeptonicaOnlyFormat(l_int32 format)
    {
        switch (format) {
        case IFF_TIFF:
        case IFF_TIFF_PACKBITS:
        case IFF_TIFF_RLE:
        case IFF_TIFF_G3:
        case IFF_TIFF_G4:
        case IFF_TIFF_LZW:
        case IFF_TIFF_ZIP:
        case IFF_TIFF_JPEG:
        case IFF_JP2:
        case IFF_WEBP:
            return true;
        default:
            return false;
        }
    }

    std::uint64_t bigEndian(std::string_view data, std::size_t offset, std::size_t length)
    {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < length; ++index)
            value = value << 8 | static_cast<std::uint8_t>(data[offset + index]);
        return value;
    }

    /// Where the JPEG 2000 codestream begins: at the start of a bare codestream, or in the
    /// "jp2c" box of a JP2 file; npos when there is none.
    std::size_t codestreamStart(std::string_view data)
    {
        if (data.starts_with("\xFF\x4F"))
            return 0;
        std::size_t offset = 0;
        while (offset + 8 <= data.size()) {
            std::uint64_t length = bigEndian(data, offset, 4);
            std::size_t header = 8;
            if (length == 1) {
                if (offset + 16 > data.size())
                    return std::string_view::npos;
                length = bigEndian(data, offset + 8, 8);
                header = 16;
            } else if (length == 0) {
                length = data.size() - offset;
            }
            if (data.substr(offset + 4, 4) == "jp2c")
                return offset + header;
            if (length < header || length > data.size() - offset)
                return std::string_view::npos;
            offset += static_cast<std::size_t>(length);
        }
        return std::string_view::npos;
    }

    /// Whether Leptonica may decode the JPEG 2000 picture. It takes every component to be as
    /// large as the first, and reads past the end of a subsampled one, so only a picture whose
    /// components all have the picture's size is read: one to four of them, of at most eight
    /// bits, within `maximumImagePixels` in all.
    bool isPlainJpeg2000(std::string_view data)
    {
        // The start of the codestream, then its size segment: length, capabilities, the
        // picture's size and offset, the tiles' size and offset, the component count, and
        // depth and subsampling for each component.
        constexpr std::size_t sizeSegment = 4;
        constexpr std::size_t componentsField = sizeSegment + 36;
        std::size_t start = codestreamStart(data);
        if (start == std::string_view::npos || data.size() - start < componentsField + 2
            || data.substr(start, 4) != "\xFF\x4F\xFF\x51")
            return false;
        std::string_view segment = data.substr(start);
        std::uint64_t components = bigEndian(segment, componentsField, 2);
        if (components < 1 || components > 4
            || bigEndian(segment, sizeSegment, 2) != 38 + 3 * components
            || segment.size() < componentsField + 2 + 3 * components)
            return false;
        std::uint64_t width = bigEndian(segment, sizeSegment + 4, 4);
        std::uint64_t height = bigEndian(segment, sizeSegment + 8, 4);
        std::uint64_t left = bigEndian(segment, sizeSegment + 12, 4);
        std::uint64_t top = bigEndian(segment, sizeSegment + 16, 4);
        if (left >= width || top >= height
            || (width - left) * (height - top) > static_cast<std::uint64_t>(maximumImagePixels))
            return false;
        for (std::size_t index = 0; index < components; ++index) {
            std::size_t component = componentsField + 2 + 3 * index;
            bool isEightBitsAtMost = (static_cast<std::uint8_t>(segment[component]) & 0x7F) < 8;
            if (!isEightBitsAtMost || segment[component + 1] != 1 || segment[component + 2] != 1)
                return false;
        }
        return true;
    }

    QImage imageFromPix(PIX* source)
    {
        PIX* colour = pixConvertTo32(source);
        if (!colour)
            return {};
        int width = static_cast<int>(pixGetWidth(colour));
        int height = static_cast<int>(pixGetHeight(colour));
        QImage image(width, height, QImage::Format_RGB32);
        if (!image.isNull()) {
            l_uint32* data = pixGetData(colour);
            int wordsPerLine = static_cast<int>(pixGetWpl(colour));
            for (int y = 0; y < height; ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                const l_uint32* sourceLine = data + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
                for (int x = 0; x < width; ++x) {
                    l_int32 red = 0;
                    l_int32 green = 0;
                    l_int32 blue = 0;
                    extractRGBValues(sourceLine[x], &red, &green, &blue);
                    line[x] = qRgb(red, green, blue);
                }
            }
        }
        pixDestroy(&colour);
        return image;
    }

} // namespace

std::optional<QImage> readScannedImage(const RegularFile& file)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { setMsgSeverity(L_SEVERITY_NONE); });

    std::string head = file.readPrefix(64);
    l_int32 format = IFF_UNKNOWN;
    if (head.size() < 12
        || findFileFormatBuffer(reinterpret_cast<const l_uint8*>(head.data()), &format) != 0
        || !isLeptonicaOnlyFormat(format))
        return std::nullopt;
    if (file.size() > maximumLeptonicaFileSize)
        return QImage();
    std::string data = file.readPrefix(static_cast<std::size_t>(file.size()));
    if (format == IFF_JP2 && !isPlainJpeg2000(data))
        return QImage();
    auto* bytes = reinterpret_cast<const l_uint8*>(data.data());
    l_int32 width = 0;
    l_int32 height = 0;
    if (pixReadHeaderMem(bytes, data.size(), nullptr, &width, &height, nullptr, nullptr, nullptr)
            != 0
        || width <= 0 || height <= 0
        || static_cast<std::int64_t>(width) * height > maximumImagePixels)
        return QImage();
    PIX* pix = pixReadMem(bytes, data.size());
    if (!pix)
        return QImage();
    QImage image = imageFromPix(pix);
    pixDestroy(&pix);
    return image;
}

} // namespace sorvik
