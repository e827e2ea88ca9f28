#include "app/store/preset_document.h"

#include "app/store/file_error.h"
#include "engine/model/json.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    FileError::Code failureOf(const std::filesystem::path& path, std::int64_t limit)
    {
        try {
            PresetDocument::readBytes(path, limit);
        } catch (const FileError& error) {
            return error.code();
        }
        ADD_FAILURE() << path << " was read";
        return FileError::Code::fileReadUnknown;
    }

    TEST(PresetDocument, TheDocumentTypeIsMadeOnce)
    {
        const auto& type = PresetDocument::presetDocumentType();
        EXPECT_EQ(&type, &PresetDocument::presetDocumentType());
        EXPECT_EQ(type.identifier, "app.sorvik.mac.preset");
        EXPECT_EQ(type.mimeType, "application/x-sorvik-preset");
        EXPECT_EQ(type.extension, "twpreset");
        EXPECT_EQ(PresetDocument::jsonDocumentType().mimeType, "application/json");
        Preset preset("Trip", "photo", "3478F6", {});
        EXPECT_EQ(PresetDocument::proposedFileName(preset), "Trip.twpreset");
    }

    TEST(PresetDocument, ReadsUpToOneByteBelowTheLimit)
    {
        TemporaryFolder folder;
        auto file = folder.createFile("nine.twpreset", "123456789");
        EXPECT_EQ(PresetDocument::readBytes(file, 10), "123456789");
        EXPECT_EQ(failureOf(file, 9), FileError::Code::fileReadTooLarge);
        auto empty = folder.createFile("empty.twpreset");
        EXPECT_EQ(PresetDocument::readBytes(empty, 10), "");
    }

    TEST(PresetDocument, AFileThatReportsNoSizeIsReadOnlyUpToTheLimit)
    {
        // Files under /proc report a size of 0 whatever they hold, like a file that grows
        // after its size was read.
        std::filesystem::path status = "/proc/self/status";
        struct stat facts { };
        ASSERT_EQ(::stat(status.c_str(), &facts), 0);
        ASSERT_EQ(facts.st_size, 0);
        EXPECT_FALSE(PresetDocument::readBytes(status, 1'000'000).empty());
        EXPECT_EQ(failureOf(status, 16), FileError::Code::fileReadTooLarge);
    }

    TEST(PresetDocument, OnlyRegularFilesAreRead)
    {
        TemporaryFolder folder;
        auto fifo = folder / "pipe.twpreset";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Neither waits for a writer nor reads endless bytes.
        EXPECT_EQ(failureOf(fifo, PresetDocument::sizeLimit), FileError::Code::fileReadUnknown);
        EXPECT_EQ(
            failureOf("/dev/zero", PresetDocument::sizeLimit), FileError::Code::fileReadUnknown);
        EXPECT_EQ(
            failureOf(folder.path(), PresetDocument::sizeLimit), FileError::Code::fileReadUnknown);
        EXPECT_EQ(failureOf(folder / "absent", PresetDocument::sizeLimit),
            FileError::Code::fileNoSuchFile);
        try {
            PresetDocument::readBytes(fifo);
        } catch (const FileError& error) {
            EXPECT_STREQ(error.what(),
                "The file \u201Cpipe.twpreset\u201D couldn\u2019t be opened because it "
                "isn\u2019t a regular file.");
        }
    }

    TEST(PresetDocument, AnImportIsANewPresetOfTheUser)
    {
        TemporaryFolder folder;
        Rule rule(RuleKind(PatternConfig { "{name}" }));
        Preset preset("Trip", "photo", "3478F6", { rule, rule });
        preset.isBuiltIn = true;
        auto file = folder.createFile("Trip.twpreset", PresetDocument::encode(preset));
        auto imported = PresetDocument::read(FileURL(file.string()));
        EXPECT_NE(imported.id, preset.id);
        EXPECT_FALSE(imported.isBuiltIn);
        ASSERT_EQ(imported.rules.size(), 2U);
        EXPECT_EQ(imported.rules[0], rule);
        EXPECT_NE(imported.rules[1].id, rule.id);
        EXPECT_EQ(imported.rules[1].kind, rule.kind);
        EXPECT_EQ(imported.name, "Trip");

        preset.schemaVersion = 0;
        auto old = folder.createFile("Old.twpreset", PresetDocument::encode(preset));
        try {
            PresetDocument::read(FileURL(old.string()));
            ADD_FAILURE() << "schema version 0 was read";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileError::Code::fileReadCorruptFile);
        }
        auto broken = folder.createFile("Broken.twpreset", "{\"name\":\"x\"}");
        EXPECT_THROW(PresetDocument::read(FileURL(broken.string())), json::DecodeError);
    }

} // namespace
} // namespace sorvik
