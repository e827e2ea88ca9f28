#include "app/rules/token_picker.h"

#include "app/rules/template_tokens.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // A host editor: a template field, the picker under it, and the stored template.
    struct Host {
        std::string templateText;
        std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
        QLineEdit* field = new QLineEdit(window.get());
        TokenPicker* picker = new TokenPicker(
            { [this] { return templateText; }, [this](std::string text) { templateText = text; } },
            window.get());

        Host()
        {
            auto* layout = new QVBoxLayout(window.get());
            layout->addWidget(field);
            layout->addWidget(picker);
            window->show();
        }

        QLineEdit* search() const { return picker->popup()->findChild<QLineEdit*>("tokenSearch"); }
        QListWidget* list() const { return picker->popup()->findChild<QListWidget*>("tokenList"); }

        QStringList visibleRows() const
        {
            QStringList rows;
            for (int row = 0; row < list()->count(); ++row) {
                if (!list()->item(row)->isHidden())
                    rows.append(list()->item(row)->text());
            }
            return rows;
        }

        void open() const
        {
            QTest::mouseClick(picker, Qt::LeftButton);
            QTRY_VERIFY(picker->popup()->isVisible());
        }
    };

    TEST(TokenPicker, ShowsTheButtonAndAPopupOfEveryTokenWithTheHint)
    {
        Host host;
        EXPECT_EQ(host.picker->text(), QString::fromUtf8("Insert Token\u2026"));
        EXPECT_FALSE(host.picker->isPresented());
        EXPECT_FALSE(host.picker->popup()->isVisible());

        host.open();
        EXPECT_TRUE(host.picker->isPresented());
        EXPECT_EQ(host.picker->popup()->size(), QSize(370, 420));
        EXPECT_EQ(host.search()->placeholderText(), "Search tokens");
        EXPECT_TRUE(host.search()->hasFocus());
        auto rows = host.visibleRows();
        ASSERT_EQ(rows.size(), 44);
        EXPECT_EQ(rows.front(), "{name}");
        EXPECT_EQ(rows[4], "{#:3}");
        EXPECT_EQ(rows.back(), "{pdf.pages}");
        auto* hint = host.picker->popup()->findChild<QLabel*>("tokenHint");
        ASSERT_NE(hint, nullptr);
        EXPECT_EQ(hint->text(), "Use {token|fallback} when a value may be missing.");
        EXPECT_EQ(hint->textFormat(), Qt::PlainText);
        // The popup opens below the button.
        EXPECT_GE(host.picker->popup()->geometry().top(),
            host.picker->mapToGlobal(QPoint(0, host.picker->height())).y() - 1);
    }

    TEST(TokenPicker, FiltersByTheQueryAsTyped)
    {
        Host host;
        host.open();
        QTest::keyClicks(host.search(), "EXIF");
        EXPECT_EQ(host.visibleRows().size(), 12);
        host.search()->setText("yyyy");
        EXPECT_EQ(host.visibleRows(),
            QStringList({ "{date.created:yyyy-MM-dd}", "{date.modified:yyyy-MM-dd}",
                "{today:yyyy-MM-dd}", "{exif.date:yyyy-MM-dd}" }));
        host.search()->setText(" name");
        EXPECT_TRUE(host.visibleRows().isEmpty());
        EXPECT_TRUE(host.search()->isVisible());
        EXPECT_TRUE(host.picker->popup()->findChild<QLabel*>("tokenHint")->isVisible());
        // Return with nothing to choose inserts nothing and keeps the popup.
        QTest::keyClick(host.search(), Qt::Key_Return);
        EXPECT_EQ(host.templateText, "");
        EXPECT_TRUE(host.picker->isPresented());
    }

    TEST(TokenPicker, AClickAppendsTheTokenAtTheEndAndClosesKeepingTheQuery)
    {
        Host host;
        host.templateText = "Photo_";
        // The host's cursor plays no part: the token goes to the end of the template.
        host.field->setText("Photo_");
        host.field->setCursorPosition(0);
        host.open();
        QTest::keyClicks(host.search(), "#");
        ASSERT_EQ(host.visibleRows(), QStringList({ "{#:3}" }));
        QSignalSpy closed(host.picker, &TokenPicker::presentedChanged);
        auto* item = host.list()->findItems("{#:3}", Qt::MatchExactly).front();
        QTest::mouseClick(host.list()->viewport(), Qt::LeftButton, {},
            host.list()->visualItemRect(item).center());
        EXPECT_EQ(host.templateText, "Photo_{#:3}");
        EXPECT_FALSE(host.picker->isPresented());
        EXPECT_FALSE(host.picker->popup()->isVisible());
        ASSERT_EQ(closed.count(), 1);
        EXPECT_EQ(closed.front().front().toBool(), false);

        host.open();
        EXPECT_EQ(host.search()->text(), "#");
        EXPECT_EQ(host.visibleRows(), QStringList({ "{#:3}" }));
    }

    TEST(TokenPicker, InsertsOneAfterAnotherWithNothingBetween)
    {
        Host host;
        host.picker->insert("name");
        EXPECT_EQ(host.templateText, "{name}");
        host.picker->insert("ext");
        EXPECT_EQ(host.templateText, "{name}{ext}");
    }

    TEST(TokenPicker, WorksFromTheKeyboard)
    {
        Host host;
        host.open();
        QTest::keyClicks(host.search(), "audio");
        // Return in the field takes the first match.
        QTest::keyClick(host.search(), Qt::Key_Return);
        EXPECT_EQ(host.templateText, "{audio.title}");
        EXPECT_FALSE(host.picker->isPresented());

        host.open();
        QTest::keyClick(host.search(), Qt::Key_Down);
        EXPECT_TRUE(host.list()->hasFocus());
        QTest::keyClick(host.list(), Qt::Key_Down);
        QTest::keyClick(host.list(), Qt::Key_Down);
        QTest::keyClick(host.list(), Qt::Key_Return);
        EXPECT_EQ(host.templateText, "{audio.title}{audio.album}");

        host.open();
        QTest::keyClick(host.search(), Qt::Key_Down);
        QTest::keyClick(host.list(), Qt::Key_Up);
        EXPECT_TRUE(host.search()->hasFocus());
        QTest::keyClick(host.search(), Qt::Key_Escape);
        EXPECT_FALSE(host.picker->isPresented());
        EXPECT_FALSE(host.picker->popup()->isVisible());
        EXPECT_EQ(host.templateText, "{audio.title}{audio.album}");
        EXPECT_EQ(host.picker->query(), "audio");
    }

    TEST(TokenPicker, ThePopupTakesItsHostsPalette)
    {
        Host host;
        QPalette tinted = host.window->palette();
        tinted.setColor(QPalette::Highlight, QColor(20, 125, 92));
        host.window->setPalette(tinted);
        host.open();
        EXPECT_EQ(host.list()->palette().color(QPalette::Highlight), QColor(20, 125, 92));
    }

    TEST(TokenPicker, ClosingFromOutsideClearsPresented)
    {
        Host host;
        host.open();
        QSignalSpy changes(host.picker, &TokenPicker::presentedChanged);
        host.picker->popup()->hide();
        EXPECT_FALSE(host.picker->isPresented());
        EXPECT_EQ(changes.count(), 1);
    }

    TEST(TokenPicker, StartsOverWhenItsCardCollapsesAndExpands)
    {
        Host host;
        host.open();
        QTest::keyClicks(host.search(), "gps");
        host.window->hide();
        EXPECT_FALSE(host.picker->isPresented());
        host.window->show();
        EXPECT_EQ(host.picker->query(), "");
        host.open();
        EXPECT_EQ(host.visibleRows().size(), 44);
    }

    TEST(TokenPicker, AHostMayRebuildItselfWhenTheTemplateChanges)
    {
        std::string templateText;
        auto window = std::make_unique<QWidget>();
        TokenPicker* picker = nullptr;
        picker = new TokenPicker({ [&] { return templateText; },
                                     [&](std::string text) {
                                         templateText = text;
                                         delete picker;
                                         picker = nullptr;
                                     } },
            window.get());
        window->show();
        picker->setPresented(true);
        picker->insert("name");
        EXPECT_EQ(templateText, "{name}");
        EXPECT_EQ(picker, nullptr);
    }

} // namespace
} // namespace sorvik
