#include "app/services/content_image.h"

#include "engine/model/regular_file.h"

#include <QFile>
#include <QImageReader>

#include <leptonica/allheaders.h>

#include <mutex>

namespace sorvik {

namespace {

    // Decoded pictures stay below Qt's own default allocation limit (256 MiB of pixels).
    constexpr std::int64_t maximumPixelCount = 64LL * 1024 * 1024;
    // Files read whole for Leptonica: a scan is rarely more than a few dozen MiB.
    constexpr std::int64_t maximumLeptonicaFileSize = 256LL * 1024 * 1024;

    QImage fitting(QImage image, int maxPixelSize)
    {
        if (image.isNull() || (image.width() <= maxPixelSize && image.height() <= maxPixelSize))
            return image;
        return image.scaled(
            maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

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

    /// Nothing when Leptonica does not know the format (or Qt reads it anyway).
    std::optional<QImage> loadWithLeptonica(const RegularFile& file, int maxPixelSize)
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
        if (pixReadHeaderMem(
                bytes, data.size(), nullptr, &width, &height, nullptr, nullptr, nullptr)
                != 0
            || width <= 0 || height <= 0
            || static_cast<std::int64_t>(width) * height > maximumPixelCount)
            return QImage();
        PIX* pix = pixReadMem(bytes, data.size());
        if (!pix)
            return QImage();
        QImage image = imageFromPix(pix);
        pixDestroy(&pix);
        return fitting(std::move(image), maxPixelSize);
    }

} // namespace

std::optional<QImage> loadImageThumbnail(const std::filesystem::path& path, int maxPixelSize)
{
    auto file = RegularFile::open(path);
    if (!file)
        return std::nullopt;
    QFile device;
    if (!device.open(file->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        device.close();
        return loadWithLeptonica(*file, maxPixelSize);
    }
    QSize size = reader.size();
    if (size.isValid()
        && static_cast<std::int64_t>(size.width()) * size.height() > maximumPixelCount
        && !reader.supportsOption(QImageIOHandler::ScaledSize))
        return QImage();
    if (size.isValid() && (size.width() > maxPixelSize || size.height() > maxPixelSize))
        reader.setScaledSize(size.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio));
    return fitting(reader.read(), maxPixelSize);
}

} // namespace sorvik
