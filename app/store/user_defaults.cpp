#include "app/store/user_defaults.h"

#include "app/store/file_error.h"
#include "app/store/stored_file.h"
#include "engine/model/text.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::UserDefaults {

namespace {

    /// $XDG_CONFIG_HOME when it is an absolute path (the XDG rules ignore relative values),
    /// else ~/.config.
    QString configHome()
    {
        const char* value = std::getenv("XDG_CONFIG_HOME");
        if (value && *value == '/')
            return QString::fromLocal8Bit(value);
        const char* home = std::getenv("HOME");
        QString homePath = home && *home ? QString::fromLocal8Bit(home) : QDir::homePath();
        return homePath + "/.config";
    }

    std::string filePath() { return path().toLocal8Bit().toStdString(); }

    bool isBlank(char character)
    {
        return character == ' ' || character == '\t' || character == '\r' || character == '\v'
            || character == '\f';
    }

    std::string_view trimmed(std::string_view text)
    {
        while (!text.empty() && isBlank(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && isBlank(text.back()))
            text.remove_suffix(1);
        return text;
    }

    /// One "key=value" of the section that holds sorvik's keys, with the physical lines it
    /// takes (a value may go on over lines that end in a backslash).
    struct Entry {
        std::string key;
        std::string value;
        std::size_t firstLine = 0;
        std::size_t lastLine = 0;
    };

    /// The settings file as it reads now: its lines as they stand, and the entries of the
    /// "[General]" section (and of the lines before any section, which QSettings counts to it).
    struct SettingsFile {
        std::vector<std::string> lines;
        std::vector<Entry> entries;
        std::optional<std::size_t> generalHeader;
    };

    FileError notSettings(const std::string& path)
    {
        return FileError::withCode(FileError::Code::fileReadCorruptFile, path);
    }

    /// Whether the line ends in a backslash that escapes the line break.
    bool continues(std::string_view line)
    {
        std::size_t backslashes = 0;
        while (backslashes < line.size() && line[line.size() - 1 - backslashes] == '\\')
            ++backslashes;
        return backslashes % 2 == 1;
    }

    SettingsFile parse(const std::string& bytes, const std::string& path)
    {
        if (bytes.find('\0') != std::string::npos || !text::isValidUtf8(bytes))
            throw notSettings(path);
        SettingsFile file;
        std::size_t start = 0;
        while (start < bytes.size()) {
            auto end = bytes.find('\n', start);
            if (end == std::string::npos)
                end = bytes.size();
            file.lines.emplace_back(bytes, start, end - start);
            start = end + 1;
        }

        bool inGeneral = true;
        for (std::size_t index = 0; index < file.lines.size(); ++index) {
            auto line = trimmed(file.lines[index]);
            if (line.empty() || line.front() == ';' || line.front() == '#')
                continue;
            if (line.front() == '[') {
                if (line.back() != ']')
                    throw notSettings(path);
                inGeneral = trimmed(line.substr(1, line.size() - 2)) == "General";
                if (inGeneral)
                    file.generalHeader = index;
                continue;
            }
            auto equals = line.find('=');
            if (equals == std::string_view::npos)
                throw notSettings(path);
            Entry entry { std::string(trimmed(line.substr(0, equals))),
                std::string(line.substr(equals + 1)), index, index };
            while (continues(entry.value) && entry.lastLine + 1 < file.lines.size()) {
                ++entry.lastLine;
                entry.value += '\n';
                entry.value += trimmed(file.lines[entry.lastLine]);
            }
            index = entry.lastLine;
            if (inGeneral)
                file.entries.push_back(std::move(entry));
        }
        return file;
    }

    /// The file as it reads now; an empty one when there is none.
    SettingsFile readFile()
    {
        auto path = filePath();
        if (!StoredFile::exists(path))
            return {};
        return parse(StoredFile::read(path), path);
    }

    int hexDigit(char character)
    {
        if (character >= '0' && character <= '9')
            return character - '0';
        if (character >= 'a' && character <= 'f')
            return character - 'a' + 10;
        if (character >= 'A' && character <= 'F')
            return character - 'A' + 10;
        return -1;
    }

    void appendCodePoint(std::string& out, char32_t codePoint)
    {
        if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            codePoint = 0xFFFD;
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (codePoint >> 18));
            out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }

