#include "app/store/preset_document.h"

#include "app/store/file_descriptor.h"
#include "app/store/file_error.h"
#include "app/store/saved_session.h"
#include "engine/model/json.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::PresetDocument {

namespace {

    FileError notRegularFile(const std::filesystem::path& path)
    {
        auto name = path.filename().string();
        return FileError(FileError::Code::fileReadUnknown, path.string(),
            "The file \u201C" + name
                + "\u201D couldn\u2019t be opened because it isn\u2019t a regular file.");
    }

    FileError tooLarge(const std::filesystem::path& path)
    {
        return FileError::withCode(FileError::Code::fileReadTooLarge, path.string());
    }

} // namespace

const DocumentType& presetDocumentType()
{
    static const DocumentType type { "app.sorvik.mac.preset", "application/x-sorvik-preset",
        std::string(fileExtension) };
    return type;
}

const DocumentType& jsonDocumentType()
{
    static const DocumentType type { "public.json", "application/json", "json" };
    return type;
}

std::string proposedFileName(const Preset& preset)
{
    return preset.name + "." + std::string(fileExtension);
}

std::string encode(const Preset& preset)
{
    json::Json document;
    try {
        document = preset;
    } catch (const nlohmann::json::exception& error) {
        throw Error(error.what());
    }
    return json::serialize(document);
}

std::string readBytes(const std::filesystem::path& path, std::int64_t limit)
{
    // Without O_NONBLOCK, opening a pipe waits for a writer; the descriptor is checked before
    // anything is read, so nothing ever waits on it.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        throw FileError::reading(path.string(), errno);
    struct stat status { };
    if (::fstat(file.get(), &status) != 0)
        throw FileError::reading(path.string(), errno);
    if (!S_ISREG(status.st_mode))
        throw notRegularFile(path);
    if (status.st_size >= limit)
        throw tooLarge(path);

    // The size is only a hint: the file may grow, or report nothing (as files under /proc
    // do). Reading stops at the limit whatever it says.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size) + 1);
    constexpr std::size_t chunk = 64 * 1024;
    while (true) {
        auto remaining = static_cast<std::size_t>(limit) - bytes.size();
        if (remaining == 0)
            throw tooLarge(path);
        auto offset = bytes.size();
        bytes.resize(offset + std::min(chunk, remaining));
        auto count = ::read(file.get(), bytes.data() + offset, bytes.size() - offset);
        if (count < 0) {
            int failure = errno;
            bytes.resize(offset);
            if (failure == EINTR)
                continue;
            throw FileError::reading(path.string(), failure);
        }
        bytes.resize(offset + static_cast<std::size_t>(count));
        if (count == 0)
            return bytes;
    }
}

Preset read(const FileURL& url)
{
    auto bytes = readBytes(url.path);
    Preset preset;
    try {
        preset = json::decode<Preset>(json::parse(bytes));
    } catch (const nlohmann::json::exception& error) {
        throw json::DecodeError(error.what());
    }
    if (preset.schemaVersion != 1)
        throw FileError::withCode(FileError::Code::fileReadCorruptFile, url.path);

    preset.id = Uuid::random();
    preset.isBuiltIn = false;
    makeRuleIDsUnique(preset.rules);
    return preset;
}

} // namespace sorvik::PresetDocument
