#include "engine/apply/local_file_system.h"

#include "engine/apply/rename_move.h"
#include "engine/model/json.h"
#include "tests/support/network_volumes.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unordered_set>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::TemporaryFolder;
    using testing::TestVolume;
    using testing::VolumeKind;

    FileURL url(const std::filesystem::path& path) { return FileURL(path.string()); }

    int errorCodeOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const FileSystemError& error) {
            return error.code();
        }
        return 0;
    }

    TEST(LocalFileSystem, ItemExistsDoesNotFollowAFinalLink)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        std::filesystem::create_symlink(folder / "nowhere", folder / "dangling");
        folder.createFile("file.txt");
        EXPECT_TRUE(fileSystem.itemExists(url(folder / "dangling")));
        EXPECT_TRUE(fileSystem.itemExists(url(folder / "file.txt")));
        EXPECT_TRUE(fileSystem.itemExists(url(folder.path())));
        EXPECT_FALSE(fileSystem.itemExists(url(folder / "nowhere")));
        EXPECT_FALSE(fileSystem.itemExists(url(folder / "file.txt" / "inside")));
    }

    TEST(LocalFileSystem, ItemExistsIsFalseInsideAFolderThatCannotBeSearched)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "permissions do not bind the superuser";
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        folder.createFile("locked/file.txt");
        ::chmod((folder / "locked").c_str(), 0);
        EXPECT_FALSE(fileSystem.itemExists(url(folder / "locked" / "file.txt")));
    }

    TEST(LocalFileSystem, AskingManyNamesAtOnceAnswersAsAskingEach)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        std::vector<FileURL> urls;
        for (int index = 0; index < 100; ++index) {
            if (index % 3 == 0)
                folder.createFile("many/file-" + std::to_string(index));
            urls.push_back(url(folder / "many" / ("file-" + std::to_string(index))));
            urls.push_back(url(folder / "many" / ("FILE-" + std::to_string(index))));
        }
        std::filesystem::create_symlink(folder / "nowhere", folder / "many" / "dangling");
        folder.createFile("many/.hidden");
        folder.createFile("many/sub/inner");
        for (const char* name :
            { "dangling", ".hidden", "sub", ".", "..", "sub/inner", "sub/none", "missing" })
            urls.push_back(url(folder / "many" / name));
        urls.push_back(url(folder / "nothing-here" / "x"));
        urls.push_back(url(folder.path()));
        urls.push_back(FileURL("/"));

        auto answers = fileSystem.itemsExist(urls);
        ASSERT_EQ(answers.size(), urls.size());
        std::size_t present = 0;
        for (std::size_t index = 0; index < urls.size(); ++index) {
            EXPECT_EQ(answers[index], fileSystem.itemExists(urls[index])) << urls[index].path;
            present += answers[index] ? 1 : 0;
        }
        EXPECT_EQ(present, 34U + 6U + 2U);
    }

    TEST(LocalFileSystem, MoveNeverReplacesAnything)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        folder.createFile("source.txt", "source");
        folder.createFile("file.txt", "file");
        folder.createFolder("folder");
        std::filesystem::create_symlink(folder / "nowhere", folder / "dangling");
        for (const char* destination : { "file.txt", "folder", "dangling" }) {
            EXPECT_EQ(errorCodeOf([&] {
                fileSystem.moveItem(url(folder / "source.txt"), url(folder / destination));
            }),
                EEXIST)
                << destination;
        }
        EXPECT_EQ(readFile(folder / "source.txt"), "source");
        EXPECT_EQ(readFile(folder / "file.txt"), "file");
        EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling"));
        EXPECT_TRUE(std::filesystem::is_empty(folder / "folder"));
    }

    TEST(LocalFileSystem, MovesFilesAndFolders)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        folder.createFile("a.txt", "a");
        folder.createFile("dir/inner.txt", "inner");
        fileSystem.moveItem(url(folder / "a.txt"), url(folder / "b.txt"));
        fileSystem.moveItem(url(folder / "dir"), url(folder / "renamed"));
        EXPECT_FALSE(std::filesystem::exists(folder / "a.txt"));
        EXPECT_EQ(readFile(folder / "b.txt"), "a");
        EXPECT_EQ(readFile(folder / "renamed" / "inner.txt"), "inner");
        EXPECT_EQ(errorCodeOf(
                      [&] { fileSystem.moveItem(url(folder / "missing"), url(folder / "other")); }),
            ENOENT);
    }

    TEST(LocalFileSystem, CreateDirectoryMakesExactlyOneFolder)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        fileSystem.createDirectory(url(folder / "one"));
        EXPECT_TRUE(std::filesystem::is_directory(folder / "one"));
        EXPECT_EQ(
            errorCodeOf([&] { fileSystem.createDirectory(url(folder / "x" / "y")); }), ENOENT);
        EXPECT_FALSE(std::filesystem::exists(folder / "x"));
        EXPECT_EQ(errorCodeOf([&] { fileSystem.createDirectory(url(folder / "one")); }), EEXIST);
    }

    TEST(LocalFileSystem, RemoveEmptyDirectoryKeepsAFolderWithAHiddenFile)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        folder.createFile("full/.hidden");
        folder.createFolder("empty");
        EXPECT_EQ(
            errorCodeOf([&] { fileSystem.removeEmptyDirectory(url(folder / "full")); }), ENOTEMPTY);
        EXPECT_TRUE(std::filesystem::exists(folder / "full" / ".hidden"));
        fileSystem.removeEmptyDirectory(url(folder / "empty"));
        EXPECT_FALSE(std::filesystem::exists(folder / "empty"));
        EXPECT_EQ(
            errorCodeOf([&] { fileSystem.removeEmptyDirectory(url(folder / "empty")); }), ENOENT);
    }

    TEST(LocalFileSystem, ErrorTextNamesTheOperationFirst)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        folder.createFile("a");
        folder.createFile("b");
        try {
            fileSystem.moveItem(url(folder / "a"), url(folder / "b"));
            FAIL();
        } catch (const FileSystemError& error) {
            EXPECT_EQ(std::string(error.what()),
                "Couldn't move \"" + (folder / "a").string() + "\" to \"" + (folder / "b").string()
                    + "\": File exists");
        }
    }

    /// An open folder, closed when it goes.
    struct Opened {
        Opened(LocalFileSystem& system, OpenFolder opened)
            : fileSystem(system)
            , folder(std::move(opened))
        {
        }
        ~Opened() { fileSystem.closeFolder(folder); }
        Opened(const Opened&) = delete;
        Opened& operator=(const Opened&) = delete;

        LocalFileSystem& fileSystem;
        OpenFolder folder;
    };

    TEST(LocalFileSystem, AnOpenFolderKeepsItsItemsWhenItsPathChanges)
    {
        TemporaryFolder root;
        root.createFile("photos/a", "a");
        LocalFileSystem fileSystem;
        Opened photos(fileSystem, fileSystem.openFolder(url(root / "photos"), false));
        std::filesystem::rename(root / "photos", root / "renamed");
        std::filesystem::create_directory_symlink(root / "renamed", root / "photos");

        ASSERT_TRUE(fileSystem.itemStatus(photos.folder, "a"));
        fileSystem.moveItem(photos.folder, "a", photos.folder, "b");
        EXPECT_EQ(readFile(root / "renamed" / "b"), "a");
        EXPECT_EQ(fileSystem.realPath(photos.folder), (root / "renamed").string());
        EXPECT_EQ(LocalFileSystem::realPathByWalkingUp(photos.folder), (root / "renamed").string());
        fileSystem.createDirectory(photos.folder, "sub");
        Opened sub(fileSystem, fileSystem.openFolder(photos.folder, "sub"));
        fileSystem.moveItem(photos.folder, "b", sub.folder, "c");
        EXPECT_EQ(readFile(root / "renamed" / "sub" / "c"), "a");
        fileSystem.moveItem(sub.folder, "c", photos.folder, "b");
        fileSystem.removeEmptyDirectory(photos.folder, "sub");
        EXPECT_FALSE(std::filesystem::exists(root / "renamed" / "sub"));
    }

    TEST(LocalFileSystem, OpeningAFolderFollowsAFinalLinkOnlyWhenAsked)
    {
        TemporaryFolder root;
        root.createFolder("real");
        root.createFile("file");
        std::filesystem::create_directory_symlink(root / "real", root / "link");
        LocalFileSystem fileSystem;
        EXPECT_NE(errorCodeOf([&] { fileSystem.openFolder(url(root / "link"), false); }), 0);
        Opened followed(fileSystem, fileSystem.openFolder(url(root / "link"), true));
        EXPECT_EQ(fileSystem.realPath(followed.folder), (root / "real").string());
        EXPECT_EQ(errorCodeOf([&] { fileSystem.openFolder(url(root / "file"), true); }), ENOTDIR);
        EXPECT_EQ(errorCodeOf([&] { fileSystem.openFolder(url(root / "missing"), true); }), ENOENT);
        Opened top(fileSystem, fileSystem.openFolder(url(root.path()), false));
        EXPECT_NE(errorCodeOf([&] { fileSystem.openFolder(top.folder, "link"); }), 0);
    }

    TEST(LocalFileSystem, MovesInsideOpenFoldersNeverReplaceAnything)
    {
        TemporaryFolder root;
        root.createFile("a", "a");
        root.createFile("b", "b");
        LocalFileSystem fileSystem;
        Opened folder(fileSystem, fileSystem.openFolder(url(root.path()), false));
        EXPECT_EQ(errorCodeOf([&] { fileSystem.moveItem(folder.folder, "a", folder.folder, "b"); }),
            EEXIST);
        EXPECT_EQ(readFile(root / "b"), "b");
        EXPECT_EQ(
            errorCodeOf([&] { fileSystem.removeEmptyDirectory(folder.folder, "a"); }), ENOTDIR);
    }

    // Volumes that refuse the flags of renameat2 (FUSE mounts, NFS) and may have no hard links
    // either (SMB shares): files and folders move, nothing is ever replaced, and no file is
    // left with a second name.
    class LocalFileSystemOnVolumes : public ::testing::TestWithParam<VolumeKind> {
    protected:
        void SetUp() override
        {
            if (!volume.whyNot().empty())
                GTEST_SKIP() << volume.whyNot();
        }

        TestVolume volume { GetParam() };
    };

    TEST_P(LocalFileSystemOnVolumes, FilesFoldersAndLinksMoveAndKeepOneName)
    {
        volume.run([&] {
            const auto& folder = volume.folder();
            std::filesystem::create_directories(folder / "album" / "inner");
            std::ofstream(folder / "album" / "inner" / "photo.jpg") << "photo";
            std::ofstream(folder / "a.txt") << "a";
            std::filesystem::create_symlink("a.txt", folder / "link");
            LocalFileSystem fileSystem;

            fileSystem.moveItem(url(folder / "a.txt"), url(folder / "b.txt"));
            fileSystem.moveItem(url(folder / "album"), url(folder / "album 2024"));
            fileSystem.moveItem(url(folder / "link"), url(folder / "link2"));
            {
                Opened top(fileSystem, fileSystem.openFolder(url(folder), false));
                fileSystem.createDirectory(top.folder, "sub");
                Opened sub(fileSystem, fileSystem.openFolder(url(folder / "sub"), false));
                fileSystem.moveItem(top.folder, "b.txt", sub.folder, "c.txt");
                fileSystem.moveItem(top.folder, "album 2024", sub.folder, "album");
                fileSystem.moveToNewName(sub.folder, "album", sub.folder, ".fresh");
                fileSystem.moveToNewName(top.folder, "link2", top.folder, ".fresh-link");
            }
            EXPECT_EQ(readFile(folder / "sub" / "c.txt"), "a");
            EXPECT_EQ(std::filesystem::hard_link_count(folder / "sub" / "c.txt"), 1U);
            EXPECT_EQ(readFile(folder / "sub" / ".fresh" / "inner" / "photo.jpg"), "photo");
            EXPECT_TRUE(std::filesystem::is_symlink(folder / ".fresh-link"));
            EXPECT_EQ(std::filesystem::read_symlink(folder / ".fresh-link"), "a.txt");
            for (const char* gone : { "a.txt", "b.txt", "album", "album 2024", "link", "link2" })
                EXPECT_FALSE(
                    std::filesystem::exists(std::filesystem::symlink_status(folder / gone)))
                    << gone;
        });
        // What the volume shows is what is on the disk beneath it.
        EXPECT_EQ(readFile(volume.local() / "sub" / "c.txt"), "a");
    }

    TEST_P(LocalFileSystemOnVolumes, AMoveNeverReplacesAnything)
    {
        volume.run([&] {
            const auto& folder = volume.folder();
            std::ofstream(folder / "file") << "file";
            std::ofstream(folder / "other") << "other";
            std::filesystem::create_directories(folder / "full" / "inside");
            std::filesystem::create_directory(folder / "empty");
            std::filesystem::create_symlink(folder / "nowhere", folder / "dangling");
            LocalFileSystem fileSystem;
            Opened top(fileSystem, fileSystem.openFolder(url(folder), false));
            // A first move teaches the open folder that the volume refuses the flag; the
            // ones after it must still look before they rename.
            fileSystem.moveItem(top.folder, "other", top.folder, "moved");
            for (const char* source : { "moved", "full", "empty", "dangling" }) {
                for (const char* destination : { "file", "full", "empty", "dangling" }) {
                    if (std::string_view(source) == destination)
                        continue;
                    SCOPED_TRACE(std::string(source) + " to " + destination);
                    EXPECT_EQ(errorCodeOf([&] {
                        fileSystem.moveItem(top.folder, source, top.folder, destination);
                    }),
                        EEXIST);
                    EXPECT_EQ(errorCodeOf([&] {
                        fileSystem.moveItem(url(folder / source), url(folder / destination));
                    }),
                        EEXIST);
                }
            }
            EXPECT_EQ(readFile(folder / "file"), "file");
            EXPECT_EQ(readFile(folder / "moved"), "other");
            EXPECT_TRUE(std::filesystem::is_directory(folder / "full" / "inside"));
            EXPECT_TRUE(std::filesystem::is_empty(folder / "empty"));
            EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling"));
            // The system's own refusals come through as they are.
            EXPECT_EQ(errorCodeOf([&] {
                fileSystem.moveItem(url(folder / "full"), url(folder / "full" / "inside" / "x"));
            }),
                EINVAL);
            EXPECT_EQ(errorCodeOf([&] {
                fileSystem.moveItem(top.folder, "missing", top.folder, "anything");
            }),
                ENOENT);
            EXPECT_EQ(errorCodeOf(
                          [&] { fileSystem.moveItem(top.folder, "moved", top.folder, "file/x"); }),
                ENOTDIR);
        });
    }

    INSTANTIATE_TEST_SUITE_P(Volumes, LocalFileSystemOnVolumes,
        ::testing::Values(
            VolumeKind::fuse, VolumeKind::withoutHardLinks, VolumeKind::fuseWithoutHardLinks),
        [](const ::testing::TestParamInfo<VolumeKind>& kind) { return nameOf(kind.param); });

    // A refusal for another reason than the flag (a folder moved into itself) must not make
    // the moves of a volume that knows the flag give it up.
    TEST(LocalFileSystem, AFolderMovedIntoItselfTeachesNothingAboutTheVolume)
    {
        TemporaryFolder root;
        root.createFile("dir/sub/file");
        root.createFile("a");
        LocalFileSystem fileSystem;
        Opened top(fileSystem, fileSystem.openFolder(url(root.path()), false));
        Opened sub(fileSystem, fileSystem.openFolder(url(root / "dir" / "sub"), false));
        EXPECT_EQ(errorCodeOf([&] { fileSystem.moveItem(top.folder, "dir", sub.folder, "dir"); }),
            EINVAL);
        fileSystem.moveItem(top.folder, "a", top.folder, "b");
        EXPECT_EQ(top.folder.learnt, 0U);
        EXPECT_EQ(sub.folder.learnt, 0U);
    }

    TEST(LocalFileSystem, LookingManyNamesUpAnswersAsAskingEach)
    {
        TemporaryFolder root;
        for (int index = 0; index < 100; ++index)
            root.createFile(std::to_string(index));
        std::filesystem::create_symlink("nowhere", root / "dangling");
        LocalFileSystem fileSystem;
        Opened folder(fileSystem, fileSystem.openFolder(url(root.path()), false));
        std::vector<std::string_view> names { "7", "dangling", "missing", "99", "7", "." };
        auto found = fileSystem.findNames(folder.folder, names, 1000);
        // Only where names compare byte for byte; tmpfs and ext4 do.
        if (!found)
            GTEST_SKIP() << "this volume cannot answer from a reading of the folder";
        ASSERT_EQ(found->size(), names.size());
        for (std::size_t index = 0; index < names.size(); ++index) {
            auto status = fileSystem.itemStatus(folder.folder, names[index]);
            if (names[index] == "missing") {
                EXPECT_FALSE((*found)[index]) << names[index];
                continue;
            }
            ASSERT_TRUE(status && (*found)[index]) << names[index];
            EXPECT_EQ(*(*found)[index], status->inode) << names[index];
        }
        EXPECT_FALSE(fileSystem.findNames(folder.folder, names, 50)) << "more entries than allowed";
    }

    TEST(ExistenceSnapshot, AnswersAsItemExistsForEveryPath)
    {
        TemporaryFolder root;
        std::vector<FileURL> asked;
        for (int index = 0; index < 200; index += 2) {
            root.createFile("many/" + std::to_string(index));
            asked.push_back(url(root / "many" / std::to_string(index)));
            asked.push_back(url(root / "many" / std::to_string(index + 1)));
        }
        root.createFile("few/a");
        std::filesystem::create_symlink("nowhere", root / "many" / "dangling");
        for (const char* other : { "few/a", "few/b", "many/dangling", "missing/c", "many" })
            asked.push_back(url(root / other));
        ExistenceSnapshot existence(
            { { (root / "many").string(), 200 }, { (root / "few").string(), 2 } });
        LocalFileSystem fileSystem;
        for (const auto& each : asked)
            EXPECT_EQ(existence(each), fileSystem.itemExists(each)) << each.path;
    }

    TEST(LocalFileSystem, RemovingANameKeepsTheFileUnderItsOtherName)
    {
        TemporaryFolder root;
        root.createFile("a", "a");
        std::filesystem::create_hard_link(root / "a", root / "b");
        LocalFileSystem fileSystem;
        Opened folder(fileSystem, fileSystem.openFolder(url(root.path()), false));
        auto status = fileSystem.itemStatus(folder.folder, "b");
        ASSERT_TRUE(status);
        EXPECT_EQ(status->linkCount, 2U);
        fileSystem.removeName(folder.folder, "b");
        EXPECT_EQ(readFile(root / "a"), "a");
        EXPECT_FALSE(fileSystem.itemStatus(folder.folder, "b"));
    }

    TEST(RenameMove, EqualityAndHashFollowBothURLsAsHeld)
    {
        RenameMove forward { FileURL("/a"), FileURL("/b") };
        RenameMove again { FileURL("/a"), FileURL("/b") };
        RenameMove backward { FileURL("/b"), FileURL("/a") };
        EXPECT_EQ(forward, again);
        EXPECT_NE(forward, backward);
        EXPECT_NE(forward, (RenameMove { FileURL("/a/"), FileURL("/b", true) }));
        EXPECT_NE(forward, (RenameMove { FileURL("/A"), FileURL("/b") }));
        EXPECT_EQ(std::hash<RenameMove> {}(forward), std::hash<RenameMove> {}(again));
        std::unordered_set<RenameMove> moves { forward, again, backward };
        EXPECT_EQ(moves.size(), 2U);
    }

    TEST(RenameMove, JsonHoldsBothURLsAndBothAreRequired)
    {
        RenameMove move { FileURL("/a b/c.txt"), FileURL("/a b/d.txt") };
        nlohmann::json value = move;
        EXPECT_EQ(
            value, json::parse(R"({"from":"file:///a%20b/c.txt","to":"file:///a%20b/d.txt"})"));
        EXPECT_EQ(json::parse(json::serialize(value)).get<RenameMove>(), move);
        EXPECT_THROW(json::parse(R"({"from":"file:///a"})").get<RenameMove>(), json::DecodeError);
        EXPECT_THROW(
            json::parse(R"({"from":"file:///a","to":null})").get<RenameMove>(), json::DecodeError);
        EXPECT_THROW(
            json::parse(R"({"from":"file:///a","to":"/b"})").get<RenameMove>(), json::DecodeError);
    }

    TEST(RenameMove, ComparisonKeyIsStandardizedAndLowerCased)
    {
        EXPECT_EQ(comparisonKey(FileURL("/A/b/../Photo.JPG")), "/a/photo.jpg");
        EXPECT_EQ(comparisonKey(FileURL("/x/\xC3\x89T\xC3\x89.txt")), "/x/\xC3\xA9t\xC3\xA9.txt");
        // Bytes that are not UTF-8 keep everything but their ASCII letters.
        EXPECT_EQ(comparisonKey(FileURL("/x/AB\xFF")), "/x/ab\xFF");
    }

} // namespace
} // namespace sorvik
