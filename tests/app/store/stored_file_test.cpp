#include "app/store/stored_file.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    FileError failureOf(const std::filesystem::path& path, std::optional<std::int64_t> limit = {})
    {
        try {
            StoredFile::read(path, limit);
        } catch (const FileError& error) {
            return error;
        }
        ADD_FAILURE() << path << " was read";
        return FileError(FileError::Code::fileReadUnknown, {}, {});
    }

    TEST(StoredFile, ReadsRegularFilesThroughLinks)
    {
        TemporaryFolder folder;
        auto file = folder.createFile("a.json", "[1]");
        std::filesystem::create_symlink(file, folder / "link.json");
        EXPECT_EQ(StoredFile::read(file), "[1]");
        EXPECT_EQ(StoredFile::read(folder / "link.json"), "[1]");
        EXPECT_EQ(StoredFile::read(folder.createFile("empty.json")), "");
    }

    TEST(StoredFile, WhatIsNoRegularFileFailsAtOnceNamingTheFile)
    {
        TemporaryFolder folder;
        auto fifo = folder / "history.json";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Returns instead of waiting for a writer, and names the file.
        auto pipe = failureOf(fifo);
        EXPECT_EQ(pipe.code(), FileError::Code::fileReadUnknown);
        EXPECT_STREQ(pipe.what(),
            "The file \u201Chistory.json\u201D couldn\u2019t be opened because it isn\u2019t a "
            "regular file.");
        EXPECT_EQ(failureOf("/dev/zero").code(), FileError::Code::fileReadUnknown);
        auto directory = failureOf(folder.createFolder("presets.json"));
        EXPECT_NE(std::string(directory.what()).find("\u201Cpresets.json\u201D"), std::string::npos)
            << directory.what();
        EXPECT_EQ(failureOf(folder / "absent.json").code(), FileError::Code::fileNoSuchFile);
    }

    TEST(StoredFile, AnUnreadableFileSaysSo)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "permissions do not bind root";
        TemporaryFolder folder;
        auto file = folder.createFile("sorvik.conf", "x=1");
        ::chmod(file.c_str(), 0);
        EXPECT_EQ(failureOf(file).code(), FileError::Code::fileReadNoPermission);
    }

    TEST(StoredFile, ALimitRefusesFilesOfThatSizeOrMore)
    {
        TemporaryFolder folder;
        auto file = folder.createFile("a.json", "12345");
        EXPECT_EQ(StoredFile::read(file, 6), "12345");
        EXPECT_EQ(failureOf(file, 5).code(), FileError::Code::fileReadTooLarge);
        // A file that reports no size is held to the limit by what it gives.
        EXPECT_EQ(failureOf("/proc/self/status", 16).code(), FileError::Code::fileReadTooLarge);
    }

} // namespace
} // namespace sorvik
