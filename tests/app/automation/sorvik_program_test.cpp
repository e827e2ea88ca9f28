// The command line as scripts meet it: the `sorvik` program run in a fresh data folder.
#include "app/automation/command_line.h"

#include "app/automation/automation_error.h"
#include "app/store/batch_recovery.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "app/store/user_defaults.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/preset.h"
#include "tests/app/automation/program_run.h"
#include "tests/app/services/content_samples.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    TEST(CommandLineFileURL, ArgumentsBecomeLocalURLsOrNothing)
    {
        const fs::path current = "/home/user/pictures";
        struct Case {
            std::string argument;
            std::optional<std::string> path;
        };
        std::vector<Case> cases {
            { "/abs/a.jpg", "/abs/a.jpg" },
            { "a.jpg", "/home/user/pictures/a.jpg" },
            { "../b.jpg", "/home/user/pictures/../b.jpg" },
            { "folder/", "/home/user/pictures/folder" },
            { "a:b.jpg", "/home/user/pictures/a:b.jpg" },
            { "file:///abs/caf%C3%A9%20x.jpg", "/abs/caf\xC3\xA9 x.jpg" },
            { "FILE://localhost/abs/a.jpg", "/abs/a.jpg" },
            { "http://example.com/a.jpg", std::nullopt },
            { "smb://server/share/a.jpg", std::nullopt },
            { "file://server/a.jpg", std::nullopt },
            { "file:///a.jpg?x=1", std::nullopt },
            { "", std::nullopt },
        };
        for (const auto& each : cases) {
            auto url = CommandLine::fileURL(each.argument, current);
            ASSERT_EQ(url.has_value(), each.path.has_value()) << each.argument;
            if (url) {
                EXPECT_EQ(url->path, *each.path) << each.argument;
            }
        }
    }

    class SorvikProgram : public ::testing::Test {
    protected:
        using Result = testing::ProgramResult;

        /// Runs the program with the test's data folder (inherited from this process's
        /// environment) in `currentFolder`, by default the files folder.
        Result sorvik(const QStringList& arguments, const fs::path& currentFolder = {},
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
            const std::function<void()>& inChild = {})
        {
            QProcess process;
            process.setProcessEnvironment(environment);
            if (inChild)
                process.setChildProcessModifier(inChild);
            process.setProgram(QStringLiteral(SORVIK_PROGRAM));
            process.setArguments(arguments);
            process.setWorkingDirectory(QString::fromStdString(
                (currentFolder.empty() ? files.path() : currentFolder).string()));
            return testing::runToEnd(process);
        }

        QString path(std::string_view relative) const
        {
            return QString::fromStdString((files / relative).string());
        }

        void grantFiles()
        {
            auto granted = sorvik({ "grant", QString::fromStdString(files.path().string()) });
            ASSERT_EQ(granted.status, 0) << granted.err;
        }

        Preset savePreset(std::string name, std::vector<Rule> rules)
        {
            Preset preset(std::move(name), "calendar", "3478F6", std::move(rules));
            auto saved
                = JSONFiles::load<SavedPresets>(SavedPresets::fileName).value_or(SavedPresets {});
            saved.presets.push_back(preset);
            JSONFiles::save(saved, SavedPresets::fileName);
            return preset;
        }

        static Rule pattern(std::string templateText)
        {
            return Rule(RuleKind(PatternConfig { std::move(templateText) }));
        }

        Preset photosByDate()
        {
            return savePreset(
                "Photos by Date", { pattern("{exif.date:yyyy-MM-dd|Undated}_{name}") });
        }

        std::vector<std::string> names() const
        {
            std::vector<std::string> found;
            for (const auto& entry : fs::directory_iterator(files.path()))
                found.push_back(entry.path().filename().string());
            std::sort(found.begin(), found.end());
            return found;
        }

        bool historyFileExists() const
        {
            return fs::exists(JSONFiles::applicationFolder() / HistoryFile::fileName);
        }

        /// A dated photo and an undated note.
        void createPhotoAndNote()
        {
            testing::writeJpeg(
                files / "beach.jpg", { { "Exif.Photo.DateTimeOriginal", "2023:07:14 09:30:00" } });
            files.createFile("notes.txt", "hello");
        }

        IsolatedHome home;
        TemporaryFolder files;
    };

    TEST_F(SorvikProgram, DryRunListsTheNewNamesAndMovesNothing)
    {
        grantFiles();
        photosByDate();
        createPhotoAndNote();
        auto result = sorvik({ "rename", "--preset", "Photos by Date", "beach.jpg", "notes.txt" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "2023-07-14_beach.jpg\nUndated_notes.txt\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(names(), (std::vector<std::string> { "beach.jpg", "notes.txt" }));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(SorvikProgram, ApplyRenamesAndRecordsTheBatch)
    {
        grantFiles();
        photosByDate();
        createPhotoAndNote();
        auto result = sorvik(
            { "rename", "--apply", "--preset=Photos by Date", path("beach.jpg"), "notes.txt" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "2023-07-14_beach.jpg\nUndated_notes.txt\n");
        EXPECT_EQ(
            names(), (std::vector<std::string> { "2023-07-14_beach.jpg", "Undated_notes.txt" }));

        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        ASSERT_EQ(history[0].moves.size(), 2u);
        EXPECT_EQ(history[0].moves[0].from.path, (files / "beach.jpg").string());
        EXPECT_EQ(history[0].moves[0].to.path, (files / "2023-07-14_beach.jpg").string());
        EXPECT_EQ(history[0].moves[1].to.path, (files / "Undated_notes.txt").string());
        // The recorded batch can be taken back.
        EXPECT_NO_THROW(history[0].validateForUndo());
    }

    TEST_F(SorvikProgram, JsonGivesTheFilesAndTheirTargets)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        auto a = FileURL((files / "a.txt").string()).text();
        auto ax = FileURL((files / "a-x.txt").string()).text();

        auto preview = sorvik({ "rename", "--json", "--preset", "Suffix", "a.txt" });
        ASSERT_EQ(preview.status, 0) << preview.err;
        auto document = nlohmann::json::parse(preview.out);
        EXPECT_EQ(document, (nlohmann::json { { "files", { a } }, { "targets", { ax } } }));

        auto applied = sorvik({ "rename", "--json", "--apply", "--preset", "Suffix", "a.txt" });
        ASSERT_EQ(applied.status, 0) << applied.err;
        document = nlohmann::json::parse(applied.out);
        EXPECT_EQ(document, (nlohmann::json { { "files", { ax } }, { "targets", { ax } } }));
    }

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

    TEST_F(SorvikProgram, PresetIsFoundByIdOrByItsExactName)
    {
        grantFiles();
        files.createFile("a.txt");
        auto first = savePreset("Same", { pattern("first") });
        savePreset("Same", { pattern("second") });
        auto other = savePreset("Other", { pattern("other") });

        struct Case {
            QString preset;
            std::string out;
        };
        std::vector<Case> cases {
            { "Same", "first.txt\n" },
            { QString::fromStdString(other.id.text()), "other.txt\n" },
            { QString::fromStdString(other.id.text()).toLower(), "other.txt\n" },
            { QString::fromStdString(first.id.text()), "first.txt\n" },
        };
        for (const auto& each : cases) {
            auto result = sorvik({ "rename", "--preset", each.preset, "a.txt" });
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.out, each.out) << each.preset.toStdString();
        }
    }

    TEST_F(SorvikProgram, UnknownPresetIsNotFound)
    {
        files.createFile("a.txt");
        auto expected = std::string(AutomationError::presetNotFound) + "\n";
        // Without any saved presets, then with others only; the files are never looked at.
        for (int round = 0; round < 2; ++round) {
            for (QString name : { "Photos by Date", "photos by date", "" }) {
                auto result
                    = sorvik({ "rename", "--preset", name, "a.txt", "http://example.com/x" });
                EXPECT_EQ(result.status, 1);
                EXPECT_EQ(result.out, "");
                EXPECT_EQ(result.err, expected) << name.toStdString();
            }
            savePreset("Photos by date", { pattern("x") });
        }
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

    TEST_F(SorvikProgram, FileOutsideEveryGrantIsRefused)
    {
        photosByDate();
        createPhotoAndNote();
        TemporaryFolder other;
        other.createFile("granted.txt");
        ASSERT_EQ(sorvik({ "grant", QString::fromStdString(other.path().string()) }).status, 0);

        auto result = sorvik({ "rename", "--apply", "--preset", "Photos by Date",
            QString::fromStdString((other / "granted.txt").string()), "beach.jpg" });
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string(AutomationError::grantRequired) + "\n");
        EXPECT_EQ(names(), (std::vector<std::string> { "beach.jpg", "notes.txt" }));
        EXPECT_TRUE(fs::exists(other / "granted.txt"));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(SorvikProgram, BatchWithAProblemIsRefusedWholeAndEveryReasonIsGiven)
    {
        grantFiles();
        savePreset("Clash", { pattern("same") });
        savePreset("Mixed", { pattern("{name}{name}") });
        files.createFile("a.txt");
        files.createFile("b.txt");
        files.createFile("cc.txt");
        files.createFile("ccc.txt");
        files.createFile(std::string(130, 'd') + ".txt");
        for (QString apply : { "--json", "--apply" }) {
            auto result = sorvik({ "rename", apply, "--preset", "Clash", "a.txt", "b.txt" });
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err,
                std::string(AutomationError::filenameProblem)
                    + "a.txt\na.txt -> same.txt: Duplicate name\nb.txt -> same.txt: Duplicate "
                      "name\n");
        }
        // An existing file and a name too long, after a ready row that is not listed.
        auto result = sorvik({ "rename", "--apply", "--preset", "Mixed", "a.txt", "c.txt",
            QString::fromStdString(std::string(130, 'd') + ".txt") });
        files.createFile("c.txt");
        result = sorvik({ "rename", "--apply", "--preset", "Mixed", "a.txt", "c.txt",
            QString::fromStdString(std::string(130, 'd') + ".txt") });
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err,
            std::string(AutomationError::filenameProblem) + "c.txt\nc.txt -> cc.txt: File already "
                + "exists\n" + std::string(130, 'd') + ".txt -> " + std::string(260, 'd')
                + ".txt: Name too long\n");
        EXPECT_TRUE(fs::exists(files / "a.txt"));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(SorvikProgram, HistoryKeepsTheNewestFiveHundredBatches)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        std::vector<HistoryRecord> full(500);
        for (auto& record : full) {
            record.id = Uuid::random();
            record.date = Date::now();
        }
        JSONFiles::save(full, HistoryFile::fileName);
        files.createFile("a.txt");

        auto result = sorvik({ "rename", "--apply", "--preset", "Suffix", "a.txt" });
        ASSERT_EQ(result.status, 0) << result.err;
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 500u);
        ASSERT_EQ(history[0].moves.size(), 1u);
        EXPECT_EQ(history[0].moves[0].to.path, (files / "a-x.txt").string());
        EXPECT_EQ(history[1], full[0]);
        EXPECT_EQ(history[499], full[498]);
    }

    TEST_F(SorvikProgram, OnlyLocalFilesAreAccepted)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        files.createFile("sub/b.txt");

        auto refused = sorvik(
            { "rename", "--apply", "--preset", "Suffix", "a.txt", "https://example.com/b.txt" });
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, std::string(AutomationError::localURLRequired) + "\n");
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "sub" }));

        // A file URL, and a path relative to the current folder.
        auto url = FileURL((files / "a.txt").string()).text();
        auto accepted
            = sorvik({ "rename", "--preset", "Suffix", QString::fromStdString(url), "b.txt" },
                files / "sub");
        EXPECT_EQ(accepted.status, 0) << accepted.err;
        EXPECT_EQ(accepted.out, "a-x.txt\nb-x.txt\n");
    }

    TEST_F(SorvikProgram, NamesAreListedUpToAHundred)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        QStringList arguments { "rename", "--preset", "Suffix" };
        for (int index = 0; index < 150; ++index) {
            auto name = "f" + std::to_string(1000 + index) + ".txt";
            files.createFile(name);
            arguments << QString::fromStdString(name);
        }
        auto listed = sorvik(arguments);
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 100);
        EXPECT_TRUE(listed.out.starts_with("f1000-x.txt\nf1001-x.txt\n"));
        EXPECT_TRUE(listed.out.ends_with("\nf1099-x.txt\n"));

        arguments << "--json";
        auto json = sorvik(arguments);
        ASSERT_EQ(json.status, 0) << json.err;
        auto document = nlohmann::json::parse(json.out);
        EXPECT_EQ(document["files"].size(), 150u);
        EXPECT_EQ(document["targets"].size(), 150u);
    }

    TEST_F(SorvikProgram, PresetsAreListedInStoredOrder)
    {
        auto none = sorvik({ "presets" });
        EXPECT_EQ(none.status, 0);
        EXPECT_EQ(none.out, "");
        EXPECT_EQ(sorvik({ "presets", "--json" }).out, "[]\n");

        auto zebra = savePreset("Zebra", {});
        auto alpha = savePreset("Caf\xC3\xA9 photos", {});
        auto listed = sorvik({ "presets" });
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(
            listed.out, zebra.id.text() + "\tZebra\n" + alpha.id.text() + "\tCaf\xC3\xA9 photos\n");
        auto json = nlohmann::json::parse(sorvik({ "presets", "--json" }).out);
        EXPECT_EQ(json,
            (nlohmann::json { { { "id", zebra.id.text() }, { "name", "Zebra" } },
                { { "id", alpha.id.text() }, { "name", "Caf\xC3\xA9 photos" } } }));
    }

    TEST_F(SorvikProgram, GrantedFoldersAreListedAndOnlyFoldersCanBeGranted)
    {
        files.createFile("a.txt");
        files.createFolder("inner");
        EXPECT_EQ(sorvik({ "grants" }).out, "");
        auto granted = sorvik({ "grant", "inner", QString::fromStdString(files.path().string()) });
        EXPECT_EQ(granted.status, 0) << granted.err;
        EXPECT_EQ(granted.out, "");
        // A new start opens the stored grants in path order.
        auto listed = files.path().string() + "\n" + (files / "inner").string() + "\n";
        EXPECT_EQ(sorvik({ "grants" }).out, listed);

        for (QString notAFolder : { "a.txt", "missing", "http://example.com/" }) {
            auto refused = sorvik({ "grant", notAFolder });
            EXPECT_EQ(refused.status, 1) << notAFolder.toStdString();
            EXPECT_NE(refused.err, "");
        }
        EXPECT_EQ(sorvik({ "grants" }).out, listed);
    }

    TEST_F(SorvikProgram, EveryPrintedNameTakesOneLine)
    {
        auto odd = files.createFolder("line\nbreak\\");
        ASSERT_EQ(sorvik({ "grant", QString::fromStdString(odd.string()) }).status, 0);
        EXPECT_EQ(sorvik({ "grants" }).out, files.path().string() + "/line\\nbreak\\\\\n");

        savePreset("Clash", { pattern("same") });
        savePreset("Two\nlines", {});
        auto presets = sorvik({ "presets" });
        EXPECT_NE(presets.out.find("\tTwo\\nlines\n"), std::string::npos) << presets.out;
        EXPECT_EQ(std::count(presets.out.begin(), presets.out.end(), '\n'), 2);

        // A name that is not UTF-8 is never renamed; its bytes show in the reason.
        files.createFile("line\nbreak\\/bytes\xFF\xFE.txt");
        auto refused = sorvik({ "rename", "--preset", "Clash",
            QString::fromStdString(FileURL((odd / "bytes\xFF\xFE.txt").string()).text()) });
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err,
            std::string(AutomationError::filenameProblem)
                + "bytes\\xFF\\xFE.txt\nbytes\\xFF\\xFE.txt -> bytes\\xFF\\xFE.txt: Contains "
                  "invalid characters\n");
    }

    TEST(CommandLinePrintable, EscapesWhatWouldBreakALineAndBytesThatAreNotUTF8)
    {
        const std::pair<std::string, std::string> cases[] = {
            { "plain name.jpg", "plain name.jpg" },
            { "caf\xC3\xA9 \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xF0\x9F\x93\xB7" },
            { "a\nb\rc\td", "a\\nb\\rc\\td" },
            { "back\\slash", "back\\\\slash" },
            { std::string("nul\0x", 5), "nul\\x00x" },
            { "\x1B[31mred\x7F", "\\x1B[31mred\\x7F" },
            { "\xC2\x85next\xE2\x80\xA8line\xE2\x80\xA9", "\\u0085next\\u2028line\\u2029" },
            { "\xFF\xC3(\xE2\x82", "\\xFF\\xC3(\\xE2\\x82" },
            { "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80",
                "\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80" },
        };
        for (const auto& [name, shown] : cases)
            EXPECT_EQ(CommandLine::printable(name), shown) << name;
    }

    TEST_F(SorvikProgram, AFileURLWithANulByteIsRefusedSayingWhy)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a");
        files.createFile("a.txt");
        // Cut at the NUL, the path would name "a".
        auto url = FileURL((files / "a").string()).text() + "%00.txt";
        auto result
            = sorvik({ "rename", "--apply", "--preset", "Suffix", QString::fromStdString(url) });
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, url + ": " + std::string(FileURL::nulByteText) + "\n");
        EXPECT_EQ(names(), (std::vector<std::string> { "a", "a.txt" }));
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

    TEST_F(SorvikProgram, GrantSaysThatAFolderIsNeeded)
    {
        files.createFile("a.txt");
        auto refused = sorvik({ "grant", "a.txt" });
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(
            refused.err, (files / "a.txt").string() + " is not a folder. grant needs a folder.\n");
        EXPECT_EQ(sorvik({ "grants" }).out, "");
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

    TEST_F(SorvikProgram, TheGrantCommandsReadNoPresetsOrSession)
    {
        grantFiles();
        savePreset("Suffix", {});
        JSONFiles::save(SavedSession {}, SavedSession::fileName);
        int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watcher, 0);
        for (auto name : { SavedPresets::fileName, SavedSession::fileName })
            ASSERT_GE(::inotify_add_watch(watcher, (JSONFiles::applicationFolder() / name).c_str(),
                          IN_OPEN | IN_ACCESS),
                0);

        EXPECT_EQ(sorvik({ "grants" }).status, 0);
        EXPECT_EQ(sorvik({ "grant", QString::fromStdString(files.path().string()) }).status, 0);
        alignas(inotify_event) char events[4096];
        EXPECT_LT(::read(watcher, events, sizeof events), 0) << "a file was opened";
        // The watch does see a command that needs the presets.
        EXPECT_EQ(sorvik({ "presets" }).status, 0);
        EXPECT_GT(::read(watcher, events, sizeof events), 0);
        ::close(watcher);
    }

    TEST_F(SorvikProgram, ThePdfAndMediaReadersAreLoadedOnlyWhenAFileNeedsThem)
    {
        grantFiles();
        savePreset("Pages", { pattern("{name}-{pdf.pages|none}") });
        files.createFile("notes.txt", "hello");
        files.createFile("report.pdf", testing::pdfWithPages({ "One", "Two" }));
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_DEBUG", "files");

        auto text = sorvik({ "rename", "--preset", "Pages", "notes.txt" }, {}, environment);
        EXPECT_EQ(text.status, 0);
        EXPECT_EQ(text.out, "notes-none.txt\n");
        EXPECT_EQ(text.err.find("libsorvik_media"), std::string::npos);
        EXPECT_EQ(text.err.find("libpoppler"), std::string::npos);
        EXPECT_EQ(text.err.find("libavformat"), std::string::npos);

        auto pdf = sorvik({ "rename", "--preset", "Pages", "report.pdf" }, {}, environment);
        EXPECT_EQ(pdf.status, 0);
        EXPECT_EQ(pdf.out, "report-2.pdf\n");
        EXPECT_NE(pdf.err.find("libsorvik_media"), std::string::npos);
    }

    TEST_F(SorvikProgram, StartUpPutsBackTheFilesOfAnInterruptedBatch)
    {
        struct Case {
            const char* label;
            bool sourceTakenMeanwhile;
        };
        // Recovery acts only inside the granted folders.
        grantFiles();
        for (auto each : { Case { "recoverable", false }, Case { "source taken", true } }) {
            files.createFile("a.txt", "original");
            FileURL source((files / "a.txt").string());
            FileURL temporary((files / ".0D5F0E3C-7B1A-4C2D-9E8F-6A5B4C3D2E1F.twtmp").string());
            FileURL destination((files / "b.txt").string());
            {
                // A batch whose process died right after its first step.
                auto journal = RenameJournal::begin(batchJournalFolder(),
                    { { source, temporary, destination, FileFingerprint(source).inode } });
                fs::rename(source.path, temporary.path);
            }
            if (each.sourceTakenMeanwhile)
                files.createFile("a.txt", "newer");

            auto result = sorvik({ "presets" });
            EXPECT_EQ(result.status, 0) << each.label;
            if (!each.sourceTakenMeanwhile) {
                EXPECT_EQ(result.err, "") << each.label;
                EXPECT_EQ(testing::readFile(source.path), "original");
                EXPECT_FALSE(fs::exists(temporary.path));
                continue;
            }
            EXPECT_EQ(result.err,
                "An interrupted rename was put back as far as it could be.\n"
                "Some files could not be restored. They remain at:\n"
                    + temporary.path + " (originally " + source.path + ")\n")
                << each.label;
            EXPECT_EQ(testing::readFile(temporary.path), "original");
            fs::remove(temporary.path);
            fs::remove(source.path);
            // Its journal stays for the next start, which now finds nothing left to do.
            EXPECT_EQ(sorvik({ "presets" }).err, "");
        }
    }

    TEST_F(SorvikProgram, FilesThatCouldNotBePutBackAreListedOneLineEach)
    {
        grantFiles();
        files.createFile("two\nlines.txt", "original");
        FileURL source((files / "two\nlines.txt").string());
        FileURL temporary((files / ".0D5F0E3C-7B1A-4C2D-9E8F-6A5B4C3D2E1F.twtmp").string());
        FileURL destination((files / "b.txt").string());
        {
            auto journal = RenameJournal::begin(batchJournalFolder(),
                { { source, temporary, destination, FileFingerprint(source).inode } });
            fs::rename(source.path, temporary.path);
        }
        files.createFile("two\nlines.txt", "newer");

        auto result = sorvik({ "presets" });
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err,
            "An interrupted rename was put back as far as it could be.\n"
            "Some files could not be restored. They remain at:\n"
                + temporary.path + " (originally " + (files / "two\\nlines.txt").string() + ")\n");
    }

    TEST_F(SorvikProgram, UsageErrorsEndWithStatusTwo)
    {
        // An existing file does not make the arguments around it files too.
        files.createFile("a.txt");
        std::vector<QStringList> cases {
            { "bogus" },
            { "rename", "a.txt" },
            { "rename", "--preset", "x" },
            { "rename", "a.txt", "--preset" },
            { "rename", "--preset", "x", "--apply=yes", "a.txt" },
            { "rename", "--preset", "x", "--force", "a.txt" },
            { "rename", "--preset", "x", "-a", "a.txt" },
            { "presets", "extra" },
            { "presets", "--apply" },
            { "grants", "--json" },
            { "grant" },
            { "--apply" },
            { "-platform", "offscreen" },
            { "a.txt", "bogus" },
            { "open", "--apply", "a.txt" },
            { "rename", "--preset", "x", "--preset", "y", "a.txt" },
            { "rename", "--preset=x", "--preset=x", "a.txt" },
        };
        for (const auto& arguments : cases) {
            auto result = sorvik(arguments);
            auto label = arguments.join(' ').toStdString();
            EXPECT_EQ(result.status, 2) << label;
            EXPECT_EQ(result.out, "") << label;
            EXPECT_TRUE(result.err.starts_with("sorvik: ")) << label << ": " << result.err;
            EXPECT_NE(result.err.find(CommandLine::usage()), std::string::npos) << label;
        }
        EXPECT_FALSE(fs::exists(JSONFiles::applicationFolder()));
    }

    TEST_F(SorvikProgram, UsageIsPrintedWhenAsked)
    {
        for (QStringList arguments : { QStringList { "--help" }, QStringList { "-h" },
                 QStringList { "help" }, QStringList { "rename", "--help" } }) {
            auto result = sorvik(arguments);
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.out, CommandLine::usage());
            EXPECT_EQ(result.err, "");
        }
    }

    TEST_F(SorvikProgram, FilesNamedLikeOptionsFollowTheDoubleDash)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("--apply");
        auto result = sorvik({ "rename", "--preset", "Suffix", "--", "--apply" });
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "--apply-x\n");
        EXPECT_TRUE(fs::exists(files / "--apply"));
    }

    TEST_F(SorvikProgram, FilesInAFolderWhoseNameIsNotUTF8AreRecordedForAnUndoThatChecksThem)
    {
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        const std::string folderName = "caf\xE9";
        files.createFile(folderName + "/a.txt", "alpha");
        // The folder's name cannot travel as a QString: a script holds its bytes.
        files.createFile("rename.sh",
            "cd '" + folderName + "' && exec \"$SORVIK\" rename --apply --preset Suffix a.txt\n");
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK", QStringLiteral(SORVIK_PROGRAM));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProgram(QStringLiteral("/bin/sh"));
        process.setArguments({ path("rename.sh") });
        process.setWorkingDirectory(QString::fromStdString(files.path().string()));
        process.start();
        ASSERT_TRUE(process.waitForFinished(120'000));
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        FileURL renamed((files / folderName / "a-x.txt").string());
        EXPECT_EQ(testing::readFile(renamed.path), "alpha");

        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves[0].to, renamed);
        EXPECT_EQ(history[0].fingerprints.count(renamed.path), 1u);
        EXPECT_NO_THROW(history[0].validateForUndo());
        std::ofstream(renamed.path) << "changed";
        EXPECT_THROW(history[0].validateForUndo(), RenameExecutionError);
        // No journal was left for a later command to report.
        for (const auto& entry : fs::directory_iterator(JSONFiles::applicationFolder()))
            EXPECT_FALSE(
                entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix));
        EXPECT_EQ(sorvik({ "presets" }).err, "");
    }

    // A batch large enough to be still moving files when a journal appears and the signal is
    // sent on seeing it.
    class StopSignal : public SorvikProgram, public ::testing::WithParamInterface<int> {
    protected:
        static constexpr int fileCount = 20'000;

        /// Waits until the rename journal of a running batch has its name; false when
        /// `process` ended first or a minute passed.
        static bool waitForJournal(int watcher, QProcess& process)
        {
            return testing::waitForEvent(watcher, process, [](std::string_view name) {
                return name.starts_with(RenameJournal::fileNamePrefix) && !name.ends_with(".tmp");
            });
        }
    };

    TEST_P(StopSignal, ABatchThatHasBegunFinishesAndTheCommandSaysWhichSignalStoppedIt)
    {
        const int signal = GetParam();
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        QStringList arguments { "rename", "--apply", "--preset", "Suffix" };
        for (int index = 0; index < fileCount; ++index) {
            char name[16];
            std::snprintf(name, sizeof name, "f%05d.txt", index);
            files.createFile(name);
            arguments.push_back(QString::fromLatin1(name));
        }
        auto dataFolder = JSONFiles::applicationFolder();
        fs::create_directories(dataFolder);
        int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watcher, 0);
        ASSERT_GE(::inotify_add_watch(watcher, dataFolder.c_str(), IN_CREATE | IN_MOVED_TO), 0);

        QProcess process;
        process.setProgram(QStringLiteral(SORVIK_PROGRAM));
        process.setArguments(arguments);
        process.setWorkingDirectory(QString::fromStdString(files.path().string()));
        process.start();
        ASSERT_TRUE(process.waitForStarted());
        bool journalSeen = waitForJournal(watcher, process);
        ::close(watcher);
        if (journalSeen)
            ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(120'000));
        ASSERT_TRUE(journalSeen) << "the batch ended before its journal was seen";

        std::string err = process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + signal) << err;
        EXPECT_EQ(err,
            "sorvik: stopped by "
                + std::string(signal == SIGINT ? "SIGINT"
                        : signal == SIGTERM    ? "SIGTERM"
                                               : "SIGHUP")
                + "; the rename was finished first: every file has its new name.\n");
        auto renamed = names();
        EXPECT_EQ(renamed.size(), std::size_t { fileCount });
        EXPECT_EQ(renamed.front(), "f00000-x.txt");
        EXPECT_EQ(renamed.back(), "f19999-x.txt");
        EXPECT_TRUE(std::all_of(renamed.begin(), renamed.end(),
            [](const std::string& name) { return name.ends_with("-x.txt"); }));
        for (const auto& entry : fs::directory_iterator(dataFolder))
            EXPECT_FALSE(
                entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                << entry.path();
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves.size(), std::size_t { fileCount });
    }

    /// The name of a stop signal as sorvik's messages give it.
    std::string signalName(int signal)
    {
        return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    }

    /// Whether `signal`, sent to the process `pid`, still waits to be taken by one of its
    /// threads ("ShdPnd" of its status): once taken, its handler is running.
    bool isPending(pid_t pid, int signal)
    {
        auto status = testing::readFile("/proc/" + std::to_string(pid) + "/status");
        auto line = status.find("\nShdPnd:");
        if (line == std::string::npos)
            return false;
        auto mask = std::stoull(
            status.substr(line + 8, status.find('\n', line + 1) - line - 8), nullptr, 16);
        return (mask >> (signal - 1)) & 1;
    }

    /// Holds every opening of a file in `folder` until it is let through, as fanotify lets a
    /// privileged process do, so that a program that reads those files waits at a known step:
    /// at the first opening the gate sends `signal` to the process that opened the file and
    /// lets it through once the signal has reached it; every later one goes through at once.
    class SignalAtFirstOpening {
    public:
        SignalAtFirstOpening(const fs::path& folder, int signal)
            : m_signal(signal)
        {
            m_notifications
                = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
            if (m_notifications < 0) {
                m_unavailable = std::string("fanotify: ") + std::strerror(errno);
                return;
            }
            if (::fanotify_mark(m_notifications, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD,
                    AT_FDCWD, folder.c_str())
                    != 0
                || ::pipe2(m_ending, O_CLOEXEC) != 0) {
                m_unavailable = std::string("fanotify: ") + std::strerror(errno);
                return;
            }
            m_answering = std::thread([this] { answer(); });
        }

        ~SignalAtFirstOpening()
        {
            if (m_answering.joinable()) {
                [[maybe_unused]] auto written = ::write(m_ending[1], "", 1);
                m_answering.join();
            }
            for (int descriptor : { m_notifications, m_ending[0], m_ending[1] }) {
                if (descriptor >= 0)
                    ::close(descriptor);
            }
        }

        SignalAtFirstOpening(const SignalAtFirstOpening&) = delete;
        SignalAtFirstOpening& operator=(const SignalAtFirstOpening&) = delete;

        /// Why the gate cannot hold anything (fanotify needs CAP_SYS_ADMIN); empty when it can.
        const std::string& unavailable() const { return m_unavailable; }
        /// Whether a process was held and sent the signal.
        bool signalled() const { return m_signalled; }

    private:
        void answer()
        {
            alignas(fanotify_event_metadata) char events[4096];
            while (true) {
                std::array<pollfd, 2> readable { { { m_notifications, POLLIN, 0 },
                    { m_ending[0], POLLIN, 0 } } };
                if (::poll(readable.data(), readable.size(), -1) < 0 && errno != EINTR)
                    return;
                if (readable[1].revents != 0)
                    return;
                auto length = ::read(m_notifications, events, sizeof events);
                const auto* event = reinterpret_cast<const fanotify_event_metadata*>(events);
                for (; FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
                    if (!m_signalled && event->pid != ::getpid())
                        signal(event->pid);
                    fanotify_response response { event->fd, FAN_ALLOW };
                    [[maybe_unused]] auto written
                        = ::write(m_notifications, &response, sizeof response);
                    if (event->fd >= 0)
                        ::close(event->fd);
                }
            }
        }

        void signal(pid_t process)
        {
            ::kill(process, m_signal);
            m_signalled = true;
            // Taken by one of its threads, the signal's handler is running. One that stays
            // pending went to a thread held here, which runs the handler as soon as it is let
            // through, before anything else it does.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
            while (isPending(process, m_signal) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }

        int m_signal;
        int m_notifications = -1;
        int m_ending[2] = { -1, -1 };
        std::string m_unavailable;
        std::atomic<bool> m_signalled { false };
        std::thread m_answering;
    };

    TEST_P(StopSignal, ABatchStoppedBeforeItsFirstMoveIsDroppedWithNothingRenamed)
    {
        const int signal = GetParam();
        grantFiles();
        photosByDate();
        savePreset("Suffix", { pattern("{name}-x") });
        QStringList fileArguments;
        for (int index = 0; index < 50; ++index) {
            auto name = "f" + std::to_string(100 + index) + ".txt";
            files.createFile(name, name);
            fileArguments << QString::fromStdString(name);
        }
        auto before = names();
        auto backups = JSONFiles::applicationFolder() / "Backups";

        // The program is held at the first file it opens, until the signal has reached it:
        // while it plans, when the preset reads every file's metadata; or, after planning
        // and every check, when it copies the files into the batch's backup.
        struct Case {
            std::string stage;
            QString preset;
            bool backup;
        };
        for (const auto& each : { Case { "planning", "Photos by Date", false },
                 Case { "backing up", "Suffix", true } }) {
            UserDefaults::setBool(UserDefaults::backupEnabledKey, each.backup);
            SignalAtFirstOpening gate(files.path(), signal);
            if (!gate.unavailable().empty())
                GTEST_SKIP() << "a program cannot be held at a step here: " << gate.unavailable();
            auto result = sorvik(
                QStringList { "rename", "--apply", "--preset", each.preset } + fileArguments);
            EXPECT_TRUE(gate.signalled()) << each.stage;
            EXPECT_EQ(result.status, 128 + signal) << each.stage;
            EXPECT_EQ(result.out, "") << each.stage;
            EXPECT_EQ(
                result.err, "sorvik: stopped by " + signalName(signal) + "; no file was renamed.\n")
                << each.stage;
            EXPECT_EQ(names(), before) << each.stage;
            EXPECT_FALSE(historyFileExists()) << each.stage;
            for (const auto& entry : fs::directory_iterator(JSONFiles::applicationFolder()))
                EXPECT_FALSE(
                    entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                    << each.stage << ": " << entry.path();
            EXPECT_TRUE(!fs::exists(backups) || fs::is_empty(backups)) << each.stage;
        }
    }

    TEST_P(StopSignal, ASignalThatCameBeforeTheProgramRanStopsEveryCommandBeforeItBegins)
    {
        const int signal = GetParam();
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        auto other = files.createFolder("other");
        auto grantsBefore = sorvik({ "grants" }).out;
        // Blocked in the child, the signal waits through the start of the program for the
        // first moment it is let through.
        auto pendingSignal = [signal] {
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, signal);
            ::sigprocmask(SIG_BLOCK, &held, nullptr);
            ::kill(::getpid(), signal);
        };
        struct Case {
            QStringList arguments;
            std::string outcome;
        };
        for (const auto& each : std::vector<Case> {
                 { { "rename", "--apply", "--preset", "Suffix", "a.txt" }, "no file was renamed." },
                 { { "rename", "--preset", "Suffix", "a.txt" }, "nothing was done." },
                 { { "presets" }, "nothing was done." },
                 { { "grant", QString::fromStdString(other.string()) }, "nothing was done." },
                 { { "grants" }, "nothing was done." },
             }) {
            auto label = each.arguments.join(' ').toStdString();
            auto result = sorvik(
                each.arguments, {}, QProcessEnvironment::systemEnvironment(), pendingSignal);
            EXPECT_EQ(result.status, 128 + signal) << label;
            EXPECT_EQ(result.out, "") << label;
            EXPECT_EQ(
                result.err, "sorvik: stopped by " + signalName(signal) + "; " + each.outcome + "\n")
                << label;
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "other" }));
        EXPECT_FALSE(historyFileExists());
        EXPECT_EQ(sorvik({ "grants" }).out, grantsBefore);
    }

    TEST_P(StopSignal, ACommandThatASignalFindsRunningFinishesFirst)
    {
        const int signal = GetParam();
        auto preset = savePreset("Suffix", { pattern("{name}-x") });
        grantFiles();
        // Held as each reads its stored file: the presets, or the grants.
        struct Case {
            QString command;
            std::string out;
        };
        for (const auto& each : { Case { "presets", preset.id.text() + "\tSuffix\n" },
                 Case { "grants", files.path().string() + "\n" } }) {
            SignalAtFirstOpening gate(JSONFiles::applicationFolder(), signal);
            if (!gate.unavailable().empty())
                GTEST_SKIP() << "a program cannot be held at a step here: " << gate.unavailable();
            auto result = sorvik({ each.command });
            auto label = each.command.toStdString();
            EXPECT_TRUE(gate.signalled()) << label;
            EXPECT_EQ(result.status, 128 + signal) << label;
            EXPECT_EQ(result.out, each.out) << label;
            EXPECT_EQ(result.err,
                "sorvik: stopped by " + signalName(signal) + "; the command was finished first.\n")
                << label;
        }
    }

    INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
        [](const ::testing::TestParamInfo<int>& signal) {
            return signal.param == SIGINT ? "SIGINT"
                : signal.param == SIGTERM ? "SIGTERM"
                                          : "SIGHUP";
        });

} // namespace
} // namespace sorvik
