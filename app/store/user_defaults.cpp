#include "app/store/user_defaults.h"

#include "app/store/file_error.h"
#include "app/store/stored_file.h"
#include "app/store/stored_file_error.h"
#include "engine/model/text.h"

#include <QDir>
#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

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

    /// Throws the failure being handled, of reading the settings file at `path`, as the user
    /// reads it. Only inside a `catch`.
    [[noreturn]] void unreadable(const std::string& path)
    {
        StoredFile::rethrowUnreadable(
            path, StoredFile::startAfresh(path, "the default settings", true));
    }

    /// The settings file at `path` is no text QSettings reads.
    [[noreturn]] void throwNotSettings(const std::string& path)
    {
        try {
            throw FileError::withCode(FileError::Code::fileReadCorruptFile, path);
        } catch (const FileError&) {
            unreadable(path);
        }
    }

    bool isLineBlank(char character)
    {
        return character == ' ' || character == '\t' || character == '\n' || character == '\r';
    }

    /// Whether every line is one QSettings reads without a format error: a section header
    /// closed by "]", a "key=value", or a ";" comment. Lines are taken as QSettings takes
    /// them: a backslash escapes the next character (a line break too), a line break inside
    /// quotes goes on with the line, and ";" outside quotes starts a comment. QSettings says
    /// a file is malformed only when it parses it afresh, not when it serves it again from
    /// its cache of files it has read (the file unchanged since), so sorvik checks each time.
    bool hasOnlySettingsLines(std::string_view bytes)
    {
        std::size_t index = 0;
        auto skipComment = [&] {
            while (index < bytes.size() && bytes[index] != '\n' && bytes[index] != '\r')
                ++index;
        };
        while (index < bytes.size()) {
            if (isLineBlank(bytes[index])) {
                ++index;
                continue;
            }
            if (bytes[index] == ';') {
                skipComment();
                continue;
            }
            auto start = index;
            bool quoted = false;
            bool hasEquals = false;
            for (; index < bytes.size(); ++index) {
                char character = bytes[index];
                if (character == '\\') {
                    // The escaped character, and the second half of a two-byte line break.
                    ++index;
                    if (index + 1 < bytes.size()
                        && ((bytes[index] == '\n' && bytes[index + 1] == '\r')
                            || (bytes[index] == '\r' && bytes[index + 1] == '\n')))
                        ++index;
                } else if (character == '"') {
                    quoted = !quoted;
                } else if (!quoted
                    && (character == '\n' || character == '\r' || character == ';')) {
                    break;
                } else if (!quoted && character == '=') {
                    hasEquals = true;
                }
            }
            index = std::min(index, bytes.size());
            auto line = bytes.substr(start, index - start);
            skipComment();
            if (line.front() == '[' ? line.find(']') == std::string_view::npos : !hasEquals)
                return false;
        }
        return true;
    }

    /// Why the settings file cannot be written, as far as the system tells beforehand: the file
    /// itself, or the nearest of its folders that exists (QSettings makes the missing ones),
    /// refuses writing (no permission, a read-only volume, a file where a folder belongs).
    std::optional<StoredFileError<FileError>> writeObstacle(const std::string& path)
    {
        bool isFile = true;
        for (std::filesystem::path target(path);; target = target.parent_path()) {
            bool writable = ::access(target.c_str(), W_OK) == 0;
            int error = errno;
            if (!writable && error != ENOENT)
                return StoredFile::writeFailure(path, error);
            if ((writable && !isFile) || target == target.parent_path())
                return std::nullopt;
            isFile = false;
        }
    }

    /// QSettings reports only that a write failed; the system may tell why.
    StoredFileError<FileError> writeFailure(const std::string& path)
    {
        return writeObstacle(path).value_or(StoredFile::writeFailure(path, 0));
    }

    /// The settings file, opened by QSettings once it is known to read. QSettings would wait
    /// for ever on a FIFO in the file's place, and reads text that is not UTF-8 or holds a NUL
    /// byte without complaint, so the file is first read through the non-blocking open and
    /// its bytes checked. QSettings finds a malformed line only when it parses that line's
    /// section, so every section is parsed before the status is asked.
    std::unique_ptr<QSettings> openSettings()
    {
        auto file = filePath();
        if (StoredFile::exists(file)) {
            std::string bytes;
            try {
                bytes = StoredFile::read(file);
            } catch (const std::exception&) {
                unreadable(file);
            }
            if (bytes.find('\0') != std::string::npos || !text::isValidUtf8(bytes)
                || !hasOnlySettingsLines(bytes))
                throwNotSettings(file);
        }
        auto settings = std::make_unique<QSettings>(path(), QSettings::IniFormat);
        settings->allKeys();
        switch (settings->status()) {
        case QSettings::NoError:
            return settings;
        case QSettings::AccessError:
            // The file read a moment ago. Unless it no longer does, QSettings failed to write a
            // change it kept from an earlier write that failed during the writing.
            try {
                StoredFile::open(file);
            } catch (const std::exception&) {
                unreadable(file);
            }
            throw writeFailure(file);
        case QSettings::FormatError:
            break;
        }
        throwNotSettings(file);
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
    auto settings = openSettings();
    if (!settings->contains(key))
        return std::nullopt;
    auto value = settings->value(key);
    switch (value.typeId()) {
    // The types QSettings stores as plain text. A value it read from the file is a text, but
    // one that this process stored is served from QSettings' cache with the type it was given.
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toString();
    default:
        return QString(); // a list, or a value QSettings wrote as "@…"
    }
}

void setText(const QString& key, const QString& value)
{
    // Nothing is set before the file reads: QSettings writes a changed file back even when
    // it could not read it, dropping whatever it did not understand. Nor is a change set that
    // cannot be written: QSettings keeps a change it failed to write, in its cache of files,
    // and tries it again with whatever it does next with the file.
    auto settings = openSettings();
    if (auto obstacle = writeObstacle(filePath()))
        throw *obstacle;
    settings->setValue(key, value);
    settings->sync();
    switch (settings->status()) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw writeFailure(filePath());
    case QSettings::FormatError:
        break; // the file was changed into something else since it was read
    }
    throwNotSettings(filePath());
}

} // namespace sorvik::UserDefaults
