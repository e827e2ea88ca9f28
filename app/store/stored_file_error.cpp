#include "app/store/stored_file_error.h"

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

namespace sorvik {

namespace {

    std::string syntaxText(JSONSyntaxError::Kind kind, std::size_t line, std::size_t column)
    {
        switch (kind) {
        case JSONSyntaxError::Kind::empty:
            return "The document is empty";
        case JSONSyntaxError::Kind::endsEarly:
            return "The document ends in the middle of its data";
        case JSONSyntaxError::Kind::invalid:
            break;
        }
        return "The document is not valid JSON at line " + std::to_string(line) + ", column "
            + std::to_string(column);
    }

    /// What a decoder said is wrong, in sorvik's words: a library's own text is left out.
    std::string decodeDetail(const json::DecodeError& error)
    {
        constexpr std::string_view notJSON = "The data is not valid JSON: ";
        std::string reason = error.reason();
        if (reason.starts_with("[json.exception."))
            reason = "a value of the wrong type";
        else if (reason.starts_with(notJSON))
            reason = "not valid JSON: " + reason.substr(notJSON.size());
        return error.path().empty() ? reason : error.path() + ": " + reason;
    }

    std::string path(const std::filesystem::path& file) { return FileError::quoted(file.string()); }

    /// What the user can do about a write that failed with `error`.
    std::string writeAdvice(const std::filesystem::path& file, int error)
    {
        switch (error) {
        case EACCES:
        case EPERM:
            return "make the folder " + path(file.parent_path()) + " writable for you";
        case ENOSPC:
        case EDQUOT:
            return "free some space on its disk";
        case EROFS:
            return "make its volume writable";
        case EFBIG:
            return "it would be larger than its volume or the system allows";
        case ENOTDIR:
        case EEXIST:
            return "a file stands where one of its folders belongs: move that file aside";
        case EISDIR:
            return "a folder stands in its place: move that folder aside";
        case ENOENT:
            return "the folder " + path(file.parent_path()) + " it belongs in is missing";
        default:
            return "check that its disk is connected and working";
        }
    }

} // namespace

void TextPosition::advance(std::string_view text)
{
    for (char character : text) {
        auto byte = static_cast<unsigned char>(character);
        if (byte == '\n') {
            ++m_line;
            m_column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++m_column;
        }
    }
}

JSONSyntaxError::JSONSyntaxError(Kind kind, std::size_t line, std::size_t column)
    : json::DecodeError(syntaxText(kind, line, column))
    , m_kind(kind)
    , m_line(line)
    , m_column(column)
{
}

namespace StoredFile {

