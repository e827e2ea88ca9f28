#include "app/shell/message_alert.h"

#include "app/rules/panels/sheet_presenter.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    class MessageAlertTest : public ::testing::Test {
    protected:
        MessageAlertTest() { window.resize(600, 400); }

        void showWindow()
        {
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        }

        QMessageBox* shownBox()
        {
            if (!waitUntil([&] { return alert.box() && alert.box()->isVisible(); }))
                return nullptr;
            return alert.box();
        }

        testing::StoreFixture fixture;
        QWidget window;
        SheetPresenter sheets { window };
        MessageAlert alert { fixture.store, window, &sheets };
    };

    TEST_F(MessageAlertTest, ShowsTheMessageAsPlainTextUntilOKClearsIt)
    {
        showWindow();
        fixture.store.setMessage("Presets could not be read: <b>bad</b>");
        auto* box = shownBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), "sorvik");
        EXPECT_EQ(box->text(), "Presets could not be read: <b>bad</b>");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->parentWidget(), &window);
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);

        QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
        EXPECT_FALSE(fixture.store.message());
        ASSERT_TRUE(waitUntil([&] { return !alert.box(); }));

        // A new message raises it again.
        fixture.store.setMessage("Again");
        box = shownBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), "Again");
    }

    TEST_F(MessageAlertTest, EscapeClearsTheMessage)
    {
        showWindow();
        fixture.store.setMessage("Something failed");
        auto* box = shownBox();
        ASSERT_TRUE(box);
        QTest::keyClick(box, Qt::Key_Escape);
        EXPECT_FALSE(fixture.store.message());
        ASSERT_TRUE(waitUntil([&] { return !alert.box(); }));
    }

    TEST_F(MessageAlertTest, WaitsWhileTheWindowIsHidden)
    {
        fixture.store.setMessage("Raised in the background");
        testing::runEvents(20);
        EXPECT_FALSE(alert.box());
        showWindow();
        auto* box = shownBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), "Raised in the background");
        EXPECT_TRUE(fixture.store.message());
    }

    TEST_F(MessageAlertTest, AMessageRaisedBeforeTheAlertExistedShowsOnFirstShow)
    {
        QWidget other;
        fixture.store.setMessage("From start-up");
        MessageAlert late(fixture.store, other, nullptr);
        other.show();
        ASSERT_TRUE(waitUntil([&] { return late.box() && late.box()->isVisible(); }));
        EXPECT_EQ(late.box()->text(), "From start-up");
        late.box()->done(QMessageBox::Ok);
    }

    TEST_F(MessageAlertTest, ANewTextReplacesTheShownOneAndAClearedMessageClosesIt)
    {
        showWindow();
        fixture.store.setMessage("First");
        auto* box = shownBox();
        ASSERT_TRUE(box);
        fixture.store.setMessage("Second");
        EXPECT_EQ(alert.box(), box);
        EXPECT_EQ(box->text(), "Second");
        fixture.store.setMessage(std::nullopt);
        ASSERT_TRUE(waitUntil([&] { return !alert.box(); }));
        EXPECT_FALSE(fixture.store.message());
    }

    TEST_F(MessageAlertTest, OpensOverTheOpenSheetAndStaysWhenTheSheetCloses)
    {
        bool raised = true;
        sheets.follow([&] { return raised; }, [&] { raised = false; }, &fixture.store,
            &RenamerStore::messageChanged, [](QWidget* parent) { return new QDialog(parent); });
        showWindow();
        ASSERT_TRUE(waitUntil([&] { return sheets.current() && sheets.current()->isVisible(); }));
        auto* sheet = sheets.current();

        fixture.store.setMessage("The preset could not be saved");
        auto* box = shownBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->parentWidget(), sheet);

        // The sheet goes (and takes the box along); the message is still there to read.
        QPointer<QMessageBox> first = box;
        sheet->done(QDialog::Rejected);
        ASSERT_TRUE(waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return !first;
        }));
        box = shownBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->parentWidget(), &window);
        EXPECT_EQ(box->text(), "The preset could not be saved");
    }

} // namespace
} // namespace sorvik
