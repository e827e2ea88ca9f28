#include "app/rules/rule_editor.h"

#include <utility>

namespace sorvik {

RuleEditor::RuleEditor(const Rule& rule, QWidget* parent)
    : QWidget(parent)
    , m_rule(rule)
{
}

RuleEditor::~RuleEditor()
{
    // The controls go while the editor is whole: a control that reports a last change as it
    // goes (a field losing its focus) finds the rule still there, and reports to no one.
    blockSignals(true);
    for (auto* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
}

void RuleEditor::setRule(const Rule& rule)
{
    m_rule = rule;
    showRule();
}

void RuleEditor::showRule()
{
    // A copy: showing may add or drop the controls of a list of conditions.
    auto shows = m_shows;
    for (const auto& show : shows)
        show(m_rule);
    ruleShown();
}

void RuleEditor::commit(Rule rule, const std::optional<std::string>& typingKey)
{
    if (rule == m_rule) {
        // Nothing to report, but the control may show something the rule does not hold (a
        // bound of 0 that means none, a rule of another kind): it shows the rule again.
        showRule();
        return;
    }
    m_rule = std::move(rule);
    showRule();
    // Whoever is told may show another rule in this editor, or delete it, before the call
    // returns: the rule reported is a copy, and nothing of the editor is used afterwards.
    Rule edited = m_rule;
    emit ruleEdited(edited, typingKey);
}

std::string typingKey(const Uuid& ruleID, std::string_view field, std::uint64_t run)
{
    return ruleID.text() + "/" + std::string(field) + "#" + std::to_string(run);
}

std::uint64_t nextTypingRun()
{
    static std::uint64_t lastRun = 0;
    return ++lastRun;
}

} // namespace sorvik
