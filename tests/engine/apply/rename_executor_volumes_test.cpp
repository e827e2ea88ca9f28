// Whole batches on volumes that refuse the flags of renameat2 and may have no hard links
// either: files and folders renamed, swaps and rotations, files organized into new folders,
// a change of letter case, and the batch taken back. A failure at any call of the batch rolls
// it back; a process killed at any step, or inside a move between its look at the destination
// and its rename, leaves a batch that the next start puts back whole.
#include "engine/apply/journal_recovery.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/uuid.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/network_volumes.h"
#include "tests/support/temporary_folder.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FailingFileSystem;
    using testing::FileSystemCall;
    using testing::readFile;
    using testing::TemporaryFolder;
    using testing::TestVolume;
    using testing::VolumeKind;
    namespace fs = std::filesystem;
    using Contents = std::map<std::string, std::string>;

    struct PlannedMove {
        std::string from;
        std::string to;
    };

    const std::vector<PlannedMove> planned {
        { "swap-a.txt", "swap-b.txt" },
        { "swap-b.txt", "swap-a.txt" },
        { "rot-1", "rot-2" },
        { "rot-2", "rot-3" },
        { "rot-3", "rot-1" },
        { "album", "album 2024" },
        { "n1.jpg", "jpg/n1.jpg" },
        { "n2.jpg", "jpg/2024/n2.jpg" },
        { "Case.TXT", "case.txt" },
        { "plain.txt", "renamed.txt" },
    };
    /// The files inside the folder "album".
    const std::vector<std::string> albumFiles { "one.jpg", "two.jpg" };

    /// The batch's files on a volume, as they were before it or as it left them.
    class Scene {
    public:
        explicit Scene(const TestVolume& volume)
            : m_folder(volume.folder())
        {
        }

        /// Every file at its source, and nothing else in the folder.
        void reset() const
        {
            for (const auto& entry : fs::directory_iterator(m_folder))
                fs::remove_all(entry.path());
            for (const auto& [path, content] : expected(false)) {
                fs::create_directories((m_folder / path).parent_path());
                std::ofstream(m_folder / path) << content;
            }
        }

        std::vector<RenameMove> moves(bool forward = true) const
        {
            std::vector<RenameMove> moves;
            for (const auto& move : planned) {
                bool isFolder = move.from == "album";
                FileURL from((m_folder / move.from).string(), isFolder);
                FileURL to((m_folder / move.to).string(), isFolder);
                moves.push_back(forward ? RenameMove { from, to } : RenameMove { to, from });
            }
            return moves;
        }

        /// Every file below the folder by relative path, with its content.
        Contents contents() const
        {
            Contents found;
            for (const auto& entry : fs::recursive_directory_iterator(m_folder)) {
                if (!entry.is_directory())
                    found[entry.path().lexically_relative(m_folder).string()]
                        = readFile(entry.path());
            }
            return found;
        }

        /// The files where the batch found them, or where it put them.
        static Contents expected(bool placed)
        {
            Contents files;
            for (const auto& move : planned) {
                const auto& place = placed ? move.to : move.from;
                if (move.from == "album") {
                    for (const auto& name : albumFiles)
                        files[place + "/" + name] = "album's " + name;
                    continue;
                }
                files[place] = "content of " + move.from;
            }
            return files;
        }

        bool hasTemporaryNames() const
        {
            for (const auto& [path, content] : contents()) {
                if (path.find(".twtmp") != std::string::npos)
                    return true;
            }
            return false;
        }

        std::vector<FileURL> createdFolders() const
        {
            return { FileURL((m_folder / "jpg").string(), true),
                FileURL((m_folder / "jpg" / "2024").string(), true) };
        }

        bool hasJournal() const
        {
            return fs::exists(data / "sorvik") && !fs::is_empty(data / "sorvik");
        }
        FileURL journalFolder() const { return FileURL((data / "sorvik").string(), true); }

        TemporaryFolder data;

    private:
        fs::path m_folder;
    };

    class RenameExecutorOnVolumes : public ::testing::TestWithParam<VolumeKind> {
    protected:
        void SetUp() override
        {
            if (!volume.whyNot().empty())
                GTEST_SKIP() << volume.whyNot();
            scene.reset();
        }

        /// The start-up recovery of the next process, on the volume.
        JournalRecovery::Report recover()
        {
            JournalRecovery::Report report;
            volume.run([&] {
                LocalFileSystem fileSystem;
                report
                    = RenameExecutor(fileSystem, scene.journalFolder()).recoverInterruptedBatches();
            });
            return report;
        }

        /// How many calls of its file system a whole batch makes.
        std::size_t callsOfABatch()
        {
            std::size_t calls = 0;
            volume.run([&] {
                FailingFileSystem fileSystem;
                RenameExecutor(fileSystem, scene.journalFolder()).execute(scene.moves());
                calls = fileSystem.calls.size();
            });
            EXPECT_EQ(scene.contents(), Scene::expected(true));
            scene.reset();
            return calls;
        }

        TestVolume volume { GetParam() };
        Scene scene { volume };
    };

    TEST_P(RenameExecutorOnVolumes, ABatchOfEveryKindIsAppliedAndTakenBack)
    {
        auto backup = scene.data / "backup";
        volume.run([&] {
            LocalFileSystem fileSystem;
            RenameExecutor executor(fileSystem, scene.journalFolder());
            auto created = executor.execute(scene.moves(), FileURL(backup.string(), true));
            EXPECT_EQ(scene.contents(), Scene::expected(true));
            EXPECT_EQ(created, scene.createdFolders());
            EXPECT_EQ(readFile(backup / "0_swap-a.txt"), "content of swap-a.txt");
            EXPECT_EQ(readFile(backup / "5_album" / "two.jpg"), "album's two.jpg");

            executor.execute(scene.moves(false));
            executor.removeCreatedDirectories(created);
        });
        EXPECT_EQ(scene.contents(), Scene::expected(false));
        EXPECT_FALSE(fs::exists(volume.folder() / "jpg"));
        EXPECT_FALSE(scene.hasJournal());
    }

    TEST_P(RenameExecutorOnVolumes, AFailureAtAnyCallRollsTheBatchBack)
    {
        std::size_t calls = callsOfABatch();
        ASSERT_GT(calls, 2 * planned.size());
        for (std::size_t failing = 1; failing <= calls; ++failing) {
            SCOPED_TRACE("call " + std::to_string(failing));
            bool succeeded = false;
            volume.run([&] {
                FailingFileSystem fileSystem;
                fileSystem.fails = FailingFileSystem::failingCall(failing);
                try {
                    RenameExecutor(fileSystem, scene.journalFolder()).execute(scene.moves());
                    succeeded = true;
                } catch (const RenameExecutionError& error) {
                    EXPECT_TRUE(error.recoveryFiles().empty()) << error.what();
                }
            });
            EXPECT_EQ(scene.contents(), Scene::expected(succeeded));
            EXPECT_FALSE(scene.hasJournal());
            scene.reset();
        }
    }

    enum class Kill {
        /// Before a call of the file system.
        beforeACall,
        /// Inside the next move after a call, between its look at the destination and its
        /// rename (or, for the journal, before it is named).
        beforeTheNextRename,
    };

    TEST_P(RenameExecutorOnVolumes, AProcessKilledAtAnyStepIsPutBackByTheNextStart)
    {
        std::size_t calls = callsOfABatch();
        for (auto kill : { Kill::beforeACall, Kill::beforeTheNextRename }) {
            std::size_t stoppedHalfWay = 0;
            for (std::size_t step = 1; step <= calls; ++step) {
                SCOPED_TRACE((kill == Kill::beforeACall ? "killed before call "
                                                        : "killed at the rename after call ")
                    + std::to_string(step));
                auto moves = scene.moves();
                auto journal = scene.journalFolder();
                pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    if (!volume.enter())
                        ::_exit(3);
                    FailingFileSystem fileSystem;
                    fileSystem.beforeCall = [&](const FileSystemCall& call) {
                        if (call.number != step)
                            return;
                        if (kill == Kill::beforeACall)
                            ::raise(SIGKILL);
                        else if (!testing::killAtTheNextRenameWithoutFlags())
                            ::_exit(4);
                    };
                    try {
                        RenameExecutor(fileSystem, journal).execute(moves);
                    } catch (...) {
                        ::_exit(1);
                    }
                    ::_exit(0);
                }
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                // The kernel's filter kills as SIGKILL does, with SIGSYS.
                bool killed = WIFSIGNALED(status)
                    && WTERMSIG(status) == (kill == Kill::beforeACall ? SIGKILL : SIGSYS);
                ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
                    << "status " << status;
                stoppedHalfWay += scene.hasTemporaryNames() ? 1 : 0;

                EXPECT_TRUE(recover().empty());
                EXPECT_FALSE(scene.hasJournal());
                // Put back whole, or finished moving before it was killed.
                auto found = scene.contents();
                bool placed = found == Scene::expected(true);
                EXPECT_TRUE(placed || found == Scene::expected(false));
                if (!placed) {
                    EXPECT_FALSE(fs::exists(volume.folder() / "jpg"));
                }
                scene.reset();
            }
            // The kills must have fallen inside the batch, or this proves nothing.
            EXPECT_GT(stoppedHalfWay, planned.size());
        }
    }

    // A home folder on such a volume (NFS) holds the journals there too.
    TEST_P(RenameExecutorOnVolumes, AJournalThatCannotBeTrustedIsSetAsideThere)
    {
        auto journals = volume.folder() / "data";
        fs::create_directories(journals);
        auto name = std::string(RenameJournal::fileNamePrefix) + Uuid::random().text();
        std::ofstream(journals / name) << "damaged";
        JournalRecovery::Report report;
        volume.run([&] {
            LocalFileSystem fileSystem;
            report = JournalRecovery::recover(fileSystem, FileURL(journals.string(), true));
        });
        ASSERT_EQ(report.problems.size(), 1U);
        EXPECT_NE(report.problems[0].find("It is kept at"), std::string::npos)
            << report.problems[0];
        EXPECT_TRUE(fs::exists(journals / (name + ".unsound")));
        EXPECT_FALSE(fs::exists(journals / name));
    }

    INSTANTIATE_TEST_SUITE_P(Volumes, RenameExecutorOnVolumes,
        ::testing::Values(
            VolumeKind::fuse, VolumeKind::withoutHardLinks, VolumeKind::fuseWithoutHardLinks),
        [](const ::testing::TestParamInfo<VolumeKind>& kind) { return nameOf(kind.param); });

} // namespace
} // namespace sorvik
