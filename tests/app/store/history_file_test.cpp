#include "app/store/history_file.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "engine/model/json.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    namespace fs = std::filesystem;

    HistoryRecord recordWithMove(const std::string& name)
    {
        HistoryRecord record;
        record.id = Uuid::random();
        record.date = Date::now();
        record.moves = { RenameMove { FileURL("/a/" + name), FileURL("/a/" + name + "-renamed") } };
        record.fingerprints["/a/" + name + "-renamed"] = FileFingerprint(12, Date::now(), 34);
        return record;
    }

    /// A record with every member and the values that are hard to store.
    HistoryRecord fullRecord()
    {
        HistoryRecord record = recordWithMove("caf\xC3\xA9 \"quoted\" \\ %25 \xF0\x9F\x93\xB7");
        record.moves.push_back(
            { FileURL("/b/bytes\xFF.txt"), FileURL("/b/x/y.txt") }); // a URL holds any bytes
        record.fingerprints["/b/x/y.txt"]
            = FileFingerprint(-1, Date::distantPast(), std::numeric_limits<std::uint64_t>::max());
        record.createdDirectories = std::vector<FileURL> { FileURL("/b/x", true) };
        record.backupPath = FileURL("/data/Backups/" + record.id.text(), true);
        record.undone = true;
        record.date = Date { 737123456.1234567 };
        return record;
    }

    fs::path historyPath() { return JSONFiles::applicationFolder() / HistoryFile::fileName; }

    void writeHistory(std::string_view text)
    {
        fs::create_directories(historyPath().parent_path());
        std::ofstream(historyPath(), std::ios::binary | std::ios::trunc) << text;
    }

    TEST(HistoryFile, MissingFileIsAnEmptyHistoryAndInsertsCreateIt)
    {
        testing::IsolatedHome home;
        EXPECT_TRUE(HistoryFile::load().empty());
        auto first = recordWithMove("one");
        auto second = recordWithMove("two");
        EXPECT_TRUE(HistoryFile::insert(first));
        EXPECT_TRUE(HistoryFile::insert(second));
        EXPECT_EQ(HistoryFile::load(), (std::vector<HistoryRecord> { second, first }));
    }

    TEST(HistoryFile, RecordsAreStoredOneMemberPerLineWithSortedKeys)
    {
        testing::IsolatedHome home;
        HistoryRecord record;
        record.id = Uuid::parse("0B9E8D7C-6A5B-4C3D-8E2F-1A0B9C8D7E6F").value();
        record.date = Date { 1.5 };
        record.moves = { { FileURL("/a/x"), FileURL("/a/y") } };
        record.fingerprints["/a/y"] = FileFingerprint(3, Date { 2.0 }, 4);
        record.backupPath = FileURL("/b", true);
        record.createdDirectories = std::vector<FileURL> {};
        HistoryFile::insert(record);
        EXPECT_EQ(readFile(historyPath()),
            "[\n{\n\"backupPath\":\"file:\\/\\/\\/b\\/\",\n\"createdDirectories\":[],\n"
            "\"date\":1.5,\n\"fingerprints\":{\n\"\\/a\\/y\":{\n\"inode\":4,\n\"modified\":2.0,\n"
            "\"size\":3\n}\n},\n\"id\":\"0B9E8D7C-6A5B-4C3D-8E2F-1A0B9C8D7E6F\",\n\"moves\":[\n{\n"
            "\"from\":\"file:\\/\\/\\/a\\/x\",\n\"to\":\"file:\\/\\/\\/a\\/y\"\n}\n],\n"
            "\"schemaVersion\":1,\n\"undone\":false\n}\n]\n");
        // Other readers of JSON read it as any JSON.
        EXPECT_EQ(json::parse(readFile(historyPath()))[0], nlohmann::json(record));
    }

    TEST(HistoryFile, StoredRecordsAreCopiedExactlyWhateverTheirForm)
    {
        testing::IsolatedHome home;
        // Written the way every other stored file is (pretty-printed), as earlier versions
        // wrote the history.
        std::vector<HistoryRecord> earlier { fullRecord(), recordWithMove("b"), fullRecord() };
        earlier[2].createdDirectories.reset();
        earlier[2].backupPath.reset();
        earlier[2].moves.clear();
        earlier[2].fingerprints.clear();
        JSONFiles::save(earlier, HistoryFile::fileName);
        EXPECT_EQ(HistoryFile::load(), earlier);

        auto newest = fullRecord();
        HistoryFile::insert(newest);
        auto expected = earlier;
        expected.insert(expected.begin(), newest);
        EXPECT_EQ(HistoryFile::load(), expected);
        EXPECT_EQ(JSONFiles::load<std::vector<HistoryRecord>>(HistoryFile::fileName), expected);
    }

    TEST(HistoryFile, RecordsWrittenInAnyJsonFormAreCopiedAsTheyRead)
    {
        testing::IsolatedHome home;
        // Slashes not escaped, escapes the stored form does not use, white space anywhere.
        writeHistory(
            "\xEF\xBB\xBF [ {\"undone\" : false, \"schemaVersion\":1,\n\t\"moves\":[{\"to\":"
            "\"file:///a/\\u0041\",\"from\":\"file:\\/\\/\\/a\\/\\u00e9\\ud83d\\udcf7\"}],"
            "\"id\":\"0b9e8d7c-6a5b-4c3d-8e2f-1a0b9c8d7e6f\",\"fingerprints\":{\"/a/A\":"
            "{\"size\":1,\"inode\":2,\"modified\":3e2}},\"date\":-0.5} ]\r\n");
        auto before = HistoryFile::load();
        ASSERT_EQ(before.size(), 1U);
        EXPECT_EQ(before[0].moves[0].from.path, "/a/\xC3\xA9\xF0\x9F\x93\xB7");
        EXPECT_EQ(before[0].moves[0].to.path, "/a/A");
        EXPECT_EQ(before[0].fingerprints.at("/a/A").modified, Date { 300 });
        auto newest = recordWithMove("n");
        HistoryFile::insert(newest);
        EXPECT_EQ(HistoryFile::load(), (std::vector<HistoryRecord> { newest, before[0] }));
    }

    TEST(HistoryFile, AHistoryLargerThanOneReadIsCopiedExactly)
    {
        testing::IsolatedHome home;
        auto large = fullRecord();
        for (int index = 0; index < 20'000; ++index) {
            auto to = "/photos/caf\xC3\xA9/" + std::to_string(index) + " \"x\"/y.jpg";
            large.moves.push_back({ FileURL("/photos/" + std::to_string(index)), FileURL(to) });
            large.fingerprints[to] = FileFingerprint(index, Date { index * 0.001 }, index);
        }
        HistoryFile::insert(large);
        auto next = recordWithMove("next");
        HistoryFile::insert(next);
        ASSERT_GT(fs::file_size(historyPath()), 2U << 20);
        EXPECT_EQ(HistoryFile::load(), (std::vector<HistoryRecord> { next, large }));
        EXPECT_TRUE(HistoryFile::markUndone(large.id));
        large.undone = true;
        EXPECT_EQ(JSONFiles::load<std::vector<HistoryRecord>>(HistoryFile::fileName),
            (std::vector<HistoryRecord> { next, large }));
    }

    /// Every change made with the index of the last write gives the very file that a change
    /// reading the whole history gives.
    TEST(HistoryFile, TheIndexGivesTheSameFileAsAFullRead)
    {
        auto indexPath = [] { return JSONFiles::applicationFolder() / HistoryFile::indexName; };
        std::vector<HistoryRecord> records;
        for (int index = 0; index < 6; ++index) {
            records.push_back(index == 2 ? fullRecord() : recordWithMove(std::to_string(index)));
            records.back().date = Date { 1000.0 + index };
        }
        auto late = recordWithMove("late");
        late.date = Date { 1002.5 };
        const std::function<void()> steps[] = {
            [&] { HistoryFile::insert(records[0]); },
            [&] { HistoryFile::insert(records[1]); },
            [&] { HistoryFile::insert(records[2]); },
            [&] { HistoryFile::markUndone(records[1].id); },
            [&] { HistoryFile::insert(records[3]); },
            [&] { HistoryFile::insert(late, HistoryFile::Placement::byDate); },
            [&] { HistoryFile::markUndone(records[3].id); },
            [&] { HistoryFile::markUndone(records[0].id); },
            [&] { HistoryFile::insert(records[4]); },
            [&] { HistoryFile::markUndone(late.id); },
        };
        std::vector<std::string> indexed;
        {
            testing::IsolatedHome home;
            for (const auto& step : steps) {
                step();
                ASSERT_TRUE(fs::exists(indexPath()));
                indexed.push_back(readFile(historyPath()));
            }
        }
        testing::IsolatedHome home;
        for (std::size_t index = 0; index < std::size(steps); ++index) {
            fs::remove(indexPath());
            steps[index]();
            EXPECT_EQ(readFile(historyPath()), indexed[index]) << "step " << index;
        }
        EXPECT_NO_THROW(HistoryFile::load());
    }

    fs::path indexPath() { return JSONFiles::applicationFolder() / HistoryFile::indexName; }

    void writeIndex(const std::string& text)
    {
        std::ofstream(indexPath(), std::ios::binary | std::ios::trunc) << text;
    }

    /// `index` made to describe the history file as it is now: its device, file number, size
    /// and times, as a writer that went before leaves them.
    void describeTheFileNow(nlohmann::json& index)
    {
        struct stat status { };
        ASSERT_EQ(::stat(historyPath().c_str(), &status), 0);
        index["device"] = static_cast<std::uint64_t>(status.st_dev);
        index["inode"] = static_cast<std::uint64_t>(status.st_ino);
        index["size"] = static_cast<std::int64_t>(status.st_size);
        index["modified"] = { status.st_mtim.tv_sec, status.st_mtim.tv_nsec };
        index["changed"] = { status.st_ctim.tv_sec, status.st_ctim.tv_nsec };
    }

    /// An index is only a shortcut: whatever it says, about the very file it describes or
    /// not, a change keeps every stored record, in order, with its own id, date and undone
    /// value, and never fails for it.
    TEST(HistoryFile, AnIndexThatLiesChangesNothingThatTheHistoryHolds)
    {
        auto entries = [](nlohmann::json& index) -> nlohmann::json& { return index["records"]; };
        struct Case {
            const char* label;
            /// Changes what the index says, as it describes the file…
            std::function<void(nlohmann::json& index)> claims;
            /// …or its text.
            std::function<void(std::string& text)> text = {};
        };
        const Case cases[] = {
            { "the oldest record left out",
                [&](nlohmann::json& index) { entries(index).erase(4); } },
            { "the newest record left out",
                [&](nlohmann::json& index) { entries(index).erase(0); } },
            { "a record in the middle left out",
                [&](nlohmann::json& index) { entries(index).erase(2); } },
            { "no records",
                [&](nlohmann::json& index) { entries(index) = nlohmann::json::array(); } },
            { "two records out of order",
                [&](nlohmann::json& index) { std::swap(entries(index)[0], entries(index)[1]); } },
            { "the last record reaching past the end",
                [&](nlohmann::json& index) { entries(index)[4][4] = 1'000'000; } },
            { "a record starting off its boundary",
                [&](nlohmann::json& index) {
                    entries(index)[1][3] = entries(index)[1][3].get<std::size_t>() + 1;
                } },
            { "two records made one",
                [&](nlohmann::json& index) {
                    auto& list = entries(index);
                    list[1][4] = list[2][4];
                    list.erase(2);
                } },
            { "the wrong size",
                [](nlohmann::json& index) { index["size"] = index["size"].get<int>() + 1; } },
            { "another record's id",
                [&](nlohmann::json& index) { entries(index)[0][0] = Uuid::random().text(); } },
            { "another date", [&](nlohmann::json& index) { entries(index)[3][1] = 5.0; } },
            { "the other undone value",
                [&](nlohmann::json& index) {
                    auto& entry = entries(index)[1];
                    entry[2] = true;
                    entry[6] = entry[5].get<std::size_t>() + 4;
                } },
            { "the form before ids and dates were indexed",
                [&](nlohmann::json& index) {
                    index.erase("version");
                    for (auto& entry : entries(index))
                        entry.erase(entry.begin() + 7, entry.end());
                } },
            { "cut short", {}, [](std::string& text) { text.resize(text.size() / 2); } },
            { "garbage", {}, [](std::string& text) { text = std::string("\x00\xFFgarbage", 9); } },
            { "empty", {}, [](std::string& text) { text.clear(); } },
        };
        auto records = [] {
            std::vector<HistoryRecord> stored;
            for (int index = 0; index < 5; ++index) {
                stored.push_back(index == 2 ? fullRecord() : recordWithMove(std::to_string(index)));
                stored.back().date = Date { 1000.0 + index };
            }
            return stored;
        }();
        for (const auto& test : cases) {
            SCOPED_TRACE(test.label);
            testing::IsolatedHome home;
            for (const auto& record : records)
                HistoryFile::insert(record);
            auto stored = HistoryFile::load();
            auto index = nlohmann::json::parse(readFile(indexPath()));
            if (test.claims)
                test.claims(index);
            auto text = index.dump();
            if (test.text)
                test.text(text);
            writeIndex(text);

            auto newest = recordWithMove("newest");
            newest.date = Date { 2000.0 };
            EXPECT_NO_THROW(EXPECT_TRUE(HistoryFile::insert(newest)));
            auto expected = stored;
            expected.insert(expected.begin(), newest);
            EXPECT_EQ(HistoryFile::load(), expected);

            // A record in the middle is found by its id and marked alone, and a late record
            // goes by the dates the file holds.
            EXPECT_NO_THROW(EXPECT_TRUE(HistoryFile::markUndone(stored[3].id)));
            expected[4].undone = true;
            auto late = recordWithMove("late");
            late.date = Date { 1002.5 };
            EXPECT_NO_THROW(EXPECT_TRUE(HistoryFile::insert(late, HistoryFile::Placement::byDate)));
            expected.insert(expected.begin() + 3, late);
            EXPECT_EQ(HistoryFile::load(), expected);
        }
    }

    /// The case an index cannot be told by the file's times alone: another writer left a file
    /// with the device, file number, size and times the index names (a file system with coarse
    /// times, a file number used again), but other records.
    TEST(HistoryFile, AStaleIndexThatLooksLikeTheFileIsNotBelieved)
    {
        testing::IsolatedHome home;
        std::vector<HistoryRecord> records;
        for (int index = 0; index < 4; ++index)
            records.push_back(recordWithMove(std::to_string(index)));
        for (int index = 0; index < 3; ++index)
            HistoryFile::insert(records[index]);
        auto earlier = nlohmann::json::parse(readFile(indexPath()));
        // Another process appends; then its index goes, as with a writer that keeps none.
        HistoryFile::insert(records[3]);
        describeTheFileNow(earlier);
        writeIndex(earlier.dump());

        auto newest = recordWithMove("newest");
        EXPECT_NO_THROW(HistoryFile::insert(newest));
        EXPECT_EQ(HistoryFile::load(),
            (std::vector<HistoryRecord> {
                newest, records[3], records[2], records[1], records[0] }));
    }

    /// Damages the inside of the history's last record in place, where only a full read
    /// would see it (its "moves" key misspelt), and makes the index of the file as it was
    /// describe the file as it is now.
    void damageTheLastRecordBehindTheIndex()
    {
        auto index = nlohmann::json::parse(readFile(indexPath()));
        auto text = readFile(historyPath());
        auto key = text.rfind("\"moves\"");
        ASSERT_NE(key, std::string::npos);
        text.replace(key, 7, "\"movez\"");
        {
            std::fstream file(historyPath(), std::ios::in | std::ios::out | std::ios::binary);
            file.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        describeTheFileNow(index);
        writeIndex(index.dump());
    }

    /// The index is worth keeping: when all it says holds, a change copies the stored records
    /// without reading them, and an index made again from a full read is believed next time.
    TEST(HistoryFile, AnIndexWhoseClaimsHoldIsBelievedWithoutReadingTheRecords)
    {
        testing::IsolatedHome home;
        // Every way a change writes records: whole, copied, copied with an undone value
        // changed, and put between others by date.
        auto oldest = fullRecord();
        oldest.undone = false;
        oldest.date = Date { 1000.0 };
        HistoryFile::insert(oldest);
        for (int index = 0; index < 3; ++index) {
            auto record = recordWithMove(std::to_string(index));
            record.date = Date { 2000.0 + index };
            HistoryFile::insert(record);
            if (index == 1)
                HistoryFile::markUndone(oldest.id);
        }
        auto late = recordWithMove("late");
        late.date = Date { 2000.5 };
        HistoryFile::insert(late, HistoryFile::Placement::byDate);
        damageTheLastRecordBehindTheIndex();
        EXPECT_NO_THROW(HistoryFile::insert(recordWithMove("believed")));
        EXPECT_THROW(HistoryFile::load(), json::DecodeError);

        // Without an index, a change reads the file whole once and leaves one it believes, even
        // when it writes nothing.
        fs::remove(historyPath());
        HistoryFile::insert(recordWithMove("a"));
        HistoryFile::insert(recordWithMove("b"));
        fs::remove(indexPath());
        EXPECT_FALSE(HistoryFile::markUndone(Uuid::random()));
        ASSERT_TRUE(fs::exists(indexPath()));
        damageTheLastRecordBehindTheIndex();
        EXPECT_NO_THROW(HistoryFile::insert(recordWithMove("c")));
    }

    /// Another writer's file, even one of the same size, is read and checked whole.
    TEST(HistoryFile, AFileChangedSinceTheLastWriteIsCheckedWhole)
    {
        testing::IsolatedHome home;
        HistoryFile::insert(recordWithMove("a"));
        HistoryFile::insert(recordWithMove("b"));
        auto text = readFile(historyPath());
        auto key = text.find("\"moves\"");
        ASSERT_NE(key, std::string::npos);
        text.replace(key, 7, "\"movez\"");
        {
            std::fstream file(historyPath(), std::ios::in | std::ios::out | std::ios::binary);
            file.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        // As a writer a moment later leaves it (the clock may not have moved yet here).
        const struct timespec times[2] = { { 1'000'000'000, 0 }, { 1'000'000'000, 0 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, historyPath().c_str(), times, 0), 0);
        EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), json::DecodeError);
        EXPECT_THROW(HistoryFile::markUndone(Uuid::random()), json::DecodeError);
        EXPECT_EQ(readFile(historyPath()), text);
    }

    /// A change hands back the list it wrote, read from that very file when asked: the
    /// records of other writers are in it, later writes are not.
    TEST(HistoryFile, InsertHandsBackTheListItWrote)
    {
        testing::IsolatedHome home;
        std::vector<HistoryRecord> full;
        for (int index = 0; index < 500; ++index)
            full.push_back(recordWithMove(std::to_string(index)));
        full[7] = fullRecord();
        JSONFiles::save(full, HistoryFile::fileName);
        auto newest = recordWithMove("newest");
        auto copy = newest;
        auto saved = HistoryFile::insertListing(std::move(copy));
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->size(), 500U);
        auto written = HistoryFile::load();
        HistoryFile::insert(recordWithMove("later"));
        EXPECT_EQ(saved->records(), written);
        EXPECT_EQ(written.front(), newest);
        EXPECT_EQ(written[8], full[7]);

        EXPECT_FALSE(HistoryFile::insertListing(std::move(newest)));
    }

    TEST(HistoryFile, KeepsTheNewestFiveHundred)
    {
        testing::IsolatedHome home;
        std::vector<HistoryRecord> full;
        for (int index = 0; index < 500; ++index)
            full.push_back(recordWithMove(std::to_string(index)));
        JSONFiles::save(full, HistoryFile::fileName);
        auto newest = recordWithMove("newest");
        HistoryFile::insert(newest);
        auto written = HistoryFile::load();
        ASSERT_EQ(written.size(), 500U);
        EXPECT_EQ(written.front(), newest);
        EXPECT_EQ(written.back(), full[498]);
    }

    TEST(HistoryFile, ALateRecordGoesBeforeTheFirstOlderOneWithinTheNewestFiveHundred)
    {
        auto dated = [](const std::string& name, double date) {
            auto record = recordWithMove(name);
            record.date = Date { date };
            return record;
        };
        struct Case {
            const char* name;
            std::size_t stored;
            double date;
            /// Where the record lands; none when it is not added.
            std::optional<std::size_t> place;
        };
        // Stored records are dated 1000, 999, 998, ...
        const Case cases[] = {
            { "into an empty history", 0, 5, 0 },
            { "newer than all", 3, 2000, 0 },
            { "between two", 3, 998.5, 2 },
            { "older than all", 3, 1, 3 },
            { "same date as one goes after it", 3, 999, 2 },
            { "inside a full history drops the oldest", 500, 700.5, 300 },
            { "older than a full history is not added", 500, 1, std::nullopt },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.name);
            testing::IsolatedHome home;
            std::vector<HistoryRecord> stored;
            for (std::size_t index = 0; index < each.stored; ++index)
                stored.push_back(dated(std::to_string(index), 1000.0 - double(index)));
            if (!stored.empty())
                JSONFiles::save(stored, HistoryFile::fileName);
            auto late = dated("late", each.date);
            EXPECT_EQ(
                HistoryFile::insert(late, HistoryFile::Placement::byDate), each.place.has_value());
            auto written = HistoryFile::load();
            if (!each.place) {
                EXPECT_EQ(written, stored);
                continue;
            }
            auto expected = stored;
            expected.insert(expected.begin() + std::ptrdiff_t(*each.place), late);
            if (expected.size() > HistoryFile::recordLimit)
                expected.resize(HistoryFile::recordLimit);
            EXPECT_EQ(written, expected);
        }
    }

    TEST(HistoryFile, ARecordStoredAlreadyIsNotAddedAgain)
    {
        testing::IsolatedHome home;
        auto record = recordWithMove("once");
        EXPECT_TRUE(HistoryFile::insert(record));
        HistoryFile::insert(recordWithMove("later"));
        auto stored = readFile(historyPath());
        EXPECT_FALSE(HistoryFile::insert(record));
        EXPECT_EQ(readFile(historyPath()), stored);
    }

    TEST(HistoryFile, MarkingUndoneChangesThatRecordAlone)
    {
        testing::IsolatedHome home;
        auto older = recordWithMove("older");
        auto newer = fullRecord();
        newer.undone = false;
        HistoryFile::insert(older);
        HistoryFile::insert(newer);
        EXPECT_TRUE(HistoryFile::markUndone(older.id));
        older.undone = true;
        EXPECT_EQ(HistoryFile::load(), (std::vector<HistoryRecord> { newer, older }));

        auto stored = readFile(historyPath());
        EXPECT_FALSE(HistoryFile::markUndone(Uuid::random()));
        EXPECT_TRUE(HistoryFile::markUndone(older.id)) << "undone already";
        EXPECT_EQ(readFile(historyPath()), stored);
    }

    TEST(HistoryFile, WhatDoesNotReadAsAHistoryIsNeverOverwritten)
    {
        const std::string texts[] = {
            "{ not json",
            "",
            "[",
            "{}",
            "[1]",
            "[{}]",
            "[] x",
            "[null]",
        };
        for (const auto& text : texts) {
            testing::IsolatedHome home;
            writeHistory(text);
            EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), json::DecodeError) << text;
            EXPECT_THROW(HistoryFile::markUndone(Uuid::random()), json::DecodeError) << text;
            EXPECT_THROW(HistoryFile::load(), json::DecodeError) << text;
            EXPECT_EQ(readFile(historyPath()), text);
            EXPECT_EQ(std::distance(fs::directory_iterator(historyPath().parent_path()),
                          fs::directory_iterator {}),
                2)
                << "only the history and its lock";
        }
    }

    TEST(HistoryFile, AFifoOrFolderInItsPlaceFailsAtOnce)
    {
        testing::IsolatedHome home;
        fs::create_directories(historyPath().parent_path());
        ASSERT_EQ(::mkfifo(historyPath().c_str(), 0600), 0);
        EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), FileError);
        EXPECT_THROW(HistoryFile::load(), FileError);
        EXPECT_TRUE(fs::is_fifo(historyPath()));
        fs::remove(historyPath());
        fs::create_directory(historyPath());
        EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), FileError);
        EXPECT_TRUE(fs::is_directory(historyPath()));
    }

    /// Every record the decoder of a whole document refuses, the streaming copy refuses, and
    /// what both accept they read alike.
    TEST(HistoryFile, TheCopyChecksRecordsAsStrictlyAsTheDecoder)
    {
        auto valid = nlohmann::json(fullRecord());
        auto without = [&](const char* key) {
            auto record = valid;
            record.erase(key);
            return record;
        };
        auto with = [&](const char* key, nlohmann::json value) {
            auto record = valid;
            record[key] = std::move(value);
            return record;
        };
        auto fingerprintWith = [&](const char* key, nlohmann::json value) {
            auto record = valid;
            record["fingerprints"].begin().value()[key] = std::move(value);
            return record;
        };
        auto moveWith = [&](const char* key, nlohmann::json value) {
            auto record = valid;
            record["moves"][0][key] = std::move(value);
            return record;
        };
        const nlohmann::json cases[] = {
            valid,
            without("id"),
            without("schemaVersion"),
            without("date"),
            without("moves"),
            without("fingerprints"),
            without("undone"),
            without("createdDirectories"),
            without("backupPath"),
            with("backupPath", nullptr),
            with("createdDirectories", nullptr),
            with("undone", nullptr),
            with("undone", 0),
            with("id", "not a uuid"),
            with("id", "0b9e8d7c-6a5b-4c3d-8e2f-1a0b9c8d7e6f"),
            with("schemaVersion", 1.0),
            with("schemaVersion", "1"),
            with("schemaVersion", 9223372036854775807),
            with("schemaVersion", 9223372036854775808u),
            with("date", "now"),
            with("date", 12),
            with("moves", nlohmann::json::object()),
            with("moves", nlohmann::json::array({ 1 })),
            with("fingerprints", nlohmann::json::array()),
            with("createdDirectories", nlohmann::json::array({ "http://x/" })),
            with("backupPath", "file:///a%00b/"),
            with("unknown",
                nlohmann::json::array({ nlohmann::json::object({ { "deep", { 1 } } }) })),
            fingerprintWith("inode", -1),
            fingerprintWith("inode", 1.5),
            fingerprintWith("size", 9223372036854775808u),
            fingerprintWith("size", nullptr),
            fingerprintWith("modified", true),
            fingerprintWith("extra", "ignored"),
            moveWith("from", "/not/a/url"),
            moveWith("to", nullptr),
            moveWith("note", "ignored"),
        };
        for (const auto& record : cases) {
            testing::IsolatedHome home;
            auto text = json::serialize(nlohmann::json::array({ record }));
            writeHistory(text);
            std::optional<std::vector<HistoryRecord>> decoded;
            try {
                decoded = JSONFiles::load<std::vector<HistoryRecord>>(HistoryFile::fileName);
            } catch (const json::DecodeError&) {
            }
            if (!decoded) {
                EXPECT_THROW(HistoryFile::load(), json::DecodeError) << text;
                EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), json::DecodeError) << text;
                EXPECT_EQ(readFile(historyPath()), text);
                continue;
            }
            EXPECT_EQ(HistoryFile::load(), *decoded) << text;
            auto newest = recordWithMove("x");
            EXPECT_TRUE(HistoryFile::insert(newest)) << text;
            decoded->insert(decoded->begin(), newest);
            EXPECT_EQ(HistoryFile::load(), *decoded) << text;
        }
    }

    TEST(HistoryFile, ARecordThatCannotBeReadIsNamedInTheError)
    {
        testing::IsolatedHome home;
        auto good = nlohmann::json(recordWithMove("a"));
        auto bad = good;
        bad["moves"][0]["to"] = 7;
        writeHistory(json::serialize(nlohmann::json::array({ good, bad })));
        try {
            HistoryFile::insert(recordWithMove("x"));
            FAIL() << "inserted";
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.path(), "[1].moves[0].to");
            EXPECT_EQ(error.reason(), "Expected a string but found an integer");
        }
    }

    TEST(HistoryFile, AFailedWriteIsAWriteErrorAndLeavesTheFile)
    {
        testing::IsolatedHome home;
        std::vector<HistoryRecord> earlier;
        for (int index = 0; index < 40; ++index)
            earlier.push_back(recordWithMove(std::string(40, 'n') + std::to_string(index)));
        JSONFiles::save(earlier, HistoryFile::fileName);
        auto stored = readFile(historyPath());
        {
            testing::FileSizeLimit limit(4000);
            EXPECT_THROW(HistoryFile::insert(recordWithMove("x")), HistoryFile::WriteError);
            EXPECT_THROW(HistoryFile::markUndone(earlier[3].id), HistoryFile::WriteError);
        }
        EXPECT_EQ(readFile(historyPath()), stored);
        EXPECT_EQ(std::distance(fs::directory_iterator(historyPath().parent_path()),
                      fs::directory_iterator {}),
            2)
            << "no temporary file is left";
    }

    TEST(HistoryFile, ALegacyHistoryIsReadAndLeftAlone)
    {
        testing::IsolatedHome home;
        auto old = recordWithMove("old");
        auto legacy = JSONFiles::legacyFolder() / HistoryFile::fileName;
        fs::create_directories(legacy.parent_path());
        std::ofstream(legacy) << json::serialize(nlohmann::json::array({ old }));
        auto legacyText = readFile(legacy);
        auto newest = recordWithMove("new");
        HistoryFile::insert(newest);
        EXPECT_EQ(HistoryFile::load(), (std::vector<HistoryRecord> { newest, old }));
        EXPECT_EQ(readFile(legacy), legacyText);
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
        auto written = HistoryFile::update([](std::vector<HistoryRecord>& records) {
            records.push_back(records.front());
            records.back().id = Uuid::random();
        });
        EXPECT_EQ(HistoryFile::load(), written);
        EXPECT_EQ(written.size(), 2U);
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
                    for (int index = 0; index < recordsEach; ++index) {
                        auto record
                            = recordWithMove(std::to_string(process) + "-" + std::to_string(index));
                        // Forked children share the parent's random generator, and a record
                        // whose id is stored already is not added again.
                        record.id.bytes[0] = static_cast<std::uint8_t>(process);
                        HistoryFile::insert(record);
                    }
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
