#pragma once

#include "engine/model/rule.h"
#include "engine/model/rule_kind.h"

#include <string>
#include <string_view>

// The words and pictures of a rule, the same wherever a rule is named: the Add Rule menu,
// the card header and the rule palette. Titles are shown as written (there are no
// translations); being texts of their own, "Find & Replace" keeps its "&", so an action or
// button shows a title through `escapeMnemonics`.
namespace sorvik {

/// The display title of the rule's kind, such as "Find & Replace".
std::string_view title(const RuleKind& kind);
/// The system symbol name of the kind, such as "textformat".
std::string_view symbolName(const RuleKind& kind);
/// The one line under a collapsed card's title, from the kind and its settings only: the
/// find and replacement texts, the case style, the insert text, the pattern's template or
/// the first two numbers of a numbering; the title for the other kinds. Nothing is trimmed.
std::string summary(const Rule& rule);

} // namespace sorvik
