#include "app/store/folder_access_manager.h"

#include "app/store/bookmark.h"
#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/security_scope.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;

    FileURL folderAt(const std::filesystem::path& path) { return FileURL(path.string(), true); }
    FileURL fileAt(const std::filesystem::path& path) { return FileURL(path.string()); }

    std::vector<std::string> pathsOf(const std::vector<FileURL>& urls)
    {
        std::vector<std::string> paths;
        for (const auto& url : urls)
            paths.push_back(url.path);
        return paths;
    }

    std::vector<std::string> keysOf(const BookmarkMap& bookmarks)
    {
        std::vector<std::string> keys;
        for (const auto& [key, data] : bookmarks)
            keys.push_back(key);
        return keys;
    }

    std::filesystem::path storagePath()
    {
        return JSONFiles::applicationFolder() / "bookmarks.plist";
    }
    std::filesystem::path legacyPath() { return JSONFiles::legacyFolder() / "bookmarks.plist"; }

    void writeBytes(const std::filesystem::path& path, std::string_view bytes)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    /// Folders to grant, below the test's isolated home.
    class FolderAccessTest : public ::testing::Test {
    protected:
        std::filesystem::path makeFolder(std::string_view relative)
        {
            auto folder = home.path() / "files" / relative;
            std::filesystem::create_directories(folder);
            return folder;
        }

        IsolatedHome home;
    };

    TEST_F(FolderAccessTest, FirstStartLoadsNothingAndWritesNothing)
    {
        FolderAccessManager manager;
        EXPECT_TRUE(manager.folders().empty());
        EXPECT_TRUE(manager.bookmarks().empty());
        EXPECT_TRUE(manager.active().empty());
        EXPECT_EQ(manager.errorMessage(), std::nullopt);
        EXPECT_EQ(manager.storage().path, storagePath().string());
        EXPECT_TRUE(std::filesystem::is_directory(JSONFiles::applicationFolder()));
        EXPECT_FALSE(std::filesystem::exists(storagePath()));
    }

    TEST_F(FolderAccessTest, GrantsSurviveARestartInPathOrder)
    {
        auto zoo = makeFolder("Zoo");
        auto apples = makeFolder("apples");
        auto beach = makeFolder("Beach");
        {
            FolderAccessManager manager;
            for (const auto& folder : { zoo, apples, beach })
                manager.grant(folderAt(folder));
            EXPECT_EQ(pathsOf(manager.folders()),
                (std::vector<std::string> { zoo.string(), apples.string(), beach.string() }));
            EXPECT_EQ(manager.active().size(), 3U);
            EXPECT_EQ(SecurityScope::accessCount(folderAt(zoo)), 1);

            auto stored = BookmarkFile::decode(readFile(storagePath()));
            EXPECT_EQ(stored, manager.bookmarks());
            EXPECT_EQ(keysOf(stored),
                (std::vector<std::string> { beach.string(), zoo.string(), apples.string() }));
        }
        EXPECT_EQ(SecurityScope::accessCount(folderAt(zoo)), 0);

        FolderAccessManager restarted;
        EXPECT_EQ(restarted.errorMessage(), std::nullopt);
        // Start-up opens the stored grants in path order, the same way every time.
        EXPECT_EQ(pathsOf(restarted.folders()),
            (std::vector<std::string> { beach.string(), zoo.string(), apples.string() }));
        EXPECT_EQ(restarted.active().size(), 3U);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(zoo)), 1);
        EXPECT_TRUE(restarted.covers(fileAt(apples / "x.jpg")));
    }

    TEST_F(FolderAccessTest, GrantingTheSameFolderTwiceKeepsOneEntry)
    {
        auto photos = makeFolder("Photos");
        FolderAccessManager manager;
        int foldersChanged = 0;
        int bookmarksChanged = 0;
        int activeChanged = 0;
        QObject::connect(&manager, &FolderAccessManager::foldersChanged, [&] { ++foldersChanged; });
        QObject::connect(
            &manager, &FolderAccessManager::bookmarksChanged, [&] { ++bookmarksChanged; });
        QObject::connect(&manager, &FolderAccessManager::activeChanged, [&] { ++activeChanged; });

        manager.grant(folderAt(photos));
        manager.grant(fileAt(photos));
        manager.grant(folderAt(photos / "." / ".." / "Photos"));
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
        EXPECT_EQ(keysOf(manager.bookmarks()), std::vector<std::string> { photos.string() });
        EXPECT_EQ(manager.active().size(), 1U);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 1);
        EXPECT_EQ(foldersChanged, 1);
        EXPECT_EQ(bookmarksChanged, 1);
        EXPECT_EQ(activeChanged, 1);
    }

    TEST_F(FolderAccessTest, GrantingSomethingElseThanAFolderChangesNothing)
    {
        auto file = home.path() / "files" / "note.txt";
        writeBytes(file, "x");
        FolderAccessManager manager;
        struct Case {
            std::filesystem::path path;
            FileError::Code code;
        };
        for (const Case& refused : { Case { file, FileError::Code::fileReadUnsupportedScheme },
                 Case { home.path() / "files" / "missing", FileError::Code::fileNoSuchFile } }) {
            try {
                manager.grant(folderAt(refused.path));
                ADD_FAILURE() << "granted " << refused.path;
            } catch (const FileError& error) {
                EXPECT_EQ(error.code(), refused.code) << refused.path;
            }
        }
        EXPECT_TRUE(manager.folders().empty());
        EXPECT_TRUE(manager.bookmarks().empty());
        EXPECT_TRUE(manager.active().empty());
        EXPECT_FALSE(std::filesystem::exists(storagePath()));
    }

    TEST_F(FolderAccessTest, FailedWriteOfAGrantLeavesEverythingAsItWas)
    {
        auto photos = makeFolder("Photos");
        FolderAccessManager manager;
        std::filesystem::create_directories(storagePath() / "blocker");
        EXPECT_THROW(manager.grant(folderAt(photos)), FileError);
        EXPECT_TRUE(manager.folders().empty());
        EXPECT_TRUE(manager.bookmarks().empty());
        EXPECT_TRUE(manager.active().empty());
        EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 0);
        // The temporary file of the failed write is gone.
        std::vector<std::string> entries;
        for (const auto& entry :
            std::filesystem::directory_iterator(JSONFiles::applicationFolder()))
            entries.push_back(entry.path().filename().string());
        EXPECT_EQ(entries, std::vector<std::string> { "bookmarks.plist" });
    }

    TEST_F(FolderAccessTest, CoversTheGrantedFolderAndWhatLiesBelowIt)
    {
        auto photos = makeFolder("Photos");
        makeFolder("Photos2");
        auto other = makeFolder("Other");
        auto accented = makeFolder("\xC3\xA9t\xC3\xA9"); // NFC
        writeBytes(photos / "x.jpg", "x");
        std::filesystem::create_directory_symlink(photos, home.path() / "files" / "Shortcut");
        std::filesystem::create_symlink(photos / "x.jpg", other / "link.jpg");

        FolderAccessManager manager;
        manager.grant(folderAt(photos));
        manager.grant(folderAt(accented));
        auto files = home.path() / "files";
        struct Case {
            std::string path;
            bool covered;
        };
        for (const Case& check : {
                 Case { photos.string(), true },
                 Case { (photos / "x.jpg").string(), true },
                 Case { photos.string() + "/", true },
                 Case { (files / "Photos2" / "x.jpg").string(), false },
                 Case { (files / "photos" / "x.jpg").string(), false },
                 Case { (files / "PHOTOS").string(), false },
                 Case { files.string(), false },
                 // Organize destinations that do not exist yet.
                 Case { (photos / "2024" / "May" / "x.jpg").string(), true },
                 Case { (files / "Shortcut" / "New" / "x.jpg").string(), true },
                 // Through a symbolic link into the granted folder, and out of it again.
                 Case { (files / "Shortcut" / "x.jpg").string(), true },
                 Case { (photos / ".." / "Other" / "x.jpg").string(), false },
                 Case { (photos / "." / "x.jpg").string(), true },
                 Case { (other / "link.jpg").string(), true },
                 // Canonically equivalent spelling (NFD) of the granted folder.
                 Case { (files / "e\xCC\x81te\xCC\x81" / "x.jpg").string(), true },
             }) {
            EXPECT_EQ(manager.covers(FileURL(check.path)), check.covered) << check.path;
        }
    }

    TEST_F(FolderAccessTest, GrantedRootCoversEveryPath)
    {
        FolderAccessManager manager;
        manager.grant(FileURL("/", true));
        for (const char* path : { "/", "/etc/hostname", "/no/such/place/x.jpg" })
            EXPECT_TRUE(manager.covers(FileURL(path))) << path;
        manager.remove(FileURL("/", true));
        EXPECT_FALSE(manager.covers(FileURL("/etc/hostname")));
    }

    TEST_F(FolderAccessTest, LegacyGrantsMoveToTheApplicationFolderOnce)
    {
        auto photos = makeFolder("Photos");
        auto later = makeFolder("Later");
        const auto legacyBytes
            = BookmarkFile::encode({ { photos.string(), Bookmark::create(folderAt(photos)) } });
        writeBytes(legacyPath(), legacyBytes);
        {
            FolderAccessManager manager;
            EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
            ASSERT_TRUE(std::filesystem::exists(storagePath()));
            EXPECT_EQ(BookmarkFile::decode(readFile(storagePath())), manager.bookmarks());
            EXPECT_EQ(readFile(legacyPath()), legacyBytes);
        }
        // The legacy file changes afterwards; only the new file counts from now on.
        writeBytes(legacyPath(),
            BookmarkFile::encode({ { later.string(), Bookmark::create(folderAt(later)) } }));
        FolderAccessManager restarted;
        EXPECT_EQ(pathsOf(restarted.folders()), std::vector<std::string> { photos.string() });
    }

    TEST_F(FolderAccessTest, UnresolvableGrantIsReportedSkippedAndKept)
    {
        auto first = makeFolder("a");
        auto gone = makeFolder("b");
        auto last = makeFolder("c");
        BookmarkMap stored;
        for (const auto& folder : { first, gone, last })
            stored[folder.string()] = Bookmark::create(folderAt(folder));
        std::filesystem::remove(gone);
        const auto bytes = BookmarkFile::encode(stored);
        writeBytes(storagePath(), bytes);

        FolderAccessManager manager;
        EXPECT_EQ(pathsOf(manager.folders()),
            (std::vector<std::string> { first.string(), last.string() }));
        EXPECT_EQ(manager.active().size(), 2U);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(last)), 1);
        ASSERT_TRUE(manager.errorMessage());
        EXPECT_NE(*manager.errorMessage(), "");
        EXPECT_EQ(manager.bookmarks(), stored);
        EXPECT_EQ(readFile(storagePath()), bytes);
    }

    /// A granted folder that start-up cannot open (deleted, moved out of reach, on a disk
    /// that is not mounted) is named, with what it means and what the user can do; its grant is
    /// kept and the other folders open.
    TEST_F(FolderAccessTest, GrantsWhoseFolderCannotBeFoundAreNamedWithTheWayOut)
    {
        struct Case {
            const char* label;
            std::vector<std::string> gone;
            /// Takes the folder away.
            std::function<void(const std::filesystem::path&)> takeAway;
        };
        auto farAway = home.path() / "elsewhere" / "a" / "b" / "c";
        const Case cases[] = {
            { "deleted", { "Gone" },
                [](const std::filesystem::path& folder) { std::filesystem::remove(folder); } },
            { "moved out of reach", { "Moved" },
                [&](const std::filesystem::path& folder) {
                    std::filesystem::create_directories(farAway);
                    std::filesystem::rename(folder, farAway / "Moved");
                } },
            { "two of them", { "First", "Second" },
                [](const std::filesystem::path& folder) { std::filesystem::remove(folder); } },
        };
        for (const auto& test : cases) {
            SCOPED_TRACE(test.label);
            std::filesystem::remove_all(home.path() / "files");
            std::filesystem::remove_all(home.path() / "elsewhere");
            std::filesystem::remove(storagePath());
            auto kept = makeFolder("Kept");
            std::vector<FileURL> gone;
            {
                FolderAccessManager manager;
                manager.grant(folderAt(kept));
                for (const auto& name : test.gone) {
                    auto folder = makeFolder(name);
                    manager.grant(folderAt(folder));
                    gone.push_back(folderAt(folder));
                }
            }
            for (const auto& folder : gone)
                test.takeAway(folder.path);
            auto stored = readFile(storagePath());

            FolderAccessManager manager;
            EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { kept.string() });
            EXPECT_EQ(manager.notFoundFolders(), gone);
            ASSERT_TRUE(manager.errorMessage());
            EXPECT_EQ(*manager.errorMessage(), FolderAccessManager::notFoundText(gone).value());
            for (const auto& folder : gone)
                EXPECT_NE(manager.errorMessage()->find("\u201C" + folder.path + "\u201D"),
                    std::string::npos)
                    << *manager.errorMessage();
            EXPECT_EQ(readFile(storagePath()), stored);
        }
        EXPECT_EQ(FolderAccessManager::notFoundText({ FileURL("/media/usb/Photos", true) }),
            "The granted folder \u201C/media/usb/Photos\u201D couldn\u2019t be found. It may "
            "have been moved or deleted, or be on a disk that isn\u2019t connected. Until it is "
            "back, nothing in it can be renamed: connect the disk or put the folder back and "
            "open sorvik again, or remove the grant under Folder Access in sorvik\u2019s "
            "settings.");
        EXPECT_FALSE(FolderAccessManager::notFoundText({}));
    }

    TEST_F(FolderAccessTest, AGrantOnAVolumeThatIsNotMountedIsNamedAndComesBackWithIt)
    {
        auto mountPoint = makeFolder("usb");
        if (::mount("sorvik-test", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "a volume cannot be mounted here: " << std::strerror(errno);
        auto photos = mountPoint / "Photos";
        std::filesystem::create_directory(photos);
        {
            FolderAccessManager manager;
            manager.grant(folderAt(photos));
        }
        ASSERT_EQ(::umount2(mountPoint.c_str(), 0), 0);

        {
            FolderAccessManager manager;
            EXPECT_TRUE(manager.folders().empty());
            EXPECT_EQ(manager.notFoundFolders(), std::vector<FileURL> { folderAt(photos) });
            EXPECT_EQ(
                manager.errorMessage(), FolderAccessManager::notFoundText({ folderAt(photos) }));
        }
        // The volume is back, with the same folder on it: the grant opens again.
        ASSERT_EQ(::mount("sorvik-test", mountPoint.c_str(), "tmpfs", 0, "size=1m"), 0);
        std::filesystem::create_directory(photos);
        FolderAccessManager manager;
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        // A new tmpfs is a new volume: the folder is another one at the same path, taken for
        // it as for a replaced folder.
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
        EXPECT_TRUE(manager.notFoundFolders().empty());
    }

    TEST_F(FolderAccessTest, ADamagedGrantIsNamedAsDamaged)
    {
        auto kept = makeFolder("Kept");
        BookmarkMap stored { { kept.string(), Bookmark::create(folderAt(kept)) },
            { "/damaged/grant", BookmarkData { 1, 2, 3 } } };
        writeBytes(storagePath(), BookmarkFile::encode(stored));
        FolderAccessManager manager;
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { kept.string() });
        EXPECT_EQ(
            manager.notFoundFolders(), std::vector<FileURL> { FileURL("/damaged/grant", true) });
        EXPECT_EQ(manager.errorMessage(),
            "The grant of \u201C/damaged/grant\u201D in \u201C" + storagePath().string()
                + "\u201D is damaged, so that folder can\u2019t be opened. Remove the grant and "
                  "grant the folder again.");
    }

    TEST_F(FolderAccessTest, UnreadableGrantFileIsReportedAndKept)
    {
        writeBytes(storagePath(), "not a property list");
        FolderAccessManager manager;
        EXPECT_TRUE(manager.errorMessage());
        EXPECT_TRUE(manager.bookmarks().empty());
        EXPECT_EQ(readFile(storagePath()), "not a property list");
    }

    TEST_F(FolderAccessTest, AGrantFileThatCannotBeReadIsNeverWrittenOver)
    {
        auto kept = makeFolder("Kept");
        {
            FolderAccessManager manager;
            manager.grant(folderAt(kept));
        }
        auto stored = readFile(storagePath());
        struct Case {
            const char* label;
            std::function<void()> damage;
            std::function<bool()> isUnchanged;
        };
        // Nested far deeper than any grants file, which crashed every program that read it.
        std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>";
        for (int level = 0; level < 200'000; ++level)
            deep += "<array>";
        const Case cases[] = {
            { "damaged", [] { writeBytes(storagePath(), "bplist00 damaged"); },
                [] { return readFile(storagePath()) == "bplist00 damaged"; } },
            { "deeply nested", [&] { writeBytes(storagePath(), deep); },
                [&] { return readFile(storagePath()) == deep; } },
            { "FIFO",
                [] {
                    std::filesystem::remove(storagePath());
                    ASSERT_EQ(::mkfifo(storagePath().c_str(), 0600), 0);
                },
                [] { return std::filesystem::is_fifo(storagePath()); } },
            { "folder",
                [] {
                    std::filesystem::remove(storagePath());
                    std::filesystem::create_directory(storagePath());
                },
                [] { return std::filesystem::is_directory(storagePath()); } },
        };
        for (const auto& test : cases) {
            test.damage();
            FolderAccessManager manager; // never waits on the FIFO
            ASSERT_TRUE(manager.storageError()) << test.label;
            EXPECT_NE(
                manager.storageError()->find("\u201Cbookmarks.plist\u201D"), std::string::npos)
                << *manager.storageError();
            EXPECT_EQ(manager.errorMessage(), manager.storageError()) << test.label;
            EXPECT_TRUE(manager.storageError()->ends_with(
                " To start afresh with no granted folders, move \u201C" + storagePath().string()
                + "\u201D aside and open sorvik again."))
                << *manager.storageError();
            EXPECT_TRUE(manager.folders().empty()) << test.label;

            try {
                manager.grant(folderAt(makeFolder("New")));
                ADD_FAILURE() << test.label << ": granted";
            } catch (const Error& error) {
                EXPECT_EQ(error.what(), *manager.storageError()) << test.label;
            }
            EXPECT_TRUE(manager.folders().empty()) << test.label;
            manager.setErrorMessage(std::nullopt);
            manager.remove(folderAt(kept));
            EXPECT_TRUE(manager.errorMessage()) << test.label;
            EXPECT_TRUE(test.isUnchanged()) << test.label;

            std::filesystem::remove(storagePath());
            writeBytes(storagePath(), stored);
        }
        FolderAccessManager repaired;
        EXPECT_EQ(pathsOf(repaired.folders()), std::vector<std::string> { kept.string() });
    }

    TEST_F(FolderAccessTest, ApplicationFolderThatCannotBeMadeIsReported)
    {
        writeBytes(JSONFiles::applicationFolder(), "a file where the folder belongs");
        FolderAccessManager manager;
        EXPECT_TRUE(manager.errorMessage());
        EXPECT_TRUE(manager.folders().empty());
    }

    TEST_F(FolderAccessTest, MovedFolderIsRefreshedUnderItsNewPathReplacingTheOldEntry)
    {
        auto old = makeFolder("Old");
        {
            FolderAccessManager manager;
            manager.grant(folderAt(old));
        }
        auto moved = home.path() / "files" / "New";
        std::filesystem::rename(old, moved);
        {
            FolderAccessManager manager;
            EXPECT_EQ(manager.errorMessage(), std::nullopt);
            EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { moved.string() });
            EXPECT_EQ(keysOf(manager.bookmarks()), std::vector<std::string> { moved.string() });
            EXPECT_EQ(BookmarkFile::decode(readFile(storagePath())), manager.bookmarks());
            EXPECT_EQ(Bookmark::resolve(manager.bookmarks().begin()->second).isStale, false);
        }
        FolderAccessManager again;
        EXPECT_EQ(pathsOf(again.folders()), std::vector<std::string> { moved.string() });
        EXPECT_EQ(again.bookmarks().size(), 1U);
    }

    TEST_F(FolderAccessTest, OldAndNewEntryOfOneFolderOpenItOnce)
    {
        // A file written by an earlier version: a stale entry under the old path beside a
        // fresh one under the new path, both naming one folder.
        auto old = makeFolder("Old");
        auto staleData = Bookmark::create(folderAt(old));
        auto moved = home.path() / "files" / "New";
        std::filesystem::rename(old, moved);
        writeBytes(storagePath(),
            BookmarkFile::encode({ { old.string(), staleData },
                { moved.string(), Bookmark::create(folderAt(moved)) } }));

        FolderAccessManager manager;
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { moved.string() });
        EXPECT_EQ(keysOf(manager.bookmarks()), std::vector<std::string> { moved.string() });
        EXPECT_EQ(manager.active().size(), 1U);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(moved)), 1);
    }

    TEST_F(FolderAccessTest, RemovedGrantDoesNotComeBack)
    {
        auto photos = makeFolder("Photos");
        auto music = makeFolder("Music");
        auto old = makeFolder("Old");
        {
            FolderAccessManager manager;
            manager.grant(folderAt(photos));
            manager.grant(folderAt(music));
            manager.remove(fileAt(photos / "."));
            EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { music.string() });
            EXPECT_EQ(keysOf(manager.bookmarks()), std::vector<std::string> { music.string() });
            EXPECT_EQ(manager.active().size(), 1U);
            EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 0);
            EXPECT_FALSE(manager.covers(fileAt(photos / "x.jpg")));
        }
        // An entry left under an old path names the folder too and goes with it.
        auto staleData = Bookmark::create(folderAt(old));
        auto moved = home.path() / "files" / "Moved";
        std::filesystem::rename(old, moved);
        auto stored = BookmarkFile::decode(readFile(storagePath()));
        stored[old.string()] = staleData;
        stored[moved.string()] = Bookmark::create(folderAt(moved));
        writeBytes(storagePath(), BookmarkFile::encode(stored));
        {
            FolderAccessManager manager;
            manager.remove(folderAt(moved));
            EXPECT_EQ(keysOf(manager.bookmarks()), std::vector<std::string> { music.string() });
        }
        FolderAccessManager restarted;
        EXPECT_EQ(pathsOf(restarted.folders()), std::vector<std::string> { music.string() });
        EXPECT_EQ(keysOf(restarted.bookmarks()), std::vector<std::string> { music.string() });
    }

    TEST_F(FolderAccessTest, FailedWriteOfARemovalKeepsTheGrant)
    {
        auto photos = makeFolder("Photos");
        FolderAccessManager manager;
        manager.grant(folderAt(photos));
        const auto bookmarks = manager.bookmarks();
        std::filesystem::remove(storagePath());
        std::filesystem::create_directories(storagePath() / "blocker");

        manager.remove(folderAt(photos));
        ASSERT_TRUE(manager.errorMessage());
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
        EXPECT_EQ(manager.bookmarks(), bookmarks);
        EXPECT_EQ(manager.active().size(), 1U);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 1);
    }

    TEST_F(FolderAccessTest, WithAccessRefusesUncoveredFilesBeforeDoingAnything)
    {
        auto photos = makeFolder("Photos");
        auto outside = makeFolder("Outside");
        FolderAccessManager manager;
        manager.grant(folderAt(photos));
        bool ran = false;
        try {
            manager.withAccess({ fileAt(photos / "a.jpg"), fileAt(outside / "b.jpg") }, [&] {
                ran = true;
                return 0;
            });
            ADD_FAILURE() << "no failure";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileError::Code::fileWriteNoPermission);
            EXPECT_EQ(error.path(), (outside / "b.jpg").string());
        }
        EXPECT_FALSE(ran);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 1);
    }

    TEST_F(FolderAccessTest, WithAccessHoldsTheConcernedFoldersForTheBatchOnly)
    {
        auto photos = makeFolder("Photos");
        auto music = makeFolder("Music");
        FolderAccessManager manager;
        manager.grant(folderAt(photos));
        manager.grant(folderAt(music));

        int result
            = manager.withAccess({ fileAt(photos / "a.jpg"), folderAt(photos / "New") }, [&] {
                  EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 2);
                  EXPECT_EQ(SecurityScope::accessCount(folderAt(music)), 1);
                  return 7;
              });
        EXPECT_EQ(result, 7);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(photos)), 1);

        EXPECT_THROW(manager.withAccess({ fileAt(music / "x.mp3") },
                         []() -> int { throw Error("Couldn't rename the files"); }),
            Error);
        EXPECT_EQ(SecurityScope::accessCount(folderAt(music)), 1);
    }

    /// Answers the folder dialog as a test tells it to and records how it was asked.
    class ScriptedPrompt : public AccessPrompt {
    public:
        std::optional<FileURL> chooseFolder(const FileURL& startFolder,
            const std::string& acceptLabel, const std::string& message) override
        {
            ++asked;
            lastStart = startFolder;
            lastLabel = acceptLabel;
            lastMessage = message;
            return answer;
        }

        std::optional<FileURL> answer;
        int asked = 0;
        FileURL lastStart;
        std::string lastLabel;
        std::string lastMessage;
    };

    TEST_F(FolderAccessTest, RequestAccessGrantsTheChosenFolder)
    {
        auto photos = makeFolder("Photos");
        FolderAccessManager manager;
        manager.requestAccess(folderAt(photos)); // no dialog: nothing happens
        EXPECT_TRUE(manager.folders().empty());

        ScriptedPrompt prompt;
        manager.setAccessPrompt(&prompt);
        manager.requestAccess(folderAt(photos)); // cancelled
        EXPECT_EQ(prompt.asked, 1);
        EXPECT_EQ(prompt.lastStart, folderAt(photos));
        EXPECT_EQ(prompt.lastLabel, "Allow");
        EXPECT_EQ(prompt.lastMessage, "Allow access to the folder containing your files.");
        EXPECT_TRUE(manager.folders().empty());
        EXPECT_EQ(manager.errorMessage(), std::nullopt);

        prompt.answer = folderAt(photos);
        manager.requestAccess(folderAt(photos));
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
        EXPECT_EQ(manager.errorMessage(), std::nullopt);

        prompt.answer = folderAt(photos / "missing");
        manager.requestAccess(folderAt(photos));
        ASSERT_TRUE(manager.errorMessage());
        EXPECT_EQ(pathsOf(manager.folders()), std::vector<std::string> { photos.string() });
    }

} // namespace
} // namespace sorvik
