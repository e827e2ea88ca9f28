#include "app/services/metadata_extractor.h"

#include "app/services/image_metadata.h"
#include "app/services/media_readers.h"
#include "engine/model/file_item.h"
#include "engine/model/regular_file.h"

#include <algorithm>
#include <array>

namespace sorvik::MetadataExtractor {

namespace {

    /// ASCII letters lowered byte by byte: the extensions compared here are ASCII, and a name
    /// need not be UTF-8.
    std::string asciiLowercased(std::string_view text)
    {
        std::string result(text);
        for (char& character : result) {
            if (character >= 'A' && character <= 'Z')
                character = static_cast<char>(character - 'A' + 'a');
        }
        return result;
    }

} // namespace

bool isMediaExtension(std::string_view lowercasedExtension)
{
    static constexpr std::array<std::string_view, 10> extensions
        = { "mp3", "m4a", "wav", "aiff", "aac", "flac", "mp4", "mov", "m4v", "avi" };
    return std::find(extensions.begin(), extensions.end(), lowercasedExtension) != extensions.end();
}

std::string descriptorPath(const RegularFile& file) { return file.descriptorPath(); }

MetadataDictionary extract(const FileURL& url)
{
    MetadataDictionary values;
    try {
        auto file = RegularFile::open(url.path);
        if (!file)
            return values;
        std::string extension = asciiLowercased(extensionOfName(url.lastPathComponent()));
        ImageMetadata::read(*file, extension, values);
        // The PDF and media readers are loaded on the first file that needs them; without
        // them such a file gives what the image reader found.
        if (extension == "pdf") {
            if (const auto* readers = MediaReaders::loaded())
                readers->readPDFMetadata(*file, values);
        }
        if (isMediaExtension(extension)) {
            if (const auto* readers = MediaReaders::loaded())
                readers->readMediaMetadata(*file, values);
        }
    } catch (...) {
        // Nothing escapes an extraction; what was read so far is kept.
    }
    return values;
}

} // namespace sorvik::MetadataExtractor
