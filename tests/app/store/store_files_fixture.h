#pragma once

#include "app/store/renamer_store.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// A store over a temporary folder of files in an isolated home, its first preview planned.
class StoreFilesFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(settle()); }

    /// Whether the store finished planning within the wait.
    bool settle()
    {
        return waitUntil([&] { return !store.isPlanning(); });
    }
    /// Whether the store finished adding files within the wait.
    bool listed() const
    {
        return waitUntil([&] { return !store.isAdding(); });
    }

    FileURL url(std::string_view relative) const { return FileURL((files / relative).string()); }
    FileURL folder(std::string_view relative) const
    {
        return FileURL((files / relative).string(), true);
    }

    /// The listed files, relative to the temporary folder.
    std::vector<std::string> listedNames() const { return namesBelow(store, files.path()); }

    IsolatedHome home;
    TemporaryFolder files;
    RenamerStore store { std::make_shared<FakeServices>() };
};

} // namespace sorvik::testing
