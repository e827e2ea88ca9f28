#pragma once

#include <QString>

#include <optional>

// The few settings sorvik keeps outside its data folder, in the INI file
// $XDG_CONFIG_HOME/sorvik/sorvik.conf (by default ~/.config/sorvik/sorvik.conf), read and
// written by QSettings: keys of the "[General]" section (or before any section), values as
// QSettings escapes them. The file's place is worked out from the environment on every call,
// so that a changed XDG_CONFIG_HOME takes effect at once. A Boolean is stored as the text
// "true" or "false"; any other stored text is no Boolean, and each reader decides what that
// means.
//
// The file is checked on every call before QSettings reads it, without ever blocking (a FIFO
// or device in its place is refused). One that cannot be read, or that is not text QSettings
// reads (not UTF-8, a NUL byte, a line that is neither a section, a ";" comment nor
// "key=value"), fails with a `FileError` naming it, its full path and the way out, and is never
// written over. A change
// rewrites the file atomically in QSettings' own form: every setting is kept, comments and
// the order of the lines are not.
namespace sorvik::UserDefaults {

/// Whether apply copies the files to a backup folder first.
inline constexpr const char* backupEnabledKey = "backupEnabled";
/// Whether the tokens "gps.city" and "gps.country" may look places up online.
inline constexpr const char* onlinePlacesKey = "onlinePlaces";

/// The settings file.
QString path();

/// The Boolean stored under `key`; nothing when the key is absent or holds something else.
/// Fails with `FileError` when the file cannot be read.
std::optional<bool> boolValue(const QString& key);

/// Stores `value` under `key` as "true" or "false" and writes the file. Fails with
/// `FileError` when the file cannot be read or written; it then stays as it was.
void setBool(const QString& key, bool value);

/// The stored text under `key`, unescaped; nothing when absent, and an empty text for a
/// structured value (a list, or a value QSettings wrote as "@…"). Fails with `FileError` when
/// the file cannot be read.
std::optional<QString> text(const QString& key);

/// Stores `value` under `key` as text and writes the file. Fails as `setBool` does.
void setText(const QString& key, const QString& value);

} // namespace sorvik::UserDefaults
