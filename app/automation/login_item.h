#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sorvik {

/// The program that starts sorvik in background-watch mode when the user logs in.
class LoginItem {
public:
    /// The name of the launcher to the session.
    static constexpr std::string_view identifier = "app.sorvik.mac.nightporter";

    virtual ~LoginItem() = default;

    /// Starts the launcher at every login from now on. Fails with `Error`.
    virtual void registerItem() = 0;
    /// Stops starting it. Fails with `Error`.
    virtual void unregisterItem() = 0;
    /// Whether the launcher is started at login, read afresh.
    virtual bool isEnabled() const = 0;
};

// The login item as an XDG autostart entry, "$XDG_CONFIG_HOME/autostart/" + identifier +
// ".desktop", which the session (GNOME, KDE, systemd's autostart generator) starts at login.
// The entry names the launcher by its absolute path, in `Exec` and `TryExec`, so that an entry
// left behind by a removed sorvik starts nothing. It counts as on only while it is an
// application entry that is not hidden, not switched off (`X-GNOME-Autostart-enabled=false`),
// and starts this launcher; an entry of another program or an older installation counts as
// off, and switching on writes it anew.
class AutostartLoginItem : public LoginItem {
public:
    /// The entry for the launcher at `launcherPath`.
    explicit AutostartLoginItem(std::string launcherPath = defaultLauncherPath());

    /// "nightporter" in the folder of the running program.
    static std::string defaultLauncherPath();
    /// Where the entry lives.
    static std::filesystem::path entryPath();

    /// Writes the entry atomically. Fails with `FileError` (`fileNoSuchFile` when the launcher
    /// is missing), or with `Error` for a path the entry cannot hold (not UTF-8, a control
    /// character, or "=").
    void registerItem() override;
    /// Removes the entry; a missing entry is no failure.
    void unregisterItem() override;
    bool isEnabled() const override;

    const std::string& launcherPath() const { return m_launcherPath; }

    /// The entry's text for `launcherPath`.
    static std::string entryText(std::string_view launcherPath);
    /// `path` as the program of an `Exec` value: quoted where it holds a reserved character,
    /// then escaped as a string value.
    static std::string execProgram(std::string_view path);
    /// The program of an `Exec` value, with its string escapes and its quoting undone; nothing
    /// when the value is malformed.
    static std::optional<std::string> programOfExec(std::string_view value);

private:
    std::string m_launcherPath;
};

} // namespace sorvik
