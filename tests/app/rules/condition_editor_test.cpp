#include "app/rules/condition_editor.h"

#include "app/rules/condition_date_edit.h"
#include "tests/app/rules/editor_host.h"
#include "tests/support/scoped_time_zone.h"

#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::EditorHost;
    using testing::EnglishNumbers;
    using testing::ScopedTimeZone;

    Rule ruleWith(std::optional<ConditionGroup> group)
    {
        Rule rule(RuleKind(NumberingConfig {}));
        rule.isEnabled = false;
        rule.condition = std::move(group);
        return rule;
    }

    Rule ruleWith(std::vector<Condition> conditions)
    {
        return ruleWith(ConditionGroup { true, std::move(conditions) });
    }

    struct Host : EditorHost {
        explicit Host(const Rule& rule, bool echo = true)
            : EditorHost(new ConditionEditor(rule), echo)
        {
        }

        ConditionEditor& conditions() const { return static_cast<ConditionEditor&>(editor()); }

        QWidget* row(int index) const
        {
            return editor().findChild<QWidget*>(QStringLiteral("conditionRow%1").arg(index));
        }
        template <class Widget> Widget* inRow(int index, const char* name) const
        {
            auto* found = row(index) ? row(index)->findChild<Widget*>(name) : nullptr;
            EXPECT_NE(found, nullptr) << "no " << name << " in row " << index;
            return found;
        }
        int rowCount() const
        {
            int count = 0;
            while (row(count))
                ++count;
            return count;
        }

        void add(int item) const { conditions().addMenu()->actions().at(item)->trigger(); }
        void remove(int index) const { inRow<QToolButton>(index, "removeCondition")->click(); }

        std::vector<Condition> stored() const
        {
            const auto& group = editor().rule().condition;
            return group ? group->conditions : std::vector<Condition> {};
        }
    };

    // Deleted rows go once the event loop runs, as after a click.
    void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TEST(ConditionEditor, OnlyWhenStartsTheDefaultGroupAndOffDropsIt)
    {
        auto rule = ruleWith(std::nullopt);
        Host host(rule);
        EXPECT_FALSE(host.find<QCheckBox>("onlyWhen")->isChecked());
        EXPECT_FALSE(host.find("matchAll")->isVisible());
        EXPECT_EQ(host.rowCount(), 0);

        host.click("onlyWhen");
        auto expected = rule;
        expected.condition = ConditionGroup { true, { Condition::ext({ "jpg" }) } };
        EXPECT_EQ(host.lastRule(), expected);
        EXPECT_TRUE(host.find<QCheckBox>("matchAll")->isChecked());
        EXPECT_TRUE(host.find("matchAll")->isVisible());
        ASSERT_EQ(host.rowCount(), 1);
        EXPECT_EQ(host.inRow<QLineEdit>(0, "extensions")->text(), "jpg");

        host.add(1);
        host.click("matchAll");
        host.click("onlyWhen");
        EXPECT_EQ(host.lastRule(), rule);
        settle();
        EXPECT_EQ(host.rowCount(), 0);
        host.click("onlyWhen");
        EXPECT_EQ(host.lastRule(), expected);
        settle();
        EXPECT_EQ(host.rowCount(), 1);
    }

    TEST(ConditionEditor, AddConditionAppendsTheSixDefaultsInOrder)
    {
        Host host(ruleWith(std::vector<Condition> {}));
        EXPECT_EQ(ConditionEditor::addItems(),
            QStringList({ "Extension", "Name contains", "Regular expression", "File kind",
                "File size", "Modified date" }));
        auto* menu = host.conditions().addMenu();
        ASSERT_EQ(menu->actions().size(), 6);
        EXPECT_EQ(host.find<QPushButton>("addCondition")->text(), "Add Condition");

        auto before = Date::now();
        for (int item = 0; item < 6; ++item)
            host.add(item);
        host.add(5);
        auto after = Date::now();
        auto conditions = host.stored();
        ASSERT_EQ(conditions.size(), 7u);
        EXPECT_EQ(conditions[0], Condition::ext({ "jpg" }));
        EXPECT_EQ(conditions[1], Condition::name("", false));
        EXPECT_EQ(conditions[2], Condition::nameRegex(".*"));
        EXPECT_EQ(conditions[3], Condition::kind("image"));
        EXPECT_EQ(conditions[4], Condition::size(0, std::nullopt));
        // Each "Modified date" reaches up to the moment it was chosen.
        auto first = std::get<Condition::Modified>(conditions[5].value);
        auto second = std::get<Condition::Modified>(conditions[6].value);
        EXPECT_EQ(first.after, Date::distantPast());
        ASSERT_TRUE(first.before && second.before);
        EXPECT_LE(before, *first.before);
        EXPECT_LE(*first.before, *second.before);
        EXPECT_LE(*second.before, after);
        EXPECT_EQ(host.rowCount(), 7);
    }

    TEST(ConditionEditor, TheExtensionListIsSplitAtCommasAsTyped)
    {
        struct Case {
            const char* typed;
            std::vector<std::string> stored;
            const char* shownAfterwards;
        };
        for (const auto& [typed, stored, shownAfterwards] : {
                 Case { "jpg,png", { "jpg", "png" }, "jpg,png" },
                 Case { "jpg,,png", { "jpg", "png" }, "jpg,png" },
                 Case { "jpg, png", { "jpg", " png" }, "jpg, png" },
                 Case { ",JPG.,", { "JPG." }, "JPG." },
             }) {
            Host host(ruleWith({ Condition::ext({}) }));
            auto* field = host.inRow<QLineEdit>(0, "extensions");
            field->setFocus();
            // Key by key, each echoed back: the comma just typed stays.
            for (auto character : QString::fromUtf8(typed)) {
                QTest::keyClicks(field, QString(character));
                EXPECT_EQ(field->text(), QString::fromUtf8(typed).left(field->cursorPosition()));
            }
            EXPECT_EQ(host.stored(), std::vector { Condition::ext(stored) }) << typed;
            host.leaveField();
            EXPECT_EQ(field->text(), shownAfterwards);
        }

        Host shown(ruleWith({ Condition::ext({ "heic", "jpeg" }) }));
        EXPECT_EQ(shown.inRow<QLineEdit>(0, "extensions")->text(), "heic,jpeg");
    }

    TEST(ConditionEditor, NameFieldsKeepEachOther)
    {
        Host host(ruleWith({ Condition::name("IMG", true) }));
        host.inRow<QCheckBox>(0, "caseSensitive")->click();
        EXPECT_EQ(host.stored(), std::vector { Condition::name("IMG", false) });
        auto* text = host.inRow<QLineEdit>(0, "nameText");
        text->setFocus();
        QTest::keyClicks(text, "_");
        EXPECT_EQ(host.stored(), std::vector { Condition::name("IMG_", false) });
        ASSERT_TRUE(host.edits.back().typingKey);

        Host regex(ruleWith({ Condition::nameRegex(".*") }));
        auto* pattern = regex.inRow<QLineEdit>(0, "pattern");
        pattern->setFocus();
        QTest::keyClicks(pattern, "[");
        EXPECT_EQ(regex.stored(), std::vector { Condition::nameRegex(".*[") });
    }

    TEST(ConditionEditor, AKindOutsideTheSevenShowsNothingAndStays)
    {
        Host host(ruleWith({ Condition::kind("Image") }));
        auto* picker = host.inRow<QComboBox>(0, "fileKind");
        QStringList entries;
        for (int index = 0; index < picker->count(); ++index)
            entries.append(picker->itemText(index));
        EXPECT_EQ(entries,
            QStringList({ "image", "video", "audio", "document", "archive", "folder", "other" }));
        EXPECT_EQ(picker->currentIndex(), -1);
        EXPECT_TRUE(host.edits.empty());
        picker->setCurrentIndex(1);
        emit picker->activated(1);
        EXPECT_EQ(host.stored(), std::vector { Condition::kind("video") });
    }

    TEST(ConditionEditor, SizeBoundsZeroMeansNoUpperBoundButKeepsALowerOne)
    {
        EnglishNumbers numbers;
        struct Case {
            const char* field;
            const char* entered;
            Condition stored;
            const char* shown;
        };
        for (const auto& [field, entered, stored, shown] : {
                 Case { "lessThan", "0", Condition::size(500, std::nullopt), "0" },
                 Case { "lessThan", "-3", Condition::size(500, std::nullopt), "0" },
                 Case { "lessThan", "2,000", Condition::size(500, 2000), "2,000" },
                 Case { "greaterThan", "0", Condition::size(0, 1000), "0" },
                 Case { "greaterThan", "-1", Condition::size(-1, 1000), "-1" },
             }) {
            Host host(ruleWith({ Condition::size(500, 1000) }));
            auto* input = host.inRow<QLineEdit>(0, field);
            input->setFocus();
            input->selectAll();
            QTest::keyClicks(input, entered);
            QTest::keyClick(input, Qt::Key_Return);
            EXPECT_EQ(host.stored(), std::vector { stored }) << field << " " << entered;
            EXPECT_EQ(input->text(), shown) << field << " " << entered;
        }

        Host absent(ruleWith({ Condition::size(std::nullopt, std::nullopt) }));
        EXPECT_EQ(absent.inRow<QLineEdit>(0, "greaterThan")->text(), "0");
        EXPECT_EQ(absent.inRow<QLineEdit>(0, "lessThan")->text(), "0");
        // A bound that stays absent shows as absent again.
        auto* lessThan = absent.inRow<QLineEdit>(0, "lessThan");
        lessThan->setFocus();
        lessThan->selectAll();
        QTest::keyClicks(lessThan, "-3");
        QTest::keyClick(lessThan, Qt::Key_Return);
        EXPECT_EQ(lessThan->text(), "0");
        EXPECT_TRUE(absent.edits.empty());
    }

    TEST(ConditionEditor, ALowerBoundOfZeroTypedWhereThereIsNoneIsStored)
    {
        EnglishNumbers numbers;
        Host host(ruleWith({ Condition::size(std::nullopt, std::nullopt) }));
        auto* larger = host.inRow<QLineEdit>(0, "greaterThan");
        EXPECT_EQ(larger->text(), "0");
        // Visiting the field stores nothing.
        larger->setFocus();
        host.leaveField();
        EXPECT_TRUE(host.edits.empty());

        host.enter("greaterThan", "0");
        EXPECT_EQ(host.stored(), std::vector { Condition::size(0, std::nullopt) });
        host.enter("lessThan", "0");
        EXPECT_EQ(host.stored(), std::vector { Condition::size(0, std::nullopt) });
        EXPECT_EQ(host.edits.size(), 1u);
    }

    TEST(ConditionEditor, RemovingRowsKeepsTheGroupAndItsSwitch)
    {
        Host host(ruleWith(
            { Condition::ext({ "a" }), Condition::ext({ "b" }), Condition::nameRegex("c") }));
        host.remove(1);
        settle();
        EXPECT_EQ(
            host.stored(), (std::vector { Condition::ext({ "a" }), Condition::nameRegex("c") }));
        ASSERT_EQ(host.rowCount(), 2);
        EXPECT_EQ(host.inRow<QLineEdit>(1, "pattern")->text(), "c");
        host.remove(0);
        settle();
        EXPECT_EQ(host.stored(), std::vector { Condition::nameRegex("c") });
        host.remove(0);
        settle();
        ASSERT_TRUE(host.editor().rule().condition);
        EXPECT_TRUE(host.stored().empty());
        EXPECT_EQ(host.rowCount(), 0);
        EXPECT_TRUE(host.find<QCheckBox>("onlyWhen")->isChecked());
        EXPECT_TRUE(host.find("matchAll")->isVisible());
        EXPECT_TRUE(host.find("addCondition")->isVisible());
    }

    TEST(ConditionEditor, TheRemoveButtonIsNamed)
    {
        Host host(ruleWith({ Condition::ext({ "a" }) }));
        auto* remove = host.inRow<QToolButton>(0, "removeCondition");
        EXPECT_EQ(remove->accessibleName(), "Remove condition");
        EXPECT_EQ(remove->toolTip(), "Remove condition");
        EXPECT_EQ(host.inRow<QLineEdit>(0, "extensions")->accessibleName(),
            "Extensions, comma separated");
    }

    TEST(ConditionEditor, ANumberBeingTypedIsCommittedBeforeARowGoes)
    {
        EnglishNumbers numbers;
        Host host(ruleWith({ Condition::ext({ "a" }), Condition::size(1, std::nullopt) }));
        auto* larger = host.inRow<QLineEdit>(1, "greaterThan");
        larger->setFocus();
        larger->selectAll();
        QTest::keyClicks(larger, "7");
        // The click takes the focus first, as a mouse press does.
        auto* remove = host.inRow<QToolButton>(0, "removeCondition");
        remove->setFocus(Qt::MouseFocusReason);
        remove->click();
        settle();
        EXPECT_EQ(host.stored(), std::vector { Condition::size(7, std::nullopt) });
    }

    TEST(ConditionEditor, ShowingGroupsWritesNothingAndRowsFollowInPlace)
    {
        auto rule = ruleWith({ Condition::ext({ "a" }), Condition::size(1, 2) });
        Host host(rule, false);
        auto* field = host.inRow<QLineEdit>(0, "extensions");
        field->setFocus();
        auto other = ruleWith({ Condition::ext({ "b", "c" }), Condition::size(3, 4) });
        other.id = rule.id;
        host.editor().setRule(other);
        // Same kinds of conditions: the same row, showing the new list.
        EXPECT_EQ(host.inRow<QLineEdit>(0, "extensions"), field);
        EXPECT_EQ(field->text(), "b,c");
        host.editor().setRule(ruleWith(std::nullopt));
        host.editor().setRule(rule);
        host.leaveField();
        settle();
        EXPECT_TRUE(host.edits.empty());
        EXPECT_EQ(host.inRow<QLineEdit>(0, "extensions")->text(), "a");
    }

    TEST(ConditionEditor, ANewDateRowShowsTheDistantPastAsItIsWithoutWriting)
    {
        ScopedTimeZone zone("America/Los_Angeles");
        auto rule = ruleWith({ Condition::modified(Date::distantPast(), std::nullopt) });
        Host host(rule);
        auto* after = host.inRow<ConditionDateEdit>(0, "after");
        EXPECT_FALSE(after->showsDay());
        EXPECT_FALSE(after->specialValueText().isEmpty());
        EXPECT_EQ(after->text(), after->specialValueText());
        EXPECT_TRUE(after->specialValueText().contains("0001"))
            << after->specialValueText().toStdString();
        // An absent upper bound shows today.
        auto* before = host.inRow<ConditionDateEdit>(0, "before");
        EXPECT_TRUE(before->showsDay());
        EXPECT_EQ(before->date(), QDate::currentDate());
        EXPECT_TRUE(host.edits.empty());

        // A day picked there starts at local midnight; the other bound stays absent.
        after->setDate(QDate(2024, 3, 1));
        EXPECT_EQ(host.stored(),
            std::vector { Condition::modified(Date::fromUnixSeconds(1709280000), std::nullopt) });
        EXPECT_TRUE(after->showsDay());
        EXPECT_TRUE(after->specialValueText().isEmpty());
    }

    TEST(ConditionEditor, APickedDayKeepsTheStoredTimeOfDayInLocalTime)
    {
        ScopedTimeZone zone("America/Los_Angeles");
        // 2023-06-15 14:30 in summer time; the day picked is in winter time.
        auto stored = Date::fromUnixSeconds(1686864600);
        auto rule = ruleWith({ Condition::modified(Date::distantPast(), stored) });
        Host host(rule);
        auto* before = host.inRow<ConditionDateEdit>(0, "before");
        EXPECT_EQ(before->date(), QDate(2023, 6, 15));
        before->setDate(QDate(2024, 1, 10));
        EXPECT_EQ(host.stored(),
            std::vector {
                Condition::modified(Date::distantPast(), Date::fromUnixSeconds(1704925800)) });
    }

    TEST(ConditionEditor, APickedDayWhoseTimeOfDayItSkipsStillLandsOnThatDay)
    {
        ScopedTimeZone zone("America/Los_Angeles");
        // 02:30 on the day before the clocks go forward from 02:00 to 03:00.
        auto rule
            = ruleWith({ Condition::modified(Date::fromUnixSeconds(1709980200), std::nullopt) });
        Host host(rule);
        host.inRow<ConditionDateEdit>(0, "after")->setDate(QDate(2024, 3, 10));
        auto after = std::get<Condition::Modified>(host.stored().at(0).value).after;
        ASSERT_TRUE(after);
        auto local
            = QDateTime::fromMSecsSinceEpoch(qint64(after->unixSeconds() * 1000), Qt::LocalTime);
        EXPECT_EQ(local.date(), QDate(2024, 3, 10));
    }

    TEST(ConditionEditor, DatesOutsideTheFieldsYearsStayAsStored)
    {
        // Year 10000 and later, and the numbers no calendar reaches.
        for (double seconds : { 300'000'000'000.0, 1e300, -1e300 }) {
            auto rule = ruleWith({ Condition::modified(Date { seconds }, Date { seconds }) });
            Host host(rule);
            auto* after = host.inRow<ConditionDateEdit>(0, "after");
            EXPECT_FALSE(after->showsDay()) << seconds;
            EXPECT_FALSE(after->specialValueText().isEmpty()) << seconds;
            host.leaveField();
            EXPECT_TRUE(host.edits.empty()) << seconds;
            EXPECT_EQ(host.editor().rule(), rule);
        }
    }

    TEST(ConditionEditor, WritesChangeOnlyTheGroup)
    {
        auto rule = ruleWith({ Condition::ext({ "a" }) });
        Host host(rule);
        host.click("matchAll");
        auto expected = rule;
        expected.condition->matchAll = false;
        EXPECT_EQ(host.lastRule(), expected);
    }

} // namespace
} // namespace sorvik
