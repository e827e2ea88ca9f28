// The preview and the executor on real folders: every row the preview shows ready is carried
// out by the executor, whose checks refuse none of them.
#include "engine/apply/local_file_system.h"
#include "engine/apply/local_preview_disk.h"
#include "engine/apply/rename_executor.h"
#include "engine/pipeline/rename_pipeline.h"
#include "engine/pipeline/row_blockers.h"
#include "tests/support/engine_printers.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    Rule patternRule(std::string text) { return Rule(PatternConfig { std::move(text) }); }
    Rule organizeRule(std::string text) { return Rule(OrganizeConfig { std::move(text) }); }
    Rule replaceRule(std::string find, std::string replacement)
    {
        return Rule(ReplaceConfig { std::move(find), std::move(replacement), false, true,
            ReplaceScope::name, Occurrence::all });
    }

    RenameStatus conflict(std::string_view reason)
    {
        return RenameStatus::conflict(std::string(reason));
    }
    RenameStatus invalid(std::string_view reason)
    {
        return RenameStatus::invalid(std::string(reason));
    }

    struct Scenario {
        const char* label;
        /// Makes the files in the folder.
        std::function<void(const TemporaryFolder&)> setUp;
        /// The listed files, relative to the folder.
        std::vector<std::string> listed;
        std::vector<Rule> rules;
        std::vector<RenameStatus> statuses;
        /// Every file below the folder once the ready rows are renamed.
        std::vector<std::string> after;
    };

    std::vector<std::string> listing(const TemporaryFolder& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
            names.push_back(entry.path().lexically_relative(folder.path()).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TEST(PreviewAgreement, WhatThePreviewShowsReadyTheExecutorRenames)
    {
        auto files = [](std::vector<std::string> names) {
            return [names](const TemporaryFolder& folder) {
                for (const auto& name : names)
                    folder.createFile(name, name);
            };
        };
        auto hardLinked = [](const TemporaryFolder& folder) {
            folder.createFile("a.txt", "a");
            fs::create_hard_link(folder / "a.txt", folder / "A.txt");
        };
        Rule intoX = organizeRule("x");
        intoX.condition = ConditionGroup { true, { Condition::ext({ "txt" }) } };
        const Scenario scenarios[] {
            { "a hidden file organized", files({ ".hidden.txt", "vis.txt" }),
                { ".hidden.txt", "vis.txt" }, { organizeRule("sub") },
                { RenameStatus::ready(), RenameStatus::ready() },
                { "sub", "sub/.hidden.txt", "sub/vis.txt" } },
            { "organized into a file", files({ "x", "a.txt" }), { "x", "a.txt" }, { intoX },
                { RenameStatus::unchanged(), conflict(RenamePipeline::subfolderIsFileReason) },
                { "a.txt", "x" } },
            { "organized into a file that moves away", files({ "x", "a.txt" }), { "x", "a.txt" },
                { patternRule("{name}-moved"), intoX },
                { RenameStatus::ready(), RenameStatus::ready() },
                { "x", "x-moved", "x/a-moved.txt" } },
            { "organized into a folder of its own name", files({ "x" }), { "x" },
                { organizeRule("{name}") }, { RenameStatus::ready() }, { "x", "x/x" } },
            { "two names of one file alike but for letter case", hardLinked, { "a.txt", "A.txt" },
                { patternRule("{#}_{name}") }, { RenameStatus::ready(), RenameStatus::ready() },
                { "1_a.txt", "2_A.txt" } },
            { "onto another name of the same file", hardLinked, { "a.txt" },
                { replaceRule("a", "A") }, { conflict(RenameEngine::fileExistsReason) },
                { "A.txt", "a.txt" } },
            { "a change of letter case", files({ "a.txt" }), { "a.txt" }, { replaceRule("a", "A") },
                { RenameStatus::ready() }, { "A.txt" } },
            { "one name listed twice",
                [](const TemporaryFolder& folder) {
                    folder.createFile("files/a.txt", "a");
                    fs::create_directory_symlink(folder / "files", folder / "again");
                },
                { "files/a.txt", "again/a.txt" }, { patternRule("{#}_{name}") },
                { conflict(RenamePipeline::listedTwiceReason),
                    conflict(RenamePipeline::listedTwiceReason) },
                { "again", "files", "files/a.txt" } },
            { "a file that is gone", files({ "a.txt" }), { "a.txt", "gone.txt" },
                { patternRule("new {name}") },
                { RenameStatus::ready(), invalid(RenamePipeline::missingFileReason) },
                { "new a.txt" } },
        };
        for (const auto& scenario : scenarios) {
            TemporaryFolder folder;
            scenario.setUp(folder);
            std::vector<FileItem> items;
            for (const auto& name : scenario.listed)
                items.emplace_back(FileURL((folder / name).string()), true, Date(), Date(), 0,
                    static_cast<std::int64_t>(items.size()));
            LocalPreviewDisk disk(items);
            auto rows
                = RenamePipeline::preview(items, scenario.rules, {}, Date::now(), disk.questions());
            std::vector<RenameStatus> statuses;
            std::vector<RenameMove> moves;
            for (const auto& row : rows) {
                statuses.push_back(row.status);
                if (row.status.kind == RenameStatus::Kind::ready)
                    moves.push_back({ row.item.url, row.targetURL });
            }
            EXPECT_EQ(statuses, scenario.statuses) << scenario.label;
            LocalFileSystem fileSystem;
            EXPECT_NO_THROW(RenameExecutor(fileSystem).execute(moves)) << scenario.label;
            EXPECT_EQ(listing(folder), scenario.after) << scenario.label;
        }
    }

} // namespace
} // namespace sorvik
