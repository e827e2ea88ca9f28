// Moves on volumes that refuse the flags of renameat2 (FUSE mounts, NFS) and that may have
// no hard links either (SMB shares): files and folders move, nothing is ever replaced, and
// no file is left with a second name.
#include "engine/apply/local_file_system.h"

#include "tests/support/network_volumes.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::TemporaryFolder;
    using testing::TestVolume;
    using testing::VolumeKind;
    namespace fs = std::filesystem;

    FileURL url(const fs::path& path) { return FileURL(path.string()); }

    int errorCodeOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const FileSystemError& error) {
            return error.code();
        }
        return 0;
    }

    /// A folder opened for as long as the object lives.
    struct Opened {
        Opened(LocalFileSystem& system, const fs::path& path)
            : fileSystem(system)
            , folder(system.openFolder(url(path), false))
        {
        }
        ~Opened() { fileSystem.closeFolder(folder); }
        Opened(const Opened&) = delete;
        Opened& operator=(const Opened&) = delete;

        LocalFileSystem& fileSystem;
        OpenFolder folder;
    };

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
            fs::create_directories(folder / "album" / "inner");
            std::ofstream(folder / "album" / "inner" / "photo.jpg") << "photo";
            std::ofstream(folder / "a.txt") << "a";
            fs::create_symlink("a.txt", folder / "link");
            LocalFileSystem fileSystem;

            fileSystem.moveItem(url(folder / "a.txt"), url(folder / "b.txt"));
            fileSystem.moveItem(url(folder / "album"), url(folder / "album 2024"));
            fileSystem.moveItem(url(folder / "link"), url(folder / "link2"));
            {
                Opened top(fileSystem, folder);
                fileSystem.createDirectory(top.folder, "sub");
                Opened sub(fileSystem, folder / "sub");
                fileSystem.moveItem(top.folder, "b.txt", sub.folder, "c.txt");
                fileSystem.moveItem(top.folder, "album 2024", sub.folder, "album");
                fileSystem.moveToNewName(sub.folder, "album", sub.folder, ".fresh");
                fileSystem.moveToNewName(top.folder, "link2", top.folder, ".fresh-link");
            }
            EXPECT_EQ(readFile(folder / "sub" / "c.txt"), "a");
            EXPECT_EQ(fs::hard_link_count(folder / "sub" / "c.txt"), 1U);
            EXPECT_EQ(readFile(folder / "sub" / ".fresh" / "inner" / "photo.jpg"), "photo");
            EXPECT_TRUE(fs::is_symlink(folder / ".fresh-link"));
            EXPECT_EQ(fs::read_symlink(folder / ".fresh-link"), "a.txt");
            for (const char* gone : { "a.txt", "b.txt", "album", "album 2024", "link", "link2" })
                EXPECT_FALSE(fs::exists(fs::symlink_status(folder / gone))) << gone;
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
            fs::create_directories(folder / "full" / "inside");
            fs::create_directory(folder / "empty");
            fs::create_symlink(folder / "nowhere", folder / "dangling");
            LocalFileSystem fileSystem;
            Opened top(fileSystem, folder);
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
            EXPECT_TRUE(fs::is_directory(folder / "full" / "inside"));
            EXPECT_TRUE(fs::is_empty(folder / "empty"));
            EXPECT_TRUE(fs::is_symlink(folder / "dangling"));
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
        Opened top(fileSystem, root.path());
        Opened sub(fileSystem, root / "dir" / "sub");
        EXPECT_EQ(errorCodeOf([&] { fileSystem.moveItem(top.folder, "dir", sub.folder, "dir"); }),
            EINVAL);
        fileSystem.moveItem(top.folder, "a", top.folder, "b");
        EXPECT_EQ(top.folder.learnt, 0U);
        EXPECT_EQ(sub.folder.learnt, 0U);
    }

} // namespace
} // namespace sorvik
