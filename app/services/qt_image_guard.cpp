#include "app/services/qt_image_guard.h"

#include "engine/model/regular_file.h"

#include <QImageReader>

#include <cstdint>
#include <string_view>

#include <unistd.h>

namespace sorvik::QtImageGuard {

namespace {

    constexpr std::string_view pngSignature("\x89PNG\r\n\x1A\n", 8);
    constexpr std::string_view gzipSignature("\x1F\x8B", 2);

    bool hasPngChunkClaimingMore(const RegularFile& file)
    {
        // Each chunk: its length, its type, its data, a checksum.
        constexpr std::int64_t headerSize = 8;
        constexpr std::int64_t checksumSize = 4;
        std::int64_t offset = static_cast<std::int64_t>(pngSignature.size());
        while (offset + headerSize <= file.size()) {
            unsigned char header[headerSize];
            if (::pread(file.descriptor(), header, sizeof header, static_cast<off_t>(offset))
                != headerSize)
                return false; // unreadable: the decoder fails on it by itself
            std::uint32_t length = std::uint32_t(header[0]) << 24 | std::uint32_t(header[1]) << 16
                | std::uint32_t(header[2]) << 8 | header[3];
            std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
            if (type == "IEND")
                return false;
            std::int64_t end = offset + headerSize + length + checksumSize;
            if (end > file.size() && type != "IDAT")
                return true;
            offset = end;
        }
        return false;
    }

} // namespace

bool mayDecode(const RegularFile& file, QImageReader& reader)
{
    std::string start = file.readPrefix(pngSignature.size());
    if (std::string_view(start).starts_with(gzipSignature))
        return false;
    if (start == pngSignature)
        return !hasPngChunkClaimingMore(file);
    // Qt tells an SVG picture by its content, whatever the file's name.
    QByteArray format = reader.format();
    return format != "svg" && format != "svgz";
}

} // namespace sorvik::QtImageGuard
