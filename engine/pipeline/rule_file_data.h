#pragma once

#include "engine/model/rule.h"

namespace sorvik {

/// Whether a kind reads more than the file's name: list, AI and organize always do; insert
/// and pattern when their text holds a metadata token.
bool needsFileData(const RuleKind& kind);

/// Whether a rule reads more than the file's name: its kind does, or it has a condition.
bool needsFileData(const Rule& rule);

} // namespace sorvik
