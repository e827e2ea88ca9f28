#pragma once

#include "app/rules/rule_editor.h"
#include "engine/model/condition.h"

#include <QStringList>

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

class QCheckBox;
class QMenu;
class QPushButton;
class QVBoxLayout;

// The editor of a rule's condition group, at the foot of every rule's card. "Only when…" is on
// exactly while the rule has a group: switching it on starts the group anew (all conditions,
// the extension jpg), switching it off drops the group with its conditions. Below it come
// "Match all conditions", one row per condition with its remove button, and the menu that
// appends a condition. Removing the last row keeps the empty group, and the switch stays on.
// Rows are made again only when the number or the kinds of the conditions change; otherwise
// each shows its condition in place, so a field being typed into keeps its text.
namespace sorvik {

class ConditionEditor : public RuleEditor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConditionEditor)

public:
    /// The kinds of file a condition can name, in the order the picker offers them.
    static constexpr std::array<std::string_view, 7> fileKinds { "image", "video", "audio",
        "document", "archive", "folder", "other" };

    explicit ConditionEditor(const Rule& rule, QWidget* parent = nullptr);

    /// The group that "Only when…" starts: all conditions, one extension row "jpg".
    static ConditionGroup startingGroup();
    /// The items of the "Add Condition" menu, in order.
    static QStringList addItems();
    /// The condition that the menu item at `item` appends, chosen at `now`.
    static Condition newCondition(std::size_t item, Date now);

    QMenu* addMenu() const;

protected:
    void ruleShown() override;

private:
    class Row;

    void changeGroup(const std::function<void(ConditionGroup&)>& change);
    void makeRows();
    Row* makeRow(std::size_t index, const Condition& condition);
    void addDateRow(Row& row, std::size_t index, bool isAfter);

    QCheckBox* m_onlyWhen;
    QWidget* m_group;
    QVBoxLayout* m_rowsLayout;
    QPushButton* m_add;
    std::vector<Row*> m_rows;
};

} // namespace sorvik
