#include "engine/apply/history_record.h"

#include "engine/apply/file_system.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/json.h"
#include "engine/model/json_stream.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    // Two files renamed by a batch, and the record made right after it.
    class History : public ::testing::Test {
    protected:
        History()
        {
            folder.createFile("b.txt", "first", 1700000000.25);
            folder.createFile("d.txt", "second", 1700000100.5);
            moves = { { url("a.txt"), url("b.txt") }, { url("c.txt"), url("d.txt") } };
        }
        FileURL url(const std::string& name) const { return FileURL((folder / name).string()); }
        std::string undoFailure(const HistoryRecord& record) const
        {
            try {
                record.validateForUndo();
            } catch (const RenameExecutionError& error) {
                EXPECT_TRUE(error.recoveryFiles().empty());
                return error.what();
            }
            return "<no failure>";
        }

        TemporaryFolder folder;
        std::vector<RenameMove> moves;
    };

    TEST_F(History, RecordTakesTheFingerprintOfEveryDestination)
    {
        Uuid id = Uuid::random();
        Date before = Date::now();
        HistoryRecord record(id, moves, std::nullopt, std::nullopt);
        EXPECT_EQ(record.id, id);
        EXPECT_EQ(record.schemaVersion, 1);
        EXPECT_GE(record.date, before);
        EXPECT_FALSE(record.undone);
        ASSERT_EQ(record.fingerprints.size(), 2U);
        const auto& fingerprint = record.fingerprints.at(url("b.txt").path);
        struct stat status { };
        ::lstat((folder / "b.txt").c_str(), &status);
        EXPECT_EQ(fingerprint.size, 5);
        EXPECT_EQ(fingerprint.inode, status.st_ino);
        EXPECT_EQ(fingerprint.modified,
            Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec));
    }

    TEST_F(History, UndoMovesAreTheRecordedMovesReversedInOrder)
    {
        HistoryRecord record(Uuid::random(), moves, std::nullopt, std::nullopt);
        EXPECT_EQ(record.validateForUndo(),
            (std::vector<RenameMove> {
                { url("b.txt"), url("a.txt") }, { url("d.txt"), url("c.txt") } }));
        EXPECT_TRUE(HistoryRecord(Uuid::random(), {}, std::nullopt, std::nullopt)
                        .validateForUndo()
                        .empty());
    }

    TEST_F(History, AChangedFileStopsTheUndo)
    {
        HistoryRecord record(Uuid::random(), moves, std::nullopt, std::nullopt);
        // Refused before anything moved: nothing was staged to be restored.
        const std::string changed = "File changed since this batch: " + url("d.txt").path;

        // Rewritten in place: same size, new modification date.
        folder.createFile("d.txt", "SECOND", 1700000200);
        EXPECT_EQ(undoFailure(record), changed);

        // Replaced by a copy with the same size and date: a new file number.
        folder.createFile("d.txt", "second", 1700000100.5);
        fs::copy_file(folder / "d.txt", folder / "copy.txt");
        fs::remove(folder / "d.txt");
        fs::rename(folder / "copy.txt", folder / "d.txt");
        folder.createFile("d.txt", "second", 1700000100.5);
        EXPECT_EQ(undoFailure(record), changed);

        // No fingerprint for a destination.
        HistoryRecord missing
            = HistoryRecord(Uuid::random(), { moves[0] }, std::nullopt, std::nullopt);
        missing.moves = moves;
        EXPECT_EQ(undoFailure(missing), changed);
    }

    TEST_F(History, AFileThatIsGoneFailsWithTheFileSystemError)
    {
        HistoryRecord record(Uuid::random(), moves, std::nullopt, std::nullopt);
        fs::remove(folder / "b.txt");
        try {
            record.validateForUndo();
            FAIL();
        } catch (const FileSystemError& error) {
            EXPECT_EQ(error.code(), ENOENT);
        }
        EXPECT_THROW(
            HistoryRecord(Uuid::random(), moves, std::nullopt, std::nullopt), FileSystemError);
    }

    TEST_F(History, ABatchWithTwoMovesToOnePathIsRefused)
    {
        EXPECT_THROW(HistoryRecord(Uuid::random(), { moves[0], { url("x.txt"), url("b.txt") } },
                         std::nullopt, std::nullopt),
            RenameExecutionError);
    }

    TEST_F(History, JsonRoundTripIsExact)
    {
        HistoryRecord record(Uuid::random(), moves,
            std::vector<FileURL> { FileURL("/d/x", true), FileURL("/d/x/y", true) },
            FileURL("/data/Backups/B", true));
        record.undone = true;
        nlohmann::json value = record;
        HistoryRecord read = json::parse(json::serialize(value)).get<HistoryRecord>();
        EXPECT_EQ(read, record);
        const auto& written = record.fingerprints.at(url("b.txt").path);
        const auto& readBack = read.fingerprints.at(url("b.txt").path);
        EXPECT_EQ(
            std::memcmp(&written.modified.seconds, &readBack.modified.seconds, sizeof(double)), 0);
        EXPECT_EQ(value["createdDirectories"][0], "file:///d/x/");
        EXPECT_EQ(value["fingerprints"][url("d.txt").path]["size"], 6);
    }

    TEST_F(History, OptionalKeysAreLeftOutAndOthersRequired)
    {
        HistoryRecord record(Uuid::random(), moves, std::nullopt, std::nullopt);
        nlohmann::json value = record;
        EXPECT_FALSE(value.contains("backupPath"));
        EXPECT_FALSE(value.contains("createdDirectories"));
        EXPECT_EQ(value.get<HistoryRecord>(), record);

        for (const char* key :
            { "id", "schemaVersion", "date", "moves", "fingerprints", "undone" }) {
            nlohmann::json without = value;
            without.erase(key);
            EXPECT_THROW(without.get<HistoryRecord>(), json::DecodeError) << key;
        }
        nlohmann::json badFingerprint = value;
        badFingerprint["fingerprints"][url("b.txt").path].erase("inode");
        try {
            badFingerprint.get<HistoryRecord>();
            FAIL();
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.path(), "fingerprints." + url("b.txt").path);
        }
        nlohmann::json negativeInode = value;
        negativeInode["fingerprints"][url("b.txt").path]["inode"] = -1;
        EXPECT_THROW(negativeInode.get<HistoryRecord>(), json::DecodeError);
        nlohmann::json nullBackup = value;
        nullBackup["backupPath"] = nullptr;
        EXPECT_FALSE(nullBackup.get<HistoryRecord>().backupPath);
    }

    // A folder whose name is not UTF-8, as an old file system or an archive leaves it.
    class PathNotUTF8 : public ::testing::Test {
    protected:
        PathNotUTF8()
        {
            folder.createFile("caf\xE9/a.txt", "alpha", 1700000000.25);
            folder.createFile("caf\xE9/c.txt", "gamma", 1700000000.5);
            moves = { { url("caf\xE9/a.txt"), url("caf\xE9/b\xFF.txt") },
                { url("caf\xE9/c.txt"), url("d.txt") } };
        }
        FileURL url(const std::string& relative) const
        {
            return FileURL((folder / relative).string());
        }
        /// The batch carried out by the executor, with a journal and a backup, and its record.
        HistoryRecord apply()
        {
            LocalFileSystem fileSystem;
            RenameExecutor executor(fileSystem, FileURL((data / "sorvik").string(), true));
            BatchOptions options;
            options.recordId = Uuid::random();
            options.backupDirectory = FileURL((data / "Backups" / "B").string(), true);
            auto applied = executor.apply(moves, options);
            auto record = recordOf(*options.recordId, moves, applied, options.backupDirectory);
            applied.journal.finish();
            return record;
        }
        static HistoryRecord storedAndReadBack(const HistoryRecord& record)
        {
            std::string text;
            appendStoredRecord(text, record);
            auto reader = json::StreamReader::overText(text);
            EXPECT_EQ(reader.next(), json::StreamReader::Token::beginObject);
            HistoryRecord read;
            readStoredRecord(reader, &read);
            return read;
        }

        TemporaryFolder folder;
        TemporaryFolder data;
        std::vector<RenameMove> moves;
    };

    TEST_F(PathNotUTF8, RecordReadsBackByteForByteInBothWrittenForms)
    {
        auto record = apply();
        nlohmann::json value = record;
        const auto readBack = {
            json::parse(json::serialize(value)).get<HistoryRecord>(),
            storedAndReadBack(record),
        };
        for (const auto& read : readBack) {
            EXPECT_EQ(read, record);
            EXPECT_EQ(read.fingerprints.at(url("caf\xE9/b\xFF.txt").path),
                FileFingerprint(url("caf\xE9/b\xFF.txt")));
            EXPECT_NO_THROW(read.validateForUndo());
        }
        // Only a path that JSON text cannot hold takes the URL form; the others stay as
        // earlier versions wrote and read them.
        EXPECT_TRUE(value["fingerprints"].contains(
            "file://" + percentEncodePath(url("caf\xE9/b\xFF.txt").path)));
        EXPECT_TRUE(value["fingerprints"].contains(url("d.txt").path));
    }

    TEST_F(PathNotUTF8, UndoStillChecksTheFingerprint)
    {
        auto read = storedAndReadBack(apply());
        std::ofstream(url("caf\xE9/b\xFF.txt").path) << "rewritten";
        try {
            read.validateForUndo();
            FAIL() << "the changed file passed";
        } catch (const RenameExecutionError& error) {
            EXPECT_EQ(
                error.cause(), "File changed since this batch: " + url("caf\xE9/b\xFF.txt").path);
        }
    }

    TEST_F(PathNotUTF8, AStoredNameThatLooksLikeAURLButIsNoneIsRefused)
    {
        auto record = apply();
        nlohmann::json value = record;
        auto fingerprint = value["fingerprints"][url("d.txt").path];
        value["fingerprints"]["file:///a%00b"] = fingerprint;
        EXPECT_THROW(value.get<HistoryRecord>(), json::DecodeError);
    }

    TEST_F(PathNotUTF8, JournalAndBackupManifestKeepEveryByte)
    {
        // The journal as a killed batch leaves it.
        std::vector<RenameJournalEntry> entries;
        for (const auto& move : moves)
            entries.push_back({ move.from,
                move.from.deletingLastPathComponent().appending(
                    "." + Uuid::random().text() + ".twtmp"),
                move.to, FileFingerprint(move.from).inode });
        RenameJournalBatch batch { Uuid::random(), FileURL(url("caf\xE9/backup\xFE").path, true),
            entries, { FileURL(url("caf\xE9/new\xFD").path, true) } };
        FileURL journalFolder((data / "journals").string(), true);
        {
            auto journal = RenameJournal::begin(journalFolder, batch);
            EXPECT_EQ(RenameJournal::read(journal.url()).batch, batch);
            journal.finish();
        }

        apply();
        std::ifstream manifest(data / "Backups" / "B" / "manifest.json");
        std::stringstream text;
        text << manifest.rdbuf();
        EXPECT_EQ(json::parse(text.str()).get<std::vector<RenameMove>>(), moves);
    }

    TEST(FileFingerprint, EqualityAndHashCoverAllThreeFields)
    {
        FileFingerprint base(10, Date { 5.5 }, 42);
        EXPECT_EQ(base, FileFingerprint(10, Date { 5.5 }, 42));
        EXPECT_EQ(std::hash<FileFingerprint> {}(base),
            std::hash<FileFingerprint> {}(FileFingerprint(10, Date { 5.5 }, 42)));
        EXPECT_NE(base, FileFingerprint(11, Date { 5.5 }, 42));
        EXPECT_NE(base, FileFingerprint(10, Date { 5.5000001 }, 42));
        EXPECT_NE(base, FileFingerprint(10, Date { 5.5 }, 43));
        FileFingerprint unread;
        EXPECT_EQ(unread.size, -1);
        EXPECT_EQ(unread.modified, Date::distantPast());
        EXPECT_EQ(unread.inode, 0U);
    }

    TEST(FileFingerprint, DoesNotFollowAFinalLink)
    {
        TemporaryFolder folder;
        folder.createFile("target", "0123456789");
        fs::create_symlink(folder / "target", folder / "link");
        FileFingerprint link(FileURL((folder / "link").string()));
        FileFingerprint target(FileURL((folder / "target").string()));
        EXPECT_NE(link.inode, target.inode);
        EXPECT_EQ(link.size, static_cast<std::int64_t>((folder / "target").string().size()));
    }

} // namespace
} // namespace sorvik
