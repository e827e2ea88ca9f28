#include "app/store/file_scan.h"

#include "engine/apply/file_system.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    TEST(FileScanReadChecked, GivesTheSameValuesAsTheLenientRead)
    {
        TemporaryFolder files;
        files.createFile("a.txt", "12345", 1'700'000'000);
        files.createFolder("folder");
        for (auto name : { "a.txt", "folder" }) {
            FileURL url((files / name).string());
            EXPECT_EQ(FileScan::readChecked(url), FileScan::read(url)) << name;
        }
        auto values = FileScan::readChecked(FileURL((files / "a.txt").string()));
        EXPECT_EQ(values.size, 5);
        EXPECT_EQ(values.modified, Date::fromUnixSeconds(1'700'000'000));
    }

    TEST(FileScanReadAllChecked, ReadsEveryPathAsReadCheckedDoesAndKeepsFailuresInPlace)
    {
        TemporaryFolder files;
        files.createFile("a/one.txt", "1", 1'700'000'000);
        files.createFile("a/two.txt", "22", 1'700'000'100);
        files.createFile("b/three.txt", "333", 1'700'000'200);
        files.createFolder("a/sub");
        std::filesystem::create_symlink(files / "b", files / "link");
        std::filesystem::create_symlink("nowhere", files / "a" / "dangling");
        files.createFile("plain", "x");
        // Files of one folder side by side and apart, through a linked folder, a folder that
        // is a file, a folder that is missing, a link itself, the folder by ".", and the root.
        std::vector<std::string> paths { "a/one.txt", "a/two.txt", "b/three.txt", "a/missing",
            "a/one.txt", "link/three.txt", "plain/x", "gone/x", "a/dangling", "a/sub", "a/.",
            "a/./two.txt" };
        std::vector<FileURL> urls;
        for (const auto& path : paths)
            urls.emplace_back((files / path).string());
        urls.emplace_back("/");
        auto reads = FileScan::readAllChecked(urls);
        ASSERT_EQ(reads.size(), urls.size());
        for (std::size_t index = 0; index < urls.size(); ++index) {
            FileFingerprint fingerprint;
            int error = 0;
            FileScan::ResourceValues values;
            try {
                values = FileScan::readChecked(urls[index], fingerprint);
            } catch (const FileSystemError& failure) {
                error = failure.code();
            }
            EXPECT_EQ(reads[index].error, error) << urls[index].path;
            if (error != 0)
                continue;
            EXPECT_EQ(reads[index].values, values) << urls[index].path;
            EXPECT_EQ(reads[index].fingerprint, fingerprint) << urls[index].path;
        }
        EXPECT_EQ(reads[3].error, ENOENT);
        EXPECT_EQ(reads[6].error, ENOTDIR);
        EXPECT_EQ(reads[7].error, ENOENT);
        EXPECT_EQ(reads[5].values.size, 3);
    }

    TEST(FileScanReadChecked, MissingFileFailsWithTheSystemError)
    {
        TemporaryFolder files;
        FileURL missing((files / "missing.txt").string());
        EXPECT_EQ(FileScan::read(missing), FileScan::ResourceValues {});
        try {
            FileScan::readChecked(missing);
            FAIL() << "no error";
        } catch (const FileSystemError& error) {
            EXPECT_EQ(error.code(), ENOENT);
            EXPECT_NE(std::string(error.what()).find(missing.path), std::string::npos);
        }
    }

} // namespace
} // namespace sorvik
