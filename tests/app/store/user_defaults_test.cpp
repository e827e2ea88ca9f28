#include "app/store/user_defaults.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <QSettings>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

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

    TEST(UserDefaults, AChangeKeepsEveryOtherLine)
    {
        IsolatedHome home;
        writeSettings("; kept as written\n[window]\ngeometry=@ByteArray(\\x1)\n\n"
                      "[General]\nonlinePlaces=false\nbackupEnabled=false\\\n\n"
                      "geocoderURL=http://x.example\n");
        UserDefaults::setBool(UserDefaults::backupEnabledKey, true);
        EXPECT_EQ(readFile(settingsFile()),
            "; kept as written\n[window]\ngeometry=@ByteArray(\\x1)\n\n"
            "[General]\nonlinePlaces=false\nbackupEnabled=true\n"
            "geocoderURL=http://x.example\n");
        UserDefaults::setText("new", "value");
        EXPECT_EQ(UserDefaults::text("new"), "value");
        EXPECT_EQ(UserDefaults::text("geocoderURL"), "http://x.example");
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::onlinePlacesKey), false);

        IsolatedHome other;
        writeSettings("[window]\ngeometry=1\n");
        UserDefaults::setBool(UserDefaults::onlinePlacesKey, false);
        EXPECT_EQ(
            readFile(settingsFile()), "[General]\nonlinePlaces=false\n\n[window]\ngeometry=1\n");
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
