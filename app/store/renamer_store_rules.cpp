#include "app/store/renamer_store.h"

#include <QUndoCommand>

#include <algorithm>

namespace sorvik {

// One rule edit on the window's undo stack. The edit is already in the store when the step is
// pushed, so the first redo (which QUndoStack runs on push) does nothing. A step of a typing
// run takes in the next step of the same run, as long as that one starts where this one ends;
// a run typed back to its start leaves a step that changes nothing, which the stack drops.
class EditRulesCommand : public QUndoCommand {
public:
    /// Steps of typing runs share one id, so the stack offers them to each other.
    static constexpr int typingID = 0x5275'6c65;

    EditRulesCommand(RenamerStore* store, std::vector<Rule> before, std::vector<Rule> after,
        std::uint64_t typingRun)
        : m_store(store)
        , m_before(std::move(before))
        , m_after(std::move(after))
        , m_typingRun(typingRun)
    {
        setText(QString::fromUtf8(RenamerStore::editRulesActionName.data(),
            qsizetype(RenamerStore::editRulesActionName.size())));
    }

    int id() const override { return m_typingRun != 0 ? typingID : -1; }

    bool mergeWith(const QUndoCommand* other) override
    {
        if (other->id() != id())
            return false;
        const auto& next = static_cast<const EditRulesCommand&>(*other);
        if (next.m_typingRun != m_typingRun || next.m_before != m_after)
            return false;
        m_after = next.m_after;
        setObsolete(m_before == m_after);
        return true;
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
    std::uint64_t m_typingRun;
    bool m_pushed = true;
};

// ---- Rule editing ----

void RenamerStore::setRules(std::vector<Rule> rules, std::optional<std::string> typingKey)
{
    auto previous = std::exchange(m_rules, std::move(rules));
    emit rulesChanged();
    rulesDidChange(previous, typingKey);
}

void RenamerStore::setRulesFromUndo(std::vector<Rule> rules)
{
    m_applyingRuleUndo = true;
    setRules(std::move(rules));
    m_applyingRuleUndo = false;
}

void RenamerStore::rulesDidChange(
    const std::vector<Rule>& previous, const std::optional<std::string>& typingKey)
{
    // Any write outside the run ends it, an undo or a redo included; the same key after that
    // starts a run of its own.
    if (!typingKey || m_applyingRuleUndo) {
        m_typingKey.reset();
    } else if (typingKey != m_typingKey) {
        m_typingKey = typingKey;
        ++m_typingRun;
    }
    if (!m_loading && previous != m_rules && m_ruleUndoManager && !m_applyingRuleUndo) {
        m_ruleUndoManager->push(
            new EditRulesCommand(this, previous, m_rules, m_typingKey ? m_typingRun : 0));
    }
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
