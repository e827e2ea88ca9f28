// A rename batch of another sorvik process killed in the middle of a watched folder: the real
// program, stopped with SIGKILL once it has placed a few hundred files. The watch folder takes
// none of the batch's files for arrivals: it puts the batch back first, as any start of sorvik
// does, or leaves its files alone until it can.
#include "app/automation/watch_folder_store.h"

#include "app/store/batch_recovery.h"
#include "app/store/json_files.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/automation/program_run.h"
#include "tests/app/automation/watch_test_support.h"

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::patternRule;

    class InterruptedBatchInAWatchFolder : public testing::WatchStoreFixture {
    protected:
        static constexpr int fileCount = 20'000;
        /// Files placed at their new names before the batch is killed.
        static constexpr int placedBeforeKill = 300;

        void SetUp() override
        {
            WatchStoreFixture::SetUp();
            for (int index = 0; index < fileCount; ++index) {
                char name[16];
                std::snprintf(name, sizeof name, "g%05d.txt", index);
                files.createFile("Inbox/" + std::string(name), name);
                sources.emplace_back(name);
            }
            writePresets(
                { preset, Preset("Upper", "folder", "3478F6", { patternRule("{name}-U") }) });
        }

        /// `sorvik rename --preset Upper --apply` over every file, killed with SIGKILL once
        /// `placedBeforeKill` files have their new names (told by the folder's events, never by
        /// waiting a while). Fails unless the kill came while files were still at temporary
        /// names.
        void renameAndKill()
        {
            int moves = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            ASSERT_GE(moves, 0);
            ASSERT_GE(::inotify_add_watch(moves, inbox.c_str(), IN_MOVED_TO), 0);
            QStringList arguments { "rename", "--preset", "Upper", "--apply" };
            for (const auto& name : sources)
                arguments.push_back(QString::fromStdString(name));
            QProcess process;
            process.setProgram(QStringLiteral(SORVIK_PROGRAM));
            process.setArguments(arguments);
            process.setWorkingDirectory(QString::fromStdString(inbox.string()));
            process.start();
            ASSERT_TRUE(process.waitForStarted());
            int placed = 0;
            testing::waitForEvent(moves, process, [&](std::string_view name) {
                // A file's new name; its temporary name is hidden.
                if (!name.empty() && name[0] != '.')
                    ++placed;
                return placed >= placedBeforeKill;
            });
            ::close(moves);
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            ASSERT_TRUE(process.waitForFinished(60'000));
            ASSERT_EQ(process.exitStatus(), QProcess::CrashExit) << "the batch ended before";
            auto all = names();
            auto temporary = std::count_if(all.begin(), all.end(),
                [](const std::string& name) { return name.ends_with(".twtmp"); });
            auto moved = std::count_if(all.begin(), all.end(),
                [](const std::string& name) { return name.ends_with("-U.txt"); });
            ASSERT_GT(temporary, 0) << "killed after the last move";
            ASSERT_GE(moved, placedBeforeKill);
        }

        /// The journal the killed batch left.
        std::optional<fs::path> journal() const
        {
            for (const auto& entry : fs::directory_iterator(JSONFiles::applicationFolder())) {
                if (entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                    return entry.path();
            }
            return std::nullopt;
        }

        /// The log lines that tell of a batch put back as far as it could be.
        std::size_t recoveryLines() const
        {
            auto texts = logTexts();
            return static_cast<std::size_t>(
                std::count_if(texts.begin(), texts.end(), [](const std::string& text) {
                    return text.starts_with("An interrupted rename was put back");
                }));
        }

        std::vector<std::string> sources;
    };

    TEST_F(InterruptedBatchInAWatchFolder, IsPutBackBeforeAnyOfItsFilesIsTakenForAnArrival)
    {
        watch();
        renameAndKill();
        files.createFile("Inbox/arrived.txt");
        tickAfter(0);
        tickAfter(3);
        tickAfter(3);

        auto expected = sources;
        expected.push_back("arrived-x.txt");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names(), expected);
        EXPECT_FALSE(journal()) << "put back whole";
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 1 files · Inbox" }));
        // Nothing is left for the next start to put back or to report.
        EXPECT_EQ(recoverInterruptedBatches(), std::nullopt);
        EXPECT_EQ(names(), expected);
    }

    TEST_F(InterruptedBatchInAWatchFolder, WhatCannotBePutBackYetIsLeftAloneUntilItIs)
    {
        watch();
        renameAndKill();
        // One staged file's old name is taken since: that file cannot go home yet.
        auto path = journal();
        ASSERT_TRUE(path);
        auto contents = RenameJournal::read(FileURL(path->string()));
        auto staged = std::find_if(contents.batch.entries.begin(), contents.batch.entries.end(),
            [](const RenameJournalEntry& entry) { return fs::exists(entry.temp.path); });
        ASSERT_NE(staged, contents.batch.entries.end());
        auto blocked = *staged;
        std::ofstream(blocked.from.path) << "someone else's";
        files.createFile("Inbox/arrived.txt");

        tickAfter(0);
        for (int tick = 0; tick < 10; ++tick)
            tickAfter(3);
        // Everything else is home; the blocked file stays at its temporary name, said once,
        // and the file in its way is left alone as long as the journal names it.
        ASSERT_TRUE(journal());
        EXPECT_EQ(testing::readFile(blocked.temp.path), blocked.from.lastPathComponent());
        EXPECT_EQ(testing::readFile(blocked.from.path), "someone else's");
        EXPECT_EQ(recoveryLines(), 1u);
        auto texts = logTexts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0], "Renamed 1 files · Inbox");
        EXPECT_EQ(texts[1],
            "An interrupted rename was put back as far as it could be.\n"
            "Some files could not be restored. They remain at:\n"
                + blocked.temp.path + " (originally " + blocked.from.path + ")");
        for (const auto& name : sources) {
            if (name != blocked.from.lastPathComponent()) {
                ASSERT_EQ(testing::readFile(inbox / name), name);
            }
        }
        EXPECT_TRUE(fs::exists(inbox / "arrived-x.txt"));

        // Out of the way, the file goes home when monitoring starts again.
        fs::remove(blocked.from.path);
        watches->save();
        tickAfter(1);
        tickAfter(3);
        EXPECT_FALSE(journal());
        EXPECT_EQ(testing::readFile(blocked.from.path), blocked.from.lastPathComponent());
        auto expected = sources;
        expected.push_back("arrived-x.txt");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names(), expected);
        EXPECT_EQ(recoveryLines(), 1u);
    }

} // namespace
} // namespace sorvik
