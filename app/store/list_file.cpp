#include "app/store/list_file.h"

#include "app/store/file_error.h"
#include "app/store/preset_document.h"
#include "engine/model/text.h"

namespace sorvik::ListFile {

std::string read(const FileURL& url)
{
    auto bytes = PresetDocument::readBytes(url.path, sizeLimit);
    if (!text::isValidUtf8(bytes))
        throw FileError::withCode(FileError::Code::fileReadInapplicableStringEncoding, url.path);
    return bytes;
}

} // namespace sorvik::ListFile
