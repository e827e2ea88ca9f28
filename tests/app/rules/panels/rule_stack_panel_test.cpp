#include "app/rules/panels/rule_stack_panel.h"

#include "app/rules/condition_date_edit.h"
#include "app/rules/condition_editor.h"
#include "app/rules/panels/rule_palette.h"
#include "app/rules/rule_card.h"
#include "app/rules/rule_editor.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "tests/app/rules/panels/panel_test_support.h"
#include "tests/app/style/wheel_turns.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::idsOf;
    using testing::patternRule;
    using testing::waitUntil;

    class Panel : public testing::StoreWindow {
    protected:
        Panel()
        {
            panel = new RuleStackPanel(store, window.get());
            window->layout()->addWidget(panel);
            showWindow();
        }

        QAction* addRuleAction(const char* typeName) const
        {
            return panel->findChild<QMenu*>("addRuleMenu")->findChild<QAction*>(typeName);
        }
        QPushButton* starter(const char* name) const
        {
            return panel->findChild<QPushButton*>(name);
        }
        QAction* cardAction(std::size_t index, const char* name) const
        {
            return panel->cards()
                .at(index)
                ->findChild<QToolButton*>("ruleActions")
                ->menu()
                ->findChild<QAction*>(name);
        }
        bool showsEmptyState() const
        {
            return !panel->findChild<QWidget*>("emptyState")->isHidden();
        }

        /// A drop of the card at `from` at the height of `fraction` of the card at `over`
        /// (or below the last card), as a drag of this panel delivers it.
        void drag(std::size_t from, std::optional<std::size_t> over, double fraction = 0.25)
        {
            settle();
            auto id = store.rules().at(from).id;
            std::unique_ptr<QMimeData> payload(panel->dragData({ id }));
            QPoint position;
            if (over) {
                auto* card = panel->cards().at(*over);
                position
                    = card->mapTo(panel, QPoint(card->width() / 2, int(card->height() * fraction)));
            } else {
                auto* card = panel->cards().back();
                position = card->mapTo(panel, QPoint(card->width() / 2, card->height() + 2));
            }
            dropAt(position, payload.get());
        }

        bool dropAt(QPoint position, const QMimeData* payload)
        {
            QDragEnterEvent enter(
                position, Qt::MoveAction, payload, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(panel, &enter);
            QDragMoveEvent move(position, Qt::MoveAction, payload, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(panel, &move);
            QDropEvent drop(position, Qt::MoveAction, payload, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(panel, &drop);
            settle();
            return enter.isAccepted() && drop.isAccepted();
        }

        RuleStackPanel* panel;
    };

    TEST_F(Panel, AnEmptyStackShowsTheHeaderTheStartersAndNoCards)
    {
        EXPECT_TRUE(showsEmptyState());
        EXPECT_TRUE(panel->cards().empty());
        EXPECT_FALSE(panel->findChild<QWidget*>("ruleList")->isHidden());
        QStringList titles;
        for (auto* action : panel->findChild<QMenu*>("addRuleMenu")->actions())
            titles << action->iconText();
        EXPECT_EQ(titles,
            (QStringList { "Find & Replace", "Remove Characters", "Clean Up", "Change Case",
                "Spaces", "Insert Text", "Numbering", "Date", "Pattern", "Limit Length",
                "Extension", "Rename from List", "AI Rename", "Organize" }));
        EXPECT_EQ(starter("lowercaseAndDashes")->text(), "Lowercase && dashes");
    }

    TEST_F(Panel, EachStarterReplacesTheEmptyStackInOneStep)
    {
        struct Case {
            const char* button;
            std::vector<RuleKind> kinds;
        };
        const std::vector<Case> cases {
            { "lowercaseAndDashes",
                { RuleKind(CaseConfig { CaseStyle::lower, false }),
                    RuleKind(SpaceConfig { SpaceMode::dash }) } },
            { "numberFiles",
                { RuleKind(NumberingConfig {
                    NumberPlacement::suffix, 1, 1, 3, "_", "", false, NumberStyle::decimal }) } },
            { "addDate",
                { RuleKind(
                    DateConfig { DateSource::modified, "yyyy-MM-dd", Placement::prefix, "_" }) } },
        };
        for (const auto& [button, kinds] : cases) {
            SCOPED_TRACE(button);
            QSignalSpy changes(&store, &RenamerStore::rulesChanged);
            auto steps = undo.index();
            starter(button)->click();
            ASSERT_EQ(store.rules().size(), kinds.size());
            for (std::size_t index = 0; index < kinds.size(); ++index) {
                EXPECT_EQ(store.rules()[index].kind, kinds[index]);
                EXPECT_TRUE(store.rules()[index].isEnabled);
                EXPECT_FALSE(store.rules()[index].condition);
                EXPECT_TRUE(panel->cards()[index]->isExpanded());
            }
            EXPECT_EQ(changes.count(), 1);
            EXPECT_EQ(undo.index(), steps + 1);
            EXPECT_FALSE(showsEmptyState());
            auto first = idsOf(store.rules());

            undo.undo();
            EXPECT_TRUE(store.rules().empty());
            EXPECT_TRUE(showsEmptyState());
            starter(button)->click();
            EXPECT_NE(idsOf(store.rules()), first);
            undo.undo();
        }
    }

    TEST_F(Panel, AddRuleAppendsANewRuleOfTheKindInEveryState)
    {
        addRuleAction("replace")->trigger();
        addRuleAction("replace")->trigger();
        addRuleAction("organize")->trigger();
        ASSERT_EQ(store.rules().size(), 3u);
        EXPECT_EQ(store.rules()[0].kind, RuleKind(ReplaceConfig {}));
        EXPECT_EQ(store.rules()[0].kind, store.rules()[1].kind);
        EXPECT_NE(store.rules()[0].id, store.rules()[1].id);
        EXPECT_EQ(store.rules()[2].kind, RuleKind(OrganizeConfig {}));
        EXPECT_EQ(undo.count(), 3);
        ASSERT_EQ(panel->cards().size(), 3u);
        for (auto* card : panel->cards())
            EXPECT_TRUE(card->isExpanded());

        undo.undo();
        EXPECT_EQ(store.rules().size(), 2u);
        EXPECT_EQ(panel->cards().size(), 2u);
        undo.redo();
        EXPECT_EQ(store.rules().size(), 3u);
    }

    TEST_F(Panel, DeleteRemovesExactlyThatRuleAndLeavesTheOtherCardsAlone)
    {
        store.setRules({ patternRule("A"), patternRule("B"), patternRule("C") });
        auto rules = store.rules();
        panel->cards()[2]->setExpanded(false);
        auto* keptA = panel->cards()[0];
        auto* keptC = panel->cards()[2];
        auto steps = undo.count();

        cardAction(1, "delete")->trigger();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { rules[0], rules[2] }));
        EXPECT_EQ(panel->cards(), (std::vector<RuleCard*> { keptA, keptC }));
        EXPECT_FALSE(keptC->isExpanded());
        EXPECT_EQ(undo.count(), steps + 1);

        // Undone, the rule comes back with a new card, expanded.
        undo.undo();
        EXPECT_EQ(store.rules(), rules);
        ASSERT_EQ(panel->cards().size(), 3u);
        EXPECT_EQ(panel->cards()[0], keptA);
        EXPECT_EQ(panel->cards()[2], keptC);
        EXPECT_TRUE(panel->cards()[1]->isExpanded());

        // Deleting the last card brings the starters back.
        store.setRules({ rules[0] });
        cardAction(0, "delete")->trigger();
        EXPECT_TRUE(store.rules().empty());
        EXPECT_TRUE(showsEmptyState());
    }

    TEST_F(Panel, DuplicateKeepsTheCopyAfterTheOriginalWithANewId)
    {
        store.setRules({ patternRule("A"), patternRule("B") });
        auto rules = store.rules();
        auto steps = undo.count();
        cardAction(0, "duplicate")->trigger();
        ASSERT_EQ(store.rules().size(), 3u);
        EXPECT_EQ(store.rules()[0], rules[0]);
        EXPECT_NE(store.rules()[1].id, rules[0].id);
        EXPECT_EQ(store.rules()[1].kind, rules[0].kind);
        EXPECT_EQ(store.rules()[2], rules[1]);
        EXPECT_TRUE(panel->cards()[1]->isExpanded());
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(store.rules(), rules);
    }

    TEST_F(Panel, MoveUpAndDownSwapNeighboursAndIgnoreTheEnds)
    {
        store.setRules({ patternRule("A"), patternRule("B"), patternRule("C") });
        auto rules = store.rules();
        auto cards = panel->cards();
        auto steps = undo.count();
        cardAction(0, "moveUp")->trigger();
        cardAction(2, "moveDown")->trigger();
        EXPECT_EQ(store.rules(), rules);
        EXPECT_EQ(undo.count(), steps);

        cardAction(0, "moveDown")->trigger();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { rules[1], rules[0], rules[2] }));
        EXPECT_EQ(panel->cards(), (std::vector<RuleCard*> { cards[1], cards[0], cards[2] }));
        cardAction(2, "moveUp")->trigger();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { rules[1], rules[2], rules[0] }));
        EXPECT_EQ(undo.count(), steps + 2);
        undo.undo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { rules[1], rules[0], rules[2] }));
    }

    TEST_F(Panel, ADragMovesTheRuleWhereItIsDropped)
    {
        store.setRules({ patternRule("A"), patternRule("B"), patternRule("C"), patternRule("D") });
        auto r = store.rules();
        auto cards = panel->cards();
        auto steps = undo.count();

        // Down: A dropped on the lower half of B goes after B.
        drag(0, 1, 0.75);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { r[1], r[0], r[2], r[3] }));
        EXPECT_EQ(
            panel->cards(), (std::vector<RuleCard*> { cards[1], cards[0], cards[2], cards[3] }));
        // Up: D dropped on the upper half of the first card goes first.
        drag(3, 0, 0.25);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { r[3], r[1], r[0], r[2] }));
        // To the end: below the last card.
        drag(0, std::nullopt);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { r[1], r[0], r[2], r[3] }));
        EXPECT_EQ(undo.count(), steps + 3);
        undo.undo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { r[3], r[1], r[0], r[2] }));

        // Dropped where it is: no change and no step.
        auto before = store.rules();
        auto stepsBefore = undo.count();
        drag(1, 1, 0.25);
        drag(1, 2, 0.25);
        EXPECT_EQ(store.rules(), before);
        EXPECT_EQ(undo.count(), stepsBefore);
    }

    TEST_F(Panel, DropsOfOtherPanelsAndOtherTypesAreRefused)
    {
        store.setRules({ patternRule("A"), patternRule("B") });
        auto rules = store.rules();
        settle();
        auto position = panel->cards()[0]->mapTo(panel, QPoint(10, 2));

        RuleStackPanel other(store);
        std::unique_ptr<QMimeData> foreign(other.dragData({ rules[1].id }));
        EXPECT_FALSE(dropAt(position, foreign.get()));
        QMimeData text;
        text.setText(QString::fromStdString(rules[1].id.text()));
        EXPECT_FALSE(dropAt(position, &text));
        QMimeData forged;
        forged.setData(QString::fromUtf8(RuleStackPanel::dragMimeType.data()), "not ids");
        EXPECT_FALSE(dropAt(position, &forged));
        EXPECT_EQ(store.rules(), rules);

        std::unique_ptr<QMimeData> own(panel->dragData({ rules[1].id }));
        EXPECT_TRUE(dropAt(position, own.get()));
        EXPECT_EQ(store.rules(), (std::vector<Rule> { rules[1], rules[0] }));
    }

    TEST_F(Panel, CardsKeepTheirStateAcrossMovesDeletesAndUndo)
    {
        store.setRules({ patternRule("A"), patternRule("B"), patternRule("C") });
        auto rules = store.rules();
        auto* cardB = panel->cards()[1];
        cardB->setExpanded(false);
        cardAction(0, "moveDown")->trigger();
        cardAction(2, "delete")->trigger();
        undo.undo();
        undo.undo();
        EXPECT_EQ(store.rules(), rules);
        EXPECT_EQ(panel->cards()[1], cardB);
        EXPECT_FALSE(cardB->isExpanded());
    }

    TEST_F(Panel, TypingInACardReachesTheStoreAsOneStepAndKeepsFocusAndCursor)
    {
        store.setItems({ FileItem(FileURL("/photos/a.jpg"), true, {}, {}, 0, 0) });
        store.setRules({ patternRule("A"), patternRule("x") });
        auto rules = store.rules();
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        auto steps = undo.count();
        auto* card = panel->cards()[1];
        auto* field = card->editor()->findChild<QLineEdit*>("template");
        ASSERT_NE(field, nullptr);
        field->setFocus(Qt::OtherFocusReason);
        field->setCursorPosition(1);
        QTest::keyClicks(field, "yz");
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(field->cursorPosition(), 3);
        EXPECT_EQ(field->text(), "xyz");
        EXPECT_EQ(std::get<PatternConfig>(store.rules()[1].kind.config).templateText, "xyz");
        EXPECT_EQ(store.rules()[1].id, rules[1].id);
        EXPECT_EQ(store.rules()[0], rules[0]);
        EXPECT_EQ(panel->cards()[1], card);
        EXPECT_EQ(undo.count(), steps + 1);

        // The edit reaches the preview.
        ASSERT_TRUE(waitUntil([&] {
            return !store.isPlanning() && !store.rawPreviews().empty()
                && store.rawPreviews()[0].newName == "xyz.jpg";
        }));

        // An undo ends the run: typing on is a step of its own.
        undo.undo();
        EXPECT_EQ(field->text(), "x");
        EXPECT_EQ(store.rules(), rules);
        QTest::keyClicks(field, "q");
        QTest::keyClicks(field, "r");
        EXPECT_EQ(std::get<PatternConfig>(store.rules()[1].kind.config).templateText, "xqr");
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(store.rules(), rules);
        EXPECT_EQ(undo.index(), steps);
    }

    TEST_F(Panel, TheSwitchAndTheConditionOfACardReachTheStore)
    {
        store.setRules({ patternRule("A") });
        auto rule = store.rules()[0];
        auto* card = panel->cards()[0];
        card->findChild<QCheckBox*>("enabled")->click();
        EXPECT_FALSE(store.rules()[0].isEnabled);
        // The kind's editor is off; the condition editor is not.
        EXPECT_FALSE(card->editor()->findChild<QLineEdit*>("template")->isEnabled());
        card->conditionEditor()->findChild<QCheckBox*>("onlyWhen")->click();
        EXPECT_EQ(store.rules()[0].condition, ConditionEditor::startingGroup());
        EXPECT_FALSE(store.rules()[0].isEnabled);
        EXPECT_EQ(store.rules()[0].kind, rule.kind);
        EXPECT_EQ(undo.count(), 3);
    }

    TEST_F(Panel, AWriteFromACardWhoseRuleIsGoneChangesNothing)
    {
        store.setRules({ patternRule("A"), patternRule("B") });
        auto rules = store.rules();
        auto* gone = panel->cards()[0];
        QPointer<RuleCard> watched(gone);
        store.setRules({ rules[1] });
        // The card lingers until the event loop deletes it; whatever it says goes nowhere.
        ASSERT_TRUE(watched);
        auto edited = rules[0];
        edited.isEnabled = false;
        emit gone->ruleEdited(edited, std::nullopt);
        emit gone->deleteRequested();
        EXPECT_EQ(store.rules(), std::vector<Rule> { rules[1] });
        settle();
        EXPECT_FALSE(watched);
    }

    TEST_F(Panel, ARepeatedIdStillHasACardPerRule)
    {
        auto a = patternRule("A");
        auto copy = patternRule("A2");
        copy.id = a.id;
        store.setRules({ a, patternRule("B"), copy });
        ASSERT_EQ(panel->cards().size(), 3u);
        EXPECT_EQ(panel->cards()[2]->rule(), copy);
        // Typing in the second of the two edits that one, by its place.
        auto* field = panel->cards()[2]->editor()->findChild<QLineEdit*>("template");
        field->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(field, "!");
        EXPECT_EQ(store.rules()[0], a);
        EXPECT_EQ(std::get<PatternConfig>(store.rules()[2].kind.config).templateText, "A2!");
    }

    TEST(PanelSession, ARestoredSessionWithARepeatedIdGivesEveryRuleItsOwnCard)
    {
        testing::IsolatedHome home;
        auto a = patternRule("A");
        auto copy = patternRule("A2");
        copy.id = a.id;
        JSONFiles::save(
            SavedSession { 1, { a, copy }, SortKey::added, true }, SavedSession::fileName);
        RenamerStore store(std::make_shared<testing::FakeServices>());
        RuleStackPanel panel(store);
        ASSERT_EQ(panel.cards().size(), 2u);
        panel.cards()[1]
            ->findChild<QToolButton*>("ruleActions")
            ->menu()
            ->findChild<QAction*>("delete")
            ->trigger();
        EXPECT_EQ(store.rules(), std::vector<Rule> { a });
    }

    // ---- The column as the window shows it: its fixed width, a long stack ----

    /// A rule of every kind, the first one holding a condition of every kind.
    std::vector<Rule> everyKind()
    {
        std::vector<Rule> rules;
        for (auto& kind : RuleKind::defaults())
            rules.emplace_back(std::move(kind));
        rules[0].condition = ConditionGroup { true,
            { Condition::ext({ "jpg" }), Condition::name("x", false), Condition::nameRegex(".*"),
                Condition::kind("image"), Condition::size(0, std::nullopt),
                Condition::modified(Date::distantPast(), Date::fromUnixSeconds(1.7e9)) } };
        return rules;
    }

    class Column : public testing::StoreWindow {
    protected:
        static constexpr int columnWidth = 320;
        static constexpr int columnHeight = 560;

        Column()
        {
            window->layout()->setContentsMargins(0, 0, 0, 0);
            window->resize(columnWidth, columnHeight);
            makePanel();
            showWindow();
        }

        void makePanel()
        {
            delete panel;
            panel = new RuleStackPanel(store, window.get());
            panel->setFixedWidth(columnWidth);
            window->layout()->addWidget(panel);
            settle();
        }

        QScrollArea& list() const { return *panel->findChild<QScrollArea*>("ruleList"); }
        int scrolled() const { return list().verticalScrollBar()->value(); }

        /// Whether the card shows whole in the list, or from its top when it is taller.
        ::testing::AssertionResult showsCard(const RuleCard& card) const
        {
            settle();
            auto* viewport = list().viewport();
            QRect shown(card.mapTo(viewport, QPoint(0, 0)), card.size());
            bool fits = card.height() <= viewport->height();
            if (shown.top() >= 0 && (fits ? shown.bottom() < viewport->height() : shown.top() == 0))
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure()
                << "card at " << shown.top() << " to " << shown.bottom() << " in a list of "
                << viewport->height();
        }

        static void dropFocus()
        {
            if (auto* focused = QApplication::focusWidget())
                focused->clearFocus();
        }

        /// A long stack scrolled to its top.
        void longStack()
        {
            std::vector<Rule> rules;
            for (int index = 0; index < 12; ++index)
                rules.push_back(patternRule(std::to_string(index)));
            store.setRules(rules);
            settle();
            list().verticalScrollBar()->setValue(0);
            ASSERT_GT(list().verticalScrollBar()->maximum(), columnHeight);
        }

        RuleStackPanel* panel = nullptr;
    };

    TEST_F(Column, TheWheelOverAPickerOrADateFieldScrollsTheColumnAndChangesNoRule)
    {
        store.setRules(everyKind());
        settle();
        auto rules = store.rules();
        auto steps = undo.count();
        std::vector<QWidget*> controls;
        for (auto* picker : panel->findChildren<QComboBox*>())
            controls.push_back(picker);
        for (auto* date : panel->findChildren<ConditionDateEdit*>())
            controls.push_back(date);
        // Scope, Occurrence, Style, Mode, Position, Placement, Style, Source, Placement, Mode,
        // Mode, File kind; After, Before.
        ASSERT_EQ(controls.size(), 14u);
        dropFocus();
        for (auto* control : controls) {
            SCOPED_TRACE(control->objectName().toStdString());
            list().ensureWidgetVisible(control, 0, 80);
            auto* bar = list().verticalScrollBar();
            bool down = bar->value() < bar->maximum();
            int before = bar->value();
            testing::turnWheelOver(*control, down);
            EXPECT_NE(bar->value(), before);
            EXPECT_FALSE(control->hasFocus());
            EXPECT_EQ(store.rules(), rules);
        }
        EXPECT_EQ(undo.count(), steps);

        // A picker the user clicked or tabbed into takes the wheel.
        auto* scope = panel->cards()[0]->editor()->findChild<QComboBox*>("scope");
        list().ensureWidgetVisible(scope, 0, 80);
        scope->setFocus(Qt::TabFocusReason);
        int before = scrolled();
        testing::turnWheelOver(*scope);
        EXPECT_EQ(scrolled(), before);
        EXPECT_EQ(std::get<ReplaceConfig>(store.rules()[0].kind.config).scope, ReplaceScope::ext);
        EXPECT_EQ(undo.count(), steps + 1);
    }

    // Restores the application's font.
    class ApplicationFont {
    public:
        explicit ApplicationFont(int pixels)
        {
            QFont font = m_previous;
            font.setPixelSize(pixels);
            QApplication::setFont(font);
        }
        ~ApplicationFont() { QApplication::setFont(m_previous); }
        ApplicationFont(const ApplicationFont&) = delete;
        ApplicationFont& operator=(const ApplicationFont&) = delete;

    private:
        QFont m_previous = QApplication::font();
    };

    TEST_F(Column, EveryTextOfEveryEditorIsShownWholeAtTheColumnsWidth)
    {
        store.setRules(everyKind());
        for (int pixels : { 0, 13, 19 }) {
            SCOPED_TRACE(pixels);
            std::optional<ApplicationFont> font;
            if (pixels > 0)
                font.emplace(pixels);
            makePanel();
            settle();
            int checked = 0;
            for (auto* card : panel->cards()) {
                ASSERT_TRUE(card->isExpanded());
                for (auto* label : card->findChildren<QLabel*>()) {
                    if (!label->isVisibleTo(panel) || label->text().isEmpty())
                        continue;
                    SCOPED_TRACE(label->text().toStdString());
                    ++checked;
                    QRect inCard(label->mapTo(card, QPoint(0, 0)), label->size());
                    EXPECT_TRUE(card->rect().contains(inCard));
                    if (label->wordWrap()) {
                        EXPECT_GE(label->height(), label->heightForWidth(label->width()));
                    } else {
                        EXPECT_GE(label->width(), label->sizeHint().width());
                        EXPECT_GE(label->height(), label->sizeHint().height());
                    }
                }
                for (auto* toggle : card->findChildren<QCheckBox*>()) {
                    if (!toggle->isVisibleTo(panel) || toggle->text().isEmpty())
                        continue;
                    SCOPED_TRACE(toggle->text().toStdString());
                    QRect inCard(toggle->mapTo(card, QPoint(0, 0)), toggle->size());
                    EXPECT_TRUE(card->rect().contains(inCard));
                    EXPECT_GE(toggle->width(), toggle->sizeHint().width());
                }
            }
            EXPECT_GE(checked, 30);
        }
    }

    TEST_F(Column, ANumbersTitleStandsBesideItsFieldWhereItFitsOnOneLineElseAbove)
    {
        store.setRules(everyKind());
        settle();
        auto titled = [this](const QString& text) -> std::pair<QLabel*, QWidget*> {
            for (auto* label : panel->findChildren<QLabel*>()) {
                if (label->text() == text)
                    return { label, label->buddy() };
            }
            return { nullptr, nullptr };
        };
        auto above = [](std::pair<QLabel*, QWidget*> row) {
            auto [title, field] = row;
            return title->mapTo(title->window(), QPoint(0, title->height())).y()
                <= field->mapTo(field->window(), QPoint(0, 0)).y();
        };
        for (const char* text : { "Start", "Range end (exclusive)", "Maximum characters" }) {
            auto row = titled(text);
            ASSERT_TRUE(row.first && row.second) << text;
            EXPECT_FALSE(above(row)) << text;
        }
        // Beside the byte fields of a condition, neither title fits on one line.
        for (const char* text : { "Larger than bytes", "Smaller than bytes (0 = no limit)" }) {
            auto row = titled(text);
            ASSERT_TRUE(row.first && row.second) << text;
            EXPECT_TRUE(above(row)) << text;
            // Above its field the title has the column's width, and one line.
            EXPECT_LT(row.first->height(), 2 * row.first->fontMetrics().lineSpacing()) << text;
        }
    }

    TEST_F(Column, ANewRuleIsScrolledIntoViewWithTheFocusInItsFirstField)
    {
        struct Way {
            const char* name;
            std::function<void()> add;
            std::size_t newIndex;
        };
        const std::vector<Way> ways {
            { "Add Rule",
                [this] {
                    panel->findChild<QMenu*>("addRuleMenu")
                        ->findChild<QAction*>("replace")
                        ->trigger();
                },
                12 },
            { "palette",
                [this] {
                    store.setShowingPalette(true);
                    auto* palette = new RulePalette(store, window.get());
                    palette->open();
                    ASSERT_TRUE(QTest::qWaitForWindowExposed(palette));
                    QTest::keyClicks(palette->searchField(), "Find");
                    QTest::keyClick(palette->searchField(), Qt::Key_Return);
                    settle();
                },
                12 },
            { "Duplicate",
                [this] {
                    panel->cards()[10]
                        ->findChild<QToolButton*>("ruleActions")
                        ->menu()
                        ->findChild<QAction*>("duplicate")
                        ->trigger();
                },
                11 },
        };
        for (const auto& way : ways) {
            SCOPED_TRACE(way.name);
            longStack();
            dropFocus();
            way.add();
            ASSERT_EQ(store.rules().size(), 13u);
            auto* card = panel->cards()[way.newIndex];
            EXPECT_TRUE(card->isExpanded());
            EXPECT_TRUE(showsCard(*card));
            ASSERT_NE(card->firstField(), nullptr);
            EXPECT_EQ(window->focusWidget(), card->firstField());
        }

        // A starter's cards stand where the empty state was.
        store.setRules({});
        settle();
        panel->findChild<QPushButton*>("numberFiles")->click();
        ASSERT_EQ(panel->cards().size(), 1u);
        EXPECT_TRUE(showsCard(*panel->cards()[0]));
        EXPECT_EQ(window->focusWidget(), panel->cards()[0]->firstField());
        EXPECT_EQ(panel->cards()[0]->firstField()->objectName(), "placement");
    }

    TEST_F(Column, ARuleThatComesBackLeavesTheFocusWhereItIs)
    {
        longStack();
        auto* last = panel->cards().back();
        last->findChild<QToolButton*>("ruleActions")
            ->menu()
            ->findChild<QAction*>("delete")
            ->trigger();
        auto* field = panel->cards()[0]->firstField();
        field->setFocus(Qt::TabFocusReason);
        list().verticalScrollBar()->setValue(0);
        undo.undo();
        settle();
        EXPECT_EQ(store.rules().size(), 12u);
        EXPECT_EQ(window->focusWidget(), field);
        EXPECT_EQ(scrolled(), 0);
    }

} // namespace
} // namespace sorvik
