#pragma once

#include "app/rules/list_import.h"
#include "app/rules/rule_editor.h"

class QWidget;

// The editor of each kind of rule, chosen by the kind its rule holds. Every control edits one
// field of the kind's settings and is shown for every value of the others; nothing is checked,
// trimmed or clamped on the way. The card that holds an editor makes a new one when the kind
// of its rule changes (a rule's kind changes only in a hand-edited file), since an editor
// shows and writes only the kind it was made for.
namespace sorvik {

/// A new editor of the rule's kind, showing the rule. The list kind imports through
/// `listImport`.
RuleEditor* makeRuleEditor(
    const Rule& rule, const ListImport& listImport, QWidget* parent = nullptr);

} // namespace sorvik
