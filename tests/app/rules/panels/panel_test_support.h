#pragma once

#include "app/store/renamer_store.h"
#include "tests/app/rules/editor_host.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QApplication>
#include <QSignalSpy>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// A real store in a home of its own, with the window's undo stack, and a shown window for
/// the widget under test.
class StoreWindow : public ::testing::Test {
protected:
    StoreWindow()
    {
        store.setRuleUndoManager(&undo);
        window->resize(320, 900);
        new QVBoxLayout(window.get());
    }

    void showWindow()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        settle();
    }

    /// Lets layouts and deferred deletes catch up.
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    IsolatedHome home;
    QUndoStack undo;
    RenamerStore store { std::make_shared<FakeServices>() };
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
};

inline std::vector<Uuid> idsOf(const std::vector<Rule>& rules)
{
    std::vector<Uuid> ids;
    for (const auto& rule : rules)
        ids.push_back(rule.id);
    return ids;
}

} // namespace sorvik::testing
