#include "app/store/renamer_store.h"

#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::replaceRule;

    std::filesystem::path sessionFile()
    {
        return JSONFiles::applicationFolder() / "last-session.json";
    }

    std::vector<Rule> savedRules()
    {
        auto saved = JSONFiles::load<SavedSession>(SavedSession::fileName);
        return saved ? saved->rules : std::vector<Rule> {};
    }

    class StoreRules : public ::testing::Test {
    protected:
        StoreRules() { store.setRuleUndoManager(&undo); }

        /// The rules of "last-session.json" once the writer is done.
        std::vector<Rule> writtenRules()
        {
            store.flushSession();
            return savedRules();
        }

        IsolatedHome home;
        QUndoStack undo;
        RenamerStore store { std::make_shared<FakeServices>() };
        Rule a = patternRule("A");
        Rule b = patternRule("B");
        Rule c = patternRule("C");
    };

    TEST_F(StoreRules, EditIsOneUndoStepThatUndoesAndRedoes)
    {
        store.setRules({ a });
        store.setRules({ a, b });
        EXPECT_EQ(undo.count(), 2);
        EXPECT_EQ(undo.undoText(), "Edit Rules");
        EXPECT_EQ(writtenRules(), (std::vector<Rule> { a, b }));

        auto revision = store.revision();
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { a });
        EXPECT_EQ(store.revision(), revision + 1);
        EXPECT_EQ(writtenRules(), std::vector<Rule> { a });
        EXPECT_TRUE(undo.canRedo());
        EXPECT_EQ(undo.redoText(), "Edit Rules");
        // Undoing registers no new step of its own.
        EXPECT_EQ(undo.count(), 2);

        undo.redo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
        EXPECT_EQ(writtenRules(), (std::vector<Rule> { a, b }));
        undo.undo();
        undo.undo();
        EXPECT_TRUE(store.rules().empty());
        EXPECT_FALSE(undo.canUndo());
    }

    TEST_F(StoreRules, EqualWriteAddsNoStepButPlansAndSaves)
    {
        store.setRules({ a });
        store.flushSession();
        std::filesystem::remove(sessionFile());
        auto revision = store.revision();
        store.setRules({ a });
        EXPECT_EQ(undo.count(), 1);
        EXPECT_EQ(store.revision(), revision + 1);
        store.flushSession();
        EXPECT_TRUE(std::filesystem::exists(sessionFile()));
    }

    TEST_F(StoreRules, RuleDifferingOnlyInItsIdIsAChange)
    {
        store.setRules({ a });
        Rule copy = a;
        copy.id = Uuid::random();
        store.setRules({ copy });
        EXPECT_EQ(undo.count(), 2);
    }

    TEST_F(StoreRules, WithoutAnUndoStackEditsStillPlanAndSave)
    {
        store.setRuleUndoManager(nullptr);
        store.setRules({ a });
        EXPECT_EQ(undo.count(), 0);
        EXPECT_EQ(writtenRules(), std::vector<Rule> { a });

        // The stack is held weakly: once it is gone, the store does not use it.
        auto temporary = std::make_unique<QUndoStack>();
        store.setRuleUndoManager(temporary.get());
        temporary.reset();
        EXPECT_EQ(store.ruleUndoManager(), nullptr);
        store.setRules({ b });
        EXPECT_EQ(store.rules(), std::vector<Rule> { b });
    }

    TEST_F(StoreRules, UndoAfterTheStoreIsGoneDoesNothing)
    {
        QUndoStack outliving;
        {
            IsolatedHome other;
            RenamerStore shortLived(std::make_shared<FakeServices>());
            shortLived.setRuleUndoManager(&outliving);
            shortLived.setRules({ a });
        }
        EXPECT_EQ(outliving.count(), 1);
        outliving.undo();
        outliving.redo();
    }

    TEST_F(StoreRules, DuplicateInsertsACopyWithANewIdAfterTheRule)
    {
        Rule conditioned = c;
        conditioned.condition = ConditionGroup {};
        store.setRules({ a, conditioned });
        store.duplicateRule(conditioned.id);
        ASSERT_EQ(store.rules().size(), 3u);
        const auto& copy = store.rules()[2];
        EXPECT_NE(copy.id, conditioned.id);
        EXPECT_NE(copy, conditioned);
        Rule sameID = copy;
        sameID.id = conditioned.id;
        EXPECT_EQ(sameID, conditioned);
        EXPECT_EQ(undo.count(), 2);

        store.setRules({ a, b });
        store.duplicateRule(a.id);
        EXPECT_EQ(store.rules()[0], a);
        EXPECT_EQ(store.rules()[2], b);
        EXPECT_EQ(store.rules()[1].kind, a.kind);
    }

    TEST_F(StoreRules, DuplicatingAnUnknownIdChangesAndSavesNothing)
    {
        store.duplicateRule(Uuid::random());
        EXPECT_TRUE(store.rules().empty());
        store.flushSession();
        EXPECT_FALSE(std::filesystem::exists(sessionFile()));
        EXPECT_EQ(undo.count(), 0);
    }

    TEST_F(StoreRules, MovesExchangeTwoRulesWithinTheStack)
    {
        store.setRules({ a, b, c });
        auto steps = undo.count();
        store.moveRule(a.id, -1);
        store.moveRule(c.id, +1);
        store.moveRule(Uuid::random(), 1);
        EXPECT_EQ(undo.count(), steps);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b, c }));

        store.moveRule(a.id, +2);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { c, b, a }));
        store.moveRule(b.id, -1);
        EXPECT_EQ(store.rules(), (std::vector<Rule> { b, c, a }));
        EXPECT_EQ(undo.count(), steps + 2);
        undo.undo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { c, b, a }));
    }

    TEST_F(StoreRules, FailedSaveKeepsTheEditAndItsUndoStep)
    {
        store.setRules({ a });
        store.flushSession();
        auto before = testing::readFile(sessionFile());
        std::filesystem::remove_all(JSONFiles::applicationFolder());
        {
            std::ofstream blocker(JSONFiles::applicationFolder());
            blocker << "not a folder";
        }
        store.setRules({ a, b });
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
        EXPECT_EQ(undo.count(), 2);
        // The writer reports on the GUI thread: by itself at the next turn of the event loop,
        // or at once when flushed.
        ASSERT_TRUE(testing::waitUntil([&] { return store.message().has_value(); }));
        EXPECT_FALSE(before.empty());

        store.setMessage(std::nullopt);
        store.setRules({ b });
        store.flushSession();
        EXPECT_TRUE(store.message());
    }

    // ---- Typing runs ----

    Rule withTemplate(Rule rule, std::string text)
    {
        rule.kind = RuleKind(PatternConfig { std::move(text) });
        return rule;
    }

    TEST_F(StoreRules, WritesOfOneTypingRunAreOneStep)
    {
        store.setRules({ a, b });
        auto steps = undo.count();
        store.setRules({ withTemplate(a, "A1"), b }, "a/template#1");
        store.setRules({ withTemplate(a, "A12"), b }, "a/template#1");
        store.setRules({ withTemplate(a, "A123"), b }, "a/template#1");
        EXPECT_EQ(undo.count(), steps + 1);
        EXPECT_EQ(undo.undoText(), "Edit Rules");

        undo.undo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
        undo.redo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { withTemplate(a, "A123"), b }));
        EXPECT_EQ(writtenRules(), store.rules());
    }

    TEST_F(StoreRules, AnotherKeyOrAnotherActionEndsTheRun)
    {
        store.setRules({ a, b });
        auto steps = undo.count();
        store.setRules({ withTemplate(a, "A1"), b }, "a/template#1");
        store.setRules({ withTemplate(a, "A1"), withTemplate(b, "B1") }, "b/template#1");
        EXPECT_EQ(undo.count(), steps + 2);

        // A write without a key between two keystrokes of the same run: three steps.
        auto disabled = withTemplate(b, "B1");
        disabled.isEnabled = false;
        store.setRules({ withTemplate(a, "A1"), disabled });
        store.setRules({ withTemplate(a, "A12"), disabled }, "b/template#1");
        EXPECT_EQ(undo.count(), steps + 4);
    }

    TEST_F(StoreRules, AnUndoEndsTheRun)
    {
        store.setRules({ a });
        store.setRules({ b });
        auto steps = undo.count();
        store.setRules({ withTemplate(b, "B1") }, "b/template#1");
        store.setRules({ withTemplate(b, "B12") }, "b/template#1");
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { b });
        // Typing on with the same key after the undo is a step of its own, and never reaches
        // back into the step below the one undone.
        store.setRules({ withTemplate(b, "Bx") }, "b/template#1");
        store.setRules({ withTemplate(b, "Bxy") }, "b/template#1");
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { b });
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { a });

        // A redo ends a run too.
        undo.redo();
        undo.redo();
        store.setRules({ withTemplate(b, "Bxyz") }, "b/template#1");
        EXPECT_EQ(undo.count(), steps + 2);
    }

    TEST_F(StoreRules, ARunTypedBackToItsStartLeavesNoStep)
    {
        store.setRules({ a });
        auto steps = undo.count();
        store.setRules({ withTemplate(a, "A1") }, "a/template#1");
        store.setRules({ a }, "a/template#1");
        EXPECT_EQ(undo.count(), steps);
        EXPECT_EQ(undo.undoText(), "Edit Rules");
        // The field goes on typing: its keystrokes are one new step.
        store.setRules({ withTemplate(a, "A2") }, "a/template#1");
        store.setRules({ withTemplate(a, "A23") }, "a/template#1");
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { a });
    }

    TEST_F(StoreRules, KeystrokesAreWrittenOnceTheWriterCatchesUp)
    {
        // However many keystrokes arrive while a write runs, the file ends with the last.
        std::vector<Rule> last;
        for (int count = 1; count <= 50; ++count) {
            last = { withTemplate(a, std::string(std::size_t(count), 'x')) };
            store.setRules(last, "a/template#1");
        }
        EXPECT_EQ(writtenRules(), last);
        EXPECT_EQ(undo.count(), 1);
    }

    TEST_F(StoreRules, DestroyingTheStoreWritesTheLastChange)
    {
        IsolatedHome other;
        {
            RenamerStore shortLived(std::make_shared<FakeServices>());
            shortLived.setRules({ a, b });
            shortLived.setRules({ c });
        }
        EXPECT_EQ(savedRules(), std::vector<Rule> { c });
    }

} // namespace
} // namespace sorvik
