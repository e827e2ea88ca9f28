#include "app/automation/login_item.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::IsolatedHome;
    using testing::readFile;
    using testing::TemporaryFolder;

    class LoginItemTest : public ::testing::Test {
    protected:
        /// An executable launcher at `relative` in the programs folder.
        std::string launcher(std::string_view relative = "nightporter")
        {
            auto path = programs.createFile(relative, "#!/bin/sh\n");
            fs::permissions(path, fs::perms::owner_all);
            return path.string();
        }

        void writeEntry(std::string_view text)
        {
            auto path = AutostartLoginItem::entryPath();
            fs::create_directories(path.parent_path());
            std::ofstream(path) << text;
        }

        IsolatedHome home;
        TemporaryFolder programs;
    };

    TEST_F(LoginItemTest, RegisteringWritesTheAutostartEntryAndUnregisteringRemovesIt)
    {
        AutostartLoginItem item(launcher());
        EXPECT_EQ(AutostartLoginItem::entryPath(),
            home.configFolder() / "autostart" / "app.sorvik.mac.nightporter.desktop");
        EXPECT_FALSE(item.isEnabled());
        item.registerItem();
        EXPECT_TRUE(item.isEnabled());
        EXPECT_EQ(readFile(AutostartLoginItem::entryPath()),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=sorvik\n"
            "Exec="
                + item.launcherPath()
                + "\n"
                  "TryExec="
                + item.launcherPath()
                + "\n"
                  "NoDisplay=true\n"
                  "StartupNotify=false\n"
                  "X-GNOME-Autostart-enabled=true\n");
        item.unregisterItem();
        EXPECT_FALSE(item.isEnabled());
        EXPECT_FALSE(fs::exists(AutostartLoginItem::entryPath()));
        EXPECT_NO_THROW(item.unregisterItem()) << "nothing to remove is no failure";
    }

    TEST_F(LoginItemTest, ReservedCharactersAreQuotedAndEscaped)
    {
        struct Case {
            std::string path;
            std::string exec;
        };
        const std::vector<Case> cases {
            { "/opt/sorvik/nightporter", "/opt/sorvik/nightporter" },
            { "/opt/my apps/nightporter", "\"/opt/my apps/nightporter\"" },
            { "/opt/$HOME/nightporter", "\"/opt/\\\\$HOME/nightporter\"" },
            { "/opt/100%/nightporter", "/opt/100%%/nightporter" },
            { "/opt/back\\slash/nightporter", "\"/opt/back\\\\\\\\slash/nightporter\"" },
            { "/opt/\"q\"/nightporter", "\"/opt/\\\\\"q\\\\\"/nightporter\"" },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.path);
            EXPECT_EQ(AutostartLoginItem::execProgram(each.path), each.exec);
            EXPECT_EQ(AutostartLoginItem::programOfExec(each.exec), each.path);
        }
        EXPECT_EQ(AutostartLoginItem::programOfExec("/usr/bin/other --flag"), "/usr/bin/other");
        EXPECT_EQ(AutostartLoginItem::programOfExec("/bin/x %U"), "/bin/x");
        EXPECT_FALSE(AutostartLoginItem::programOfExec("\"/unterminated"));
        EXPECT_FALSE(AutostartLoginItem::programOfExec("/bin/50%"));

        AutostartLoginItem item(launcher("my apps/$dir/nightporter"));
        item.registerItem();
        EXPECT_TRUE(item.isEnabled());
    }

    TEST_F(LoginItemTest, AMissingLauncherIsRefusedWithTheFilesError)
    {
        AutostartLoginItem item((programs / "nightporter").string());
        try {
            item.registerItem();
            ADD_FAILURE() << "registered a missing launcher";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileError::Code::fileNoSuchFile);
            EXPECT_EQ(std::string(error.what()),
                "The file \u201Cnightporter\u201D couldn\u2019t be opened because there is no such "
                "file.");
        }
        EXPECT_FALSE(fs::exists(AutostartLoginItem::entryPath()));
        EXPECT_FALSE(item.isEnabled());

        AutostartLoginItem unnameable(launcher("a=b/nightporter"));
        EXPECT_THROW(unnameable.registerItem(), Error);
        EXPECT_FALSE(fs::exists(AutostartLoginItem::entryPath()));
    }

    TEST_F(LoginItemTest, AnEntrySwitchedOffOrForAnotherProgramCountsAsOff)
    {
        AutostartLoginItem item(launcher());
        auto entry = [&](std::string_view extra, std::string_view exec) {
            return "[Desktop Entry]\nType=Application\nName=sorvik\nExec=" + std::string(exec)
                + "\n" + std::string(extra);
        };
        writeEntry(entry("", item.launcherPath()));
        EXPECT_TRUE(item.isEnabled());
        writeEntry(entry("Hidden=true\n", item.launcherPath()));
        EXPECT_FALSE(item.isEnabled());
        writeEntry(entry("X-GNOME-Autostart-enabled=false\n", item.launcherPath()));
        EXPECT_FALSE(item.isEnabled());
        writeEntry(entry("", "/old/place/nightporter"));
        EXPECT_FALSE(item.isEnabled());
        writeEntry("[Other Group]\nExec=" + item.launcherPath() + "\nType=Application\n");
        EXPECT_FALSE(item.isEnabled());
        // Switching on writes it anew.
        item.registerItem();
        EXPECT_TRUE(item.isEnabled());
    }

    TEST_F(LoginItemTest, WithoutAConfigFolderSettingTheEntryIsInTheHomesConfigFolder)
    {
        std::string saved = std::getenv("XDG_CONFIG_HOME");
        unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(AutostartLoginItem::entryPath(),
            home.path() / ".config" / "autostart" / "app.sorvik.mac.nightporter.desktop");
        setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
        EXPECT_EQ(
            AutostartLoginItem::entryPath().parent_path().parent_path(), home.path() / ".config");
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    }

    TEST_F(LoginItemTest, TheDefaultLauncherIsBesideTheRunningProgram)
    {
        auto path = fs::path(AutostartLoginItem::defaultLauncherPath());
        EXPECT_EQ(path.filename(), "nightporter");
        EXPECT_EQ(path.parent_path(), fs::read_symlink("/proc/self/exe").parent_path());
    }

} // namespace
} // namespace sorvik
