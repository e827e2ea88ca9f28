#include "app/store/renamer_store.h"

#include <QUndoCommand>

#include <algorithm>

namespace sorvik {

// One rule edit on the window's undo stack. The edit is already in the store when the step is
// pushed, so the first redo (which QUndoStack runs on push) does nothing.
class EditRulesCommand : public QUndoCommand {
public:
    EditRulesCommand(RenamerStore* store, std::vector<Rule> before, std::vector<Rule> after)
        : m_store(store)
        , m_before(std::move(before))
        , m_after(std::move(after))
    {
        setText(QString::fromUtf8(RenamerStore::editRulesActionName.data(),
            qsizetype(RenamerStore::editRulesActionName.size())));
    }

    void undo() override
    {
        if (m_store)
            m_store->setRulesFromUndo(m_before);
    }

    void redo() override
    {
        if (m_pushed) {
            m_pushed = false;
            return;
        }
        if (m_store)
            m_store->setRulesFromUndo(m_after);
    }

private:
    QPointer<RenamerStore> m_store;
    std::vector<Rule> m_before;
    std::vector<Rule> m_after;
    bool m_pushed = true;
};

// ---- Rule editing ----

void RenamerStore::setRules(std::vector<Rule> rules)
{
    auto previous = std::exchange(m_rules, std::move(rules));
    emit rulesChanged();
    rulesDidChange(previous);
}

void RenamerStore::setRulesFromUndo(std::vector<Rule> rules)
{
    m_applyingRuleUndo = true;
    setRules(std::move(rules));
    m_applyingRuleUndo = false;
}

void RenamerStore::rulesDidChange(const std::vector<Rule>& previous)
{
    if (!m_loading && previous != m_rules && m_ruleUndoManager && !m_applyingRuleUndo)
        m_ruleUndoManager->push(new EditRulesCommand(this, previous, m_rules));
    refreshPreview();
    if (!m_loading)
        writeSession();
}

void RenamerStore::duplicateRule(const Uuid& id)
{
    auto found = std::find_if(
        m_rules.begin(), m_rules.end(), [&](const Rule& rule) { return rule.id == id; });
    if (found == m_rules.end())
        return;
    auto rules = m_rules;
    Rule copy = *found;
    copy.id = Uuid::random();
    rules.insert(rules.begin() + (found - m_rules.begin()) + 1, std::move(copy));
    setRules(std::move(rules));
}

void RenamerStore::moveRule(const Uuid& id, std::int64_t offset)
{
    auto found = std::find_if(
        m_rules.begin(), m_rules.end(), [&](const Rule& rule) { return rule.id == id; });
    if (found == m_rules.end())
        return;
    auto index = std::int64_t(found - m_rules.begin());
    auto target = index + offset;
    if (target < 0 || target >= std::int64_t(m_rules.size()))
        return;
    auto rules = m_rules;
    std::swap(rules[std::size_t(index)], rules[std::size_t(target)]);
    setRules(std::move(rules));
}

} // namespace sorvik
