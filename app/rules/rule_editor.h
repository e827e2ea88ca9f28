#pragma once

#include "engine/model/rule.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An editor shows one rule and reports each change the user makes to it as the whole changed
// rule; the editor's parent hands that on to wherever rules are kept. Showing a rule (a new
// one, an undo, a redo, the echo of the editor's own change) reports nothing: controls are
// set under signal blockers, and only where they show something else, so the field being
// typed into keeps its text, its cursor and its own undo. A change typed into a text field
// carries a typing key: the rule's id, the field and the field's current run. A run starts
// when the field gains focus and when a shown rule brings a text the field did not type, so
// the keystrokes of one run can become one undo step and an undo ends the run.
namespace sorvik {

class FieldBinder;

class RuleEditor : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RuleEditor)

public:
    ~RuleEditor() override;

    /// The rule as the editor shows it: the one it was given, with the user's changes since.
    const Rule& rule() const { return m_rule; }
    /// Shows `rule`. Controls that already show their value are left alone; nothing is
    /// reported. A kind editor shows nothing of a rule of another kind (a new editor is due).
    void setRule(const Rule& rule);

signals:
    /// The user changed the rule; `typingKey` is set for text typed into a field.
    void ruleEdited(const sorvik::Rule& rule, const std::optional<std::string>& typingKey);

protected:
    using Show = std::function<void(const Rule&)>;

    explicit RuleEditor(const Rule& rule, QWidget* parent = nullptr);

    /// Shows the current rule in every bound control.
    void showRule();
    /// Runs after the bound controls have shown the rule, for what an editor shows besides.
    virtual void ruleShown() { }

    /// Makes `rule` the editor's rule, shows it and reports it; the rule shown already is only
    /// shown again.
    void commit(Rule rule, const std::optional<std::string>& typingKey = std::nullopt);

private:
    friend class FieldBinder;

    Rule m_rule;
    std::vector<Show> m_shows;
};

/// The typing key of a run of edits of one field of one rule.
std::string typingKey(const Uuid& ruleID, std::string_view field, std::uint64_t run);
/// A run number that no field of this process has had before.
std::uint64_t nextTypingRun();

} // namespace sorvik
