#pragma once

#include "app/automation/login_item.h"
#include "app/automation/watch_clock.h"
#include "app/automation/watch_event_source.h"
#include "app/automation/watch_folder_store.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "engine/model/error.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// A settle clock that moves only when told.
class FakeClock : public WatchClock {
public:
    Duration now() const override { return m_now; }
    void advance(Duration by) { m_now += by; }

private:
    Duration m_now { std::chrono::hours(1) };
};

/// Events sent by hand; remembers what it was asked to watch.
class FakeEvents : public WatchEventSource {
public:
    std::vector<std::vector<Root>> watched;
    int stops = 0;
    int retries = 0;
    bool polling = false;

    void watch(const std::vector<Root>& roots, const FileURL&) override
    {
        watched.push_back(roots);
    }
    void stop() override { ++stops; }
    bool needsPolling() const override { return polling; }
    void retry() override { ++retries; }
    void send() { emit changed(); }
};

/// A login item held in memory; fails when told to.
class FakeLoginItem : public LoginItem {
public:
    bool enabled = false;
    std::optional<std::string> failure;

    void registerItem() override
    {
        if (failure)
            throw Error(*failure);
        enabled = true;
    }
    void unregisterItem() override
    {
        if (failure)
            throw Error(*failure);
        enabled = false;
    }
    bool isEnabled() const override { return enabled; }
};

/// A granted folder "Inbox", a preset that appends "-x" to every name, and a watch store on a
/// fake clock, fake events and a fake login item whose ticks run to the end before `tick`
/// returns.
class WatchStoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        inbox = files.createFolder("Inbox");
        preset = Preset("Suffix", "folder", "3478F6", { patternRule("{name}-x") });
        writePresets({ preset });
    }

    void TearDown() override { watches.reset(); }

    static void writePresets(const std::vector<Preset>& presets)
    {
        JSONFiles::save(SavedPresets { 1, presets }, SavedPresets::fileName);
    }

    WatchFolderStore& makeStore(bool runsWorkInline = true)
    {
        WatchFolderStore::Collaborators collaborators;
        collaborators.services = services;
        auto fakeClock = std::make_unique<FakeClock>();
        clock = fakeClock.get();
        collaborators.clock = std::move(fakeClock);
        auto fakeEvents = std::make_unique<FakeEvents>();
        events = fakeEvents.get();
        collaborators.events = std::move(fakeEvents);
        auto fakeLogin = std::make_unique<FakeLoginItem>();
        login = fakeLogin.get();
        collaborators.loginItem = std::move(fakeLogin);
        collaborators.runsWorkInline = runsWorkInline;
        watches = std::make_unique<WatchFolderStore>(store, std::move(collaborators));
        return *watches;
    }

    /// Adds `folder` (Inbox by default) with the suffix preset, which starts monitoring.
    const WatchFolder& watch(const std::filesystem::path& folder = {})
    {
        if (!watches)
            makeStore();
        auto path = folder.empty() ? inbox : folder;
        watches->addFolder(preset.id, FileURL(path.string(), true));
        EXPECT_FALSE(watches->error()) << *watches->error();
        return watches->folders().back();
    }

    /// Moves the clock on by `seconds`, marks the store dirty and ticks.
    void tickAfter(double seconds)
    {
        clock->advance(std::chrono::duration_cast<WatchClock::Duration>(
            std::chrono::duration<double>(seconds)));
        watches->markDirty();
        watches->tick();
    }

    /// The names in `folder` (Inbox by default), sorted.
    std::vector<std::string> names(const std::filesystem::path& folder = {}) const
    {
        std::vector<std::string> found;
        for (const auto& entry :
            std::filesystem::directory_iterator(folder.empty() ? inbox : folder))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    /// The log's texts after the date and its separator, newest first.
    std::vector<std::string> logTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& line : watches->log()) {
            auto separator = line.find(" \u00B7 ");
            texts.push_back(separator == std::string::npos ? line : line.substr(separator + 4));
        }
        return texts;
    }

    std::string inboxPath(std::string_view name) const { return (inbox / name).string(); }

    /// Renames `urls` with `rules` as the window does, once they are listed and planned.
    void renameInWindow(const std::vector<FileURL>& urls, std::vector<Rule> rules)
    {
        store.addFiles(urls);
        store.setRules(std::move(rules));
        ASSERT_TRUE(waitUntilStoreIsIdle());
        store.apply();
    }

    /// Waits until the window's store has listed its files and planned their names.
    bool waitUntilStoreIsIdle()
    {
        return waitUntil([&] { return !store.isAdding() && !store.isPlanning(); });
    }

    IsolatedHome home;
    TemporaryFolder files;
    std::filesystem::path inbox;
    Preset preset;
    std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
    RenamerStore store { services };
    FakeClock* clock = nullptr;
    FakeEvents* events = nullptr;
    FakeLoginItem* login = nullptr;
    std::unique_ptr<WatchFolderStore> watches;
};

} // namespace sorvik::testing
