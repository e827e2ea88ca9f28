#pragma once

#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// A store over a temporary folder of files in an isolated home, its dialogs fake, its first
/// preview planned.
class StoreApplyFixture : public ::testing::Test {
protected:
    using Contents = std::map<std::string, std::string>;

    static std::filesystem::path historyPath()
    {
        return JSONFiles::applicationFolder() / HistoryFile::fileName;
    }

    /// A record of a batch that moved one file elsewhere, as another writer stores it.
    static HistoryRecord storedRecord(const std::string& name)
    {
        HistoryRecord record;
        record.id = Uuid::random();
        record.date = Date::now();
        record.moves = { RenameMove {
            FileURL("/elsewhere/" + name), FileURL("/elsewhere/" + name + "-renamed") } };
        return record;
    }

    void SetUp() override
    {
        store.setDialogs(&dialogs);
        ASSERT_TRUE(settle());
    }

    bool settle()
    {
        return waitUntil([&] { return !store.isPlanning(); });
    }

    FileURL url(std::string_view relative) const { return FileURL((files / relative).string()); }
    FileURL folder(std::string_view relative = {}) const
    {
        auto path = relative.empty() ? files.path() : files / relative;
        return FileURL(path.string(), true);
    }

    /// Lists the folder `files` and grants it, then applies `rules` once planned.
    void listFolder(std::vector<Rule> rules)
    {
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder() }));
        store.setRules(std::move(rules));
        ASSERT_TRUE(settle());
    }

    /// Every regular file below `files` with its content, by relative path.
    Contents contents() const
    {
        Contents found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(files.path())) {
            if (entry.is_regular_file())
                found[entry.path().lexically_relative(files.path()).string()]
                    = readFile(entry.path());
        }
        return found;
    }

    std::vector<std::string> itemNames() const { return namesBelow(store, files.path()); }

    IsolatedHome home;
    TemporaryFolder files;
    FakeDialogs dialogs;
    RenamerStore store { std::make_shared<FakeServices>() };
};

} // namespace sorvik::testing
