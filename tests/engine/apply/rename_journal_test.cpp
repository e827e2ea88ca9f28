#include "engine/apply/rename_journal.h"

#include "engine/apply/journal_recovery.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/uuid.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    std::uint64_t inodeOf(const fs::path& path)
    {
        struct stat status { };
        return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
    }

    std::string temporaryName() { return "." + Uuid::random().text() + ".twtmp"; }

    // A batch's files and journal, put by hand into the state a killed process leaves.
    class InterruptedBatch : public ::testing::Test {
    protected:
        /// Adds a move of a file whose content is its source's name.
        void add(const std::string& from, const std::string& to)
        {
            if (!fs::exists(files / from))
                files.createFile(from, from);
            auto source = url(from);
            entries.push_back(
                { source, source.deletingLastPathComponent().appending(temporaryName()), url(to),
                    inodeOf(files / from) });
        }
        FileURL url(const std::string& relative) const
        {
            return FileURL((files / relative).string());
        }
        void rename(const FileURL& from, const FileURL& to) const
        {
            fs::rename(from.path, to.path);
        }
        void stage(std::size_t index) const { rename(entries[index].from, entries[index].temp); }
        void place(std::size_t index) const { rename(entries[index].temp, entries[index].to); }

        RenameJournalBatch batch() const
        {
            return { std::nullopt, std::nullopt, entries, planned };
        }
        /// Writes the journal and lets it go as a killed process would.
        void abandonJournal() { RenameJournal::begin(journalFolder(), batch()); }
        FileURL journalFolder() const { return FileURL((data / "sorvik").string(), true); }
        std::vector<std::string> journals() const
        {
            std::vector<std::string> names;
            if (fs::exists(data / "sorvik")) {
                for (const auto& entry : fs::directory_iterator(data / "sorvik"))
                    names.push_back(entry.path().filename().string());
            }
            std::sort(names.begin(), names.end());
            return names;
        }
        JournalRecovery::Report recover(const JournalRecovery::Options& options = {})
        {
            LocalFileSystem fileSystem;
            return recover(fileSystem, options);
        }
        JournalRecovery::Report recover(
            FileSystem& fileSystem, const JournalRecovery::Options& options = {})
        {
            return RenameExecutor(fileSystem, journalFolder()).recoverInterruptedBatches(options);
        }
        std::string contentAt(const std::string& relative) const
        {
            return fs::exists(files / relative) ? readFile(files / relative) : "<missing>";
        }
        std::vector<std::string> listing() const
        {
            std::vector<std::string> names;
            for (const auto& entry : fs::recursive_directory_iterator(files.path()))
                names.push_back(fs::relative(entry.path(), files.path()).string());
            std::sort(names.begin(), names.end());
            return names;
        }

        TemporaryFolder files;
        TemporaryFolder data;
        std::vector<RenameJournalEntry> entries;
        std::vector<FileURL> planned;
    };

    TEST_F(InterruptedBatch, JournalReadsBackExactly)
    {
        add("a", "b");
        entries.push_back({ FileURL("/x/na\xFFme with\nline", true), FileURL("/x/.t.twtmp", true),
            FileURL("/y/z", true), 18446744073709551615ULL });
        planned = { FileURL("/y", true) };
        RenameJournalBatch written { Uuid::random(), FileURL("/b/ackup", true), entries, planned };
        auto journal = RenameJournal::begin(journalFolder(), written);
        EXPECT_TRUE(journal.isOpen());
        auto read = RenameJournal::read(journal.url());
        EXPECT_EQ(read.batch, written);
        EXPECT_FALSE(read.completion);

        RenameJournalCompletion completion { Date { 7.000000000123 }, { FileURL("/y/z", true) } };
        EXPECT_TRUE(journal.markComplete(completion));
        EXPECT_EQ(RenameJournal::read(journal.url()).completion, completion);
        journal.finish();
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, MovesHandedOneAtATimeReadBackAfterTheEntriesOnEveryWayOfWriting)
    {
        add("a", "b");
        planned = { FileURL("/y", true) };
        // Several megabytes: the journal is written out in pieces.
        struct Move {
            std::string from;
            std::string folder;
            std::string name;
            std::string to;
        };
        std::vector<Move> moves;
        for (int index = 0; index < 40000; ++index) {
            auto number = std::to_string(index);
            moves.push_back(
                { "/x/a folder of photos/IMG-" + number + ".jpg", "/x/a folder of photos",
                    temporaryName(), "/x/a folder of photos/Holiday-" + number });
        }
        moves.push_back({ "/root-file", "/", temporaryName(), "/other-root-file" });
        RenameJournalMoves given { moves.size(), [&](std::size_t index) {
                                      const auto& move = moves[index];
                                      return RenameJournalMove { move.from, move.folder, move.name,
                                          move.to, index, index % 2 == 0 };
                                  } };
        RenameJournalBatch header { Uuid::random(), std::nullopt, entries, planned };
        auto expected = header;
        for (std::size_t index = 0; index < moves.size(); ++index) {
            bool isDirectory = index % 2 == 0;
            const auto& move = moves[index];
            auto temp = (move.folder == "/" ? "" : move.folder) + "/" + move.name;
            expected.entries.push_back({ FileURL(move.from, isDirectory),
                FileURL(temp, isDirectory), FileURL(move.to, isDirectory), index });
        }
        for (bool named : { false, true }) {
            SCOPED_TRACE(named ? "named first" : "made without a name");
            auto journal = named ? RenameJournal::beginNamed(journalFolder(), header, given)
                                 : RenameJournal::begin(journalFolder(), header, given);
            EXPECT_EQ(RenameJournal::read(journal.url()).batch, expected);
            journal.finish();
        }
    }

    TEST_F(InterruptedBatch, AJournalOfTheFirstFormIsStillRead)
    {
        const char raw[] = "sorvik rename journal\0"
                           "1\0"
                           "1\0"
                           "/a\0"
                           "/.t\0"
                           "/b\0"
                           "5\0"
                           "end\0";
        std::string text(raw, sizeof raw - 1);
        data.createFile("one", text);
        auto read = RenameJournal::read(FileURL((data / "one").string()));
        ASSERT_EQ(read.batch.entries.size(), 1U);
        EXPECT_EQ(read.batch.entries[0],
            (RenameJournalEntry { FileURL("/a"), FileURL("/.t"), FileURL("/b"), 5 }));
        EXPECT_FALSE(read.batch.id);
    }

    TEST_F(InterruptedBatch, ADamagedJournalIsSetAsideAndReportedOnce)
    {
        add("a", "b");
        abandonJournal();
        stage(0);
        auto name = journals().at(0);
        auto path = data / "sorvik" / name;
        std::string text = readFile(path);
        for (std::size_t cut : { text.size() - 1, text.size() / 2, std::size_t(5) }) {
            SCOPED_TRACE(cut);
            fs::remove_all(data / "sorvik");
            data.createFile("sorvik/" + name, text.substr(0, cut));
            EXPECT_THROW(RenameJournal::read(FileURL(path.string())), Error);
            auto report = recover();
            ASSERT_EQ(report.problems.size(), 1U);
            EXPECT_NE(report.problems[0].find("damaged"), std::string::npos) << report.problems[0];
            EXPECT_EQ(journals(), std::vector<std::string> { name + ".unsound" });
            EXPECT_TRUE(recover().empty()) << "reported once";
            EXPECT_TRUE(fs::exists(entries[0].temp.path)) << "nothing was moved";
        }
    }

    TEST_F(InterruptedBatch, NothingToDoWhenNoFileIsAtATemporaryName)
    {
        // Finished moving but killed before the journal was removed: all are placed.
        add("a", "b");
        add("b", "a");
        stage(0);
        stage(1);
        place(0);
        place(1);
        abandonJournal();
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "b");
        EXPECT_EQ(contentAt("b"), "a");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, StagedFilesReturnToTheirSources)
    {
        add("1", "one");
        add("2", "two");
        add("3", "three");
        abandonJournal();
        stage(0);
        stage(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "1", "2", "3" }));
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, PlacedFilesOfASwapGoBackToo)
    {
        add("a", "b");
        add("b", "a");
        add("c", "d");
        abandonJournal();
        for (std::size_t index = 0; index < entries.size(); ++index)
            stage(index);
        place(0);
        place(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_EQ(contentAt("b"), "b");
        EXPECT_EQ(contentAt("c"), "c");
        EXPECT_EQ(listing(), (std::vector<std::string> { "a", "b", "c" }));
    }

    TEST_F(InterruptedBatch, RotationWithoutFileNumbersIsStillResolved)
    {
        // A volume that renumbers its files when mounted again: placed files are found only
        // because they stand in a source's way.
        add("c", "a");
        add("a", "b");
        add("b", "c");
        for (auto& entry : entries)
            entry.inode = 0;
        abandonJournal();
        for (std::size_t index = 0; index < entries.size(); ++index)
            stage(index);
        place(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_EQ(contentAt("b"), "b");
        EXPECT_EQ(contentAt("c"), "c");
    }

    TEST_F(InterruptedBatch, AFileUnderTwoNamesKeepsOne)
    {
        // Killed between link and unlink, once while staging and once while placing.
        add("a", "x");
        add("b", "y");
        add("c", "z");
        abandonJournal();
        fs::create_hard_link(entries[0].from.path, entries[0].temp.path);
        stage(1);
        fs::create_hard_link(entries[1].temp.path, entries[1].to.path);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "a", "b", "c" }));
        EXPECT_EQ(fs::hard_link_count(files / "a"), 1U);
        EXPECT_EQ(fs::hard_link_count(files / "b"), 1U);
    }

    TEST_F(InterruptedBatch, HardLinksRenamedTogetherKeepEveryName)
    {
        // "b" is a second name of "a", and the batch moves "a" onto it: killed once "a" was
        // staged, the file's other name is the batch's own, never a name left behind.
        files.createFile("a", "a");
        fs::create_hard_link(files / "a", files / "b");
        add("a", "b");
        add("b", "c");
        abandonJournal();
        stage(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "a", "b" }));
        EXPECT_EQ(fs::hard_link_count(files / "a"), 2U);
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, ASourceTakenByAnotherFileLeavesTheJournalForLater)
    {
        add("a", "b");
        add("c", "d");
        abandonJournal();
        stage(0);
        stage(1);
        files.createFile("a", "someone else's");
        auto report = recover();
        ASSERT_EQ(report.stranded.size(), 1U);
        EXPECT_EQ(report.stranded[0], (StrandedFile { entries[0].temp, entries[0].from }));
        EXPECT_EQ(contentAt("a"), "someone else's");
        EXPECT_EQ(contentAt("c"), "c");
        EXPECT_EQ(journals().size(), 1U);

        fs::remove(files / "a");
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, AFileThatCannotBePutBackIsReportedAndItsJournalStays)
    {
        struct Case {
            const char* label;
            /// Entries staged, then placed, before the process died.
            std::size_t staged;
            std::size_t placed;
            /// What became of entry 1 meanwhile, or at recovery.
            enum class Fault { movedAwayByHand, cannotLeaveItsDestination } fault;
            /// Where the batch left entry 1: where the report finds it, or names it as not
            /// found when it was moved away.
            bool atDestination;
        };
        const Case cases[] {
            { "staged file moved away", 3, 0, Case::Fault::movedAwayByHand, false },
            { "placed file moved away", 5, 3, Case::Fault::movedAwayByHand, true },
            { "placed file stuck", 5, 2, Case::Fault::cannotLeaveItsDestination, true },
        };
        for (const auto& each : cases) {
            files.createFolder("away");
            entries.clear();
            for (int index = 0; index < 5; ++index)
                add(std::to_string(index), "renamed-" + std::to_string(index));
            abandonJournal();
            for (std::size_t index = 0; index < each.staged; ++index)
                stage(index);
            for (std::size_t index = 0; index < each.placed; ++index)
                place(index);
            testing::FailingFileSystem fileSystem;
            if (each.fault == Case::Fault::movedAwayByHand) {
                const auto& at = each.placed > 1 ? entries[1].to : entries[1].temp;
                fs::rename(at.path, files / "away" / "1");
            } else {
                fileSystem.fails = [&](const testing::FileSystemCall& call) {
                    return call.kind == testing::FileSystemCall::Kind::moveItem
                        && call.first == entries[1].to;
                };
            }

            auto report = recover(fileSystem);
            const auto& expected = each.atDestination ? entries[1].to : entries[1].temp;
            bool movedAway = each.fault == Case::Fault::movedAwayByHand;
            EXPECT_EQ(movedAway ? report.missing : report.stranded,
                (std::vector<StrandedFile> { { expected, entries[1].from } }))
                << each.label;
            EXPECT_TRUE((movedAway ? report.stranded : report.missing).empty()) << each.label;
            EXPECT_TRUE(report.problems.empty()) << each.label;
            for (std::size_t index : { 0, 2, 3, 4 })
                EXPECT_EQ(contentAt(std::to_string(index)), std::to_string(index)) << each.label;
            EXPECT_EQ(journals().size(), 1U) << each.label << ": kept for a later try";

            // Once the file is back where the report says, the next start puts it home.
            if (each.fault == Case::Fault::movedAwayByHand)
                fs::rename(files / "away" / "1", expected.path);
            EXPECT_TRUE(recover().empty()) << each.label;
            EXPECT_EQ(contentAt("1"), "1") << each.label;
            EXPECT_TRUE(journals().empty()) << each.label;
            fs::remove_all(files.path());
            fs::create_directory(files.path());
        }
    }

    TEST_F(InterruptedBatch, WhatCannotBePutBackIsNamedWhereItIsOnTheDisk)
    {
        struct Case {
            const char* label;
            /// Entries staged, then placed, before the process died.
            std::size_t staged;
            std::size_t placed;
            /// Where entry 1's file is moved to meanwhile ("" deletes it), relative to the
            /// folder of its source ("in") or of its destination ("out").
            const char* movedTo;
            /// Where the report names it; nothing when it is not found.
            std::optional<std::string> foundAt;
        };
        const Case cases[] {
            // As a watch folder's own preset used to rename a placed file a second time.
            { "placed, renamed beside its destination", 3, 2, "out/1-new-x", "out/1-new-x" },
            { "staged, renamed beside its source", 3, 0, "in/renamed", "in/renamed" },
            { "placed, moved back beside its source", 3, 2, "in/elsewhere", "in/elsewhere" },
            { "staged, deleted", 3, 0, "", std::nullopt },
            { "staged, moved to another folder", 3, 0, "away/1", std::nullopt },
        };
        for (const auto& each : cases) {
            files.createFolder("in");
            files.createFolder("out");
            files.createFolder("away");
            entries.clear();
            for (int index = 0; index < 3; ++index)
                add("in/" + std::to_string(index), "out/" + std::to_string(index) + "-new");
            abandonJournal();
            for (std::size_t index = 0; index < each.staged; ++index)
                stage(index);
            for (std::size_t index = 0; index < each.placed; ++index)
                place(index);
            const auto& left = each.placed > 1 ? entries[1].to : entries[1].temp;
            if (std::string(each.movedTo).empty())
                fs::remove(left.path);
            else
                rename(left, url(each.movedTo));

            auto report = recover();
            if (each.foundAt) {
                EXPECT_EQ(report.stranded,
                    (std::vector<StrandedFile> { { url(*each.foundAt), entries[1].from } }))
                    << each.label;
                EXPECT_TRUE(report.missing.empty()) << each.label;
                EXPECT_EQ(contentAt(*each.foundAt), "in/1") << each.label;
            } else {
                EXPECT_TRUE(report.stranded.empty()) << each.label;
                EXPECT_EQ(report.missing, (std::vector<StrandedFile> { { left, entries[1].from } }))
                    << each.label << ": named where the batch left it, as not found";
            }
            for (std::size_t index : { 0, 2 })
                EXPECT_EQ(contentAt("in/" + std::to_string(index)), "in/" + std::to_string(index))
                    << each.label;
            EXPECT_EQ(journals().size(), 1U) << each.label << ": kept for a later try";
            fs::remove_all(files.path());
            fs::create_directory(files.path());
            fs::remove_all(data.path());
            fs::create_directory(data.path());
        }
    }

    TEST_F(InterruptedBatch, SourcesDifferingOnlyInLetterCaseAreTwoFilesPutBack)
    {
        add("Photo.JPG", "Photo 1.JPG");
        add("photo.jpg", "photo 2.jpg");
        abandonJournal();
        stage(0);
        stage(1);
        place(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "Photo.JPG", "photo.jpg" }));
        EXPECT_EQ(contentAt("Photo.JPG"), "Photo.JPG");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, ARunningBatchIsLeftAlone)
    {
        add("a", "b");
        auto journal = RenameJournal::begin(journalFolder(), entries);
        stage(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_TRUE(fs::exists(entries[0].temp.path));
        EXPECT_EQ(journals().size(), 1U);
        journal = RenameJournal();
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
    }

    TEST_F(InterruptedBatch, AJournalThatNeverGotItsNameIsRemoved)
    {
        data.createFile(
            "sorvik/" + std::string(RenameJournal::fileNamePrefix) + Uuid::random().text() + ".tmp",
            "sorvik rename");
        data.createFile("sorvik/history.json", "[]");
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(journals(), (std::vector<std::string> { "history.json" }));
    }

    TEST_F(InterruptedBatch, NoJournalFolderIsNoFailure) { EXPECT_TRUE(recover().empty()); }

    TEST_F(InterruptedBatch, UnsoundJournalsAreSetAsideWithoutTouchingAFile)
    {
        files.createFile("keep", "keep");
        files.createFile("other", "other");
        auto keep = url("keep");
        auto other = url("other");
        auto temp = [&] { return keep.deletingLastPathComponent().appending(temporaryName()); };
        struct Case {
            const char* label;
            std::vector<RenameJournalEntry> entries;
            const char* reason;
        };
        std::string staged = temp().path;
        const std::vector<Case> cases = {
            // Recovery would have removed the destination as a second name of the temporary
            // one, deleting the file.
            { "temporary name is the destination", { { other, keep, keep, 0 } }, "temporary" },
            { "temporary name is the source", { { keep, keep, other, 0 } }, "temporary" },
            { "temporary name of another form", { { other, url("not-temporary"), keep, 0 } },
                "temporary" },
            { "temporary name in another folder",
                { { other, FileURL("/tmp/" + temporaryName()), url("x"), 0 } }, "temporary" },
            { "path not plain",
                { { FileURL(files.path().string() + "/a/../keep"), temp(), other, 0 } }, "plain" },
            { "source is the destination", { { other, temp(), FileURL(other.path), 0 } }, "twice" },
            { "two entries share a temporary name",
                { { keep, FileURL(staged), url("k2"), 0 },
                    { other, FileURL(staged), url("o2"), 0 } },
                "two entries" },
            { "temporary name is another entry's destination",
                { { keep, FileURL(staged), url("k2"), 0 }, { other, temp(), FileURL(staged), 0 } },
                "temporary" },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.label);
            RenameJournal::begin(journalFolder(), each.entries);
            auto report = recover();
            ASSERT_EQ(report.problems.size(), 1U);
            EXPECT_NE(report.problems[0].find(each.reason), std::string::npos)
                << report.problems[0];
            EXPECT_NE(report.problems[0].find("no file was moved"), std::string::npos);
            EXPECT_TRUE(report.stranded.empty());
            EXPECT_EQ(contentAt("keep"), "keep");
            EXPECT_EQ(contentAt("other"), "other");
            EXPECT_EQ(listing(), (std::vector<std::string> { "keep", "other" }));
            EXPECT_TRUE(recover().empty()) << "reported once";
            auto names = journals();
            ASSERT_EQ(names.size(), 1U);
            EXPECT_TRUE(names[0].ends_with(".unsound"));
            fs::remove_all(data / "sorvik");
        }
    }

    TEST_F(InterruptedBatch, AJournalReachingOutsideTheGrantsIsSetAside)
    {
        TemporaryFolder granted;
        granted.createFile("photo.jpg", "granted");
        // A journal that would move a granted file out of the granted folder.
        FileURL inside((granted / "photo.jpg").string());
        FileURL outside((files / "photo.jpg").string());
        RenameJournal::begin(journalFolder(),
            { { outside, outside.deletingLastPathComponent().appending(temporaryName()), inside,
                inodeOf(granted / "photo.jpg") } });
        auto report
            = recover({ std::vector<FileURL> { FileURL(granted.path().string(), true) }, {} });
        ASSERT_EQ(report.problems.size(), 1U);
        EXPECT_NE(report.problems[0].find("not inside a granted folder"), std::string::npos)
            << report.problems[0];
        EXPECT_EQ(readFile(granted / "photo.jpg"), "granted");
        EXPECT_TRUE(listing().empty());
    }

    TEST_F(InterruptedBatch, WhatStandsUnderAJournalsNameIsNeverReadInAWayThatStalls)
    {
        auto name
            = [] { return std::string(RenameJournal::fileNamePrefix) + Uuid::random().text(); };
        fs::create_directories(data / "sorvik");
        auto fifo = data / "sorvik" / name();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        fs::create_directory(data / "sorvik" / name());
        fs::create_symlink("/dev/zero", data / "sorvik" / name());
        auto started = std::chrono::steady_clock::now();
        auto report = recover();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
        ASSERT_EQ(report.problems.size(), 3U);
        for (const auto& problem : report.problems)
            EXPECT_NE(problem.find("was not used"), std::string::npos) << problem;
        for (const auto& left : journals())
            EXPECT_TRUE(left.ends_with(".unsound")) << left;
        EXPECT_TRUE(recover().empty());
        EXPECT_THROW(
            RenameJournal::read(FileURL((data / "sorvik" / journals()[0]).string())), Error);
    }

    TEST_F(InterruptedBatch, AFinishedBatchGetsItsRecordInsteadOfGoingBack)
    {
        add("a", "new/b");
        add("c", "d");
        planned = { url("new") };
        RenameJournalBatch written { Uuid::random(), std::nullopt, entries, planned };
        {
            // Killed after the last move, before the history record was written.
            auto journal = RenameJournal::begin(journalFolder(), written);
            stage(0);
            stage(1);
            fs::create_directory(files / "new");
            place(0);
            place(1);
            journal.markComplete({ Date { 1234.5 }, { FileURL(url("new").path, true) } });
        }
        std::vector<HistoryRecord> recorded;
        bool historyFails = true;
        JournalRecovery::Options options;
        options.recordBatch = [&](const HistoryRecord& record) {
            if (historyFails)
                throw Error("history.json: disk full");
            recorded.push_back(record);
        };
        auto report = recover(options);
        ASSERT_EQ(report.problems.size(), 1U);
        EXPECT_NE(report.problems[0].find("disk full"), std::string::npos);
        EXPECT_EQ(journals().size(), 1U) << "kept until the record is written";

        historyFails = false;
        EXPECT_TRUE(recover(options).empty());
        ASSERT_EQ(recorded.size(), 1U);
        const auto& record = recorded[0];
        EXPECT_EQ(record.id, *written.id);
        EXPECT_EQ(record.date.seconds, 1234.5);
        EXPECT_EQ(record.moves,
            (std::vector<RenameMove> {
                { entries[0].from, entries[0].to }, { entries[1].from, entries[1].to } }));
        EXPECT_EQ(record.fingerprints.at(entries[0].to.path), FileFingerprint(entries[0].to));
        EXPECT_EQ(
            record.createdDirectories, (std::vector<FileURL> { FileURL(url("new").path, true) }));
        EXPECT_FALSE(record.undone);
        EXPECT_EQ(contentAt("new/b"), "a") << "the files stay renamed";
        EXPECT_EQ(contentAt("d"), "c");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, FoldersTheBatchMadeGoWhenItIsPutBack)
    {
        // An organize batch: "a" goes into new/x, "b" into a folder where file "c" was.
        add("a", "new/x/a");
        add("b", "c/b");
        add("c", "c-file");
        files.createFile("kept/untouched", "u");
        planned = { url("new"), url("new/x"), url("c") };
        abandonJournal();
        for (std::size_t index = 0; index < entries.size(); ++index)
            stage(index);
        fs::create_directories(files / "new" / "x");
        fs::create_directory(files / "c");
        place(0);
        place(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(
            listing(), (std::vector<std::string> { "a", "b", "c", "kept", "kept/untouched" }));
        EXPECT_EQ(contentAt("c"), "c");
    }

    TEST_F(InterruptedBatch, AFolderThatIsTheBatchsOwnSourceIsNeverRemoved)
    {
        // "empty" is an empty folder renamed by the batch; killed before it moved at all.
        fs::create_directory(files / "empty");
        entries.push_back(
            { FileURL(url("empty").path, true), FileURL(url(temporaryName()).path, true),
                FileURL(url("renamed").path, true), inodeOf(files / "empty") });
        add("f", "empty/f");
        planned = { url("empty") };
        abandonJournal();
        stage(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_TRUE(fs::is_directory(files / "empty"));
        EXPECT_EQ(contentAt("f"), "f");
    }

    TEST(RenameJournalStart, ManyProcessesStartingAtOnceNeverLoseAFreshJournal)
    {
        TemporaryFolder data;
        FileURL folder((data / "sorvik").string(), true);
        fs::create_directories(folder.path);
        RenameJournalBatch batch;
        batch.entries.push_back({ FileURL("/nowhere/a"), FileURL("/nowhere/" + temporaryName()),
            FileURL("/nowhere/b"), 0 });
        std::vector<pid_t> children;
        for (int child = 0; child < 6; ++child) {
            pid_t process = ::fork();
            if (process == 0) {
                // A forked child starts with its parent's random numbers; unrelated processes
                // do not, so each child moves far along the sequence.
                for (int skipped = 0; skipped < 1000 * (child + 1); ++skipped)
                    Uuid::random();
                int status = 0;
                try {
                    for (int round = 0; round < 40; ++round) {
                        // Half of them as where files cannot be made without a name; every one
                        // also does what a start-up does, on everybody's journals.
                        auto journal = child % 2 ? RenameJournal::beginNamed(folder, batch)
                                                 : RenameJournal::begin(folder, batch);
                        LocalFileSystem fileSystem;
                        RenameExecutor(fileSystem, folder).recoverInterruptedBatches();
                        if (!fs::exists(journal.url().path))
                            status = 2;
                        journal.finish();
                    }
                } catch (...) {
                    status = 1;
                }
                ::_exit(status);
            }
            children.push_back(process);
        }
        for (pid_t child : children) {
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        EXPECT_TRUE(fs::is_empty(folder.path));
    }

} // namespace
} // namespace sorvik
