#include "engine/pipeline/rename_engine.h"

#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/text.h"
#include "tests/support/engine_printers.h"
#include "tests/support/temporary_folder.h"

#include <set>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using RenameEngine::transform;

    FileItem fileAt(const std::string& path, bool isDirectory = false)
    {
        FileItem item(FileURL(path, isDirectory), true, Date { 86400.0 * 365 },
            Date { 86400.0 * 400 }, 10, 0);
        item.isDirectory = isDirectory;
        return item;
    }

    std::string transformed(const std::string& name, const RenameOptions& options,
        std::int64_t index = 0, bool isDirectory = false)
    {
        auto regex = options.useRegex ? Regex::tryCompile(options.find, !options.caseSensitive)
                                      : std::nullopt;
        DateFormatter formatter(options.dateFormat, "en_US_POSIX", "UTC");
        return transform(fileAt("/f/" + name, isDirectory), index, options,
            regex ? &*regex : nullptr, &formatter);
    }

    TEST(Transform, StepByStep)
    {
        struct Case {
            const char* name;
            std::function<void(RenameOptions&)> configure;
            std::int64_t index;
            const char* expected;
        };
        const Case cases[] = {
            { "IMG_0001.JPG", [](RenameOptions&) {}, 0, "IMG_0001.JPG" },
            { "IMG_0001.JPG",
                [](RenameOptions& o) {
                    o.find = "IMG_";
                    o.replaceWith = "Photo ";
                },
                0, "Photo 0001.JPG" },
            { "IMG_0001.JPG",
                [](RenameOptions& o) {
                    o.find = "img_";
                    o.replaceWith = "Photo ";
                },
                0, "Photo 0001.JPG" },
            { "IMG_0001.JPG",
                [](RenameOptions& o) {
                    o.find = "img_";
                    o.replaceWith = "Photo ";
                    o.caseSensitive = true;
                },
                0, "IMG_0001.JPG" },
            { "a.b.txt",
                [](RenameOptions& o) {
                    o.find = ".";
                    o.replaceWith = "$1";
                },
                0, "a$1b.txt" },
            { "IMG_0001.JPG",
                [](RenameOptions& o) {
                    o.find = "(\\w+)_(\\d+)";
                    o.replaceWith = "$2-$1";
                    o.useRegex = true;
                },
                0, "0001-IMG.JPG" },
            { "abc.txt",
                [](RenameOptions& o) {
                    o.find = "(b";
                    o.replaceWith = "x";
                    o.useRegex = true;
                },
                0, "abc.txt" },
            { "abcd.png", [](RenameOptions& o) { o.removeFirst = 10; }, 0, ".png" },
            { "abcdef.png",
                [](RenameOptions& o) {
                    o.removeFirst = 2;
                    o.removeLast = 1;
                },
                0, "cde.png" },
            { "abc.png", [](RenameOptions& o) { o.removeFirst = -5; }, 0, "abc.png" },
            { "Report (final) [old].txt", [](RenameOptions& o) { o.removeBrackets = true; }, 0,
                "Report.txt" },
            { "photo (1).jpg", [](RenameOptions& o) { o.removeBrackets = true; }, 0, "photo.jpg" },
            { "a(b.txt", [](RenameOptions& o) { o.removeBrackets = true; }, 0, "a(b.txt" },
            { "2024 Trip 01.txt", [](RenameOptions& o) { o.removeDigits = true; }, 0, "Trip.txt" },
            { "Café Ünïcode.txt", [](RenameOptions& o) { o.stripAccents = true; }, 0,
                "Cafe Unicode.txt" },
            { "a&b#c.txt", [](RenameOptions& o) { o.removeWeird = true; }, 0, "abc.txt" },
            { "日本_语 (x)-é.txt", [](RenameOptions& o) { o.removeWeird = true; }, 0,
                "日本_语 (x)-é.txt" },
            { "a  b.txt",
                [](RenameOptions& o) {
                    o.spaceMode = SpaceMode::underscore;
                    o.tidy = true;
                },
                0, "a_b.txt" },
            { "a _-b.txt", [](RenameOptions& o) { o.tidy = true; }, 0, "a _-b.txt" },
            { "__a__.txt", [](RenameOptions& o) { o.tidy = true; }, 0, "a.txt" },
            { "a___b---c...d  e.txt", [](RenameOptions& o) { o.tidy = true; }, 0, "a_b-c.d e.txt" },
            { "é..́x__ü.txt", [](RenameOptions& o) { o.tidy = true; }, 0, "é.́x_ü.txt" },
            { "a b\tc.txt", [](RenameOptions& o) { o.spaceMode = SpaceMode::remove; }, 0,
                "ab\tc.txt" },
            { "a b.txt", [](RenameOptions& o) { o.spaceMode = SpaceMode::dot; }, 0, "a.b.txt" },
            { "a.txt", [](RenameOptions& o) { o.numberOn = true; }, 0, "a_001.txt" },
            { "a.txt", [](RenameOptions& o) { o.numberOn = true; }, 1234, "a_1235.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberPlacement = NumberPlacement::replace;
                    o.numberBaseText = "Img";
                },
                0, "Img_001.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberPlacement = NumberPlacement::replace;
                },
                0, "001.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberPlacement = NumberPlacement::prefix;
                    o.numberSeparator = " ";
                },
                0, "001 a.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberStart = -7;
                },
                0, "a_-007.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberStart = INT64_MIN;
                    o.numberPadding = 0;
                },
                0, "a_-9223372036854775808.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberStep = INT64_MAX;
                },
                2, "a.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberStart = INT64_MAX;
                },
                1, "a.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.numberPadding = INT64_MAX;
                    o.numberSeparator = "";
                },
                0, nullptr },
            { "a.txt",
                [](RenameOptions& o) {
                    o.numberOn = true;
                    o.prefix = "P-";
                    o.suffix = "-S";
                },
                0, "P-a_001-S.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.dateSource = DateSource::modified;
                    o.dateFormat = "yyyy/MM/dd HH:mm";
                },
                0, "2002-02-05 00-00_a.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.dateSource = DateSource::created;
                    o.datePlacement = Placement::suffix;
                },
                0, "a_2002-01-01.txt" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.extMode = ExtMode::change;
                    o.newExt = " .JPEG ";
                },
                0, "a.JPEG" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.extMode = ExtMode::change;
                    o.newExt = "..x";
                },
                0, "a..x" },
            { "a.txt",
                [](RenameOptions& o) {
                    o.extMode = ExtMode::change;
                    o.newExt = "  ";
                },
                0, "a" },
            { "a.txt", [](RenameOptions& o) { o.extMode = ExtMode::change; }, 0, "a" },
            { "a.TxT", [](RenameOptions& o) { o.extMode = ExtMode::lower; }, 0, "a.txt" },
            { "a.TxT", [](RenameOptions& o) { o.extMode = ExtMode::upper; }, 0, "a.TXT" },
            { "a.TxT", [](RenameOptions& o) { o.extMode = ExtMode::remove; }, 0, "a" },
            { "HELLO wORLD.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::sentence; }, 0,
                "Hello world.txt" },
            { "2024 report.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::sentence; }, 0,
                "2024 Report.txt" },
            { "my file (1).txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::camel; }, 0,
                "myFile1.txt" },
            { "my file (1).txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::snake; }, 0,
                "my_file_1.txt" },
            { "my file (1).txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::kebab; }, 0,
                "my-file-1.txt" },
            { "--.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::camel; }, 0, "--.txt" },
            { "--.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::snake; }, 0, ".txt" },
            { "hello wORLD.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::title; }, 0,
                "Hello World.txt" },
            { "abc.txt", [](RenameOptions& o) { o.caseStyle = CaseStyle::upper; }, 0, "ABC.txt" },
        };
        for (const auto& entry : cases) {
            RenameOptions options;
            entry.configure(options);
            std::string result = transformed(entry.name, options, entry.index);
            if (entry.expected)
                EXPECT_EQ(result, entry.expected) << entry.name;
            else
                EXPECT_EQ(result.size(), std::string("a.txt").size() + 4096)
                    << "a zero run longer than any path is not built";
        }
    }

    TEST(Transform, NumberPaddingIsNotCappedAtTheNameLengthLimit)
    {
        struct Case {
            std::int64_t padding;
            std::size_t digits;
            std::optional<std::string> reason;
        };
        const Case cases[] = {
            { 3, 3, std::nullopt },
            { 255, 255, std::nullopt },
            { 256, 256, "Name too long" },
            { 300, 300, "Name too long" },
            { 4096, 4096, "Name too long" },
        };
        for (const auto& entry : cases) {
            RenameOptions options;
            options.numberOn = true;
            options.numberPlacement = NumberPlacement::replace;
            options.numberPadding = entry.padding;
            options.numberStart = 7;
            std::string result = transformed("a", options);
            EXPECT_EQ(result, std::string(entry.digits - 1, '0') + "7") << entry.padding;
            EXPECT_EQ(RenameEngine::validate(result), entry.reason) << entry.padding;
        }
    }

    TEST(Transform, FoldersGetAnExtensionOnlyWhenChanged)
    {
        RenameOptions options;
        options.extMode = ExtMode::upper;
        EXPECT_EQ(transformed("Trip.2024", options, 0, true), "Trip.2024");
        options.extMode = ExtMode::change;
        options.newExt = "album";
        EXPECT_EQ(transformed("Trip.2024", options, 0, true), "Trip.2024.album");
    }

    TEST(Transform, BaseNameStepsLeaveEveryExtensionOut)
    {
        RenameOptions options;
        options.caseStyle = CaseStyle::upper;
        options.tidy = true;
        options.extMode = ExtMode::remove;
        const FileItem item = fileAt("/f/photo.jpg");
        EXPECT_EQ(RenameEngine::transformBaseName("my..name", item, 0, options, nullptr, nullptr),
            "MY.NAME");
        // An empty working name stays empty; one that is only dots is tidied away.
        EXPECT_EQ(RenameEngine::transformBaseName("", item, 0, options, nullptr, nullptr), "");
        EXPECT_EQ(RenameEngine::transformBaseName("..", item, 0, options, nullptr, nullptr), "");
        // A character that joins the one after it (U+0600 is a prepended mark) is kept whole.
        EXPECT_EQ(RenameEngine::transformBaseName("a\u0600", item, 0, options, nullptr, nullptr),
            "A\u0600");
    }

    TEST(Transform, DatesNeverCarrySlashesOrColons)
    {
        RenameOptions options;
        options.dateSource = DateSource::today;
        options.dateFormat = "dd/MM/yyyy HH:mm:ss";
        std::string result = transformed("a.txt", options);
        EXPECT_EQ(result.find('/'), std::string::npos);
        EXPECT_EQ(result.find(':'), std::string::npos);
    }

    TEST(SplitWords, Boundaries)
    {
        struct Case {
            const char* text;
            std::vector<std::string> words;
        };
        const Case cases[] = {
            { "fileName2024", { "file", "Name", "2024" } },
            { "my-photo_02", { "my", "photo", "02" } },
            { "HTMLFile", { "HTMLFile" } },
            { "-_ .", {} },
            { "", {} },
            { "caf\xC3\xA9"
              "Bar",
                { "caf\xC3\xA9", "Bar" } },
            { "a1b", { "a", "1", "b" } },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(RenameEngine::splitWords(entry.text), entry.words) << entry.text;
    }

    TEST(Validate, ReasonsInOrder)
    {
        struct Case {
            std::string name;
            std::optional<std::string> reason;
        };
        const Case cases[] = {
            { "", "Empty name" },
            { ".", "Empty name" },
            { "..", "Empty name" },
            { "...", "Would become hidden" },
            { ".a:b", "Contains / or :" },
            { "a/b", "Contains / or :" },
            { std::string(255, 'a'), std::nullopt },
            { std::string(256, 'a'), "Name too long" },
            { "." + std::string(255, 'a'), "Name too long" },
            { std::string(127, 'a') + "\xC3\xA9", std::nullopt }, // 129 bytes
            { [] {
                 std::string name;
                 for (int index = 0; index < 128; ++index)
                     name += "\xC3\xA9";
                 return name;
             }(),
                "Name too long" },
            { std::string("a\0b", 3), "Contains invalid characters" },
            { "a\xFF", "Contains invalid characters" },
            { "ok.txt", std::nullopt },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(RenameEngine::validate(entry.name), entry.reason) << entry.name.size();
    }

    class PreviewTest : public ::testing::Test {
    protected:
        std::set<std::string> existing;
        std::function<bool(const FileURL&)> exists
            = [this](const FileURL& url) { return existing.contains(url.path); };
        std::function<bool(const FileURL&, const FileURL&)> sameFile
            = [](const FileURL&, const FileURL&) { return false; };

        std::vector<PreviewRow> preview(
            const std::vector<FileItem>& items, const RenameOptions& options)
        {
            return RenameEngine::preview(items, options, exists, sameFile);
        }
    };

    TEST_F(PreviewTest, NumbersPerFolderAndSkipsExcludedItems)
    {
        std::vector<FileItem> items
            = { fileAt("/x/a.txt"), fileAt("/x/b.txt"), fileAt("/y/c.txt"), fileAt("/x/d.txt") };
        items[1].included = false;
        RenameOptions options;
        options.numberOn = true;
        options.numberPerFolder = true;
        auto rows = preview(items, options);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0].newName, "a_001.txt");
        EXPECT_EQ(rows[1].newName, "b.txt");
        EXPECT_EQ(rows[1].status, RenameStatus::skipped());
        EXPECT_EQ(rows[2].newName, "c_001.txt");
        EXPECT_EQ(rows[3].newName, "d_002.txt");
        options.numberPerFolder = false;
        rows = preview(items, options);
        EXPECT_EQ(rows[2].newName, "c_002.txt");
        EXPECT_EQ(rows[3].newName, "d_003.txt");
    }

    TEST_F(PreviewTest, StatusesInOrder)
    {
        RenameOptions options;
        options.caseStyle = CaseStyle::lower;
        std::vector<FileItem> items = { fileAt("/x/A.txt"), fileAt("/x/a.TXT"), fileAt("/x/B.txt"),
            fileAt("/x/c.txt"), fileAt("/x/D.txt"), fileAt("/x/E.txt"), fileAt("/x/e.txt") };
        items[6].included = false;
        existing = { "/x/a.txt", "/x/d.txt" };
        auto rows = preview(items, options);
        // A.txt and a.TXT both become a.txt/a.TXT: same key, both included.
        EXPECT_EQ(rows[0].status, RenameStatus::conflict("Duplicate name"));
        EXPECT_EQ(rows[1].status, RenameStatus::conflict("Duplicate name"));
        EXPECT_EQ(rows[2].status, RenameStatus::ready());
        EXPECT_EQ(rows[3].status, RenameStatus::unchanged());
        EXPECT_EQ(rows[4].status, RenameStatus::conflict("File already exists"));
        // e.txt exists only as an excluded item, not on disk: E.txt -> e.txt is a case change.
        EXPECT_EQ(rows[5].status, RenameStatus::ready());
        EXPECT_EQ(rows[6].status, RenameStatus::skipped());
    }

    TEST_F(PreviewTest, ExistingTargetThatIsASourceOfTheBatchIsReady)
    {
        RenameOptions options;
        options.removeFirst = 1;
        std::vector<FileItem> items = { fileAt("/x/ab.txt"), fileAt("/x/b.txt") };
        existing = { "/x/ab.txt", "/x/b.txt" };
        auto rows = preview(items, options);
        EXPECT_EQ(rows[0].newName, "b.txt");
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        items[1].included = false;
        rows = preview(items, options);
        EXPECT_EQ(rows[0].status, RenameStatus::conflict("File already exists"));
    }

    TEST_F(PreviewTest, InvalidNamesAndNamesThatAreNotText)
    {
        RenameOptions options;
        options.removeFirst = 99;
        std::vector<FileItem> items = { fileAt("/x/abc.txt"), fileAt("/x/raw\xFF.txt") };
        auto rows = preview(items, options);
        EXPECT_EQ(rows[0].status, RenameStatus::invalid("Would become hidden"));
        EXPECT_EQ(rows[1].newName, "raw\xFF.txt");
        EXPECT_EQ(rows[1].status, RenameStatus::invalid("Contains invalid characters"));
    }

    TEST(PreviewOnDisk, CaseOnlyChangeOverAnotherFileIsAConflict)
    {
        testing::TemporaryFolder folder;
        folder.createFile("a.txt", "mine");
        folder.createFile("A.txt", "someone else's");
        auto item = fileAt((folder / "a.txt").string());
        RenameOptions options;
        options.caseStyle = CaseStyle::upper;
        auto rows = RenameEngine::preview({ item }, options);
        EXPECT_EQ(rows[0].newName, "A.txt");
        EXPECT_EQ(rows[0].status, RenameStatus::conflict("File already exists"));

        std::filesystem::remove(folder / "A.txt");
        rows = RenameEngine::preview({ item }, options);
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
    }

    TEST(PreviewOnDisk, NamesDifferingOnlyInCaseAreTwoFilesThatTheExecutorRenamesAsShown)
    {
        testing::TemporaryFolder folder;
        folder.createFile("Photo.JPG", "upper");
        folder.createFile("photo.jpg", "lower");
        folder.createFile("other.jpg", "other");
        auto url = [&](const std::string& name) { return FileURL((folder / name).string()); };
        RenameOptions options;
        options.numberOn = true;
        auto rows = RenameEngine::preview(
            { fileAt(url("Photo.JPG").path), fileAt(url("photo.jpg").path) }, options);
        ASSERT_EQ(rows.size(), 2u);
        std::vector<RenameMove> moves;
        for (const auto& row : rows) {
            EXPECT_EQ(row.status, RenameStatus::ready()) << row.newName;
            moves.push_back({ row.item.url, row.targetURL });
        }
        LocalFileSystem fileSystem;
        EXPECT_NO_THROW(RenameExecutor(fileSystem).execute(moves));
        EXPECT_EQ(testing::readFile(rows[0].targetURL.path), "upper");
        EXPECT_EQ(testing::readFile(rows[1].targetURL.path), "lower");

        // A name that differs from a source's only in letter case is another file here: taken.
        folder.createFile("Photo.JPG", "upper again");
        folder.createFile("photo.jpg", "lower again");
        options = {};
        options.useRegex = true;
        options.caseSensitive = true;
        options.find = "^other|^P";
        options.replaceWith = "photo";
        rows = RenameEngine::preview(
            { fileAt(url("Photo.JPG").path), fileAt(url("other.jpg").path) }, options);
        EXPECT_EQ(rows[0].newName, "photohoto.JPG");
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        EXPECT_EQ(rows[1].newName, "photo.jpg");
        EXPECT_EQ(rows[1].status, RenameStatus::conflict("File already exists"));
        EXPECT_THROW(RenameExecutor(fileSystem)
                         .execute({ { url("Photo.JPG"), rows[0].targetURL },
                             { url("other.jpg"), rows[1].targetURL } }),
            RenameExecutionError);
        EXPECT_EQ(testing::readFile(url("photo.jpg").path), "lower again");
    }

} // namespace
} // namespace sorvik
