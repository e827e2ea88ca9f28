#include "app/automation/login_item.h"

#include "app/store/file_error.h"
#include "app/store/stored_file.h"
#include "engine/model/text.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace sorvik {

namespace {

    constexpr std::string_view groupHeader = "[Desktop Entry]";

    std::filesystem::path configHome()
    {
        const char* value = std::getenv("XDG_CONFIG_HOME");
        if (value && *value == '/')
            return value;
        const char* home = std::getenv("HOME");
        if (home && *home)
            return std::filesystem::path(home) / ".config";
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            return std::filesystem::path(entry->pw_dir) / ".config";
        return "/.config";
    }

    /// The escapes of a string value: a backslash doubled; other control characters are
    /// refused before this.
    std::string escapedString(std::string_view text)
    {
        std::string escaped;
        for (char character : text) {
            if (character == '\\')
                escaped += "\\\\";
            else
                escaped += character;
        }
        return escaped;
    }

    /// A string value with its escapes (\s, \n, \t, \r, \\) undone; nothing for a lone or
    /// unknown escape.
    std::optional<std::string> unescapedString(std::string_view value)
    {
        std::string text;
        for (std::size_t index = 0; index < value.size(); ++index) {
            char character = value[index];
            if (character != '\\') {
                text += character;
                continue;
            }
            if (++index == value.size())
                return std::nullopt;
            switch (value[index]) {
            case 's':
                text += ' ';
                break;
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case 'r':
                text += '\r';
                break;
            case '\\':
                text += '\\';
                break;
            default:
                return std::nullopt;
            }
        }
        return text;
    }

    bool isReserved(char character)
    {
        return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(character)
            != std::string_view::npos;
    }

    /// The values of the "[Desktop Entry]" group by key; later keys win, as in a parser that
    /// reads line by line.
    std::map<std::string, std::string, std::less<>> desktopEntry(std::string_view text)
    {
        std::map<std::string, std::string, std::less<>> values;
        bool inGroup = false;
        while (!text.empty()) {
            auto end = text.find('\n');
            auto line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.empty() || line.front() == '#')
                continue;
            if (line.front() == '[') {
                inGroup = line == groupHeader;
                continue;
            }
            auto equals = line.find('=');
            if (!inGroup || equals == std::string_view::npos)
                continue;
            auto key = text::trimming(line.substr(0, equals), " \t");
            auto value = text::trimming(line.substr(equals + 1), " \t");
            values[std::string(key)] = std::string(value);
        }
        return values;
    }

} // namespace

AutostartLoginItem::AutostartLoginItem(std::string launcherPath)
    : m_launcherPath(std::move(launcherPath))
{
}

std::string AutostartLoginItem::defaultLauncherPath()
{
    // The program's own path as bytes; Qt's application folder is the same folder, as text.
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return (program.parent_path() / "nightporter").string();
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/nightporter";
}

std::filesystem::path AutostartLoginItem::entryPath()
{
    return configHome() / "autostart" / (std::string(identifier) + ".desktop");
}

std::string AutostartLoginItem::execProgram(std::string_view path)
{
    bool quote = false;
    for (char character : path)
        quote = quote || isReserved(character);
    std::string value;
    if (quote)
        value += '"';
    for (char character : path) {
        if (quote
            && (character == '"' || character == '`' || character == '$' || character == '\\'))
            value += '\\';
        if (character == '%')
            value += '%';
        value += character;
    }
    if (quote)
        value += '"';
    return escapedString(value);
}

std::optional<std::string> AutostartLoginItem::programOfExec(std::string_view value)
{
    auto unescaped = unescapedString(value);
    if (!unescaped)
        return std::nullopt;
    std::string_view line = *unescaped;
    std::string program;
    std::size_t index = 0;
    if (!line.empty() && line.front() == '"') {
        for (index = 1; index < line.size() && line[index] != '"'; ++index) {
            char character = line[index];
            if (character == '\\') {
                if (++index == line.size())
                    return std::nullopt;
                character = line[index];
            }
            program += character;
        }
        if (index == line.size())
            return std::nullopt;
        ++index;
        if (index < line.size() && line[index] != ' ' && line[index] != '\t')
            return std::nullopt;
    } else {
        for (; index < line.size() && line[index] != ' ' && line[index] != '\t'; ++index) {
            if (isReserved(line[index]))
                return std::nullopt;
            program += line[index];
        }
    }
    // A percent sign stands doubled; a lone one begins a field code.
    std::string plain;
    for (std::size_t at = 0; at < program.size(); ++at) {
        if (program[at] == '%') {
            if (at + 1 == program.size() || program[at + 1] != '%')
                return std::nullopt;
            ++at;
        }
        plain += program[at];
    }
    return plain;
}

std::string AutostartLoginItem::entryText(std::string_view launcherPath)
{
    std::string text(groupHeader);
    text += "\nType=Application\nName=sorvik\nExec=";
    text += execProgram(launcherPath);
    text += "\nTryExec=";
    text += escapedString(launcherPath);
    // No busy cursor waiting for a window that background-watch mode never shows.
    text += "\nNoDisplay=true\nStartupNotify=false\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

void AutostartLoginItem::registerItem()
{
    if (::access(m_launcherPath.c_str(), X_OK) != 0)
        throw FileError::reading(m_launcherPath, errno);
    bool nameable = text::isValidUtf8(m_launcherPath) && m_launcherPath.starts_with('/')
        && m_launcherPath.find('=') == std::string::npos;
    for (unsigned char character : m_launcherPath)
        nameable = nameable && character >= 0x20 && character != 0x7F;
    if (!nameable)
        throw Error("sorvik cannot start at login from \u201C" + m_launcherPath
            + "\u201D: an autostart entry cannot name this path.");
    auto path = entryPath();
    StoredFile::createFolder(path.parent_path());
    StoredFile::writeAtomically(path, entryText(m_launcherPath));
}

void AutostartLoginItem::unregisterItem()
{
    auto path = entryPath();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw FileError::writing(path.string(), errno);
}

bool AutostartLoginItem::isEnabled() const
{
    std::string text;
    try {
        text = StoredFile::read(entryPath());
    } catch (const Error&) {
        return false;
    }
    auto values = desktopEntry(text);
    auto value = [&](std::string_view key) -> std::string_view {
        auto found = values.find(key);
        return found == values.end() ? std::string_view() : std::string_view(found->second);
    };
    if (value("Type") != "Application" || value("Hidden") == "true"
        || value("X-GNOME-Autostart-enabled") == "false")
        return false;
    return programOfExec(value("Exec")) == m_launcherPath;
}

} // namespace sorvik
