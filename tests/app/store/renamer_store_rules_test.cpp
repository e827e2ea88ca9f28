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
        EXPECT_EQ(savedRules(), (std::vector<Rule> { a, b }));

        auto revision = store.revision();
        undo.undo();
        EXPECT_EQ(store.rules(), std::vector<Rule> { a });
        EXPECT_EQ(store.revision(), revision + 1);
        EXPECT_EQ(savedRules(), std::vector<Rule> { a });
        EXPECT_TRUE(undo.canRedo());
        EXPECT_EQ(undo.redoText(), "Edit Rules");
        // Undoing registers no new step of its own.
        EXPECT_EQ(undo.count(), 2);

        undo.redo();
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
        EXPECT_EQ(savedRules(), (std::vector<Rule> { a, b }));
        undo.undo();
        undo.undo();
        EXPECT_TRUE(store.rules().empty());
        EXPECT_FALSE(undo.canUndo());
    }

    TEST_F(StoreRules, EqualWriteAddsNoStepButPlansAndSaves)
    {
        store.setRules({ a });
        std::filesystem::remove(sessionFile());
        auto revision = store.revision();
        store.setRules({ a });
        EXPECT_EQ(undo.count(), 1);
        EXPECT_EQ(store.revision(), revision + 1);
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
        EXPECT_EQ(savedRules(), std::vector<Rule> { a });

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
        auto before = testing::readFile(sessionFile());
        std::filesystem::remove_all(JSONFiles::applicationFolder());
        {
            std::ofstream blocker(JSONFiles::applicationFolder());
            blocker << "not a folder";
        }
        store.setRules({ a, b });
        EXPECT_TRUE(store.message());
        EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
        EXPECT_EQ(undo.count(), 2);
        EXPECT_FALSE(before.empty());
    }

} // namespace
} // namespace sorvik
