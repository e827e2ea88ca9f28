// The `sorvik` program renaming on a FUSE mount, which refuses the flags of renameat2 as
// network shares, sshfs and the file manager's mounts do; and on one that has no hard links
// either, as an SMB share, where the program runs under a kernel filter that refuses them.
// Files and folders are renamed, names swapped, files organized into new folders; a batch
// killed half way is put back by the next start; a batch is taken back by the history.
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/preset.h"
#include "tests/app/automation/program_run.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/network_volumes.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;
    using testing::TestVolume;
    using testing::VolumeKind;
    namespace fs = std::filesystem;
    using Contents = std::map<std::string, std::string>;

    class SorvikOnAVolume : public ::testing::TestWithParam<VolumeKind> {
    protected:
        using Result = testing::ProgramResult;

        void SetUp() override
        {
            if (!volume.whyNot().empty())
                GTEST_SKIP() << volume.whyNot();
            auto granted = sorvik({ "grant", QString::fromStdString(volume.folder().string()) });
            ASSERT_EQ(granted.status, 0) << granted.err;
        }

        /// The program, in the folder on the volume, as it runs there.
        void prepare(QProcess& process, const QStringList& arguments) const
        {
            process.setProgram(QStringLiteral(SORVIK_PROGRAM));
            process.setArguments(arguments);
            process.setWorkingDirectory(QString::fromStdString(volume.folder().string()));
            if (volume.refusesHardLinks())
                process.setChildProcessModifier([] {
                    if (!testing::refuseRenameFlagsAndHardLinks())
                        ::_exit(125);
                });
        }

        Result sorvik(const QStringList& arguments) const
        {
            QProcess process;
            prepare(process, arguments);
            return testing::runToEnd(process);
        }

        static void savePreset(std::string name, Rule rule)
        {
            auto saved
                = JSONFiles::load<SavedPresets>(SavedPresets::fileName).value_or(SavedPresets {});
            saved.presets.push_back(
                Preset(std::move(name), "folder", "3478F6", std::vector<Rule> { std::move(rule) }));
            JSONFiles::save(saved, SavedPresets::fileName);
        }

        void createFile(const std::string& relative, const std::string& content) const
        {
            fs::create_directories((volume.local() / relative).parent_path());
            std::ofstream(volume.local() / relative) << content;
        }

        /// Every file on the disk beneath the volume, by relative path, with its content.
        Contents contents() const
        {
            Contents found;
            for (const auto& entry : fs::recursive_directory_iterator(volume.local())) {
                if (!entry.is_directory())
                    found[entry.path().lexically_relative(volume.local()).string()]
                        = readFile(entry.path());
            }
            return found;
        }

        bool hasJournal() const
        {
            for (const auto& entry : fs::directory_iterator(JSONFiles::applicationFolder())) {
                if (entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                    return true;
            }
            return false;
        }

        /// Takes the newest batch of the history back, as the history sheet's Revert does;
        /// whether that went without a message. It runs in this process, outside the filter
        /// that takes hard links away (the engine's tests take batches back under it).
        static bool revertNewestBatch()
        {
            testing::FakeDialogs dialogs;
            RenamerStore store { std::make_shared<testing::FakeServices>() };
            store.setDialogs(&dialogs);
            if (!testing::waitUntil([&] { return !store.isPlanning(); }))
                return false;
            store.loadHistory();
            if (store.history().empty())
                return false;
            store.revert(store.history().front().id);
            if (store.message()) {
                ADD_FAILURE() << *store.message();
                return false;
            }
            return true;
        }

        IsolatedHome home;
        TestVolume volume { GetParam() };
    };

    TEST_P(SorvikOnAVolume, FoldersAndFilesAreRenamed)
    {
        savePreset("Year", Rule(RuleKind(PatternConfig { "{name} 2024" })));
        createFile("albumA/beach.jpg", "beach");
        createFile("albumB/hills.jpg", "hills");
        createFile("notes.txt", "notes");
        auto result
            = sorvik({ "rename", "--apply", "--preset", "Year", "albumA", "albumB", "notes.txt" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "albumA 2024\nalbumB 2024\nnotes 2024.txt\n");
        EXPECT_EQ(contents(),
            (Contents { { "albumA 2024/beach.jpg", "beach" }, { "albumB 2024/hills.jpg", "hills" },
                { "notes 2024.txt", "notes" } }));
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1U);
        EXPECT_EQ(history[0].moves.size(), 3U);
        EXPECT_FALSE(hasJournal());
    }

    TEST_P(SorvikOnAVolume, TwoNamesAreSwappedAndTheSwapIsTakenBack)
    {
        savePreset("Swap", Rule(RuleKind(ListConfig { "b\na", false })));
        createFile("a.txt", "alpha");
        createFile("b.txt", "beta");
        auto result = sorvik({ "rename", "--apply", "--preset", "Swap", "a.txt", "b.txt" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "b.txt\na.txt\n");
        EXPECT_EQ(contents(), (Contents { { "a.txt", "beta" }, { "b.txt", "alpha" } }));

        ASSERT_TRUE(revertNewestBatch());
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
    }

    TEST_P(SorvikOnAVolume, FilesAreOrganizedIntoNewFoldersAndPutBackByTheHistory)
    {
        savePreset("By kind", Rule(RuleKind(OrganizeConfig { "{ext}" })));
        createFile("a.jpg", "a");
        createFile("b.txt", "b");
        createFile("c.jpg", "c");
        auto result
            = sorvik({ "rename", "--apply", "--preset", "By kind", "a.jpg", "b.txt", "c.jpg" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(contents(),
            (Contents { { "jpg/a.jpg", "a" }, { "txt/b.txt", "b" }, { "jpg/c.jpg", "c" } }));
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1U);
        ASSERT_TRUE(history[0].createdDirectories);
        EXPECT_EQ(history[0].createdDirectories->size(), 2U);

        ASSERT_TRUE(revertNewestBatch());
        EXPECT_EQ(contents(), (Contents { { "a.jpg", "a" }, { "b.txt", "b" }, { "c.jpg", "c" } }));
        EXPECT_FALSE(fs::exists(volume.local() / "jpg"));
        EXPECT_FALSE(fs::exists(volume.local() / "txt"));
    }

    /// When the batch is killed: at its first file moved to a temporary name, or to its new
    /// name.
    enum class Moment { staging, placing };

    class KilledOnAVolume : public SorvikOnAVolume {
    protected:
        static constexpr int fileCount = 5'000;

        /// Waits until a file is moved to a name of `moment` in `watcher`'s folder; false
        /// when `process` ended first or a minute passed.
        static bool waitForMove(int watcher, QProcess& process, Moment moment)
        {
            return testing::waitForEvent(watcher, process, [moment](std::string_view name) {
                return name.ends_with(".twtmp") == (moment == Moment::staging);
            });
        }
    };

    TEST_P(KilledOnAVolume, ABatchKilledHalfWayIsPutBackByTheNextStart)
    {
        savePreset("Suffix", Rule(RuleKind(PatternConfig { "{name}-x" })));
        QStringList arguments { "rename", "--apply", "--preset", "Suffix" };
        Contents original;
        for (int index = 0; index < fileCount; ++index) {
            char name[16];
            std::snprintf(name, sizeof name, "f%04d.txt", index);
            createFile(name, name);
            original[name] = name;
            arguments.push_back(QString::fromLatin1(name));
        }
        for (auto moment : { Moment::staging, Moment::placing }) {
            SCOPED_TRACE(moment == Moment::staging ? "staging" : "placing");
            int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            ASSERT_GE(watcher, 0);
            ASSERT_GE(::inotify_add_watch(watcher, volume.local().c_str(), IN_MOVED_TO), 0);
            QProcess process;
            prepare(process, arguments);
            process.start();
            ASSERT_TRUE(process.waitForStarted());
            bool seen = waitForMove(watcher, process, moment);
            ::close(watcher);
            if (seen)
                ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            ASSERT_TRUE(process.waitForFinished(120'000));
            ASSERT_TRUE(seen) << "the batch ended before a file moved";
            EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
            auto left = contents();
            ASSERT_TRUE(std::any_of(left.begin(), left.end(), [](const auto& file) {
                return file.first.ends_with(".twtmp");
            })) << "the batch was not killed half way";
            EXPECT_TRUE(hasJournal());

            auto next = sorvik({ "presets" });
            EXPECT_EQ(next.status, 0);
            EXPECT_EQ(next.err, "");
            EXPECT_EQ(contents(), original);
            EXPECT_FALSE(hasJournal());
            EXPECT_TRUE(HistoryFile::load().empty());
        }

        // And the batch goes through whole on the volume afterwards.
        auto result = sorvik(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        auto renamed = contents();
        EXPECT_EQ(renamed.size(), std::size_t { fileCount });
        EXPECT_EQ(renamed.begin()->first, "f0000-x.txt");
        EXPECT_EQ(renamed.rbegin()->first, "f4999-x.txt");
    }

    auto volumeName
        = [](const ::testing::TestParamInfo<VolumeKind>& kind) { return nameOf(kind.param); };
    INSTANTIATE_TEST_SUITE_P(Volumes, SorvikOnAVolume,
        ::testing::Values(VolumeKind::fuse, VolumeKind::fuseWithoutHardLinks), volumeName);
    INSTANTIATE_TEST_SUITE_P(Volumes, KilledOnAVolume,
        ::testing::Values(VolumeKind::fuse, VolumeKind::fuseWithoutHardLinks), volumeName);

} // namespace
} // namespace sorvik
