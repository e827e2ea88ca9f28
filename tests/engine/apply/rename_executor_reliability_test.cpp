// The executor under failures: a file system that fails at every possible call of a batch,
// and a process killed at random moments of a large batch. Afterwards no file may be lost,
// duplicated or changed, and no temporary name may be left behind unreported.
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/temporary_folder.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FailingFileSystem;
    using testing::FileSystemCall;
    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    struct PlannedMove {
        std::string from;
        std::string to;
    };

    // Swaps, rotations, new nested folders, a folder made where a source was, a change of
    // letter case and plain renames: twenty moves.
    std::vector<PlannedMove> mixedBatch()
    {
        return {
            { "swap-a", "swap-b" },
            { "swap-b", "swap-a" },
            { "rot-1", "rot-2" },
            { "rot-2", "rot-3" },
            { "rot-3", "rot-1" },
            { "r4-a", "r4-b" },
            { "r4-b", "r4-c" },
            { "r4-c", "r4-d" },
            { "r4-d", "r4-a" },
            { "n1", "new/x/n1" },
            { "n2", "new/x/n2" },
            { "n3", "new/y/z/n3" },
            { "n4", "deep/a/b/c/n4" },
            { "taken", "taken-file" },
            { "t2", "taken/t2" },
            { "Case.TXT", "case.txt" },
            { "p1", "q1" },
            { "p2", "q2" },
            { "p3", "q3" },
            { "p4", "q4" },
        };
    }

    // Content that tells every file apart and changes if a byte of it does.
    std::string contentOf(std::size_t index)
    {
        std::string content = "file " + std::to_string(index) + "\n";
        for (std::size_t byte = 0; byte < 64 + index % 7; ++byte)
            content.push_back(static_cast<char>('a' + (index * 31 + byte * 7) % 26));
        return content;
    }

    class Scene {
    public:
        explicit Scene(std::vector<PlannedMove> planned)
            : m_planned(std::move(planned))
        {
            std::set<fs::path> folders;
            for (std::size_t index = 0; index < m_planned.size(); ++index) {
                fs::path file = files / m_planned[index].from;
                if (folders.insert(file.parent_path()).second)
                    fs::create_directories(file.parent_path());
                writeFile(file, contentOf(index));
            }
        }

        std::vector<RenameMove> moves() const
        {
            std::vector<RenameMove> result;
            for (const auto& move : m_planned)
                result.push_back({ url(move.from), url(move.to) });
            return result;
        }
        FileURL url(const std::string& relative) const
        {
            return FileURL((files / relative).string());
        }
        FileURL journalFolder() const { return FileURL((data / "sorvik").string(), true); }

        /// Every regular file below the folder: relative path to content.
        std::map<std::string, std::string> contents() const
        {
            std::map<std::string, std::string> result;
            for (const auto& path : filePaths())
                result[relative(path)] = readFile(path);
            return result;
        }
        bool hasTemporaryNames() const
        {
            for (const auto& path : filePaths()) {
                if (path.filename().string().ends_with(".twtmp"))
                    return true;
            }
            return false;
        }
        std::string relative(const fs::path& path) const
        {
            return path.string().substr(files.path().string().size() + 1);
        }
        std::size_t folderCount() const
        {
            std::size_t count = 0;
            for (const auto& entry : fs::recursive_directory_iterator(files.path()))
                count += entry.is_directory() ? 1 : 0;
            return count;
        }
        bool hasJournal() const
        {
            return fs::exists(data / "sorvik") && !fs::is_empty(data / "sorvik");
        }

        const std::vector<PlannedMove>& planned() const { return m_planned; }
        /// After the batch went through: the next batch puts every file back.
        void reverse()
        {
            for (auto& move : m_planned)
                std::swap(move.from, move.to);
        }
        /// Removes the empty folders a batch made, so that the next batch makes them again.
        void removeEmptyFolders() const
        {
            std::vector<fs::path> folders;
            for (const auto& entry : fs::recursive_directory_iterator(files.path())) {
                if (entry.is_directory())
                    folders.push_back(entry.path());
            }
            for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
                ::rmdir(folder->c_str());
        }

        TemporaryFolder files;
        TemporaryFolder data;

    private:
        static void writeFile(const fs::path& path, const std::string& data)
        {
            int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            ASSERT_GE(descriptor, 0) << path;
            EXPECT_EQ(
                ::write(descriptor, data.data(), data.size()), static_cast<ssize_t>(data.size()));
            ::close(descriptor);
        }
        std::vector<fs::path> filePaths() const
        {
            std::vector<fs::path> paths;
            for (const auto& entry : fs::recursive_directory_iterator(files.path())) {
                if (entry.is_regular_file())
                    paths.push_back(entry.path());
            }
            return paths;
        }

        std::vector<PlannedMove> m_planned;
    };

    enum class Placement { source, destination };

    /// Checks that every file is exactly once at its source or destination (or, when
    /// `reported` lists it, at a reported path) with its content, and that nothing else is
    /// there. Returns where each file was found.
    std::vector<std::optional<Placement>> checkEveryFileIsKept(
        const Scene& scene, const std::vector<FileURL>& reported = {})
    {
        auto found = scene.contents();
        std::set<std::string> reportedPaths;
        for (const auto& url : reported)
            reportedPaths.insert(scene.relative(url.path));
        std::unordered_map<std::string, std::vector<std::string>> byContent;
        for (const auto& [path, content] : found)
            byContent[content].push_back(path);
        std::vector<std::optional<Placement>> placements;
        for (std::size_t index = 0; index < scene.planned().size(); ++index) {
            const auto& move = scene.planned()[index];
            const auto& places = byContent[contentOf(index)];
            EXPECT_EQ(places.size(), 1U)
                << "file " << move.from << " found " << places.size() << " times";
            if (places.size() != 1) {
                placements.push_back(std::nullopt);
                continue;
            }
            const auto& place = places[0];
            if (place == move.from)
                placements.push_back(Placement::source);
            else if (place == move.to)
                placements.push_back(Placement::destination);
            else {
                EXPECT_TRUE(reportedPaths.contains(place)) << move.from << " is at " << place;
                placements.push_back(std::nullopt);
            }
        }
        EXPECT_EQ(found.size(), scene.planned().size()) << "a file appeared or was lost";
        for (const auto& [path, content] : found) {
            if (path.find(".twtmp") != std::string::npos) {
                EXPECT_TRUE(reportedPaths.contains(path)) << "temporary name left: " << path;
            }
        }
        return placements;
    }

    TEST(RenameExecutorReliability, AFailureAtAnyCallOfABatchLosesNothing)
    {
        std::size_t callCount = 0;
        {
            Scene scene(mixedBatch());
            FailingFileSystem fileSystem;
            RenameExecutor(fileSystem, scene.journalFolder()).execute(scene.moves());
            callCount = fileSystem.calls.size();
            auto placements = checkEveryFileIsKept(scene);
            for (const auto& placement : placements)
                EXPECT_EQ(placement, Placement::destination);
        }
        ASSERT_GT(callCount, 60U);

        for (bool failEveryCallAfter : { false, true }) {
            for (std::size_t failing = 1; failing <= callCount + 1; ++failing) {
                SCOPED_TRACE((failEveryCallAfter ? "every call from " : "only call ")
                    + std::to_string(failing));
                Scene scene(mixedBatch());
                std::size_t folders = scene.folderCount();
                FailingFileSystem fileSystem;
                fileSystem.fails = failEveryCallAfter ? FailingFileSystem::failingFrom(failing)
                                                      : FailingFileSystem::failingCall(failing);
                RenameExecutor executor(fileSystem, scene.journalFolder());
                std::vector<FileURL> reported;
                bool succeeded = false;
                try {
                    executor.execute(scene.moves());
                    succeeded = true;
                } catch (const RenameExecutionError& error) {
                    reported = error.recoveryFiles();
                }
                auto placements = checkEveryFileIsKept(scene, reported);
                // Files the rollback could not put back keep their journal, and the next
                // start-up's recovery brings every one of them home.
                EXPECT_EQ(scene.hasJournal(), !reported.empty());
                if (!reported.empty()) {
                    LocalFileSystem local;
                    RenameExecutor restarted(local, scene.journalFolder());
                    EXPECT_TRUE(restarted.recoverInterruptedBatches().empty());
                    EXPECT_FALSE(scene.hasJournal());
                    for (const auto& placement : checkEveryFileIsKept(scene))
                        EXPECT_EQ(placement, Placement::source);
                }
                if (succeeded) {
                    for (const auto& placement : placements)
                        EXPECT_EQ(placement, Placement::destination);
                    continue;
                }
                if (failEveryCallAfter)
                    continue;
                // One failure alone: the rollback itself cannot fail, so everything is back.
                EXPECT_TRUE(reported.empty());
                for (const auto& placement : placements)
                    EXPECT_EQ(placement, Placement::source);
                bool aRemovalFailed = fileSystem.calls.size() >= failing
                    && fileSystem.calls[failing - 1].kind
                        == FileSystemCall::Kind::removeEmptyDirectory;
                if (!aRemovalFailed) {
                    EXPECT_EQ(scene.folderCount(), folders) << "a created folder was left";
                }
            }
        }
    }

    // 2,000 moves: plain renames in one folder, swaps, three-name rotations and files moved
    // into new nested folders.
    std::vector<PlannedMove> largeBatch()
    {
        std::vector<PlannedMove> planned;
        auto name = [](const char* stem, std::size_t index) {
            return std::string(stem) + "-" + std::to_string(index) + ".jpg";
        };
        for (std::size_t index = 0; index < 1000; ++index)
            planned.push_back({ "plain/" + name("IMG", index), "plain/" + name("Holiday", index) });
        for (std::size_t index = 0; index < 200; ++index) {
            planned.push_back({ "swap/" + name("a", index), "swap/" + name("b", index) });
            planned.push_back({ "swap/" + name("b", index), "swap/" + name("a", index) });
        }
        for (std::size_t index = 0; index < 100; ++index) {
            for (std::size_t step = 0; step < 3; ++step) {
                planned.push_back({ "rotate/" + name("r", index * 3 + step),
                    "rotate/" + name("r", index * 3 + (step + 1) % 3) });
            }
        }
        for (std::size_t index = 0; index < 300; ++index) {
            planned.push_back({ "sort/" + name("doc", index),
                "sort/" + std::to_string(index % 30) + "/" + std::to_string(index % 7) + "/"
                    + name("doc", index) });
        }
        return planned;
    }

    // Runs the batch in a child process and kills it after `delay`; returns the child's
    // running time when it finished first.
    std::chrono::duration<double> runChild(
        const Scene& scene, std::chrono::duration<double> delay, bool& finished)
    {
        auto moves = scene.moves();
        auto start = std::chrono::steady_clock::now();
        pid_t child = ::fork();
        if (child == 0) {
            LocalFileSystem fileSystem;
            try {
                RenameExecutor(fileSystem, scene.journalFolder()).execute(moves);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        EXPECT_GT(child, 0);
        if (delay.count() >= 0) {
            std::this_thread::sleep_for(delay);
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        finished = WIFEXITED(status);
        if (finished) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        return std::chrono::steady_clock::now() - start;
    }

    TEST(RenameExecutorReliability, AProcessKilledInTheMiddleOfABatchLosesNothing)
    {
        // How long a whole batch takes here (sanitizers and load change it a lot).
        std::chrono::duration<double> batchTime {};
        {
            Scene scene(largeBatch());
            bool finished = false;
            batchTime = runChild(scene, std::chrono::duration<double>(-1), finished);
            ASSERT_TRUE(finished);
            for (const auto& placement : checkEveryFileIsKept(scene))
                EXPECT_EQ(placement, Placement::destination);
        }

        std::printf("whole batch in the child: %.0f ms\n", batchTime.count() * 1000);
        std::random_device device;
        unsigned seed = device();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> moment(0.0, 1.1);
        constexpr int runs = 24;
        int interrupted = 0;
        // One scene for all runs (creating files is slow on some disks): each run starts
        // from where the last one left the files, in one direction or the other.
        Scene scene(largeBatch());
        for (int run = 0; run < runs; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            bool finished = false;
            runChild(scene, batchTime * moment(random), finished);

            bool leftTemporaryNames = scene.hasTemporaryNames();
            interrupted += leftTemporaryNames ? 1 : 0;

            LocalFileSystem fileSystem;
            EXPECT_TRUE(RenameExecutor(fileSystem, scene.journalFolder())
                            .recoverInterruptedBatches()
                            .empty());
            EXPECT_FALSE(scene.hasJournal());
            // The batch is put back whole, or it had finished (or not started) moving.
            auto placements = checkEveryFileIsKept(scene);
            ASSERT_FALSE(placements.empty());
            auto first = placements.front();
            ASSERT_TRUE(first.has_value());
            for (const auto& placement : placements)
                ASSERT_EQ(placement, first) << "the batch was left half applied";
            if (leftTemporaryNames) {
                EXPECT_EQ(first, Placement::source);
            }
            if (first == Placement::destination)
                scene.reverse();
            scene.removeEmptyFolders();
        }
        // The moments must have fallen inside batches, or the test proves nothing.
        EXPECT_GT(interrupted, 0);
        std::printf(
            "%d of %d runs killed while files were at temporary names\n", interrupted, runs);
    }

} // namespace
} // namespace sorvik
