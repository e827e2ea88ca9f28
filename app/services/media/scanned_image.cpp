#include "app/services/media/scanned_image.h"

#include "app/services/content_image.h"
#include "engine/model/regular_file.h"

#include <leptonica/allheaders.h>

#include <mutex>

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
