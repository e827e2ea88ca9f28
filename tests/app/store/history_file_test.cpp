#include "app/store/history_file.h"

#include "app/store/json_files.h"
#include "tests/support/temporary_folder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    HistoryRecord recordWithMove(const std::string& name)
    {
        HistoryRecord record;
        record.id = Uuid::random();
        record.date = Date::now();
        record.moves = { RenameMove { FileURL("/a/" + name), FileURL("/a/" + name + "-renamed") } };
        return record;
    }

    TEST(HistoryFile, MissingFileIsAnEmptyHistoryAndUpdatesCreateIt)
    {
        testing::IsolatedHome home;
        EXPECT_TRUE(HistoryFile::load().empty());
        auto first = recordWithMove("one");
        auto second = recordWithMove("two");
        HistoryFile::insert(first);
        auto written = HistoryFile::insert(second);
        ASSERT_EQ(written.size(), 2U);
        EXPECT_EQ(written[0], second);
        EXPECT_EQ(HistoryFile::load(), written);
    }

    TEST(HistoryFile, KeepsTheNewestFiveHundred)
    {
        testing::IsolatedHome home;
        std::vector<HistoryRecord> full;
        for (int index = 0; index < 500; ++index)
            full.push_back(recordWithMove(std::to_string(index)));
        JSONFiles::save(full, HistoryFile::fileName);
        auto newest = recordWithMove("newest");
        auto written = HistoryFile::insert(newest);
        ASSERT_EQ(written.size(), 500U);
        EXPECT_EQ(written.front(), newest);
        EXPECT_EQ(written.back(), full[498]);
    }

    TEST(HistoryFile, AFileThatCannotBeReadIsNeverOverwritten)
    {
        testing::IsolatedHome home;
        auto path = JSONFiles::applicationFolder() / HistoryFile::fileName;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "{ not json";
        EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), Error);
        EXPECT_EQ(testing::readFile(path), "{ not json");
    }

    TEST(HistoryFile, AFailingChangeWritesNothing)
    {
        testing::IsolatedHome home;
        auto kept = recordWithMove("kept");
        HistoryFile::insert(kept);
        EXPECT_THROW(HistoryFile::update([](std::vector<HistoryRecord>& records) {
            records.clear();
            throw Error("no");
        }),
            Error);
        EXPECT_EQ(HistoryFile::load(), std::vector<HistoryRecord> { kept });
    }

    TEST(HistoryFile, WritersInSeveralProcessesLoseNoRecord)
    {
        testing::IsolatedHome home;
        constexpr int processes = 4;
        constexpr int recordsEach = 15;
        std::vector<pid_t> children;
        for (int process = 0; process < processes; ++process) {
            pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                int status = 0;
                try {
                    for (int index = 0; index < recordsEach; ++index)
                        HistoryFile::insert(
                            recordWithMove(std::to_string(process) + "-" + std::to_string(index)));
                } catch (...) {
                    status = 1;
                }
                _exit(status);
            }
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(HistoryFile::load().size(), static_cast<std::size_t>(processes * recordsEach));
    }

} // namespace
} // namespace sorvik
