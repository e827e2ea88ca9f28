#include "engine/model/file_url.h"

#include "engine/model/hex_digit.h"
#include "engine/model/json.h"

#include <vector>

namespace sorvik {

namespace {

    std::string trimTrailingSlashes(std::string_view path)
    {
        while (path.size() > 1 && path.back() == '/')
            path.remove_suffix(1);
        return std::string(path);
    }

    bool isKeptInPath(unsigned char byte)
    {
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
            || (byte >= '0' && byte <= '9'))
            return true;
        switch (byte) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
        case ':':
        case '@':
        case '/':
            return true;
        default:
            return false;
        }
    }

} // namespace

FileURL::FileURL(std::string_view path_, bool isDirectory_)
    : path(trimTrailingSlashes(path_))
    , isDirectory(isDirectory_)
{
}

void appendPercentEncodedPath(std::string& out, std::string_view path)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out.reserve(out.size() + path.size());
    for (char character : path) {
        auto byte = static_cast<unsigned char>(character);
        if (isKeptInPath(byte)) {
            out.push_back(character);
            continue;
        }
        out.push_back('%');
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 0x0F]);
    }
}

std::string percentEncodePath(std::string_view path)
{
    std::string result;
    appendPercentEncodedPath(result, path);
    return result;
}

namespace {

    /// Reads file URL text: its path into `decoded` when given. False for text that is no
    /// local file URL, with `failure` set when there is more to say.
    bool decodeFileURL(std::string_view text, std::string* decoded, std::string* failure)
    {
        constexpr std::string_view scheme = "file://";
        if (text.size() < scheme.size())
            return false;
        for (std::size_t index = 0; index < scheme.size(); ++index) {
            char character = text[index];
            if (character >= 'A' && character <= 'Z')
                character = static_cast<char>(character - 'A' + 'a');
            if (character != scheme[index])
                return false;
        }
        text.remove_prefix(scheme.size());
        if (text.starts_with("localhost"))
            text.remove_prefix(9);
        if (text.empty() || text.front() != '/')
            return false;

        if (decoded)
            decoded->reserve(text.size());
        for (std::size_t index = 0; index < text.size(); ++index) {
            char character = text[index];
            if (character == '?' || character == '#')
                return false;
            if (character == '%') {
                if (index + 2 >= text.size())
                    return false;
                int high = hexDigitValue(text[index + 1]);
                int low = hexDigitValue(text[index + 2]);
                if (high < 0 || low < 0)
                    return false;
                character = static_cast<char>(high * 16 + low);
                index += 2;
            }
            if (character == '\0') {
                if (failure)
                    *failure = FileURL::nulByteText;
                return false;
            }
            if (decoded)
                decoded->push_back(character);
        }
        return true;
    }

} // namespace

std::optional<FileURL> FileURL::parse(std::string_view text, std::string* failure)
{
    std::string decoded;
    if (!decodeFileURL(text, &decoded, failure))
        return std::nullopt;
    bool isDirectory = decoded.size() > 1 && decoded.back() == '/';
    if (decoded == "/")
        isDirectory = true;
    return FileURL(decoded, isDirectory);
}

bool FileURL::isValidText(std::string_view text, std::string* failure)
{
    return decodeFileURL(text, nullptr, failure);
}

std::string FileURL::text() const
{
    std::string result;
    appendText(result);
    return result;
}

void FileURL::appendText(std::string& out) const
{
    out += "file://";
    appendPercentEncodedPath(out, path);
    if (isDirectory && out.back() != '/')
        out.push_back('/');
}

std::string FileURL::lastPathComponent() const
{
    if (path == "/")
        return "/";
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return path;
    return path.substr(slash + 1);
}

std::string_view folderPathOf(std::string_view path)
{
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

FileURL FileURL::deletingLastPathComponent() const { return FileURL(folderPathOf(path), true); }

FileURL FileURL::appending(std::string_view component, bool isDirectory_) const
{
    std::string joined = path;
    if (joined.empty() || joined.back() != '/')
        joined.push_back('/');
    joined.append(component);
    return FileURL(joined, isDirectory_);
}

std::vector<std::string> FileURL::pathComponents() const
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > start)
            components.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return components;
}

bool FileURL::isStandardized() const
{
    if (path.empty() || path.front() != '/')
        return false;
    if (path.size() == 1)
        return true;
    std::size_t start = 1;
    while (true) {
        auto slash = path.find('/', start);
        std::string_view component = std::string_view(path).substr(
            start, slash == std::string::npos ? std::string::npos : slash - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

FileURL FileURL::standardized() const
{
    if (isStandardized())
        return *this;
    std::vector<std::string> kept;
    for (auto& component : pathComponents()) {
        if (component == ".")
            continue;
        if (component == "..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(std::move(component));
    }
    std::string joined;
    for (const auto& component : kept) {
        joined.push_back('/');
        joined.append(component);
    }
    if (joined.empty())
        joined = "/";
    return FileURL(joined, isDirectory);
}

void to_json(nlohmann::json& json, const FileURL& url) { json = url.text(); }

void from_json(const nlohmann::json& json, FileURL& url)
{
    std::string failure;
    auto parsed = FileURL::parse(json::decode<std::string>(json), &failure);
    if (!parsed)
        throw json::DecodeError(failure.empty() ? "Invalid file URL" : failure);
    url = *parsed;
}

} // namespace sorvik
