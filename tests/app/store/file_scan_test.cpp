#include "app/store/file_scan.h"

#include "engine/apply/file_system.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>

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
