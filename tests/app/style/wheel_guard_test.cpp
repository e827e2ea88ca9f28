#include "app/style/wheel_guard.h"

#include "tests/app/style/wheel_turns.h"

#include <QComboBox>
#include <QDateEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::turnWheelOver;

    // A form taller than its scroll area, with a picker, a date field and a spin box in its
    // middle, each guarded.
    class GuardedForm : public ::testing::Test {
    protected:
        GuardedForm()
        {
            auto* layout = new QVBoxLayout(window.get());
            layout->addWidget(scroll);
            auto* form = new QWidget;
            auto* fields = new QVBoxLayout(form);
            fields->addSpacing(300);
            picker->addItems({ "a", "b", "c" });
            picker->setCurrentIndex(1);
            date->setDate(QDate(2024, 5, 10));
            spin->setValue(5);
            for (QWidget* control : { static_cast<QWidget*>(picker), static_cast<QWidget*>(date),
                     static_cast<QWidget*>(spin) }) {
                fields->addWidget(control);
                takeWheelOnlyWhenFocused(*control);
            }
            fields->addSpacing(900);
            scroll->setWidget(form);
            scroll->setWidgetResizable(true);
            window->resize(300, 400);
            window->show();
            QApplication::setActiveWindow(window.get());
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
            scroll->verticalScrollBar()->setValue(200);
        }

        int scrolled() const { return scroll->verticalScrollBar()->value(); }

        std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
        QScrollArea* scroll = new QScrollArea;
        QComboBox* picker = new QComboBox;
        QDateEdit* date = new QDateEdit;
        QSpinBox* spin = new QSpinBox;
    };

    TEST_F(GuardedForm, TheWheelOverAControlWithoutFocusScrollsTheFormAndChangesNothing)
    {
        for (QWidget* control : { static_cast<QWidget*>(picker), static_cast<QWidget*>(date),
                 static_cast<QWidget*>(spin) }) {
            scroll->ensureWidgetVisible(control);
            int before = scrolled();
            turnWheelOver(*control);
            EXPECT_GT(scrolled(), before) << control->metaObject()->className();
            before = scrolled();
            turnWheelOver(*control, false);
            EXPECT_LT(scrolled(), before) << control->metaObject()->className();
            EXPECT_FALSE(control->hasFocus()) << control->metaObject()->className();
        }
        EXPECT_EQ(picker->currentIndex(), 1);
        EXPECT_EQ(date->date(), QDate(2024, 5, 10));
        EXPECT_EQ(spin->value(), 5);
    }

    TEST_F(GuardedForm, AFocusedControlTakesTheWheel)
    {
        for (QWidget* control : { static_cast<QWidget*>(picker), static_cast<QWidget*>(date),
                 static_cast<QWidget*>(spin) }) {
            scroll->ensureWidgetVisible(control);
            control->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(control->hasFocus());
            int before = scrolled();
            turnWheelOver(*control, false);
            EXPECT_EQ(scrolled(), before) << control->metaObject()->className();
        }
        EXPECT_EQ(picker->currentIndex(), 0);
        EXPECT_NE(date->date(), QDate(2024, 5, 10));
        EXPECT_EQ(spin->value(), 6);
    }

    TEST_F(GuardedForm, TheFocusComesFromAClickOrTabNeverFromTheWheel)
    {
        EXPECT_EQ(picker->focusPolicy(), Qt::StrongFocus);
        EXPECT_EQ(date->focusPolicy(), Qt::StrongFocus);
    }

} // namespace
} // namespace sorvik