    bool isBlank(std::string_view text)
    {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    json::Json parseJSON(std::string_view text)
    {
        try {
            return json::Json::parse(text);
        } catch (const nlohmann::json::parse_error& error) {
            if (isBlank(text))
                throw JSONSyntaxError(JSONSyntaxError::Kind::empty, 1, 1);
            // `byte` counts from 1 and lies past the end when the text stopped too soon.
            if (error.byte > text.size())
                throw JSONSyntaxError(JSONSyntaxError::Kind::endsEarly, 0, 0);
            TextPosition position;
            position.advance(text.substr(0, error.byte == 0 ? 0 : error.byte - 1));
            throw JSONSyntaxError(
                JSONSyntaxError::Kind::invalid, position.line(), position.column());
        } catch (const nlohmann::json::exception&) {
            throw JSONSyntaxError(JSONSyntaxError::Kind::invalid, 1, 1);
        }
    }

    std::string unreadableReason(const std::filesystem::path& file, const std::exception& cause)
    {
        auto opened = "The file " + FileError::quoted(FileError::fileName(file.string()))
            + " couldn\u2019t be opened";
        if (const auto* syntax = dynamic_cast<const JSONSyntaxError*>(&cause)) {
            switch (syntax->kind()) {
            case JSONSyntaxError::Kind::empty:
                return opened + " because it is empty.";
            case JSONSyntaxError::Kind::endsEarly:
                return opened + " because it ends in the middle of its data.";
            case JSONSyntaxError::Kind::invalid:
                return opened
                    + " because it isn\u2019t in the correct format (not valid JSON at line "
                    + std::to_string(syntax->line()) + ", column "
                    + std::to_string(syntax->column()) + ").";
            }
        }
        if (const auto* failure = dynamic_cast<const FileError*>(&cause)) {
            // A failure found before the file was known ("the data isn't in the correct
            // format") is given the file's name.
            if (failure->path().empty())
                return FileError::withCode(failure->code(), file.string()).what();
            return failure->what();
        }
        if (const auto* decode = dynamic_cast<const json::DecodeError*>(&cause))
            return opened + " because it isn\u2019t in the correct format (" + decodeDetail(*decode)
                + ").";
        if (dynamic_cast<const nlohmann::json::exception*>(&cause))
            return opened + " because it isn\u2019t in the correct format.";
        return opened + " (" + cause.what() + ").";
    }

    std::string startAfresh(const std::filesystem::path& file, std::string_view afresh, bool reopen)
    {
        auto start = afresh.empty() ? std::string("To start afresh")
                                    : "To start afresh with " + std::string(afresh);
        return start + ", move " + path(file) + " aside"
            + (reopen ? " and open sorvik again." : ".");
    }

    void rethrowUnreadable(const std::filesystem::path& file, std::string_view remedy)
    {
        auto text = [&](const std::exception& cause) {
            auto reason = unreadableReason(file, cause);
            return remedy.empty() ? reason : reason + " " + std::string(remedy);
        };
        try {
            throw;
        } catch (const StoredFileFailure&) {
            throw;
        } catch (const FileError& error) {
            throw StoredFileError<FileError>(error, file, text(error));
        } catch (const json::DecodeError& error) {
            throw StoredFileError<json::DecodeError>(error, file, text(error));
        } catch (const nlohmann::json::exception& error) {
            throw StoredFileError<json::DecodeError>(
                json::DecodeError("a value of the wrong type"), file, text(error));
        } catch (const Error& error) {
            throw StoredFileError<Error>(error, file, text(error));
        } catch (const std::exception& error) {
            throw StoredFileError<Error>(Error(error.what()), file, text(error));
        }
    }

    StoredFileError<FileError> writeFailure(const std::filesystem::path& file, int error)
    {
        auto cause = FileError::writing(file.string(), error);
        std::string text = cause.what();
        text += " Nothing was saved to " + path(file) + "; " + writeAdvice(file, error) + ".";
        return StoredFileError<FileError>(cause, file, std::move(text));
    }

    StoredFileError<FileError> folderFailure(const std::filesystem::path& folder, int error)
    {
        auto cause = FileError::writing(folder.string(), error);
        std::string text = "The folder " + path(folder) + " couldn\u2019t be made";
        switch (error) {
        case EACCES:
        case EPERM:
            text += " because you don\u2019t have permission to make it; make the folder "
                + path(folder.parent_path()) + " writable for you.";
            break;
        case ENOSPC:
        case EDQUOT:
            text += " because there isn\u2019t enough space; free some space on its disk.";
            break;
        case EROFS:
            text += " because the volume is read only; make its volume writable.";
            break;
        case ENOTDIR:
        case EEXIST:
            text += " because a file stands where it or a folder above it belongs; move that "
                    "file aside.";
            break;
        default:
            text += std::string(" (") + std::strerror(error)
                + "); check that its disk is connected and working.";
        }
        return StoredFileError<FileError>(cause, folder, std::move(text));
    }

    StoredFileError<Error> encodeFailure(const std::filesystem::path& file)
    {
        std::string text = "The file " + FileError::quoted(FileError::fileName(file.string()))
            + " couldn\u2019t be saved because sorvik couldn\u2019t write some of its data as JSON "
              "(text that isn\u2019t UTF-8, or a number JSON cannot hold). Nothing was saved to "
            + path(file) + ".";
        return StoredFileError<Error>(Error(text), file, text);
    }

} // namespace StoredFile

} // namespace sorvik
