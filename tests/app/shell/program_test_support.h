#pragma once

#include "app/shell/application.h"
#include "tests/app/automation/watch_test_support.h"

#include <functional>
#include <memory>

namespace sorvik::testing {

/// A watch-store fixture that makes the window program's objects over its store, with the
/// watch store made when the program first asks for it, as the window program does.
class ProgramFixture : public WatchStoreFixture {
protected:
    std::unique_ptr<Application> makeProgram(std::function<UpdaterStore&()> updater)
    {
        return std::make_unique<Application>(
            store,
            [this]() -> WatchFolderStore& {
                if (!watches)
                    makeStore();
                return *watches;
            },
            std::move(updater));
    }
};

} // namespace sorvik::testing
