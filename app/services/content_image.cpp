#include "app/services/content_image.h"

#include "app/services/media_readers.h"
#include "app/services/qt_image_guard.h"
#include "engine/model/regular_file.h"

#include <QFile>
#include <QImageReader>

namespace sorvik {

namespace {

    QImage fitting(QImage image, int maxPixelSize)
    {
        if (image.isNull() || (image.width() <= maxPixelSize && image.height() <= maxPixelSize))
            return image;
        return image.scaled(
            maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
    if (!QtImageGuard::mayDecode(*file, reader))
        return QImage();
    if (!reader.canRead()) {
        device.close();
        const auto* readers = MediaReaders::loaded();
        auto scanned = readers ? readers->readScannedImage(*file) : std::nullopt;
        if (!scanned)
            return std::nullopt;
        return fitting(std::move(*scanned), maxPixelSize);
    }
    QSize size = reader.size();
    if (size.isValid()
        && static_cast<std::int64_t>(size.width()) * size.height() > maximumImagePixels
        && !reader.supportsOption(QImageIOHandler::ScaledSize))
        return QImage();
    if (size.isValid() && (size.width() > maxPixelSize || size.height() > maxPixelSize))
        reader.setScaledSize(size.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio));
    return fitting(reader.read(), maxPixelSize);
}

} // namespace sorvik
