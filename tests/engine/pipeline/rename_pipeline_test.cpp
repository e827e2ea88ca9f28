#include "engine/pipeline/rename_pipeline.h"

#include "engine/apply/local_preview_disk.h"
#include "engine/pipeline/row_blockers.h"
#include "tests/support/engine_printers.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using RenamePipeline::preview;

    const Date fileDate = Date::fromUnixSeconds(1718000000.0);
    const Date runDate = Date::fromUnixSeconds(1700000000.0);

    FileItem fileAt(const std::string& path, bool included = true)
    {
        return FileItem(FileURL(path), included, fileDate, fileDate, 100, 0);
    }

    FileItem folderAt(const std::string& path, bool included = true)
    {
        FileItem item(FileURL(path, true), included, fileDate, fileDate, 0, 0);
        item.isDirectory = true;
        return item;
    }

    /// A disk of fixed answers that records the questions asked of it. Every file is there
    /// unless listed as missing, and every folder takes files unless told otherwise.
    struct FakeDisk {
        /// What exists at targets.
        std::set<std::string> paths;
        /// Pairs of paths that are one entry (either order).
        std::set<std::pair<std::string, std::string>> sameFiles;
        /// Files of rows that are gone.
        std::set<std::string> missing;
        /// What stands at destination folders, by path.
        std::map<std::string, FolderAnswer> folders;
        std::vector<std::string> asked;
        std::vector<std::string> askedFolders;
        std::size_t sourceQuestions = 0;

        RenamePipeline::ExistenceTest existence()
        {
            return [this](const FileURL& url) {
                asked.push_back(url.path);
                return paths.contains(url.path);
            };
        }
        bool isSameEntry(const FileURL& first, const FileURL& second) const
        {
            return first.path == second.path || sameFiles.contains({ first.path, second.path })
                || sameFiles.contains({ second.path, first.path });
        }
        PreviewDisk questions()
        {
            PreviewDisk disk;
            disk.fileExists = existence();
            disk.isSameEntry = [this](const FileURL& first, const FileURL& second) {
                return isSameEntry(first, second);
            };
            disk.findSources = [this](const std::vector<const FileURL*>& files,
                                   const std::vector<bool>& moving) {
                ++sourceQuestions;
                SourceAnswers answers;
                for (const FileURL* file : files)
                    answers.missing.push_back(missing.contains(file->path));
                for (std::size_t first = 0; first < files.size(); ++first) {
                    for (std::size_t second = first + 1; second < files.size(); ++second) {
                        if (moving[first] && moving[second]
                            && sameFiles.contains({ files[first]->path, files[second]->path }))
                            answers.sameEntries.emplace_back(first, second);
                    }
                }
                return answers;
            };
            disk.destinationFolder = [this](const FileURL& folder, const FileURL&) {
                askedFolders.push_back(folder.path);
                auto found = folders.find(folder.path);
                return found == folders.end() ? FolderAnswer {} : found->second;
            };
            return disk;
        }
    };

    std::vector<PreviewRow> planned(const std::vector<FileItem>& items,
        const std::vector<Rule>& rules, FakeDisk& disk, const MetadataMap& metadata = {})
    {
        return preview(items, rules, metadata, runDate, disk.questions());
    }

    std::vector<PreviewRow> planned(
        const std::vector<FileItem>& items, const std::vector<Rule>& rules)
    {
        FakeDisk disk;
        return planned(items, rules, disk);
    }

    std::vector<std::string> namesOf(const std::vector<PreviewRow>& rows)
    {
        std::vector<std::string> names;
        for (const auto& row : rows)
            names.push_back(row.newName);
        return names;
    }

    std::vector<RenameStatus> statusesOf(const std::vector<PreviewRow>& rows)
    {
        std::vector<RenameStatus> statuses;
        for (const auto& row : rows)
            statuses.push_back(row.status);
        return statuses;
    }

    RenameStatus invalid(std::string_view reason)
    {
        return RenameStatus::invalid(std::string(reason));
    }
    RenameStatus conflict(std::string_view reason)
    {
        return RenameStatus::conflict(std::string(reason));
    }

    Rule patternRule(std::string text) { return Rule(PatternConfig { std::move(text) }); }
    Rule organizeRule(std::string text) { return Rule(OrganizeConfig { std::move(text) }); }

    TEST(Preview, EmptyListGivesNoRows) { EXPECT_TRUE(planned({}, { patternRule("x") }).empty()); }

    TEST(Preview, OneRowPerItemInOrder)
    {
        std::vector<FileItem> items { fileAt("/p/b.txt"), fileAt("/p/a.txt", false),
            fileAt("/q/c.txt") };
        auto rows = planned(items, { patternRule("{#}_{name}") });
        ASSERT_EQ(rows.size(), 3u);
        for (std::size_t position = 0; position < rows.size(); ++position)
            EXPECT_EQ(rows[position].id(), items[position].id);
        EXPECT_EQ(namesOf(rows), (std::vector<std::string> { "1_b.txt", "a.txt", "2_c.txt" }));
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> {
                RenameStatus::ready(), RenameStatus::skipped(), RenameStatus::ready() }));
        EXPECT_EQ(rows[2].targetURL, FileURL("/q/2_c.txt"));
    }

    TEST(Preview, PerFolderNumbering)
    {
        NumberingConfig perFolder;
        perFolder.perFolder = true;
        perFolder.padding = 1;
        std::vector<FileItem> items { fileAt("/p/a.txt"), fileAt("/q/b.txt"),
            fileAt("/p/c.txt", false), fileAt("/p/d.txt") };
        EXPECT_EQ(namesOf(planned(items, { Rule(perFolder) })),
            (std::vector<std::string> { "a_1.txt", "b_1.txt", "c.txt", "d_2.txt" }));
    }

    TEST(Preview, PairGroupsShareTheLeadersNameAndNumber)
    {
        Uuid group = Uuid::random();
        FileItem jpeg = fileAt("/p/IMG_1.JPG");
        FileItem raw = fileAt("/p/IMG_1.CR2");
        jpeg.pairGroup = raw.pairGroup = group;
        std::vector<FileItem> items { jpeg, raw, fileAt("/p/next.txt") };
        auto rows = planned(items, { patternRule("{#}_{name}") });
        EXPECT_EQ(namesOf(rows),
            (std::vector<std::string> { "1_IMG_1.JPG", "1_IMG_1.CR2", "2_next.txt" }));

        // The leader decides the base name, whichever member comes first.
        FileItem rawNamedOtherwise = fileAt("/p/DSC_9.nef");
        rawNamedOtherwise.pairGroup = group;
        rows = planned({ jpeg, rawNamedOtherwise }, { patternRule("{name}-{#}") });
        EXPECT_EQ(namesOf(rows), (std::vector<std::string> { "DSC_9-1.JPG", "DSC_9-1.nef" }));
    }

    TEST(Preview, PairGroupWithoutRawIsLedByItsFirstMember)
    {
        Uuid group = Uuid::random();
        FileItem xmp = fileAt("/p/b.xmp");
        FileItem jpeg = fileAt("/p/a.jpg");
        xmp.pairGroup = jpeg.pairGroup = group;
        auto rows = planned({ xmp, jpeg }, { patternRule("{name}_{#}") });
        EXPECT_EQ(namesOf(rows), (std::vector<std::string> { "b_1.xmp", "b_1.jpg" }));
    }

    TEST(Preview, CompanionWithUnusableNameKeepsItsOwn)
    {
        Uuid group = Uuid::random();
        FileItem raw = fileAt("/p/a.dng");
        FileItem jpeg = fileAt("/p/b.jpg");
        raw.pairGroup = jpeg.pairGroup = group;
        Rule onlyRaw = patternRule("x:y");
        onlyRaw.condition = ConditionGroup { true, { Condition::ext({ "dng" }) } };
        auto rows = planned({ jpeg, raw }, { onlyRaw });
        EXPECT_EQ(namesOf(rows), (std::vector<std::string> { "b.jpg", "x:y.dng" }));
        EXPECT_EQ(rows[0].status, RenameStatus::unchanged());
        EXPECT_EQ(rows[1].status, invalid(RenameEngine::forbiddenCharacterReason));
    }

    TEST(Preview, ExcludingOneMemberExcludesTheGroup)
    {
        Uuid group = Uuid::random();
        FileItem raw = fileAt("/p/a.dng");
        FileItem jpeg = fileAt("/p/a.jpg", false);
        raw.pairGroup = jpeg.pairGroup = group;
        auto rows = planned({ raw, jpeg, fileAt("/p/c.txt") }, { patternRule("{#}") });
        EXPECT_FALSE(rows[0].item.included);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> {
                RenameStatus::skipped(), RenameStatus::skipped(), RenameStatus::ready() }));
        EXPECT_EQ(namesOf(rows), (std::vector<std::string> { "a.dng", "a.jpg", "1.txt" }));
    }

    TEST(Preview, CompanionUsesItsLeadersListEntry)
    {
        Uuid group = Uuid::random();
        FileItem raw = fileAt("/p/a.arw");
        FileItem jpeg = fileAt("/p/a.jpg");
        raw.pairGroup = jpeg.pairGroup = group;
        auto rows = planned({ raw, jpeg, fileAt("/p/z.txt"), fileAt("/p/y.txt") },
            { Rule(ListConfig { "One\nTwo", false }) });
        EXPECT_EQ(
            namesOf(rows), (std::vector<std::string> { "One.arw", "One.jpg", "Two.txt", "y.txt" }));
        EXPECT_EQ(rows[3].status, invalid(RenamePipeline::missingListEntryReason));
    }

    TEST(Preview, CollisionsIgnoreLetterCase)
    {
        std::vector<FileItem> items { fileAt("/p/a.jpg"), fileAt("/p/b.JPG"), fileAt("/p/c.jpg") };
        Rule toPhoto(ListConfig { "Photo.jpg\nphoto.JPG\nother", false });
        auto rows = planned(items, { toPhoto });
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { conflict(RenameEngine::duplicateNameReason),
                conflict(RenameEngine::duplicateNameReason), RenameStatus::ready() }));
        // Different folders do not collide; excluded files take no part.
        items[1] = fileAt("/q/b.JPG");
        items[2] = fileAt("/p/c.jpg", false);
        rows = planned(items, { Rule(ListConfig { "Photo.jpg\nphoto.JPG\nphoto", false }) });
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        EXPECT_EQ(rows[1].status, RenameStatus::ready());
    }

    TEST(Preview, ChangeOfLetterCaseOnly)
    {
        Rule upper(CaseConfig { CaseStyle::upper, false });
        // Nothing under the new spelling: no question but the existence test.
        FakeDisk empty;
        auto rows = planned({ fileAt("/p/a.txt") }, { upper }, empty);
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        // A volume that ignores letter case finds the file itself.
        FakeDisk insensitive;
        insensitive.paths = { "/p/a.txt", "/p/A.txt" };
        insensitive.sameFiles = { { "/p/A.txt", "/p/a.txt" } };
        rows = planned({ fileAt("/p/a.txt") }, { upper }, insensitive);
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        // A volume that tells letter case apart may hold another file under the new name.
        FakeDisk sensitive;
        sensitive.paths = { "/p/a.txt", "/p/A.txt" };
        rows = planned({ fileAt("/p/a.txt") }, { upper }, sensitive);
        EXPECT_EQ(rows[0].status, conflict(RenameEngine::fileExistsReason));
        // ... unless that file moves away in the same batch.
        rows = planned({ fileAt("/p/a.txt"), fileAt("/p/A.txt") },
            { Rule(ListConfig { "A\nb", false }) }, sensitive);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { RenameStatus::ready(), RenameStatus::ready() }));
    }

    TEST(Preview, ExistingFilesThatMoveAway)
    {
        Rule chain(ListConfig { "b\nc", false });
        std::vector<FileItem> items { fileAt("/p/a.txt"), fileAt("/p/b.txt") };
        FakeDisk disk;
        disk.paths = { "/p/a.txt", "/p/b.txt" };
        auto rows = planned(items, { chain }, disk);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { RenameStatus::ready(), RenameStatus::ready() }));

        // c.txt is taken, so b.txt stays, so a.txt cannot have its name either.
        disk.paths.insert("/p/c.txt");
        rows = planned(items, { chain }, disk);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { conflict(RenameEngine::fileExistsReason),
                conflict(RenameEngine::fileExistsReason) }));

        // A longer chain in reverse list order unwinds as well.
        std::vector<FileItem> reversed { fileAt("/p/c.txt"), fileAt("/p/b.txt"),
            fileAt("/p/a.txt") };
        disk.paths = { "/p/a.txt", "/p/b.txt", "/p/c.txt", "/p/d.txt" };
        rows = planned(reversed, { Rule(ListConfig { "d\nc\nb", false }) }, disk);
        for (const auto& row : rows)
            EXPECT_EQ(row.status, conflict(RenameEngine::fileExistsReason)) << row.newName;

        // A row that is not ready vacates nothing.
        items[1] = fileAt("/p/b.txt", false);
        disk.paths = { "/p/a.txt", "/p/b.txt" };
        rows = planned(items, { chain }, disk);
        EXPECT_EQ(rows[0].status, conflict(RenameEngine::fileExistsReason));

        // On a volume that tells case apart, "B.txt" moving away does not free "b.txt".
        disk.paths = { "/p/a.txt", "/p/b.txt", "/p/B.txt" };
        rows = planned({ fileAt("/p/a.txt"), fileAt("/p/B.txt") }, { chain }, disk);
        EXPECT_EQ(rows[0].status, conflict(RenameEngine::fileExistsReason));
        EXPECT_EQ(rows[1].status, RenameStatus::ready());
        // A volume that ignores case says the two are one file.
        disk.sameFiles = { { "/p/b.txt", "/p/B.txt" } };
        rows = planned({ fileAt("/p/a.txt"), fileAt("/p/B.txt") }, { chain }, disk);
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
    }

    TEST(Preview, ExistenceIsAskedOncePerPath)
    {
        // Four rows in a chain whose end is taken: several passes, one question per target.
        FakeDisk disk;
        disk.paths = { "/p/a.txt", "/p/b.txt", "/p/c.txt", "/p/d.txt", "/p/e.txt" };
        std::vector<FileItem> items { fileAt("/p/a.txt"), fileAt("/p/b.txt"), fileAt("/p/c.txt"),
            fileAt("/p/d.txt"), fileAt("/p/x.txt", false), fileAt("/p/same.txt") };
        auto rows = planned(items, { Rule(ListConfig { "b\nc\nd\ne\nsame", false }) }, disk);
        EXPECT_EQ(rows[3].status, conflict(RenameEngine::fileExistsReason));
        EXPECT_EQ(rows[0].status, conflict(RenameEngine::fileExistsReason));
        EXPECT_EQ(rows[5].status, RenameStatus::unchanged());
        std::multiset<std::string> asked(disk.asked.begin(), disk.asked.end());
        EXPECT_EQ(
            asked, (std::multiset<std::string> { "/p/b.txt", "/p/c.txt", "/p/d.txt", "/p/e.txt" }));
    }

    TEST(Preview, OrganizeIntoSubfolders)
    {
        FileItem photo = fileAt("/p/IMG.jpg");
        MetadataMap metadata { { photo.id, { { "exif.year", "2024" }, { "exif.month", "05" } } } };
        FakeDisk disk;
        auto rows
            = planned({ photo }, { organizeRule("{exif.year}/{exif.month}") }, disk, metadata);
        EXPECT_EQ(rows[0].targetURL, FileURL("/p/2024/05/IMG.jpg"));
        EXPECT_EQ(rows[0].newName, "IMG.jpg");
        EXPECT_EQ(rows[0].status, RenameStatus::ready());

        for (const char* text :
            { "/tmp", "../x", "a//b", "a/", "", "./a", ".hidden", "a:b", "a\\b", "{name}:{ext}" }) {
            rows = planned({ photo }, { organizeRule(text) });
            EXPECT_EQ(rows[0].status, invalid(RenamePipeline::invalidSubfolderReason)) << text;
            EXPECT_EQ(rows[0].targetURL, FileURL("/p/IMG.jpg")) << text;
        }
        // The last acceptable rule decides the folder; a refused one still blocks the row.
        rows = planned({ photo }, { organizeRule("one"), organizeRule(".."), organizeRule("two") });
        EXPECT_EQ(rows[0].targetURL, FileURL("/p/two/IMG.jpg"));
        EXPECT_EQ(rows[0].status, invalid(RenamePipeline::invalidSubfolderReason));
        // Disabled or not matching: no effect.
        Rule disabled = organizeRule("..");
        disabled.isEnabled = false;
        Rule notForPhotos = organizeRule("..");
        notForPhotos.condition = ConditionGroup { true, { Condition::ext({ "txt" }) } };
        rows = planned({ photo }, { disabled, notForPhotos });
        EXPECT_EQ(rows[0].status, RenameStatus::unchanged());
    }

    TEST(Preview, OrganizeTemplateSeesTheCurrentNameAndListPosition)
    {
        std::vector<FileItem> items { fileAt("/p/x.txt", false), fileAt("/p/y.txt") };
        auto rows = planned(items, { patternRule("{#}"), organizeRule("{#}-{name}.{ext}") });
        EXPECT_EQ(rows[1].newName, "1.txt");
        EXPECT_EQ(rows[1].targetURL, FileURL("/p/2-y.txt/1.txt"));
        // An excluded file keeps its place and is skipped, whatever its subfolder.
        rows = planned(items, { organizeRule("..") });
        EXPECT_EQ(rows[0].status, RenameStatus::skipped());
    }

    TEST(Preview, AFileAnOrganizeRuleMovesKeepsAHiddenName)
    {
        std::vector<FileItem> items { fileAt("/p/.hidden.txt"), fileAt("/p/vis.txt") };
        auto rows = planned(items, { organizeRule("sub") });
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { RenameStatus::ready(), RenameStatus::ready() }));
        EXPECT_EQ(rows[0].targetURL, FileURL("/p/sub/.hidden.txt"));
        EXPECT_EQ(rows[1].targetURL, FileURL("/p/sub/vis.txt"));

        // Left in its folder, the kept name changes nothing.
        rows = planned(items, { patternRule("{name}") });
        EXPECT_EQ(rows[0].status, RenameStatus::unchanged());
        EXPECT_EQ(rows[0].targetURL, items[0].url);
        // A name the rules make hidden is still refused, in the subfolder too.
        rows = planned({ fileAt("/p/vis.txt") }, { patternRule(".{name}"), organizeRule("sub") });
        EXPECT_EQ(rows[0].status, invalid(RenameEngine::hiddenNameReason));
    }

    TEST(Preview, ADestinationFolderMustBeAbleToTakeFiles)
    {
        using Kind = FolderAnswer::Kind;
        Rule suffix = patternRule("{name}-moved");
        Rule intoX = organizeRule("x");
        intoX.condition = ConditionGroup { true, { Condition::ext({ "txt" }) } };
        struct Case {
            const char* label;
            std::vector<Rule> rules;
            /// What stands at /p/x, and what exists at targets.
            FolderAnswer atX;
            std::set<std::string> taken;
            std::vector<RenameStatus> statuses;
        };
        const std::vector<Case> cases {
            { "a file in the way", { intoX }, { Kind::notAFolder, FileURL("/p/x") }, {},
                { RenameStatus::unchanged(), conflict(RenamePipeline::subfolderIsFileReason) } },
            { "a folder that cannot be opened", { intoX }, { Kind::unusable, FileURL("/p/x") }, {},
                { RenameStatus::unchanged(), invalid(RenamePipeline::unusableSubfolderReason) } },
            { "a folder, or nothing yet", { intoX }, {}, {},
                { RenameStatus::unchanged(), RenameStatus::ready() } },
            // The file in the way is renamed in the same batch: its name is free by then.
            { "moved away", { suffix, intoX }, { Kind::notAFolder, FileURL("/p/x") }, {},
                { RenameStatus::ready(), RenameStatus::ready() } },
            // ... unless it cannot be renamed after all.
            { "stays after all", { suffix, intoX }, { Kind::notAFolder, FileURL("/p/x") },
                { "/p/x-moved" },
                { conflict(RenameEngine::fileExistsReason),
                    conflict(RenamePipeline::subfolderIsFileReason) } },
            // A file put into a folder of its own name leaves that name first.
            { "its own name", { organizeRule("{name}") }, { Kind::notAFolder, FileURL("/p/x") }, {},
                { RenameStatus::ready(), RenameStatus::ready() } },
        };
        for (const auto& each : cases) {
            FakeDisk disk;
            disk.folders["/p/x"] = each.atX;
            disk.paths = each.taken;
            auto rows = planned({ fileAt("/p/x"), fileAt("/p/a.txt") }, each.rules, disk);
            EXPECT_EQ(statusesOf(rows), each.statuses) << each.label;
        }

        // Asked once per folder, and never for files renamed where they are.
        FakeDisk disk;
        planned({ fileAt("/p/a.txt"), fileAt("/p/b.txt"), fileAt("/q/c.txt") },
            { patternRule("new {name}"), organizeRule("sub") }, disk);
        EXPECT_EQ(disk.askedFolders, (std::vector<std::string> { "/p/sub", "/q/sub" }));
        disk.askedFolders.clear();
        planned({ fileAt("/p/a.txt") }, { patternRule("new {name}") }, disk);
        EXPECT_TRUE(disk.askedFolders.empty());
    }

    TEST(Preview, AFileThatIsGoneIsAProblem)
    {
        FakeDisk disk;
        disk.missing = { "/p/b.txt", "/p/c.txt", "/p/d.txt" };
        auto renamed = [](std::string find, std::string replacement) {
            return Rule(ReplaceConfig { std::move(find), std::move(replacement), false, true,
                ReplaceScope::name, Occurrence::all });
        };
        // Moved, moved but gone, staying but gone, excluded.
        auto rows = planned({ fileAt("/p/a.txt"), fileAt("/p/b.txt"), fileAt("/p/c.txt"),
                                fileAt("/p/d.txt", false) },
            { renamed("a", "x"), renamed("b", "y") }, disk);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { RenameStatus::ready(),
                invalid(RenamePipeline::missingFileReason),
                invalid(RenamePipeline::missingFileReason), RenameStatus::skipped() }));
        EXPECT_EQ(disk.sourceQuestions, 1U);
    }

    TEST(Preview, OneFileListedTwiceIsAProblemOfBothRows)
    {
        FakeDisk disk;
        disk.sameFiles = { { "/p/a.txt", "/p/A.txt" } };
        auto rows = planned({ fileAt("/p/a.txt"), fileAt("/p/A.txt"), fileAt("/p/b.txt") },
            { patternRule("{#}_{name}") }, disk);
        EXPECT_EQ(statusesOf(rows),
            (std::vector<RenameStatus> { conflict(RenamePipeline::listedTwiceReason),
                conflict(RenamePipeline::listedTwiceReason), RenameStatus::ready() }));
        // One of them excluded: the other moves alone.
        rows = planned(
            { fileAt("/p/a.txt"), fileAt("/p/A.txt", false) }, { patternRule("{#}_{name}") }, disk);
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
    }

    TEST(Preview, OrganizeInTheRootFolder)
    {
        auto rows = planned({ fileAt("/a.txt") }, { organizeRule("sorvik-missing-subfolder") });
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        EXPECT_EQ(rows[0].targetURL, FileURL("/sorvik-missing-subfolder/a.txt"));
    }

    TEST(Preview, OrganizeThroughSymbolicLinks)
    {
        testing::TemporaryFolder folder;
        namespace fs = std::filesystem;
        folder.createFile("photos/a.jpg");
        folder.createFolder("photos/real");
        folder.createFolder("elsewhere");
        fs::create_directory_symlink(folder / "elsewhere", folder / "photos/out");
        fs::create_directory_symlink(folder / "photos/real", folder / "photos/in");
        fs::create_directory_symlink(folder / "photos/gone", folder / "photos/dangling");
        fs::create_directory_symlink(folder / "photos", folder / "alias");
        fs::create_directory_symlink("..", folder / "photos/up");

        const std::string photos = (folder / "photos").string();
        struct Case {
            std::string file;
            std::string subfolder;
            RenameStatus status;
        };
        const Case cases[] = {
            { photos + "/a.jpg", "new/deeper", RenameStatus::ready() },
            { photos + "/a.jpg", "in/x", RenameStatus::ready() },
            { photos + "/a.jpg", "real", RenameStatus::ready() },
            { photos + "/a.jpg", "out", invalid(RenamePipeline::escapingSubfolderReason) },
            { photos + "/a.jpg", "out/new", invalid(RenamePipeline::escapingSubfolderReason) },
            { photos + "/a.jpg", "up", invalid(RenamePipeline::escapingSubfolderReason) },
            { photos + "/a.jpg", "dangling", invalid(RenamePipeline::escapingSubfolderReason) },
            { (folder / "alias/a.jpg").string(), "real", RenameStatus::ready() },
        };
        for (const Case& entry : cases) {
            FileItem item = fileAt(entry.file);
            LocalPreviewDisk disk({ item });
            auto rows = preview(
                { item }, { organizeRule(entry.subfolder) }, {}, runDate, disk.questions());
            EXPECT_EQ(rows[0].status, entry.status) << entry.subfolder;
            FileURL expected = entry.status == RenameStatus::ready()
                ? item.folderURL().appending(entry.subfolder, true).appending("a.jpg")
                : item.url;
            EXPECT_EQ(rows[0].targetURL, expected) << entry.subfolder;
        }
    }

    TEST(Preview, NamesThatAreNotTextAreNeverRenamed)
    {
        FileItem bytes = fileAt("/p/caf\xE9.txt");
        auto rows
            = planned({ bytes }, { patternRule("new"), organizeRule("sub"), Rule(ExtConfig {}) });
        EXPECT_EQ(rows[0].newName, "caf\xE9.txt");
        EXPECT_EQ(rows[0].targetURL, bytes.url);
        EXPECT_EQ(rows[0].status, invalid(RenameEngine::invalidCharacterReason));
        // Even with no rule at all.
        EXPECT_EQ(planned({ bytes }, {})[0].status, invalid(RenameEngine::invalidCharacterReason));
        // Excluded, it is simply skipped.
        EXPECT_EQ(
            planned({ fileAt("/p/caf\xE9.txt", false) }, {})[0].status, RenameStatus::skipped());
    }

    TEST(Preview, NamesHoldingNullCharactersAreInvalid)
    {
        FileItem document = fileAt("/p/scan.pdf");
        MetadataMap metadata { { document.id, { { "pdf.title", std::string("a\0b", 3) } } } };
        FakeDisk disk;
        auto rows = planned({ document }, { patternRule("{pdf.title}") }, disk, metadata);
        EXPECT_EQ(rows[0].newName, std::string("a\0b.pdf", 7));
        EXPECT_EQ(rows[0].status, invalid(RenameEngine::invalidCharacterReason));
        rows = planned({ document }, { Rule(ListConfig { std::string("x\0y", 3), false }) });
        EXPECT_EQ(rows[0].status, invalid(RenameEngine::invalidCharacterReason));
    }

    TEST(Preview, BlockersInOrder)
    {
        Rule badRegex(ReplaceConfig { "(", "x", true, false, ReplaceScope::name, Occurrence::all });
        Rule aiRule(AIConfig {});
        Rule badList(ListConfig { "\"open", false });

        FileItem withError = fileAt("/p/e.pdf");
        MetadataMap metadata { { withError.id, { { "ai.error", "No readable content." } } } };

        struct Case {
            const char* label;
            std::vector<FileItem> items;
            std::vector<Rule> rules;
            std::vector<RenameStatus> statuses;
        };
        const Case cases[] = {
            { "subfolder problem before rules", { fileAt("/p/a.txt") },
                { badRegex, organizeRule("..") },
                { invalid(RenamePipeline::invalidSubfolderReason) } },
            { "excluded before subfolder problem", { fileAt("/p/a.txt", false) },
                { organizeRule("..") }, { RenameStatus::skipped() } },
            { "nesting before rules", { folderAt("/p/Photos"), fileAt("/p/Photos/a.jpg") },
                { badRegex },
                { invalid(RenamePipeline::nestedFolderReason),
                    invalid(RenamePipeline::nestedFolderReason) } },
            { "nesting with an excluded member",
                { folderAt("/p/Photos", false), fileAt("/p/Photos/a.jpg") }, {},
                { RenameStatus::skipped(), invalid(RenamePipeline::nestedFolderReason) } },
            { "nesting with an excluded content",
                { folderAt("/p/Photos"), fileAt("/p/Photos/sub/a.jpg", false) }, {},
                { invalid(RenamePipeline::nestedFolderReason), RenameStatus::skipped() } },
            { "a name that only begins alike is not inside",
                { folderAt("/p/Photos"), fileAt("/p/Photos2/b.jpg") }, { patternRule("x") },
                { RenameStatus::ready(), RenameStatus::ready() } },
            { "nesting compares letter case", { folderAt("/p/Photos"), fileAt("/p/photos/b.jpg") },
                { patternRule("x") }, { RenameStatus::ready(), RenameStatus::ready() } },
            { "root folder holds everything", { folderAt("/"), fileAt("/a.txt") }, {},
                { invalid(RenamePipeline::nestedFolderReason),
                    invalid(RenamePipeline::nestedFolderReason) } },
            { "first failing rule in stack order", { fileAt("/p/a.txt") }, { badList, badRegex },
                { invalid(RenamePipeline::invalidListReason) } },
            { "first failing rule, the other way", { fileAt("/p/a.txt") }, { badRegex, badList },
                { invalid(RenamePipeline::invalidExpressionReason) } },
            { "list before AI error", { withError }, { aiRule, badList },
                { invalid(RenamePipeline::invalidListReason) } },
            { "AI error only with an AI rule on", { withError }, { aiRule },
                { invalid("No readable content.") } },
            { "AI error ignored without one", { withError }, { patternRule("ok") },
                { RenameStatus::ready() } },
            { "hidden name kept", { fileAt("/p/.profile") }, { patternRule("{name}") },
                { RenameStatus::unchanged() } },
            { "hidden name made", { fileAt("/p/profile") }, { patternRule(".{name}") },
                { invalid(RenameEngine::hiddenNameReason) } },
            { "empty name", { fileAt("/p/a.txt") },
                { Rule(ExtConfig { ExtMode::remove, "" }), patternRule("") },
                { invalid(RenameEngine::emptyNameReason) } },
            { "too long", { fileAt("/p/a.txt") }, { patternRule(std::string(252, 'x')) },
                { invalid(RenameEngine::nameTooLongReason) } },
            { "longest name", { fileAt("/p/a.txt") }, { patternRule(std::string(251, 'x')) },
                { RenameStatus::ready() } },
        };
        for (const Case& entry : cases) {
            FakeDisk disk;
            EXPECT_EQ(statusesOf(planned(entry.items, entry.rules, disk, metadata)), entry.statuses)
                << entry.label;
        }
    }

    TEST(Preview, RuleProblemsOnlyWhereTheRuleApplies)
    {
        Rule badRegex(ReplaceConfig { "(", "x", true, false, ReplaceScope::name, Occurrence::all });
        badRegex.condition = ConditionGroup { true, { Condition::ext({ "jpg" }) } };
        Rule switchedOff = badRegex;
        switchedOff.isEnabled = false;
        auto rows = planned({ fileAt("/p/a.jpg"), fileAt("/p/b.txt") }, { badRegex });
        EXPECT_EQ(rows[0].status, invalid(RenamePipeline::invalidExpressionReason));
        EXPECT_EQ(rows[1].status, RenameStatus::unchanged());
        rows = planned({ fileAt("/p/a.jpg") }, { switchedOff });
        EXPECT_EQ(rows[0].status, RenameStatus::unchanged());
        // A case-sensitive literal find never fails.
        rows = planned({ fileAt("/p/a(.jpg") },
            { Rule(ReplaceConfig { "(", "", false, true, ReplaceScope::name, Occurrence::all }) });
        EXPECT_EQ(rows[0].newName, "a.jpg");
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
    }

    TEST(Preview, ListBlockers)
    {
        std::vector<FileItem> items { fileAt("/p/1.txt"), fileAt("/p/2.txt"), fileAt("/p/3.txt"),
            fileAt("/p/4.txt") };
        auto rows = planned(items, { Rule(ListConfig { "a\nb\nc", false }) });
        EXPECT_EQ(rows[2].status, RenameStatus::ready());
        EXPECT_EQ(rows[3].status, invalid(RenamePipeline::missingListEntryReason));

        rows = planned({ fileAt("/p/img_0001.jpg"), fileAt("/p/other.jpg") },
            { Rule(ListConfig { "IMG_0001,Beach", true }) });
        EXPECT_EQ(rows[0].newName, "Beach.jpg");
        EXPECT_EQ(rows[0].status, RenameStatus::ready());
        EXPECT_EQ(rows[1].status, invalid(RenamePipeline::missingListEntryReason));
        rows = planned({ fileAt("/p/a.jpg") }, { Rule(ListConfig { "", true }) });
        EXPECT_EQ(rows[0].status, invalid(RenamePipeline::missingListEntryReason));
    }

    TEST(RowBlockers, OneRowOnItsOwn)
    {
        std::vector<FileItem> items { folderAt("/p/Photos"), fileAt("/p/Photos/a.jpg"),
            fileAt("/p/b.jpg") };
        std::vector<FileItem> directories { items[0] };
        std::vector<std::string> newNames { "Photos", "a.jpg", "B.jpg" };
        std::vector<FileURL> targets { FileURL("/p/Photos", true), FileURL("/p/Photos/a.jpg"),
            FileURL("/p/B.jpg") };
        std::vector<std::string> keys { "/p/photos", "/p/photos/a.jpg", "/p/b.jpg" };
        RenamePipeline::TargetCounts counts { { keys[0], 1 }, { keys[1], 1 }, { keys[2], 1 } };
        std::vector<std::int64_t> indexes { 0, 1, 2 };
        RenamePipeline::SubfolderProblems problems;
        auto statusAt = [&](std::size_t position) {
            return RenamePipeline::blockers(position, items[position], problems, items, directories,
                {}, indexes, {}, newNames, counts, targets);
        };
        EXPECT_EQ(statusAt(0), invalid(RenamePipeline::nestedFolderReason));
        EXPECT_EQ(statusAt(1), invalid(RenamePipeline::nestedFolderReason));
        // A change of letter case only is ready here: the existence test comes later.
        EXPECT_EQ(statusAt(2), RenameStatus::ready());
        counts[keys[2]] = 2;
        EXPECT_EQ(statusAt(2), conflict(RenameEngine::duplicateNameReason));
        problems[2] = std::string(RenamePipeline::escapingSubfolderReason);
        EXPECT_EQ(statusAt(2), invalid(RenamePipeline::escapingSubfolderReason));
    }

    TEST(Preview, ItemsGivenUpArePlannedAsItemsLent)
    {
        Uuid group = Uuid::random();
        FileItem jpeg = fileAt("/p/IMG_1.JPG");
        FileItem raw = fileAt("/p/IMG_1.CR2");
        jpeg.pairGroup = raw.pairGroup = group;
        std::vector<FileItem> items { jpeg, folderAt("/p/sub"), raw, fileAt("/p/sub/c.txt"),
            fileAt("/p/b.jpg", false), fileAt("/p/a.txt"), fileAt("/p/taken.txt") };
        std::vector<Rule> rules { patternRule("{#}_{name}") };
        FakeDisk lentDisk;
        lentDisk.paths = { "/p/3_taken.txt", "/p/2_a.txt" };
        auto lent = planned(items, rules, lentDisk);

        FakeDisk givenDisk;
        givenDisk.paths = lentDisk.paths;
        auto given = items;
        auto rows = preview(std::move(given), rules, {}, runDate, givenDisk.questions());
        EXPECT_TRUE(given.empty());
        ASSERT_EQ(rows.size(), lent.size());
        for (std::size_t position = 0; position < rows.size(); ++position) {
            EXPECT_EQ(rows[position].item, lent[position].item) << position;
            EXPECT_EQ(rows[position].newName, lent[position].newName) << position;
            EXPECT_EQ(rows[position].status, lent[position].status) << position;
            EXPECT_EQ(rows[position].targetURL, lent[position].targetURL) << position;
        }
        EXPECT_EQ(givenDisk.asked, lentDisk.asked);
    }

} // namespace
} // namespace sorvik
