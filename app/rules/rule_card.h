#pragma once

#include "app/rules/list_import.h"
#include "engine/model/rule.h"

#include <QFrame>
#include <QPoint>

#include <cstddef>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QToolButton;
class QVBoxLayout;

// One rule of the stack as a card. The header names the rule (its kind's symbol and title,
// and while collapsed the rule's summary), switches it on and off and offers the rule actions
// (Move Up, Move Down, Duplicate, Delete). Expanded, the card shows below the header a divider,
// the editor of the rule's kind, a warning about unknown tokens in the kind's template, a
// second divider and the rule's condition editor.
//
// The card never sees where rules are kept: it is given a rule and reports each change the
// user makes as the whole changed rule, plus the three actions; whoever holds the card shows
// the stored rule again with `setRule`. Showing the rule the card already shows does nothing,
// so the field being typed into keeps its text, cursor and undo.
//
// The expanded part is made when the card expands and destroyed when it collapses, so what it
// holds beyond the rule (a token picker's search, a failed list import's text) starts over.
// While the rule is off, only the kind's editor is disabled; the header, the warning and the
// condition editor stay usable.
//
// A press on the symbol or the title that moves farther than the drag distance asks for a
// drag (`dragRequested`) instead of toggling the card.
namespace sorvik {

class ConditionEditor;
class RuleEditor;

class RuleCard : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RuleCard)

public:
    static constexpr int padding = 14;
    static constexpr int spacing = 12;
    static constexpr int cornerRadius = 10;
    static constexpr int symbolSize = 16;
    static constexpr int actionsWidth = 24;

    RuleCard(const Rule& rule, bool expanded, ListImport listImport, QWidget* parent = nullptr);
    ~RuleCard() override;

    const Rule& rule() const { return m_rule; }
    /// Shows `rule` (the stored one: an echo, an undo, a redo); a rule equal to the one shown
    /// changes nothing. Reports nothing.
    void setRule(const Rule& rule);

    bool isExpanded() const { return m_expandedPart != nullptr; }
    void setExpanded(bool expanded);

    /// The kind's editor and the condition editor while expanded; null while collapsed.
    RuleEditor* editor() const { return m_editor; }
    ConditionEditor* conditionEditor() const { return m_conditionEditor; }
    /// The first control of the expanded part that Tab reaches, the kind editor's first field
    /// where it has one; null while collapsed.
    QWidget* firstField() const;
    /// The warning about unknown tokens; empty when there is none (or while collapsed).
    QString unknownTokensText() const;

    /// "Unknown tokens: " and the unknown token names of the rule's template, in order and
    /// with repeats, joined by ", "; empty for a kind without a template or a template whose
    /// tokens are all known.
    static std::string unknownTokensCaption(const Rule& rule);

signals:
    /// The user changed the rule; `typingKey` is set for text typed into a field.
    void ruleEdited(const sorvik::Rule& rule, const std::optional<std::string>& typingKey);
    void duplicateRequested();
    void deleteRequested();
    /// -1 for Move Up, +1 for Move Down.
    void moveRequested(int offset);
    /// A press on the header moved far enough to start a drag of this card.
    void dragRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TitleButton;

    void edited(const Rule& rule, const std::optional<std::string>& typingKey);
    void showRule();
    void showHeader();
    void showSymbol();
    void makeExpandedPart();
    void makeEditor();

    Rule m_rule;
    ListImport m_listImport;
    QVBoxLayout* m_layout;
    QLabel* m_symbol;
    TitleButton* m_title;
    QCheckBox* m_enabled;
    QToolButton* m_actions;
    QWidget* m_expandedPart = nullptr;
    QVBoxLayout* m_expandedLayout = nullptr;
    RuleEditor* m_editor = nullptr;
    QLabel* m_unknownTokens = nullptr;
    ConditionEditor* m_conditionEditor = nullptr;
    std::size_t m_shownKind = RuleKind::typeNames.size();
    std::optional<QPoint> m_pressedAt;
    bool m_dragging = false;
};

} // namespace sorvik
