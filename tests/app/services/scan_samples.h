#pragma once

// Scans in the formats Qt does not write (TIFF, WebP, JPEG 2000), written by Leptonica, which
// the media module reads them with.

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <leptonica/allheaders.h>

#include <stdexcept>
#include <string>

namespace sorvik::testing {

/// The picture in Leptonica's `format` (IFF_TIFF_ZIP, IFF_TIFF_G4, IFF_WEBP, IFF_JP2, …).
inline std::string leptonicaEncoded(const QImage& picture, l_int32 format)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    PIX* pix = pixReadMem(
        reinterpret_cast<const l_uint8*>(png.constData()), static_cast<size_t>(png.size()));
    if (!pix)
        throw std::runtime_error("Leptonica cannot read the picture");
    l_uint8* data = nullptr;
    size_t size = 0;
    bool written = pixWriteMem(&data, &size, pix, format) == 0;
    pixDestroy(&pix);
    if (!written)
        throw std::runtime_error("Leptonica cannot write format " + std::to_string(format));
    std::string bytes(reinterpret_cast<const char*>(data), size);
    lept_free(data);
    return bytes;
}

} // namespace sorvik::testing
