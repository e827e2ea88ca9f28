// What the `sorvik` program's preview shows and its rename keeps agree, on files and on stored
// files that are not as the program left them.
#include "app/automation/automation_error.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "app/store/user_defaults.h"
#include "engine/model/preset.h"
#include "tests/app/automation/sorvik_program_fixture.h"
#include "tests/support/temporary_folder.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::SorvikProgram;
    namespace fs = std::filesystem;

    // What the preview shows ready the rename carries out, and its answer and the history say
    // where each file is.
    TEST_F(SorvikProgram, AHiddenFileIsOrganizedAsThePreviewSays)
    {
        grantFiles();
        savePreset("Sub", { Rule(RuleKind(OrganizeConfig { "sub" })) });
        files.createFile(".hidden.txt", "hidden");
        files.createFile("vis.txt", "visible");
        auto url = [&](const char* relative) { return FileURL((files / relative).string()); };
        nlohmann::json targets { url("sub/.hidden.txt").text(), url("sub/vis.txt").text() };

        auto preview = sorvik({ "rename", "--json", "--preset", "Sub", ".hidden.txt", "vis.txt" });
        ASSERT_EQ(preview.status, 0) << preview.err;
        EXPECT_EQ(nlohmann::json::parse(preview.out)["targets"], targets);

        auto applied = sorvik(
            { "rename", "--json", "--apply", "--preset", "Sub", ".hidden.txt", "vis.txt" });
        ASSERT_EQ(applied.status, 0) << applied.err;
        EXPECT_EQ(nlohmann::json::parse(applied.out),
            (nlohmann::json { { "files", targets }, { "targets", targets } }));
        EXPECT_EQ(names(), (std::vector<std::string> { "sub" }));
        EXPECT_EQ(testing::readFile(files / "sub/.hidden.txt"), "hidden");
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves,
            (std::vector<RenameMove> { { url(".hidden.txt"), url("sub/.hidden.txt") },
                { url("vis.txt"), url("sub/vis.txt") } }));
    }

    TEST_F(SorvikProgram, OrganizingIntoAFileIsRefusedByThePreviewAsByTheRename)
    {
        grantFiles();
        savePreset("Into x", { Rule(RuleKind(OrganizeConfig { "x" })) });
        files.createFile("x", "in the way");
        files.createFile("a.txt", "a");
        for (QStringList arguments : { QStringList { "rename", "--preset", "Into x", "a.txt" },
                 QStringList { "rename", "--apply", "--preset", "Into x", "a.txt" } }) {
            auto result = sorvik(arguments);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err,
                std::string(AutomationError::filenameProblem)
                    + "a.txt\na.txt -> x/a.txt: Subfolder name is taken by a file\n");
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "x" }));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(SorvikProgram, NamesOfOneFileAlikeButForLetterCaseAreRenamedEachOnItsOwn)
    {
        grantFiles();
        savePreset("Numbered", { pattern("{#}_{name}") });
        ReplaceConfig capital;
        capital.find = "a";
        capital.replacement = "A";
        capital.caseSensitive = true;
        savePreset("Capital", { Rule(RuleKind(capital)) });
        files.createFile("a.txt", "one file");
        fs::create_hard_link(files / "a.txt", files / "A.txt");

        // Onto the other name, which stays: refused by the preview and the rename alike.
        for (QStringList arguments : { QStringList { "rename", "--preset", "Capital", "a.txt" },
                 QStringList { "rename", "--apply", "--preset", "Capital", "a.txt" } }) {
            auto result = sorvik(arguments);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err,
                std::string(AutomationError::filenameProblem)
                    + "a.txt\na.txt -> A.txt: File already exists\n");
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "A.txt", "a.txt" }));

        auto preview = sorvik({ "rename", "--preset", "Numbered", "a.txt", "A.txt" });
        EXPECT_EQ(preview.status, 0) << preview.err;
        EXPECT_EQ(preview.out, "1_a.txt\n2_A.txt\n");
        auto applied = sorvik({ "rename", "--apply", "--preset", "Numbered", "a.txt", "A.txt" });
        EXPECT_EQ(applied.status, 0) << applied.err;
        EXPECT_EQ(applied.out, "1_a.txt\n2_A.txt\n");
        EXPECT_EQ(names(), (std::vector<std::string> { "1_a.txt", "2_A.txt" }));
        EXPECT_TRUE(fs::equivalent(files / "1_a.txt", files / "2_A.txt"));
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves.size(), 2u);
    }

    TEST_F(SorvikProgram, UnreadablePresetsFileFailsWithItsError)
    {
        fs::create_directories(JSONFiles::applicationFolder());
        std::ofstream(JSONFiles::applicationFolder() / SavedPresets::fileName)
            << "{\"presets\": 3}";
        files.createFile("a.txt");
        for (QStringList arguments :
            { QStringList { "rename", "--preset", "x", "a.txt" }, QStringList { "presets" } }) {
            auto result = sorvik(arguments);
            EXPECT_EQ(result.status, 1);
            EXPECT_NE(result.err, "");
            EXPECT_EQ(result.err.find(AutomationError::presetNotFound), std::string::npos)
                << result.err;
        }
    }

    TEST_F(SorvikProgram, SettingsThatCannotBeReadStopARenameButNotItsPreview)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        auto settings = fs::path(UserDefaults::path().toStdString());
        fs::create_directories(settings.parent_path());
        // A FIFO without a writer, where a read would wait for ever.
        ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);

        auto preview = sorvik({ "rename", "--preset", "Suffix", "a.txt" });
        EXPECT_EQ(preview.status, 0) << preview.err;
        EXPECT_EQ(preview.out, "a-x.txt\n");
        auto refused = sorvik({ "rename", "--apply", "--preset", "Suffix", "a.txt" });
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        // The file's full path, and the way out.
        EXPECT_EQ(refused.err,
            "The file \u201Csorvik.conf\u201D couldn\u2019t be opened because it isn\u2019t a "
            "regular file. To start afresh with the default settings, move \u201C"
                + settings.string() + "\u201D aside and open sorvik again.\n");
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(SorvikProgram, GrantsNameTheFoldersThatCannotBeFoundAndStartUpGoesOn)
    {
        auto kept = files.createFolder("kept");
        auto gone = files.createFolder("gone");
        ASSERT_EQ(sorvik({ "grant", QString::fromStdString(kept.string()),
                             QString::fromStdString(gone.string()) })
                      .status,
            0);
        fs::remove(gone);
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("kept/a.txt");

        auto listed = sorvik({ "grants" });
        EXPECT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(listed.out, kept.string() + "\n");
        EXPECT_EQ(listed.err,
            "The granted folder \u201C" + gone.string()
                + "\u201D couldn\u2019t be found. It may have been moved or deleted, or be on a "
                  "disk that isn\u2019t connected. Until it is back, nothing in it can be "
                  "renamed: connect the disk or put the folder back and open sorvik again, or "
                  "remove the grant under Folder Access in sorvik\u2019s settings.\n");
        // Renaming in the folders that are there goes on.
        auto renamed = sorvik({ "rename", "--apply", "--preset", "Suffix", "kept/a.txt" });
        EXPECT_EQ(renamed.status, 0) << renamed.err;
        EXPECT_TRUE(fs::exists(kept / "a-x.txt"));
    }

    TEST_F(SorvikProgram, ADamagedPresetsFileIsNamedWithTheWayOut)
    {
        auto presets = JSONFiles::applicationFolder() / SavedPresets::fileName;
        fs::create_directories(presets.parent_path());
        std::ofstream(presets, std::ios::binary) << "{\"schemaVersion\":1,\"presets\":[{\"n\n";
        for (QStringList arguments :
            { QStringList { "presets" }, QStringList { "presets", "--json" },
                QStringList { "rename", "--preset", "x", "a.txt" } }) {
            auto result = sorvik(arguments);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err,
                "The file \u201Cpresets.json\u201D couldn\u2019t be opened because it isn\u2019t "
                "in "
                "the correct format (not valid JSON at line 1, column 34). To start afresh with no "
                "saved presets, move \u201C"
                    + presets.string() + "\u201D aside and open sorvik again.\n")
                << arguments.join(' ').toStdString();
        }
    }

    TEST_F(SorvikProgram, GrantsThatCannotBeReadAreAnErrorAndAreKept)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        auto storage = JSONFiles::applicationFolder() / "bookmarks.plist";
        auto expected = "The file \u201Cbookmarks.plist\u201D couldn\u2019t be opened because it "
                        "isn\u2019t in the correct format. To start afresh with no granted "
                        "folders, move \u201C"
            + storage.string() + "\u201D aside and open sorvik again.\n";
        // Nesting deep enough to overflow the stack of any recursive reader.
        std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>/a</key>";
        for (int level = 0; level < 200'000; ++level)
            deep += "<array>";

        for (const auto& damaged : { std::string("bplist00 damaged"), deep }) {
            std::ofstream(storage, std::ios::binary | std::ios::trunc) << damaged;
            for (QStringList arguments : { QStringList { "grants" },
                     QStringList { "grant", QString::fromStdString(files.path().string()) },
                     QStringList { "rename", "--apply", "--preset", "Suffix", "a.txt" } }) {
                auto result = sorvik(arguments);
                EXPECT_EQ(result.status, 1) << arguments.join(' ').toStdString();
                EXPECT_EQ(result.out, "");
                EXPECT_EQ(result.err, expected) << arguments.join(' ').toStdString();
            }
            EXPECT_EQ(testing::readFile(storage), damaged);
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
    }

} // namespace
} // namespace sorvik
