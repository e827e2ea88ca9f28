#pragma once

namespace sorvik {

/// Whether a window of the application shows: a main or dialog window, not a menu or a tip.
bool isAnyWindowShown();

} // namespace sorvik
