#pragma once

#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "engine/model/preset.h"
#include "tests/app/automation/program_run.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// The `sorvik` program run in a fresh data folder, on the files of a temporary folder.
class SorvikProgram : public ::testing::Test {
protected:
    using Result = ProgramResult;

    /// Runs the program with the test's data folder (inherited from this process's
    /// environment) in `currentFolder`, by default the files folder.
    Result sorvik(const QStringList& arguments, const std::filesystem::path& currentFolder = {},
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
        return runToEnd(process);
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
        return savePreset("Photos by Date", { pattern("{exif.date:yyyy-MM-dd|Undated}_{name}") });
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(files.path()))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    bool historyFileExists() const
    {
        return std::filesystem::exists(JSONFiles::applicationFolder() / HistoryFile::fileName);
    }

    /// A dated photo and an undated note.
    void createPhotoAndNote()
    {
        writeJpeg(
            files / "beach.jpg", { { "Exif.Photo.DateTimeOriginal", "2023:07:14 09:30:00" } });
        files.createFile("notes.txt", "hello");
    }

    IsolatedHome home;
    TemporaryFolder files;
};

} // namespace sorvik::testing
