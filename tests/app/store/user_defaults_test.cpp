#include "app/store/user_defaults.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <QSettings>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;

    std::filesystem::path settingsFile() { return UserDefaults::path().toStdString(); }

    void writeSettings(std::string_view bytes)
    {
        std::filesystem::create_directories(settingsFile().parent_path());
        std::ofstream(settingsFile(), std::ios::binary) << bytes;
    }

    FileError::Code failureCode(const std::function<void()>& body)
    {
        try {
            body();
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("\u201Csorvik.conf\u201D"), std::string::npos)
                << error.what();
            return error.code();
        }
        ADD_FAILURE() << "no failure";
        return FileError::Code::fileWriteUnknown;
    }

    TEST(UserDefaults, TextsRoundTripThroughQSettings)
    {
        const char* values[] = { "true", "https://geo.example:8080/search?q=a,b", " lead", "trail ",
            "semi;colon", "", "@at", "@@two", "quo\"te", "back\\slash", "tab\tand\nline",
            "\xC3\xBC"
            "ber",
            "#hash", "[brackets]",
            "\x01"
            "cafe",
            "a\"b,c" };
        for (const char* value : values) {
            IsolatedHome home;
            auto text = QString::fromUtf8(value);
            UserDefaults::setText("key", text);
            EXPECT_EQ(UserDefaults::text("key"), text) << value;
            // Every QSettings object reads the file afresh only under a new name.
            QSettings settings(UserDefaults::path(), QSettings::IniFormat);
            EXPECT_EQ(settings.status(), QSettings::NoError) << value;
            EXPECT_EQ(settings.value("key").toString(), text) << value;
        }
    }

    TEST(UserDefaults, ReadsWhatQSettingsWrites)
    {
        IsolatedHome home;
        {
            QSettings settings(UserDefaults::path(), QSettings::IniFormat);
            settings.setValue("backupEnabled", true);
            settings.setValue("url", "http://a.example/?x=1");
            settings.setValue("list", QStringList { "a", "b" });
            settings.setValue("window/geometry", QByteArray("\x01\x02", 2));
        }
        EXPECT_EQ(UserDefaults::boolValue("backupEnabled"), true);
        EXPECT_EQ(UserDefaults::text("url"), "http://a.example/?x=1");
        EXPECT_EQ(UserDefaults::text("list"), QString()); // no text
        EXPECT_EQ(UserDefaults::text("geometry"), std::nullopt); // another section
        EXPECT_EQ(UserDefaults::text("missing"), std::nullopt);
    }

    TEST(UserDefaults, ReadsHandWrittenFilesAsQSettingsDoes)
    {
        struct Case {
            const char* file;
            std::optional<QString> value;
        };
        const Case cases[] = {
            { "[General]\nkey = spaced value \n", "spaced value" },
            { "key=\"quoted\" \n", "quoted" },
            { "key=a\\tb\n", "a\tb" },
            { "key=\"a\" \"b\"\n", "ab" },
            { "key=a ; comment\n", "a" },
            { "; comment\nkey=v\n", "v" },
            { "[Other]\nkey=o\n[General]\nkey=g\n", "g" },
            { "[General]\nkey=g\n[Other]\nkey=o\n", "g" },
            { "key=1\nkey=2\n", "2" },
            { "key=\\x41\\x0042\n", "AB" },
            { "key=line\\\ncont\n", "linecont" },
            { "key=v\r\n", "v" },
            { "Key=v\n", std::nullopt },
            { "key=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\bQVariant)\n", QString() },
            { "key=a,b\n", QString() },
            { "", std::nullopt },
        };
        for (const auto& test : cases) {
            IsolatedHome home;
            writeSettings(test.file);
            EXPECT_EQ(UserDefaults::text("key"), test.value) << test.file;
            QSettings settings(UserDefaults::path(), QSettings::IniFormat);
            if (test.value && !test.value->isEmpty()) {
                EXPECT_EQ(settings.value("key").toString(), *test.value) << test.file;
            }
        }
    }

    TEST(UserDefaults, AChangeKeepsEveryOtherSetting)
    {
        IsolatedHome home;
        writeSettings("; a comment\n[window]\ngeometry=@ByteArray(\\x1)\n\n"
                      "[General]\nonlinePlaces=false\nbackupEnabled=false\\\n\n"
                      "geocoderURL=http://x.example\n");
        UserDefaults::setBool(UserDefaults::backupEnabledKey, true);
        UserDefaults::setText("new", "value");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), true);
        EXPECT_EQ(UserDefaults::text("new"), "value");
        EXPECT_EQ(UserDefaults::text("geocoderURL"), "http://x.example");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::onlinePlacesKey), false);
        QSettings settings(UserDefaults::path(), QSettings::IniFormat);
        EXPECT_EQ(settings.value("window/geometry").toByteArray(), QByteArray("\x01"));
        EXPECT_EQ(settings.allKeys().size(), 5);
    }

    TEST(UserDefaults, AChangedFileIsReadAfresh)
    {
        IsolatedHome home;
        writeSettings("backupEnabled=true\n");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), true);
        writeSettings("[window]\nnot a setting\n[General]\nbackupEnabled=true\n");
        EXPECT_EQ(failureCode([] { UserDefaults::boolValue(UserDefaults::backupEnabledKey); }),
            FileError::Code::fileReadCorruptFile);
        writeSettings("backupEnabled=false\n");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), false);
    }

    TEST(UserDefaults, AFailedWriteSaysWhyAndStoresNothing)
    {
        IsolatedHome home;
        std::filesystem::create_directories(settingsFile().parent_path().parent_path());
        std::ofstream(settingsFile().parent_path()) << "a file where the folder belongs";
        EXPECT_EQ(failureCode([] { UserDefaults::setBool(UserDefaults::backupEnabledKey, true); }),
            FileError::Code::fileWriteUnknown);
        EXPECT_EQ(readFile(settingsFile().parent_path()), "a file where the folder belongs");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), std::nullopt);
    }

    TEST(UserDefaults, AFileThatMayNotBeReadFailsAndIsKept)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "permissions do not bind the superuser";
        IsolatedHome home;
        writeSettings("backupEnabled=true\n");
        std::filesystem::permissions(settingsFile(), std::filesystem::perms::none);
        EXPECT_EQ(failureCode([] { UserDefaults::boolValue(UserDefaults::backupEnabledKey); }),
            FileError::Code::fileReadNoPermission);
        EXPECT_EQ(failureCode([] { UserDefaults::setBool(UserDefaults::backupEnabledKey, false); }),
            FileError::Code::fileReadNoPermission);
        std::filesystem::permissions(settingsFile(), std::filesystem::perms::owner_read);
        EXPECT_EQ(readFile(settingsFile()), "backupEnabled=true\n");
    }

    TEST(UserDefaults, AFolderThatMayNotBeWrittenFailsAndKeepsTheFile)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "permissions do not bind the superuser";
        IsolatedHome home;
        writeSettings("backupEnabled=true\n");
        auto folder = settingsFile().parent_path();
        std::filesystem::permissions(
            folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_EQ(failureCode([] { UserDefaults::setBool(UserDefaults::backupEnabledKey, false); }),
            FileError::Code::fileWriteNoPermission);
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), true);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        EXPECT_EQ(readFile(settingsFile()), "backupEnabled=true\n");
    }

    TEST(UserDefaults, RefusesTheLinesQSettingsFindsMalformedEvenWhenItHasReadThemBefore)
    {
        struct Case {
            const char* file;
            bool malformed;
        };
        const Case cases[] = {
            { "k=v\n[s]\nk=v\n", false },
            { "[s\nk=v\n", true },
            { "[s;]\nk=v\n", true },
            { "[a]b\nk=v\n", false },
            { "[a=b]\n", false },
            { "k=\"x\ny\"\n", false },
            { "k=\"a;b\"\n", false },
            { "\"quoted=\"\n", true },
            { "k\\\n=v\n", false },
            { "k\\\r\n=v\n", false },
            { "; comment\n  ;indented\n", false },
            { "k=v ; comment\n", false },
            { "k=v;no equals\n", false },
            { "# comment\nk=v\n", true },
            { "\xEF\xBB\xBF[General]\nk=v\n", true }, // no byte order mark is passed over
            { " \t\n\r\n", false },
            { "k=v\r\n", false },
            { "=v\n", false },
            { "k=v\rno\n", true },
            { "k=v\\", false },
            { "k", true },
        };
        for (const auto& test : cases) {
            IsolatedHome home;
            writeSettings(test.file);
            // A file QSettings has not read yet: its status tells what it makes of the lines.
            QSettings settings(UserDefaults::path(), QSettings::IniFormat);
            settings.allKeys();
            EXPECT_EQ(settings.status() == QSettings::FormatError, test.malformed) << test.file;
            // Now it serves the file from its cache, where it finds no fault again.
            bool refused = false;
            try {
                UserDefaults::text("k");
            } catch (const FileError& error) {
                refused = error.code() == FileError::Code::fileReadCorruptFile;
            }
            EXPECT_EQ(refused, test.malformed) << test.file;
        }
    }

    TEST(UserDefaults, AFileInThePlaceOfTheSettingsNeverBlocksAndIsKept)
    {
        IsolatedHome home;
        std::filesystem::create_directories(settingsFile().parent_path());
        ASSERT_EQ(::mkfifo(settingsFile().c_str(), 0600), 0);
        EXPECT_EQ(failureCode([] { UserDefaults::boolValue(UserDefaults::backupEnabledKey); }),
            FileError::Code::fileReadUnknown);
        EXPECT_EQ(failureCode([] { UserDefaults::setBool(UserDefaults::backupEnabledKey, true); }),
            FileError::Code::fileReadUnknown);
        struct stat status { };
        ASSERT_EQ(::lstat(settingsFile().c_str(), &status), 0);
        EXPECT_TRUE(S_ISFIFO(status.st_mode));
    }

    TEST(UserDefaults, TextThatIsNoSettingsFailsAndIsNeverWrittenOver)
    {
        using namespace std::string_literals;
        const std::string files[] = {
            "backupEnabled=true\n\0\x01garbage"s,
            "backupEnabled=true\n\xFF\xFE"s,
            "backupEnabled=true\nnot a setting\n"s,
            "[General\nbackupEnabled=true\n"s,
            // QSettings finds this line only when it parses the section, and drops it on a write.
            "[window]\nnot a setting\n[General]\nbackupEnabled=true\n"s,
            // QSettings reads both of these without complaint.
            "backupEnabled=true\nname=caf\xE9\n"s,
            "backupEnabled=true\nname=a\0b\n"s,
            "# QSettings knows no comment of this kind\nbackupEnabled=true\n"s,
        };
        for (const auto& file : files) {
            IsolatedHome home;
            writeSettings(file);
            EXPECT_EQ(failureCode([] { UserDefaults::text(UserDefaults::backupEnabledKey); }),
                FileError::Code::fileReadCorruptFile);
            EXPECT_EQ(
                failureCode([] { UserDefaults::setBool(UserDefaults::onlinePlacesKey, false); }),
                FileError::Code::fileReadCorruptFile);
            EXPECT_EQ(readFile(settingsFile()), file);
        }
    }

} // namespace
} // namespace sorvik
