#pragma once

#include "app/shell/updater.h"

namespace sorvik::testing {

/// An updater that is never started and does nothing it is asked.
struct IdleUpdater : Updater {
    void start() override { }
    bool isStarted() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override { }
    void checkForUpdatesInBackground() override { }
    void checkForUpdates() override { }
};

} // namespace sorvik::testing
