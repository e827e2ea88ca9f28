// The command line as scripts meet it: the `sorvik` program run in a fresh data folder.
#include "app/automation/command_line.h"

#include "app/automation/automation_error.h"
#include "app/store/batch_recovery.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/automation/sorvik_program_fixture.h"
#include "tests/app/services/content_samples.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::SorvikProgram;
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

    TEST_F(SorvikProgram, GrantSaysThatAFolderIsNeeded)
    {
        files.createFile("a.txt");
        auto refused = sorvik({ "grant", "a.txt" });
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(
            refused.err, (files / "a.txt").string() + " is not a folder. grant needs a folder.\n");
        EXPECT_EQ(sorvik({ "grants" }).out, "");
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

} // namespace
} // namespace sorvik
