#pragma once

#include <QString>

#include <optional>

// The few settings sorvik keeps outside its data folder, in the INI file
// $XDG_CONFIG_HOME/sorvik/sorvik.conf (by default ~/.config/sorvik/sorvik.conf). The file's
// place is worked out from the environment on every call, so that a changed XDG_CONFIG_HOME
// takes effect at once. A Boolean is stored as the text "true" or "false"; any other stored
// text is no Boolean, and each reader decides what that means.
namespace sorvik::UserDefaults {

/// Whether apply copies the files to a backup folder first.
inline constexpr const char* backupEnabledKey = "backupEnabled";
/// Whether the tokens "gps.city" and "gps.country" may look places up online.
inline constexpr const char* onlinePlacesKey = "onlinePlaces";

/// The settings file.
QString path();

/// The Boolean stored under `key`; nothing when the key is absent or holds something else.
std::optional<bool> boolValue(const QString& key);

/// Stores `value` under `key` as "true" or "false" and writes the file.
void setBool(const QString& key, bool value);

/// The stored text under `key`, exactly as written; nothing when absent.
std::optional<QString> text(const QString& key);

/// Stores `value` under `key` as text and writes the file.
void setText(const QString& key, const QString& value);

} // namespace sorvik::UserDefaults