    /// A stored value as QSettings reads it: quotes group, backslashes escape, ";" outside
    /// quotes ends the value, "," outside quotes makes a list, blanks outside quotes count
    /// only between other characters. Nothing for a list or a value marked "@" (a type
    /// QSettings wrote), whose text sorvik does not read.
    std::optional<std::string> unescaped(std::string_view value)
    {
        std::string out;
        std::string pendingBlanks;
        bool quoted = false;
        for (std::size_t index = 0; index < value.size(); ++index) {
            char character = value[index];
            if (character == '"') {
                quoted = !quoted;
                pendingBlanks.clear();
                continue;
            }
            if (!quoted && character == ';')
                break;
            if (!quoted && character == ',')
                return std::nullopt;
            if (!quoted && (isBlank(character) || character == '\n')) {
                if (!out.empty())
                    pendingBlanks += character == '\n' ? ' ' : character;
                continue;
            }
            out += pendingBlanks;
            pendingBlanks.clear();
            if (character != '\\' || index + 1 == value.size()) {
                out += character;
                continue;
            }
            char escaped = value[++index];
            switch (escaped) {
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case '\n':
                break; // a line that goes on
            case 'x': {
                char32_t codePoint = 0;
                std::size_t digits = 0;
                while (index + 1 < value.size() && hexDigit(value[index + 1]) >= 0 && digits < 8) {
                    codePoint = codePoint * 16 + static_cast<char32_t>(hexDigit(value[++index]));
                    ++digits;
                }
                appendCodePoint(out, codePoint);
                break;
            }
            default:
                if (escaped >= '0' && escaped <= '7') {
                    char32_t codePoint = static_cast<char32_t>(escaped - '0');
                    for (int digits = 1; digits < 3 && index + 1 < value.size()
                         && value[index + 1] >= '0' && value[index + 1] <= '7';
                         ++digits)
                        codePoint = codePoint * 8 + static_cast<char32_t>(value[++index] - '0');
                    appendCodePoint(out, codePoint);
                } else {
                    out += escaped; // \" \' \? \\ and anything else stand for themselves
                }
            }
        }
        if (out.starts_with("@@"))
            return out.substr(1);
        if (out.starts_with('@'))
            return std::nullopt;
        return out;
    }

    /// `value` as QSettings writes it, so that QSettings and this reader both read it back.
    std::string escaped(const std::string& value)
    {
        std::string out = value.starts_with('@') ? "@" : "";
        bool needsQuotes = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
        bool afterHexEscape = false;
        for (char character : value) {
            auto byte = static_cast<unsigned char>(character);
            bool hexEscape = false;
            switch (character) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\v':
                out += "\\v";
                break;
            case ';':
            case ',':
            case '=':
                needsQuotes = true;
                out += character;
                break;
            default:
                // A hex digit right after a hex escape would be read as part of it.
                if (byte < 0x20 || byte == 0x7F || (afterHexEscape && hexDigit(character) >= 0)) {
                    static constexpr char digits[] = "0123456789abcdef";
                    out += "\\x";
                    if (byte >= 0x10)
                        out += digits[byte >> 4];
                    out += digits[byte & 0x0F];
                    hexEscape = true;
                } else {
                    out += character;
                }
            }
            afterHexEscape = hexEscape;
        }
        return needsQuotes ? "\"" + out + "\"" : out;
    }

    void write(const SettingsFile& file)
    {
        std::string bytes;
        for (const auto& line : file.lines) {
            bytes += line;
            bytes += '\n';
        }
        auto path = filePath();
        StoredFile::createFolder(std::filesystem::path(path).parent_path());
        StoredFile::writeAtomically(path, bytes);
    }

} // namespace

QString path() { return configHome() + "/sorvik/sorvik.conf"; }

std::optional<bool> boolValue(const QString& key)
{
    auto stored = text(key);
    if (!stored)
        return std::nullopt;
    if (stored->compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (stored->compare("false", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

void setBool(const QString& key, bool value) { setText(key, value ? "true" : "false"); }

std::optional<QString> text(const QString& key)
{
    auto file = readFile();
    auto wanted = key.toStdString();
    // QSettings reads the last of repeated keys.
    for (auto entry = file.entries.rbegin(); entry != file.entries.rend(); ++entry) {
        if (entry->key != wanted)
            continue;
        auto value = unescaped(entry->value);
        return value ? QString::fromStdString(*value) : QString();
    }
    return std::nullopt;
}

void setText(const QString& key, const QString& value)
{
    auto file = readFile();
    auto wanted = key.toStdString();
    auto line = wanted + "=" + escaped(value.toStdString());
    for (auto entry = file.entries.rbegin(); entry != file.entries.rend(); ++entry) {
        if (entry->key != wanted)
            continue;
        file.lines[entry->firstLine] = std::move(line);
        file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(entry->firstLine) + 1,
            file.lines.begin() + static_cast<std::ptrdiff_t>(entry->lastLine) + 1);
        write(file);
        return;
    }
    if (file.generalHeader) {
        file.lines.insert(
            file.lines.begin() + static_cast<std::ptrdiff_t>(*file.generalHeader) + 1, line);
    } else if (!file.entries.empty()) {
        file.lines.insert(file.lines.begin(), line);
    } else {
        std::vector<std::string> lines { "[General]", line };
        if (!file.lines.empty())
            lines.emplace_back();
        file.lines.insert(file.lines.begin(), lines.begin(), lines.end());
    }
    write(file);
}

} // namespace sorvik::UserDefaults
