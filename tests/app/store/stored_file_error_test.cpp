#include "app/store/stored_file_error.h"

#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/preset_document.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "app/store/stored_file.h"
#include "app/store/user_defaults.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;
    namespace fs = std::filesystem;

    void writeText(const fs::path& path, std::string_view text)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    std::string quoted(const fs::path& path) { return "\u201C" + path.string() + "\u201D"; }

    /// The text of what `body` throws, and whether it was the kind of failure expected.
    struct Failure {
        std::string text;
        bool isDecodeError = false;
        bool isFileError = false;
    };

    Failure failureOf(const std::function<void()>& body)
    {
        try {
            body();
        } catch (const json::DecodeError& error) {
            return { error.what(), true, false };
        } catch (const FileError& error) {
            return { error.what(), false, true };
        } catch (const std::exception& error) {
            return { error.what() };
        }
        ADD_FAILURE() << "nothing was thrown";
        return {};
    }

    /// One of sorvik's stored files: how it is read, and the way out its failures end with.
    struct StoredKind {
        const char* label;
        const char* name;
        std::function<void()> read;
        std::function<std::string(const fs::path&)> remedy;
    };

    /// A damage to a stored file, and how its failure begins after "The file “name”
    /// couldn’t be opened".
    struct Damage {
        const char* label;
        std::function<void(const fs::path&)> make;
        const char* reason;
        bool isDecodeError;
    };

    /// Every stored file that sorvik reads as JSON, damaged every way a disk, an editor or a
    /// crash of another program damages it: the failure names the file and its full path, says
    /// what is wrong in sorvik's words (never a library's), and how to start afresh; the file
    /// stays as it was.
    TEST(StoredFileError, EveryDamagedStoredFileNamesItsPathWhatIsWrongAndTheWayOut)
    {
        const StoredKind kinds[] = {
            { "presets", "presets.json",
                [] { JSONFiles::load<SavedPresets>(SavedPresets::fileName); },
                [](const fs::path& path) {
                    return "To start afresh with no saved presets, move " + quoted(path)
                        + " aside and open sorvik again.";
                } },
            { "session", "last-session.json",
                [] { JSONFiles::load<SavedSession>(SavedSession::fileName); },
                [](const fs::path& path) {
                    return "sorvik starts without the rules you last used, and saves over the "
                           "file when you next change the rules or the sort order; to keep it, "
                           "move "
                        + quoted(path) + " aside before then.";
                } },
            { "watch folders", "watchfolders.json",
                [] { JSONFiles::load<std::vector<std::string>>("watchfolders.json"); },
                [](const fs::path& path) {
                    return "To start afresh with no watch folders, move " + quoted(path)
                        + " aside and open sorvik again.";
                } },
            { "history read", "history.json", [] { HistoryFile::load(); },
                [](const fs::path& path) {
                    return "To start afresh with an empty rename history, move " + quoted(path)
                        + " aside.";
                } },
            { "history change", "history.json",
                [] {
                    HistoryRecord record;
                    record.id = Uuid::random();
                    HistoryFile::insert(record);
                },
                [](const fs::path& path) {
                    return "To start afresh with an empty rename history, move " + quoted(path)
                        + " aside.";
                } },
        };
        const Damage damages[] = {
            { "empty", [](const fs::path& path) { writeText(path, ""); }, " because it is empty.",
                true },
            { "blank", [](const fs::path& path) { writeText(path, " \n\t\n"); },
                " because it is empty.", true },
            { "cut short", [](const fs::path& path) { writeText(path, "[{\"name\": \"a"); },
                " because it ends in the middle of its data.", true },
            { "not JSON", [](const fs::path& path) { writeText(path, "[{\"a\" 1}]"); },
                " because it isn\u2019t in the correct format (not valid JSON", true },
            { "another shape", [](const fs::path& path) { writeText(path, "\"text\""); },
                " because it isn\u2019t in the correct format (", true },
            { "a folder", [](const fs::path& path) { fs::create_directories(path / "inside"); },
                " (Is a directory).", false },
            { "a FIFO",
                [](const fs::path& path) {
                    fs::create_directories(path.parent_path());
                    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                },
                " because it isn\u2019t a regular file.", false },
        };
        for (const auto& kind : kinds) {
            for (const auto& damage : damages) {
                IsolatedHome home;
                auto path = JSONFiles::applicationFolder() / kind.name;
                damage.make(path);
                auto before = fs::is_regular_file(path) ? readFile(path) : std::string();
                auto failure = failureOf(kind.read);
                std::string label = std::string(kind.label) + ", " + damage.label + ": ";
                auto opened
                    = "The file \u201C" + std::string(kind.name) + "\u201D couldn\u2019t be opened";
                EXPECT_TRUE(failure.text.starts_with(opened + damage.reason))
                    << label << failure.text;
                EXPECT_TRUE(failure.text.ends_with(" " + kind.remedy(path)))
                    << label << failure.text;
                EXPECT_EQ(failure.text.find("json.exception"), std::string::npos) << label;
                EXPECT_EQ(failure.isDecodeError, damage.isDecodeError) << label << failure.text;
                EXPECT_EQ(failure.isFileError, !damage.isDecodeError) << label << failure.text;
                if (fs::is_regular_file(path))
                    EXPECT_EQ(readFile(path), before) << label;
                else
                    EXPECT_TRUE(fs::exists(path)) << label;
            }
        }
    }

    TEST(StoredFileError, ADamagedPresetsFileSaysWhereItStopsBeingJSON)
    {
        IsolatedHome home;
        auto path = JSONFiles::applicationFolder() / "presets.json";
        writeText(path, "{\"schemaVersion\":1,\"presets\":[{\"n\n");
        EXPECT_EQ(failureOf([] { JSONFiles::load<SavedPresets>(SavedPresets::fileName); }).text,
            "The file \u201Cpresets.json\u201D couldn\u2019t be opened because it isn\u2019t in "
            "the "
            "correct format (not valid JSON at line 1, column 34). To start afresh with no saved "
            "presets, move "
                + quoted(path) + " aside and open sorvik again.");
        writeText(path, "{\"schemaVersion\":1,\"presets\":[{\"name\":3}]}");
        EXPECT_EQ(failureOf([] { JSONFiles::load<SavedPresets>(SavedPresets::fileName); }).text,
            "The file \u201Cpresets.json\u201D couldn\u2019t be opened because it isn\u2019t in "
            "the "
            "correct format (presets[0]: Missing key \"id\"). To start afresh with no saved "
            "presets, move "
                + quoted(path) + " aside and open sorvik again.");
    }

    TEST(StoredFileError, ALegacyFileIsNamedWhereItIs)
    {
        IsolatedHome home;
        auto legacy = JSONFiles::legacyFolder() / "presets.json";
        writeText(legacy, "");
        auto failure = failureOf([] { JSONFiles::load<SavedPresets>(SavedPresets::fileName); });
        EXPECT_TRUE(
            failure.text.ends_with("move " + quoted(legacy) + " aside and open sorvik again."))
            << failure.text;
    }

    TEST(StoredFileError, TheTextStopsBeingJSONAtTheLineAndColumnAnEditorShows)
    {
        using Kind = JSONSyntaxError::Kind;
        struct Case {
            std::string text;
            Kind kind;
            std::size_t line = 0;
            std::size_t column = 0;
        };
        const Case cases[] = {
            { "", Kind::empty },
            { " \r\n\t", Kind::empty },
            { "\xEF\xBB\xBF", Kind::empty },
            { "[1,", Kind::endsEarly },
            { "{\"a\":\"b", Kind::endsEarly },
            { "{\"a\" 1}", Kind::invalid, 1, 6 },
            { "[\n  1,\n  x]", Kind::invalid, 3, 3 },
            // Columns count characters, not bytes.
            { "[\"caf\xC3\xA9\", x]", Kind::invalid, 1, 10 },
            { "[1] x", Kind::invalid, 1, 5 },
            { "[\"a\nb\"]", Kind::invalid, 1, 4 },
        };
        for (const auto& test : cases) {
            try {
                StoredFile::parseJSON(test.text);
                ADD_FAILURE() << test.text << ": parsed";
            } catch (const JSONSyntaxError& error) {
                EXPECT_EQ(error.kind(), test.kind) << test.text;
                if (test.kind == Kind::invalid) {
                    EXPECT_EQ(error.line(), test.line) << test.text;
                    EXPECT_EQ(error.column(), test.column) << test.text;
                }
                EXPECT_EQ(std::string(error.what()).find("json.exception"), std::string::npos);
            }
        }
        EXPECT_EQ(StoredFile::parseJSON("\xEF\xBB\xBF [1]\n"), json::Json::array({ 1 }));
    }

    TEST(StoredFileError, AFailedWriteNamesThePathThatWasNotWrittenAndWhy)
    {
        {
            IsolatedHome home;
            writeText(JSONFiles::applicationFolder(), "a file where the folder belongs");
            try {
                JSONFiles::save(SavedPresets { 1, {} }, SavedPresets::fileName);
                ADD_FAILURE() << "saved";
            } catch (const FileError& error) {
                EXPECT_EQ(error.code(), FileError::Code::fileWriteUnknown);
                EXPECT_EQ(std::string(error.what()),
                    "The folder " + quoted(JSONFiles::applicationFolder())
                        + " couldn\u2019t be made because a file stands where it or a folder "
                          "above it belongs; move that file aside.");
            }
        }
        {
            IsolatedHome home;
            auto path = JSONFiles::applicationFolder() / "presets.json";
            fs::create_directories(path / "inside");
            try {
                JSONFiles::save(SavedPresets { 1, {} }, SavedPresets::fileName);
                ADD_FAILURE() << "saved";
            } catch (const FileError& error) {
                EXPECT_EQ(std::string(error.what()),
                    "The file \u201Cpresets.json\u201D couldn\u2019t be saved in the folder "
                    "\u201Csorvik\u201D (Is a directory). Nothing was saved to "
                        + quoted(path) + "; a folder stands in its place: move that folder aside.");
            }
            EXPECT_TRUE(fs::is_directory(path / "inside"));
        }
        {
            // The history says the same of its own file, as the failure of a write.
            IsolatedHome home;
            auto history = JSONFiles::applicationFolder() / HistoryFile::fileName;
            HistoryRecord record;
            record.id = Uuid::random();
            record.moves = { { FileURL("/a/" + std::string(4000, 'x')), FileURL("/a/y") } };
            record.fingerprints["/a/y"] = FileFingerprint(1, Date { 2.0 }, 3);
            testing::FileSizeLimit limit(2000);
            auto failure = failureOf([&] { HistoryFile::insert(record); });
            EXPECT_TRUE(failure.text.starts_with("The file \u201Chistory.json\u201D couldn\u2019t "
                                                 "be saved in the folder \u201Csorvik\u201D (File "
                                                 "too large). Nothing was saved to "
                + quoted(history) + "; "))
                << failure.text;
            EXPECT_FALSE(fs::exists(history));
        }
    }

    TEST(StoredFileError, ValuesWithoutAJsonFormSaySoWithTheFile)
    {
        IsolatedHome home;
        auto failure = failureOf([] {
            JSONFiles::save(std::vector<std::string> { "caf\xE9" }, SavedPresets::fileName);
        });
        EXPECT_EQ(failure.text,
            "The file \u201Cpresets.json\u201D couldn\u2019t be saved because sorvik couldn\u2019t "
            "write some of its data as JSON (text that isn\u2019t UTF-8, or a number JSON cannot "
            "hold). Nothing was saved to "
                + quoted(JSONFiles::applicationFolder() / "presets.json") + ".");
    }

    TEST(StoredFileError, SettingsThatAreNoSettingsNameTheFileAndAreKept)
    {
        IsolatedHome home;
        auto path = fs::path(UserDefaults::path().toStdString());
        writeText(path, "garbage line\n");
        auto expected = "The file \u201Csorvik.conf\u201D couldn\u2019t be opened because it "
                        "isn\u2019t in the correct format. To start afresh with the default "
                        "settings, move "
            + quoted(path) + " aside and open sorvik again.";
        EXPECT_EQ(failureOf([] { UserDefaults::boolValue(UserDefaults::backupEnabledKey); }).text,
            expected);
        EXPECT_EQ(
            failureOf([] { UserDefaults::setBool(UserDefaults::backupEnabledKey, true); }).text,
            expected);
        EXPECT_EQ(readFile(path), "garbage line\n");
    }

    TEST(StoredFileError, AnImportedDocumentSaysWhatIsWrongInSorviksWords)
    {
        testing::TemporaryFolder documents;
        struct Case {
            const char* name;
            const char* text;
            std::string expected;
        };
        const Case cases[] = {
            { "broken.twpreset", "{ \"name\": ",
                "The file \u201Cbroken.twpreset\u201D couldn\u2019t be opened because it ends in "
                "the middle of its data." },
            { "empty.twpreset", " ",
                "The file \u201Cempty.twpreset\u201D couldn\u2019t be opened because it is "
                "empty." },
            { "list.twpreset", "[1]",
                "The file \u201Clist.twpreset\u201D couldn\u2019t be opened because it isn\u2019t "
                "in the correct format (Expected an object but found an array)." },
        };
        for (const auto& test : cases) {
            auto path = documents.createFile(test.name, test.text);
            auto failure = failureOf([&] { PresetDocument::read(FileURL(path.string())); });
            EXPECT_TRUE(failure.isDecodeError) << test.name;
            EXPECT_EQ(failure.text, test.expected);
        }
    }

    TEST(StoredFileError, TheWindowSaysWhichStoredFilesItCouldNotReadAndWhatBecomesOfThem)
    {
        IsolatedHome home;
        auto session = JSONFiles::applicationFolder() / "last-session.json";
        auto presets = JSONFiles::applicationFolder() / "presets.json";
        writeText(session, "{\"rules\": [");
        writeText(presets, "");
        RenamerStore store(std::make_shared<testing::FakeServices>());
        ASSERT_TRUE(store.message());
        EXPECT_EQ(*store.message(),
            "The file \u201Clast-session.json\u201D couldn\u2019t be opened because it ends in the "
            "middle of its data. sorvik starts without the rules you last used, and saves over "
            "the file when you next change the rules or the sort order; to keep it, move "
                + quoted(session)
                + " aside before then.\n"
                  "The file \u201Cpresets.json\u201D couldn\u2019t be opened because it is empty. "
                  "To start afresh with no saved presets, move "
                + quoted(presets) + " aside and open sorvik again.");

        // Saving a preset is refused with the same way out, once.
        store.savePreset("Mine", "photo", "FF0000");
        ASSERT_TRUE(store.message());
        EXPECT_EQ(*store.message(),
            "Your presets could not be read when sorvik started, so they were left unchanged. "
            "The file \u201Cpresets.json\u201D couldn\u2019t be opened because it is empty. To "
            "start afresh with no saved presets, move "
                + quoted(presets) + " aside and open sorvik again.");
        EXPECT_EQ(readFile(presets), "");
    }

} // namespace
} // namespace sorvik
