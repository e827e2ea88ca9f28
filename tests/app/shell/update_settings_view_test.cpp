#include "app/shell/update_settings_view.h"

#include "app/shell/brand_wordmark.h"
#include "app/shell/updater_store.h"
#include "app/style/brand_colors.h"
#include "app/style/brand_primary_button.h"
#include "engine/model/error.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    /// An updater whose setting lives in it alone.
    struct SettingUpdater : Updater {
        bool automatic = false;
        bool refusesChanges = false;
        int userChecks = 0;
        std::optional<std::string> startFailure;

        void start() override
        {
            if (startFailure)
                throw Error(*startFailure);
        }
        bool isStarted() const override { return !startFailure; }
        bool automaticallyChecksForUpdates() const override { return automatic; }
        void setAutomaticallyChecksForUpdates(bool enabled) override
        {
            if (!refusesChanges)
                automatic = enabled;
        }
        void checkForUpdatesInBackground() override { }
        void checkForUpdates() override { ++userChecks; }
    };

    std::vector<QString> labelTexts(const QWidget& view)
    {
        std::vector<QString> texts;
        for (auto* label : view.findChildren<QLabel*>()) {
            if (!label->isHidden())
                texts.push_back(label->text());
        }
        return texts;
    }

    struct Tab {
        SettingUpdater* updater = nullptr;
        std::unique_ptr<UpdaterStore> store;
        std::unique_ptr<UpdateSettingsView> view;

        explicit Tab(BuildInfo build, std::optional<std::string> startFailure = std::nullopt)
        {
            auto made = std::make_unique<SettingUpdater>();
            made->startFailure = std::move(startFailure);
            updater = made.get();
            store = std::make_unique<UpdaterStore>(std::move(made), std::move(build));
            view = std::make_unique<UpdateSettingsView>(*store);
        }
    };

    TEST(UpdateSettingsView, ShowsItsTextsInOrderAndTheVersionLine)
    {
        Tab tab({ "0.1.0", "42", "", "" });
        tab.view->show();
        EXPECT_EQ(tab.view->width(), UpdateSettingsView::fixedWidth);
        EXPECT_EQ(labelTexts(*tab.view),
            (std::vector<QString> { UpdateSettingsView::titleText,
                UpdateSettingsView::explanationText,
                QString::fromUtf8("Version 0.1.0 \u00B7 Build 42") }));
        EXPECT_EQ(tab.view->findChild<QCheckBox*>()->text(), UpdateSettingsView::automaticText);
        auto* button = tab.view->findChild<BrandPrimaryButton*>();
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), QString::fromUtf8(UpdateSettingsView::checkText));
        auto* wordmark = tab.view->findChild<BrandWordmark*>();
        ASSERT_TRUE(wordmark);
        EXPECT_EQ(wordmark->size(), QSize(132, 28));
        EXPECT_EQ(tab.view->palette().color(QPalette::Highlight),
            BrandColors::color(BrandColor::brandAccent));
    }

    TEST(UpdateSettingsView, MissingValuesLeaveTheVersionLineEmptyAfterItsWords)
    {
        EXPECT_EQ(
            UpdateSettingsView::versionLine("", ""), QString::fromUtf8("Version  \u00B7 Build "));
    }

    TEST(UpdateSettingsView, AStartFailureIsTheLastLine)
    {
        Tab tab({ "0.1.0", "1", "bad key", "https://x/" }, "The key is bad.");
        tab.view->show();
        auto texts = labelTexts(*tab.view);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), "The key is bad.");
    }

    TEST(UpdateSettingsView, TheSwitchShowsWhatTheUpdaterHolds)
    {
        Tab tab({ "0.1.0", "1", "", "" });
        tab.view->show();
        auto* toggle = tab.view->findChild<QCheckBox*>();
        EXPECT_FALSE(toggle->isChecked());
        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_TRUE(tab.updater->automatic);
        EXPECT_TRUE(toggle->isChecked());

        // Changed elsewhere: reopening the tab shows the updater's value, not a copy.
        tab.view->hide();
        tab.updater->automatic = false;
        tab.view->show();
        EXPECT_FALSE(toggle->isChecked());

        // A change the updater could not keep springs back.
        tab.updater->refusesChanges = true;
        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_FALSE(toggle->isChecked());
    }

    TEST(UpdateSettingsView, TheButtonChecksNow)
    {
        Tab tab({ "0.1.0", "1", "", "" });
        tab.view->show();
        QTest::mouseClick(tab.view->findChild<BrandPrimaryButton*>(), Qt::LeftButton);
        EXPECT_EQ(tab.updater->userChecks, 1);
    }

} // namespace
} // namespace sorvik
