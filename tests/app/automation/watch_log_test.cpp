#include "app/automation/watch_log.h"

#include "app/store/json_files.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::IsolatedHome;
    using testing::readFile;
    using testing::ScopedLocale;
    using testing::ScopedTimeZone;

    // 2025-06-28 15:04:09 UTC.
    const Date sample = Date::fromUnixSeconds(1'751'123'049);

    TEST(WatchLog, DatesAreNumericWithAShortTimeInTheUsersLocale)
    {
        ScopedTimeZone utc("UTC");
        EXPECT_EQ(watchLogDate(sample, "en_US"), "6/28/2025, 3:04\u202FPM");
        EXPECT_EQ(watchLogDate(sample, "en_GB"), "28/06/2025, 15:04");
        EXPECT_EQ(watchLogDate(sample, "de_DE"), "28.6.2025, 15:04");
        ScopedLocale british("en_GB");
        EXPECT_EQ(watchLogDate(sample), "28/06/2025, 15:04");
    }

    TEST(WatchLog, ALineIsTheDateTheSeparatorAndTheText)
    {
        ScopedTimeZone utc("UTC");
        ScopedLocale british("en_GB");
        EXPECT_EQ(watchLogLine(sample, "Renamed 3 files \u00B7 Inbox"),
            "28/06/2025, 15:04 \u00B7 Renamed 3 files \u00B7 Inbox");
    }

    // ---- The file ----

    class WatchLogFileTest : public ::testing::Test {
    protected:
        fs::path path() const { return JSONFiles::applicationFolder() / WatchLogFile::fileName; }
        fs::path setAside() const
        {
            return path().string() + std::string(WatchLogFile::setAsideSuffix);
        }

        void writeLog(std::string_view bytes) const
        {
            fs::create_directories(path().parent_path());
            std::ofstream(path(), std::ios::binary) << bytes;
        }

        IsolatedHome home;
    };

    TEST_F(WatchLogFileTest, ALogReadsBackAndIsReplacedWhole)
    {
        WatchLogFile file;
        EXPECT_TRUE(file.load().empty());
        file.save({ "two", "one" });
        WatchLogFile again;
        EXPECT_EQ(again.load(), (std::vector<std::string> { "two", "one" }));
        again.save({ "three", "two", "one" });
        EXPECT_EQ(WatchLogFile().load(), (std::vector<std::string> { "three", "two", "one" }));
        EXPECT_FALSE(fs::exists(setAside()));
    }

    struct DamagedLog {
        std::string name;
        std::string bytes;
    };

    class DamagedWatchLog : public WatchLogFileTest,
                            public ::testing::WithParamInterface<DamagedLog> { };

    TEST_P(DamagedWatchLog, IsSetAsideBeforeANewOneIsWritten)
    {
        writeLog(GetParam().bytes);
        WatchLogFile file;
        EXPECT_ANY_THROW(file.load());
        // Nothing is moved until there is something to write.
        EXPECT_EQ(readFile(path()), GetParam().bytes);
        EXPECT_FALSE(fs::exists(setAside()));

        file.save({ "new" });
        EXPECT_EQ(readFile(setAside()), GetParam().bytes);
        EXPECT_EQ(WatchLogFile().load(), (std::vector<std::string> { "new" }));
        file.save({ "newer", "new" });
        EXPECT_EQ(readFile(setAside()), GetParam().bytes);

        // A log set aside before is kept too.
        writeLog(GetParam().bytes);
        WatchLogFile later;
        EXPECT_ANY_THROW(later.load());
        later.save({ "later" });
        EXPECT_EQ(readFile(setAside()), GetParam().bytes);
        int setAsideCount = 0;
        for (const auto& entry : fs::directory_iterator(path().parent_path())) {
            auto name = entry.path().filename().string();
            if (name.starts_with(WatchLogFile::fileName) && name.ends_with(".damaged")) {
                ++setAsideCount;
                EXPECT_EQ(readFile(entry.path()), GetParam().bytes);
            }
        }
        EXPECT_EQ(setAsideCount, 2);
        EXPECT_EQ(WatchLogFile().load(), (std::vector<std::string> { "later" }));
    }

    INSTANTIATE_TEST_SUITE_P(WatchLogFile, DamagedWatchLog,
        ::testing::Values(DamagedLog { "garbage", "\x01\xFFnot json" },
            DamagedLog { "anObject", "{\"lines\": [\"a\"]}" }, DamagedLog { "numbers", "[1, 2]" },
            DamagedLog { "cutShort", "[\"a\", \"b" }),
        [](const ::testing::TestParamInfo<DamagedLog>& each) { return each.param.name; });

    struct ForeignLog {
        std::string name;
        /// Puts something that is not a regular file at `path`.
        std::function<void(const fs::path& path)> make;
        /// Whether it is still what was made.
        std::function<bool(const fs::path& path)> isStill;
    };

    class ForeignWatchLog : public WatchLogFileTest,
                            public ::testing::WithParamInterface<ForeignLog> { };

    TEST_P(ForeignWatchLog, IsLeftAsItIsAndNothingIsWritten)
    {
        fs::create_directories(path().parent_path());
        GetParam().make(path());
        WatchLogFile file;
        try {
            EXPECT_TRUE(file.load().empty());
        } catch (const std::exception&) {
            // What cannot be read is said; a link to nothing holds nothing.
        }
        EXPECT_FALSE(file.isWritten());
        file.save({ "new" });
        file.save({ "newer", "new" });
        EXPECT_TRUE(GetParam().isStill(path()));
        EXPECT_FALSE(fs::exists(setAside()));
    }

    bool isLinkTo(const fs::path& path, const fs::path& target)
    {
        return fs::is_symlink(fs::symlink_status(path)) && fs::read_symlink(path) == target;
    }

    INSTANTIATE_TEST_SUITE_P(WatchLogFile, ForeignWatchLog,
        ::testing::Values(
            ForeignLog { "fifo", [](const fs::path& path) { ::mkfifo(path.c_str(), 0600); },
                [](const fs::path& path) { return fs::is_fifo(fs::symlink_status(path)); } },
            ForeignLog { "linkToDevZero",
                [](const fs::path& path) { fs::create_symlink("/dev/zero", path); },
                [](const fs::path& path) { return isLinkTo(path, "/dev/zero"); } },
            ForeignLog { "linkToNothing",
                [](const fs::path& path) {
                    fs::create_symlink(path.parent_path() / "elsewhere.json", path);
                },
                [](const fs::path& path) {
                    return isLinkTo(path, path.parent_path() / "elsewhere.json")
                        && !fs::exists(path.parent_path() / "elsewhere.json");
                } },
            ForeignLog { "folder", [](const fs::path& path) { fs::create_directory(path); },
                [](const fs::path& path) {
                    return fs::is_directory(fs::symlink_status(path)) && fs::is_empty(path);
                } }),
        [](const ::testing::TestParamInfo<ForeignLog>& each) { return each.param.name; });

    TEST_F(WatchLogFileTest, ALinkToAGoodLogIsReadButNeverReplaced)
    {
        fs::create_directories(path().parent_path());
        auto elsewhere = path().parent_path() / "kept.json";
        std::ofstream(elsewhere) << "[\"old\"]";
        fs::create_symlink(elsewhere, path());
        WatchLogFile file;
        EXPECT_EQ(file.load(), (std::vector<std::string> { "old" }));
        file.save({ "new", "old" });
        EXPECT_TRUE(isLinkTo(path(), elsewhere));
        EXPECT_EQ(readFile(elsewhere), "[\"old\"]");
    }

    /// What the failure to read the log says becomes of it, naming it where it is.
    TEST_F(WatchLogFileTest, ALogThatCannotBeReadSaysWhatBecomesOfIt)
    {
        auto failureOf = [](WatchLogFile& file) {
            try {
                file.load();
            } catch (const std::exception& error) {
                return std::string(error.what());
            }
            ADD_FAILURE() << "read";
            return std::string();
        };
        auto quoted = [](const fs::path& file) { return "\u201C" + file.string() + "\u201D"; };

        writeLog("[\"a\", \"b");
        WatchLogFile damaged;
        EXPECT_EQ(failureOf(damaged),
            "The file \u201Cwatch-log.json\u201D couldn\u2019t be opened because it ends in the "
            "middle of its data. sorvik sets "
                + quoted(path())
                + " aside, with \u201C.damaged\u201D added to its name, and "
                  "starts a new log.");

        fs::remove(path());
        auto elsewhere = path().parent_path() / "kept.json";
        std::ofstream(elsewhere) << "{}";
        fs::create_symlink(elsewhere, path());
        WatchLogFile linked;
        EXPECT_EQ(failureOf(linked),
            "The file \u201Cwatch-log.json\u201D couldn\u2019t be opened because it isn\u2019t in "
            "the correct format (Expected an array but found an object). sorvik leaves "
                + quoted(path())
                + " as it is and keeps new lines only until it quits; move it aside to keep a "
                  "log again.");

        fs::remove(path());
        auto legacy = JSONFiles::legacyFolder() / WatchLogFile::fileName;
        fs::create_directories(legacy.parent_path());
        std::ofstream(legacy) << "";
        WatchLogFile old;
        EXPECT_EQ(failureOf(old),
            "The file \u201Cwatch-log.json\u201D couldn\u2019t be opened because it is empty. "
            "sorvik leaves "
                + quoted(legacy) + " as it is and starts a new log in " + quoted(path()) + ".");
        old.save({ "new" });
        EXPECT_EQ(WatchLogFile().load(), std::vector<std::string> { "new" });
        EXPECT_EQ(readFile(legacy), "");
    }

} // namespace
} // namespace sorvik
