#include "app/store/json_files.h"

#include "app/store/file_error.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;

    /// A record shaped like a stored history entry: dates, URLs, UUIDs, optional members.
    struct Batch {
        Uuid id;
        std::int64_t schemaVersion = 1;
        Date date;
        std::vector<std::pair<FileURL, FileURL>> moves;
        std::map<std::string, Date> fingerprints;
        std::optional<std::vector<FileURL>> createdDirectories;
        std::optional<std::string> backupPath;
        bool undone = false;

        friend bool operator==(const Batch&, const Batch&) = default;
    };

    void to_json(nlohmann::json& json, const Batch& batch)
    {
        nlohmann::json moves = nlohmann::json::array();
        for (const auto& [from, to] : batch.moves)
            moves.push_back({ { "from", from }, { "to", to } });
        json = { { "id", batch.id }, { "schemaVersion", batch.schemaVersion },
            { "date", batch.date }, { "moves", moves }, { "fingerprints", batch.fingerprints },
            { "undone", batch.undone } };
        if (batch.createdDirectories)
            json["createdDirectories"] = *batch.createdDirectories;
        if (batch.backupPath)
            json["backupPath"] = *batch.backupPath;
    }

    void from_json(const nlohmann::json& json, Batch& batch)
    {
        batch.id = json::field<Uuid>(json, "id");
        batch.schemaVersion = json::field<std::int64_t>(json, "schemaVersion");
        batch.date = json::field<Date>(json, "date");
        batch.moves.clear();
        for (const auto& move : json::member(json, "moves"))
            batch.moves.emplace_back(
                json::field<FileURL>(move, "from"), json::field<FileURL>(move, "to"));
        batch.fingerprints.clear();
        for (const auto& [key, value] : json::member(json, "fingerprints").items())
            batch.fingerprints[key] = json::decode<Date>(value);
        batch.createdDirectories
            = json::optionalField<std::vector<FileURL>>(json, "createdDirectories");
        batch.backupPath = json::optionalField<std::string>(json, "backupPath");
        batch.undone = json::field<bool>(json, "undone");
    }

    struct Named {
        std::string name;
        friend bool operator==(const Named&, const Named&) = default;
    };

    void to_json(nlohmann::json& json, const Named& value) { json = { { "name", value.name } }; }

    void from_json(const nlohmann::json& json, Named& value)
    {
        value.name = json::field<std::string>(json, "name");
    }

    std::filesystem::path primaryFile(std::string_view name)
    {
        return JSONFiles::applicationFolder() / name;
    }

    std::filesystem::path legacyFile(std::string_view name)
    {
        return JSONFiles::legacyFolder() / name;
    }

    void writeText(const std::filesystem::path& path, std::string_view text)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    std::vector<std::string> folderEntries(const std::filesystem::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TEST(JSONFiles, FoldersFollowTheDataHome)
    {
        IsolatedHome home;
        EXPECT_EQ(JSONFiles::applicationFolder(), home.dataFolder() / "sorvik");
        EXPECT_EQ(JSONFiles::legacyFolder(), home.dataFolder() / "Tamblewick");

        // A relative value is ignored, as is an empty one.
        for (const char* value : { "relative/data", "" }) {
            setenv("XDG_DATA_HOME", value, 1);
            EXPECT_EQ(JSONFiles::applicationFolder(), home.path() / ".local/share/sorvik") << value;
        }
        unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(JSONFiles::applicationFolder(), home.path() / ".local/share/sorvik");
    }

    TEST(JSONFiles, LegacyFileIsReadUntilASaveShadowsIt)
    {
        IsolatedHome home;
        const std::string legacyText = "{\"name\":\"old\"}";
        writeText(legacyFile("presets.json"), legacyText);

        EXPECT_EQ(JSONFiles::load<Named>("presets.json"), Named { "old" });
        // Reading copies nothing.
        EXPECT_FALSE(std::filesystem::exists(primaryFile("presets.json")));
        EXPECT_EQ(JSONFiles::load<Named>("presets.json"), Named { "old" });

        JSONFiles::save(Named { "new" }, "presets.json");
        EXPECT_TRUE(std::filesystem::exists(primaryFile("presets.json")));
        EXPECT_EQ(JSONFiles::load<Named>("presets.json"), Named { "new" });
        EXPECT_EQ(readFile(legacyFile("presets.json")), legacyText);
    }

    TEST(JSONFiles, FallbackIsDecidedPerFileName)
    {
        IsolatedHome home;
        writeText(legacyFile("a.json"), "{\"name\":\"legacy a\"}");
        writeText(legacyFile("b.json"), "{\"name\":\"legacy b\"}");
        writeText(primaryFile("b.json"), "{\"name\":\"primary b\"}");

        EXPECT_EQ(JSONFiles::load<Named>("a.json"), Named { "legacy a" });
        EXPECT_EQ(JSONFiles::load<Named>("b.json"), Named { "primary b" });
        EXPECT_EQ(JSONFiles::load<Named>("c.json"), std::nullopt);
    }

    TEST(JSONFiles, MissingFileLoadsAsNothingAndCreatesNoFolder)
    {
        IsolatedHome home;
        EXPECT_EQ(JSONFiles::load<Named>("last-session.json"), std::nullopt);
        EXPECT_FALSE(std::filesystem::exists(JSONFiles::applicationFolder()));
        EXPECT_FALSE(std::filesystem::exists(JSONFiles::legacyFolder()));

        JSONFiles::save(Named { "x" }, "last-session.json");
        EXPECT_TRUE(std::filesystem::is_directory(JSONFiles::applicationFolder()));
        EXPECT_FALSE(std::filesystem::exists(JSONFiles::legacyFolder()));
    }

    TEST(JSONFiles, BrokenPrimaryFileFailsWithoutTryingTheLegacyCopy)
    {
        struct Case {
            const char* label;
            const char* primaryText;
        };
        for (Case broken : { Case { "invalid JSON", "{\"name\":" }, Case { "empty", "" },
                 Case { "wrong type", "{\"name\":3}" }, Case { "missing key", "{}" },
                 Case { "null member", "{\"name\":null}" }, Case { "array", "[]" } }) {
            IsolatedHome home;
            writeText(legacyFile("presets.json"), "{\"name\":\"legacy\"}");
            writeText(primaryFile("presets.json"), broken.primaryText);
            EXPECT_THROW(JSONFiles::load<Named>("presets.json"), json::DecodeError) << broken.label;
        }
    }

    TEST(JSONFiles, UnreadablePrimaryFailsWithAFileError)
    {
        IsolatedHome home;
        writeText(legacyFile("presets.json"), "{\"name\":\"legacy\"}");
        std::filesystem::create_directories(primaryFile("presets.json"));
        EXPECT_THROW(JSONFiles::load<Named>("presets.json"), FileError);
    }

    TEST(JSONFiles, DanglingLinkCountsAsMissing)
    {
        IsolatedHome home;
        writeText(legacyFile("presets.json"), "{\"name\":\"legacy\"}");
        std::filesystem::create_directories(JSONFiles::applicationFolder());
        std::filesystem::create_symlink(home.path() / "nowhere", primaryFile("presets.json"));
        EXPECT_EQ(JSONFiles::load<Named>("presets.json"), Named { "legacy" });
    }

    TEST(JSONFiles, SavedFileSortsKeysAndWritesStoredForms)
    {
        IsolatedHome home;
        Batch batch;
        batch.id = *Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
        batch.date = Date { 791596800.25 };
        batch.moves = { { FileURL("/tmp/a b/x.jpg"), FileURL("/tmp/a b/y.jpg") } };
        batch.fingerprints = { { "/tmp/a b/y.jpg", Date { 1.5 } } };
        batch.createdDirectories = std::vector<FileURL> { FileURL("/tmp/a b/New", true) };
        batch.backupPath = "/tmp/backup";
        JSONFiles::save(std::vector<Batch> { batch }, "history.json");

        EXPECT_EQ(readFile(primaryFile("history.json")),
            "[\n"
            "  {\n"
            "    \"backupPath\" : \"\\/tmp\\/backup\",\n"
            "    \"createdDirectories\" : [\n"
            "      \"file:\\/\\/\\/tmp\\/a%20b\\/New\\/\"\n"
            "    ],\n"
            "    \"date\" : 791596800.25,\n"
            "    \"fingerprints\" : {\n"
            "      \"\\/tmp\\/a b\\/y.jpg\" : 1.5\n"
            "    },\n"
            "    \"id\" : \"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\",\n"
            "    \"moves\" : [\n"
            "      {\n"
            "        \"from\" : \"file:\\/\\/\\/tmp\\/a%20b\\/x.jpg\",\n"
            "        \"to\" : \"file:\\/\\/\\/tmp\\/a%20b\\/y.jpg\"\n"
            "      }\n"
            "    ],\n"
            "    \"schemaVersion\" : 1,\n"
            "    \"undone\" : false\n"
            "  }\n"
            "]");
        EXPECT_EQ(
            JSONFiles::load<std::vector<Batch>>("history.json"), std::vector<Batch> { batch });
    }

    TEST(JSONFiles, ReadingAcceptsUnescapedSlashesAndLowerCaseIdentifiers)
    {
        IsolatedHome home;
        writeText(primaryFile("history.json"),
            R"([{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","schemaVersion":1,"date":0,)"
            R"("moves":[{"from":"file:///tmp/x%C3%A9.jpg","to":"file:\/\/\/tmp\/y.jpg"}],)"
            R"("fingerprints":{},"undone":true,"extra":[1,2]}])");
        auto loaded = JSONFiles::load<std::vector<Batch>>("history.json");
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->size(), 1U);
        EXPECT_EQ((*loaded)[0].id.text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        EXPECT_EQ((*loaded)[0].moves[0].first.path, "/tmp/x\xC3\xA9.jpg");
        EXPECT_EQ((*loaded)[0].moves[0].second.path, "/tmp/y.jpg");
        EXPECT_EQ((*loaded)[0].createdDirectories, std::nullopt);
    }

    TEST(JSONFiles, DatesReadBackBitForBit)
    {
        IsolatedHome home;
        std::vector<Date> dates = {
            Date::fromTimespec(1700000000, 123456789),
            Date::fromTimespec(1700000000, 999999999),
            Date::fromTimespec(978307200, 1),
            Date::fromTimespec(-86400, 500),
            Date { 0.1 + 0.2 },
            Date { -0.0 },
            Date { 1.0 / 3.0 },
            Date { 5e-324 },
            Date { 1e300 },
            Date { 7.0 },
            Date::distantPast(),
            Date::now(),
        };
        std::map<std::string, Date> stored;
        for (std::size_t index = 0; index < dates.size(); ++index)
            stored["date " + std::to_string(index)] = dates[index];
        JSONFiles::save(stored, "dates.json");

        auto loaded = JSONFiles::load<nlohmann::json>("dates.json");
        ASSERT_TRUE(loaded);
        for (std::size_t index = 0; index < dates.size(); ++index) {
            Date read = json::field<Date>(*loaded, "date " + std::to_string(index));
            EXPECT_EQ(std::memcmp(&read.seconds, &dates[index].seconds, sizeof(double)), 0)
                << "date " << index << " " << dates[index].seconds;
        }
    }

    TEST(JSONFiles, FailedSaveLeavesTheOldFileAndNoTemporaryFile)
    {
        IsolatedHome home;
        JSONFiles::save(Named { "kept" }, "presets.json");
        const auto before = readFile(primaryFile("presets.json"));

        EXPECT_THROW(JSONFiles::save(Named { "\xFF\xFE" }, "presets.json"), Error);
        EXPECT_THROW(
            JSONFiles::save(Date { std::numeric_limits<double>::quiet_NaN() }, "presets.json"),
            Error);
        EXPECT_THROW(
            JSONFiles::save(Date { std::numeric_limits<double>::infinity() }, "presets.json"),
            Error);

        EXPECT_EQ(readFile(primaryFile("presets.json")), before);
        EXPECT_EQ(folderEntries(JSONFiles::applicationFolder()),
            std::vector<std::string> { "presets.json" });
    }

    TEST(JSONFiles, SaveFailsWhenTheFolderCannotBeMade)
    {
        IsolatedHome home;
        writeText(JSONFiles::applicationFolder(), "a file where the folder belongs");
        try {
            JSONFiles::save(Named { "x" }, "presets.json");
            FAIL() << "save succeeded";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileError::Code::fileWriteUnknown);
            EXPECT_NE(std::string(error.what()), "");
        }
        EXPECT_FALSE(std::filesystem::exists(legacyFile("presets.json")));
    }

    TEST(JSONFiles, LaterSaveWinsAndReplacesALinkRatherThanItsTarget)
    {
        IsolatedHome home;
        JSONFiles::save(Named { "first" }, "watch-log.json");
        JSONFiles::save(Named { "second" }, "watch-log.json");
        EXPECT_EQ(JSONFiles::load<Named>("watch-log.json"), Named { "second" });

        auto outside = home.path() / "outside.json";
        writeText(outside, "{\"name\":\"outside\"}");
        std::filesystem::remove(primaryFile("watch-log.json"));
        std::filesystem::create_symlink(outside, primaryFile("watch-log.json"));
        JSONFiles::save(Named { "third" }, "watch-log.json");
        EXPECT_EQ(readFile(outside), "{\"name\":\"outside\"}");
        EXPECT_EQ(JSONFiles::load<Named>("watch-log.json"), Named { "third" });
    }

    TEST(JSONFiles, NamesThatLeaveTheFolderAreRefused)
    {
        IsolatedHome home;
        for (const char* name : { "", ".", "..", "../escape.json", "a/b.json" }) {
            EXPECT_THROW(JSONFiles::save(Named { "x" }, name), Error) << name;
            EXPECT_THROW(JSONFiles::load<Named>(name), Error) << name;
        }
    }

} // namespace
} // namespace sorvik
