#include "app/shell/settings_window.h"

#include "app/shell/update_settings_view.h"
#include "app/shell/updater_store.h"
#include "app/shell/watch_folder_view.h"
#include "tests/app/automation/watch_test_support.h"
#include "tests/app/shell/idle_updater.h"

#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IdleUpdater;

    class SettingsWindowTest : public testing::WatchStoreFixture {
    protected:
        void SetUp() override
        {
            WatchStoreFixture::SetUp();
            folderAccess = new QLabel("granted folders");
            window = std::make_unique<SettingsWindow>(
                store, folderAccess,
                [this]() -> WatchFolderStore& {
                    ++watchStoreUses;
                    return makeStore();
                },
                updater);
        }

        void TearDown() override
        {
            window.reset();
            WatchStoreFixture::TearDown();
        }

        QLabel* folderAccess = nullptr;
        int watchStoreUses = 0;
        UpdaterStore updater { std::make_unique<IdleUpdater>(),
            BuildInfo { "0.1.0", "1", "", "" } };
        std::unique_ptr<SettingsWindow> window;
    };

    TEST_F(SettingsWindowTest, HasTheThreeTabsInOrder)
    {
        auto& tabs = window->tabs();
        ASSERT_EQ(tabs.count(), 3);
        EXPECT_EQ(tabs.tabText(0), "Folder Access");
        EXPECT_EQ(tabs.tabText(1), "Watch Folders");
        EXPECT_EQ(tabs.tabText(2), "Updates");
        for (int index = 0; index < 3; ++index)
            EXPECT_FALSE(tabs.tabIcon(index).isNull()) << index;
        EXPECT_TRUE(tabs.widget(0)->isAncestorOf(folderAccess));
        EXPECT_TRUE(qobject_cast<WatchFolderView*>(window->page(1)));
        EXPECT_TRUE(qobject_cast<UpdateSettingsView*>(window->page(2)));
        for (int index = 0; index < 3; ++index)
            EXPECT_TRUE(tabs.widget(index)->isAncestorOf(window->page(index))) << index;
        EXPECT_EQ(watchStoreUses, 1);
        EXPECT_EQ(window->windowTitle(), "Folder Access");
        tabs.setCurrentIndex(2);
        EXPECT_EQ(window->windowTitle(), "Updates");
    }

    TEST_F(SettingsWindowTest, TheFolderAccessTabSwitchesOnlinePlaceNames)
    {
        auto* tab = window->tabs().widget(0);
        auto* toggle = tab->findChild<QCheckBox*>();
        ASSERT_TRUE(toggle);
        EXPECT_EQ(toggle->text(), "Look up place names online");
        EXPECT_EQ(toggle->isChecked(), store.onlinePlaces());
        bool before = store.onlinePlaces();
        toggle->click();
        EXPECT_EQ(store.onlinePlaces(), !before);
        store.setOnlinePlaces(before);
        EXPECT_EQ(toggle->isChecked(), before);

        QStringList texts;
        for (auto* label : tab->findChildren<QLabel*>())
            texts.push_back(label->text());
        EXPECT_TRUE(texts.contains(QString::fromUtf8(
            "Only location tokens use OpenStreetMap\u2019s geocoding service. File contents "
            "stay on this computer.")));

        // Stored: a new store reads back what the switch set.
        toggle->setChecked(true);
        toggle->click();
        EXPECT_FALSE(store.onlinePlaces());
        ASSERT_TRUE(testing::waitUntil([&] { return !store.isPlanning(); }));
        RenamerStore again(services);
        EXPECT_FALSE(again.onlinePlaces());
    }

    TEST_F(SettingsWindowTest, ClosingOnlyHidesIt)
    {
        QPointer<SettingsWindow> alive = window.get();
        window->present();
        EXPECT_TRUE(window->isVisible());
        window->close();
        testing::runEvents(20);
        EXPECT_TRUE(alive);
        EXPECT_FALSE(window->isVisible());
        window->present();
        EXPECT_TRUE(window->isVisible());
    }

} // namespace
} // namespace sorvik
