#include "app/rules/rule_card.h"

#include "app/rules/condition_editor.h"
#include "app/rules/token_picker.h"
#include "tests/app/rules/editor_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>

#include <memory>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::ruleOf;

    Rule insertRule(std::string text)
    {
        InsertConfig config;
        config.text = std::move(text);
        return Rule(RuleKind(config));
    }

    /// A card in a shown window that keeps every change it reports.
    class CardHost {
    public:
        explicit CardHost(const Rule& rule, bool expanded = true)
            : window(std::make_unique<QWidget>())
        {
            auto* layout = new QVBoxLayout(window.get());
            card = new RuleCard(rule, expanded, ListImport {}, window.get());
            layout->addWidget(card);
            window->resize(320, 700);
            QObject::connect(card, &RuleCard::ruleEdited, card,
                [this](const Rule& edited, const std::optional<std::string>& key) {
                    edits.push_back({ edited, key });
                });
            window->show();
            QApplication::setActiveWindow(window.get());
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }

        template <class Widget = QWidget> Widget* find(const char* name) const
        {
            return card->findChild<Widget*>(QString::fromUtf8(name));
        }
        QAbstractButton* title() const { return find<QAbstractButton>("title"); }
        /// The summary line under the title; empty while it is not shown.
        QString summary() const { return title()->accessibleDescription(); }
        QAction* action(const char* name) const
        {
            return find<QToolButton>("ruleActions")->menu()->findChild<QAction*>(name);
        }

        std::unique_ptr<QWidget> window;
        RuleCard* card;
        std::vector<testing::Edit> edits;
    };

    QStringList expandedOrder(const RuleCard& card)
    {
        QStringList names;
        auto* part = card.findChild<QWidget*>("expandedPart");
        if (!part)
            return names;
        auto* layout = part->layout();
        for (int index = 0; index < layout->count(); ++index) {
            auto* widget = layout->itemAt(index)->widget();
            if (widget && !widget->isHidden())
                names << widget->objectName();
        }
        return names;
    }

    TEST(RuleCard, CollapsedShowsTheHeaderWithTheSummaryOnly)
    {
        ReplaceConfig replace;
        replace.find = "IMG";
        replace.replacement = "Photo";
        CardHost host(Rule(RuleKind(replace)), false);
        EXPECT_FALSE(host.card->isExpanded());
        EXPECT_EQ(host.card->editor(), nullptr);
        EXPECT_EQ(host.find("expandedPart"), nullptr);
        EXPECT_EQ(host.title()->accessibleName(), "Find & Replace");
        EXPECT_EQ(host.summary(), QString::fromUtf8("IMG \u2192 Photo"));
        EXPECT_EQ(host.find<QCheckBox>("enabled")->accessibleName(), "Enable Find & Replace");
        EXPECT_EQ(host.find<QToolButton>("ruleActions")->accessibleName(), "Rule actions");
        EXPECT_EQ(host.card->accessibleName(), "Find & Replace");
    }

    TEST(RuleCard, ExpandedShowsDividerEditorCaptionDividerAndConditions)
    {
        CardHost host(insertRule("{foo}"), false);
        host.title()->click();
        EXPECT_TRUE(host.card->isExpanded());
        EXPECT_TRUE(host.summary().isEmpty());
        EXPECT_EQ(expandedOrder(*host.card),
            (QStringList {
                "divider", "insertEditor", "unknownTokens", "divider", "conditionEditor" }));

        // Without unknown tokens there is no caption.
        CardHost plain(insertRule("{name}"));
        EXPECT_EQ(expandedOrder(*plain.card),
            (QStringList { "divider", "insertEditor", "divider", "conditionEditor" }));

        host.title()->click();
        EXPECT_FALSE(host.card->isExpanded());
        EXPECT_EQ(host.summary(), "{foo}");
        EXPECT_TRUE(host.edits.empty());
    }

    TEST(RuleCard, AnOffRuleDisablesItsKindEditorOnly)
    {
        CardHost host(ruleOf(RuleKind(ReplaceConfig {})));
        ASSERT_FALSE(host.card->rule().isEnabled);
        auto* find = host.card->editor()->findChild<QLineEdit*>("find");
        ASSERT_NE(find, nullptr);
        EXPECT_FALSE(find->isEnabled());
        EXPECT_FALSE(host.card->editor()->findChild<QCheckBox*>("regex")->isEnabled());
        EXPECT_TRUE(host.find<QCheckBox>("enabled")->isEnabled());
        EXPECT_TRUE(host.find<QToolButton>("ruleActions")->isEnabled());
        EXPECT_TRUE(host.title()->isEnabled());
        EXPECT_TRUE(host.card->conditionEditor()->isEnabled());
        EXPECT_TRUE(host.card->conditionEditor()->findChild<QCheckBox*>("onlyWhen")->isEnabled());

        host.find<QCheckBox>("enabled")->click();
        ASSERT_EQ(host.edits.size(), 1u);
        EXPECT_TRUE(host.edits[0].rule.isEnabled);
        EXPECT_FALSE(host.edits[0].typingKey);
        EXPECT_TRUE(find->isEnabled());
        EXPECT_TRUE(host.find<QCheckBox>("enabled")->isChecked());
    }

    TEST(RuleCard, TheCaptionListsUnknownTokensOfTheTemplateKindsOnly)
    {
        struct Case {
            RuleKind kind;
            std::string caption;
        };
        NumberingConfig numbering;
        numbering.baseText = "{foo}";
        numbering.separator = "{bar}";
        const std::vector<Case> cases {
            { RuleKind(InsertConfig { "{foo}x{bar}", {}, 0, {} }), "Unknown tokens: foo, bar" },
            { RuleKind(InsertConfig { "{foo}{foo}", {}, 0, {} }), "Unknown tokens: foo, foo" },
            { RuleKind(InsertConfig { "{name}{ext}", {}, 0, {} }), "" },
            { RuleKind(PatternConfig { "{nme}_{#:3}" }), "Unknown tokens: nme" },
            { RuleKind(OrganizeConfig { "{yr}/{date.created:MM}" }), "Unknown tokens: yr" },
            { RuleKind(numbering), "" },
            { RuleKind(ReplaceConfig { "{foo}", "{bar}", false, false, {}, {} }), "" },
        };
        for (const auto& [kind, caption] : cases) {
            CardHost host { Rule(kind) };
            EXPECT_EQ(RuleCard::unknownTokensCaption(host.card->rule()), caption);
            EXPECT_EQ(host.card->unknownTokensText(), QString::fromStdString(caption));
        }
    }

    TEST(RuleCard, TheCaptionShowsATokenLikeMarkupAsText)
    {
        CardHost host(insertRule("{<img src=\"/dev/zero\">}"));
        auto* caption = host.find<QLabel>("unknownTokens");
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->textFormat(), Qt::PlainText);
        EXPECT_EQ(caption->text(), "Unknown tokens: <img src=\"/dev/zero\">");
        caption->grab();
    }

    TEST(RuleCard, TypingReportsTheWholeRuleWithItsKeyAndUpdatesSummaryAndCaption)
    {
        auto rule = ruleOf(RuleKind(InsertConfig {}));
        rule.isEnabled = true;
        CardHost host(rule);
        auto* text = host.card->editor()->findChild<QLineEdit*>("text");
        text->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(text, "{x}");
        ASSERT_EQ(host.edits.size(), 3u);
        auto expected = rule;
        std::get<InsertConfig>(expected.kind.config).text = "{x}";
        EXPECT_EQ(host.edits.back().rule, expected);
        EXPECT_EQ(host.card->rule(), expected);
        ASSERT_TRUE(host.edits.back().typingKey);
        EXPECT_EQ(host.edits.front().typingKey, host.edits.back().typingKey);
        EXPECT_EQ(host.card->unknownTokensText(), "Unknown tokens: x");

        host.title()->click();
        EXPECT_EQ(host.summary(), "{x}");
    }

    TEST(RuleCard, EditsOfTheKindAndOfTheConditionBothStay)
    {
        auto rule = Rule(RuleKind(ReplaceConfig {}));
        CardHost host(rule);
        // No echo from a store: each part must still see the other's change.
        host.card->conditionEditor()->findChild<QCheckBox*>("onlyWhen")->click();
        auto* find = host.card->editor()->findChild<QLineEdit*>("find");
        find->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(find, "a");
        host.find<QCheckBox>("enabled")->click();
        ASSERT_EQ(host.edits.size(), 3u);
        const auto& last = host.edits.back().rule;
        EXPECT_EQ(last.id, rule.id);
        EXPECT_FALSE(last.isEnabled);
        EXPECT_EQ(last.condition, ConditionEditor::startingGroup());
        EXPECT_EQ(std::get<ReplaceConfig>(last.kind.config).find, "a");
    }

    TEST(RuleCard, ShowingAStoredRuleUpdatesInPlaceAndReportsNothing)
    {
        auto rule = insertRule("ab");
        CardHost host(rule);
        auto* editor = host.card->editor();
        auto* text = editor->findChild<QLineEdit*>("text");
        host.card->setRule(rule);
        auto undone = rule;
        std::get<InsertConfig>(undone.kind.config).text = "{zz}";
        undone.isEnabled = false;
        host.card->setRule(undone);
        EXPECT_EQ(host.card->editor(), editor);
        EXPECT_EQ(text->text(), "{zz}");
        EXPECT_FALSE(text->isEnabled());
        EXPECT_FALSE(host.find<QCheckBox>("enabled")->isChecked());
        EXPECT_EQ(host.card->unknownTokensText(), "Unknown tokens: zz");
        EXPECT_EQ(host.card->conditionEditor()->rule(), undone);
        EXPECT_TRUE(host.edits.empty());
    }

    TEST(RuleCard, AnotherKindUnderTheSameIdGetsAnEditorOfThatKind)
    {
        auto rule = insertRule("x");
        CardHost host(rule);
        auto changed = rule;
        changed.kind = RuleKind(NumberingConfig {});
        host.card->setRule(changed);
        ASSERT_NE(host.card->editor(), nullptr);
        EXPECT_EQ(host.card->editor()->objectName(), "numberingEditor");
        EXPECT_EQ(host.card->editor()->rule(), changed);
        EXPECT_EQ(host.title()->accessibleName(), "Numbering");
        EXPECT_EQ(expandedOrder(*host.card),
            (QStringList { "divider", "numberingEditor", "divider", "conditionEditor" }));
    }

    TEST(RuleCard, CollapsingDropsTheExpandedPartsState)
    {
        CardHost host(Rule(RuleKind(PatternConfig {})));
        auto* picker = host.card->editor()->findChild<TokenPicker*>();
        ASSERT_NE(picker, nullptr);
        picker->click();
        QTest::keyClicks(picker->popup()->findChild<QLineEdit*>("tokenSearch"), "exif");
        EXPECT_EQ(picker->query(), "exif");
        host.card->setExpanded(false);
        host.card->setExpanded(true);
        auto* fresh = host.card->editor()->findChild<TokenPicker*>();
        ASSERT_NE(fresh, nullptr);
        EXPECT_TRUE(fresh->query().isEmpty());
        EXPECT_FALSE(fresh->isPresented());
    }

    TEST(RuleCard, TheMenuAsksForEachActionWithoutAnyDisabled)
    {
        CardHost host(insertRule("x"));
        QSignalSpy moves(host.card, &RuleCard::moveRequested);
        QSignalSpy duplicates(host.card, &RuleCard::duplicateRequested);
        QSignalSpy deletes(host.card, &RuleCard::deleteRequested);
        QStringList texts;
        for (auto* action : host.find<QToolButton>("ruleActions")->menu()->actions()) {
            texts << action->text();
            EXPECT_TRUE(action->isEnabled());
        }
        EXPECT_EQ(texts, (QStringList { "Move Up", "Move Down", "Duplicate", "Delete" }));
        host.action("moveUp")->trigger();
        host.action("moveDown")->trigger();
        host.action("duplicate")->trigger();
        host.action("delete")->trigger();
        ASSERT_EQ(moves.count(), 2);
        EXPECT_EQ(moves[0][0].toInt(), -1);
        EXPECT_EQ(moves[1][0].toInt(), 1);
        EXPECT_EQ(duplicates.count(), 1);
        EXPECT_EQ(deletes.count(), 1);
        EXPECT_TRUE(host.edits.empty());
    }

    TEST(RuleCard, APressThatMovesAsksForADragInsteadOfToggling)
    {
        CardHost host(insertRule("x"), false);
        QSignalSpy drags(host.card, &RuleCard::dragRequested);
        auto* title = host.title();
        QPoint start(4, 4);
        QTest::mousePress(title, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove,
            QPointF(start + QPoint(QApplication::startDragDistance() + 2, 0)),
            title->mapToGlobal(QPointF(start + QPoint(QApplication::startDragDistance() + 2, 0))),
            Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        QTest::mouseRelease(title, Qt::LeftButton, {}, start);
        EXPECT_EQ(drags.count(), 1);
        EXPECT_FALSE(host.card->isExpanded());

        QTest::mouseClick(title, Qt::LeftButton, {}, start);
        EXPECT_EQ(drags.count(), 1);
        EXPECT_TRUE(host.card->isExpanded());
        // Space on the focused title toggles it as well.
        title->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(title, Qt::Key_Space);
        EXPECT_FALSE(host.card->isExpanded());
    }

} // namespace
} // namespace sorvik
