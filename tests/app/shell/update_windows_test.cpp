#include "app/shell/update_windows.h"

#include "app/shell/feed_updater.h"
#include "tests/app/store/store_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    AvailableUpdate update()
    {
        return { "0.2.0", "https://sorvik.example/get", "Faster.", "0.1.0" };
    }

    /// The informative text as it reads on the screen.
    QString informative(const QMessageBox& box)
    {
        QTextDocument document;
        document.setHtml(box.informativeText());
        return document.toPlainText();
    }

    QStringList buttonTexts(const QMessageBox& box)
    {
        QStringList texts;
        for (auto* button : box.buttons())
            texts.push_back(button->text());
        return texts;
    }

    TEST(UpdateWindows, TheUsersCheckShowsEachStepInOneWindow)
    {
        UpdateWindows windows;
        bool cancelled = false;
        windows.showChecking([&] { cancelled = true; });
        QPointer<QMessageBox> checking = windows.window();
        ASSERT_TRUE(checking);
        EXPECT_EQ(checking->text(), QString::fromUtf8(UpdateWindows::checkingText));
        EXPECT_FALSE(checking->isModal());

        windows.showUpToDate("0.1.0");
        testing::runEvents(20);
        EXPECT_FALSE(checking);
        ASSERT_TRUE(windows.window());
        EXPECT_EQ(windows.window()->text(), QString::fromUtf8(UpdateWindows::upToDateText));
        EXPECT_EQ(informative(*windows.window()), "sorvik 0.1.0 is the newest version.");
        EXPECT_FALSE(cancelled);
    }

    TEST(UpdateWindows, CancelStopsTheCheck)
    {
        UpdateWindows windows;
        bool cancelled = false;
        windows.showChecking([&] { cancelled = true; });
        auto buttons = windows.window()->buttons();
        ASSERT_EQ(buttons.size(), 1);
        buttons.front()->click();
        EXPECT_TRUE(cancelled);
    }

    TEST(UpdateWindows, AnUpdateOffersItsDownloadPage)
    {
        QWidget shown;
        shown.show();
        UpdateWindows windows;
        windows.showUpdateFound(update(), false);
        auto* box = windows.window();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), QString::fromUtf8(UpdateWindows::updateFoundText));
        EXPECT_EQ(informative(*box), "sorvik 0.2.0 is available. You have 0.1.0.");
        EXPECT_EQ(box->detailedText(), "Faster.");
        EXPECT_TRUE(buttonTexts(*box).contains(UpdateWindows::openPageText));
        EXPECT_TRUE(buttonTexts(*box).contains(UpdateWindows::notNowText));
    }

    TEST(UpdateWindows, WhatTheServerOrTheNetworkSaysIsShownAsPlainText)
    {
        UpdateWindows windows;
        windows.showCheckFailed("<img src=/etc/passwd> & more");
        auto* box = windows.window();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), QString::fromUtf8(UpdateWindows::checkFailedText));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(informative(*box), "<img src=/etc/passwd> & more");
        EXPECT_FALSE(box->informativeText().contains("<img"));
    }

    TEST(UpdateWindows, AKeylessCopySendsTheUserToThePackageManager)
    {
        UpdateWindows windows;
        windows.showUnavailable(FeedUpdater::packageManagerText);
        ASSERT_TRUE(windows.window());
        EXPECT_EQ(windows.window()->text(),
            "Updates for this copy of sorvik come from the package manager that installed it.");
    }

    TEST(UpdateWindows, AnUpdateFoundInTheBackgroundWaitsForAWindowToShow)
    {
        UpdateWindows windows;
        windows.showUpdateFound(update(), true);
        EXPECT_FALSE(windows.window());
        EXPECT_TRUE(windows.hasWaitingUpdate());
        testing::runEvents(20);
        EXPECT_FALSE(windows.window());

        QWidget mainWindow;
        mainWindow.show();
        ASSERT_TRUE(testing::waitUntil([&] { return windows.window() != nullptr; }));
        EXPECT_EQ(windows.window()->text(), QString::fromUtf8(UpdateWindows::updateFoundText));
        EXPECT_FALSE(windows.hasWaitingUpdate());
    }

    TEST(UpdateWindows, AWindowLeftOpenGoesWhenTheProgramQuits)
    {
        // Kept for the life of the program, as the program keeps its own.
        static UpdateWindows windows;
        windows.showUnavailable("From the package manager.");
        QPointer<QMessageBox> box = windows.window();
        ASSERT_TRUE(box);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QApplication::exec();
        EXPECT_FALSE(box);
        EXPECT_EQ(windows.window(), nullptr);
    }

} // namespace
} // namespace sorvik
