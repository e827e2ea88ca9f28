#include "app/store/file_error.h"

#include <cerrno>
#include <cstring>

namespace sorvik {

namespace {

    std::string lastComponent(std::string_view path)
    {
        while (path.size() > 1 && path.back() == '/')
            path.remove_suffix(1);
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos || path == "/")
            return std::string(path);
        return std::string(path.substr(slash + 1));
    }

    std::string folderComponent(std::string_view path)
    {
        while (path.size() > 1 && path.back() == '/')
            path.remove_suffix(1);
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return {};
        return lastComponent(path.substr(0, slash == 0 ? 1 : slash));
    }

    std::string quoted(std::string_view text) { return FileError::quoted(text); }

    std::string describe(FileError::Code code, std::string_view path, int error)
    {
        auto name = quoted(lastComponent(path));
        auto folder = quoted(folderComponent(path));
        std::string reason = error != 0 ? std::string(" (") + std::strerror(error) + ")" : "";
        switch (code) {
        case FileError::Code::fileNoSuchFile:
            return "The file " + name + " couldn\u2019t be opened because there is no such file.";
        case FileError::Code::fileReadNoPermission:
            return "The file " + name
                + " couldn\u2019t be opened because you don\u2019t have permission to view it.";
        case FileError::Code::fileReadUnsupportedScheme:
            return "The file " + name
                + " couldn\u2019t be opened because the specified URL type isn\u2019t supported.";
        case FileError::Code::fileReadCorruptFile:
            return "The file " + name
                + " couldn\u2019t be opened because it isn\u2019t in the correct format.";
        case FileError::Code::fileReadTooLarge:
            return "The file " + name + " couldn\u2019t be opened because it is too large.";
        case FileError::Code::fileReadInapplicableStringEncoding:
            return "The file " + name
                + " couldn\u2019t be opened using text encoding Unicode (UTF-8).";
        case FileError::Code::fileReadUnknown:
            return "The file " + name + " couldn\u2019t be opened" + reason + ".";
        case FileError::Code::fileWriteNoPermission:
            return "You don\u2019t have permission to save the file " + name + " in the folder "
                + folder + ".";
        case FileError::Code::fileWriteOutOfSpace:
            return "The file " + name
                + " couldn\u2019t be saved because there isn\u2019t enough space.";
        case FileError::Code::fileWriteVolumeReadOnly:
            return "The file " + name + " couldn\u2019t be saved because the volume is read only.";
        case FileError::Code::fileWriteUnknown:
            return "The file " + name + " couldn\u2019t be saved in the folder " + folder + reason
                + ".";
        }
        return {};
    }

} // namespace

std::string FileError::quoted(std::string_view text)
{
    return "\u201C" + std::string(text) + "\u201D";
}

std::string FileError::fileName(std::string_view path) { return lastComponent(path); }

FileError::FileError(Code code, std::string path, const std::string& description)
    : Error(description)
    , m_code(code)
    , m_path(std::move(path))
{
}

FileError FileError::withCode(Code code, std::string path)
{
    auto description = describe(code, path, 0);
    return FileError(code, std::move(path), description);
}

FileError FileError::notRegularFile(std::string path)
{
    auto description = "The file " + quoted(lastComponent(path))
        + " couldn\u2019t be opened because it isn\u2019t a regular file.";
    return FileError(Code::fileReadUnknown, std::move(path), description);
}

FileError FileError::reading(std::string path, int error)
{
    Code code = Code::fileReadUnknown;
    if (error == ENOENT || error == ENOTDIR)
        code = Code::fileNoSuchFile;
    else if (error == EACCES || error == EPERM)
        code = Code::fileReadNoPermission;
    else if (error == EFBIG)
        code = Code::fileReadTooLarge;
    auto description = describe(code, path, error);
    return FileError(code, std::move(path), description);
}

FileError FileError::writing(std::string path, int error)
{
    Code code = Code::fileWriteUnknown;
    if (error == EACCES || error == EPERM)
        code = Code::fileWriteNoPermission;
    else if (error == ENOSPC || error == EDQUOT)
        code = Code::fileWriteOutOfSpace;
    else if (error == EROFS)
        code = Code::fileWriteVolumeReadOnly;
    auto description = describe(code, path, error);
    return FileError(code, std::move(path), description);
}

} // namespace sorvik
