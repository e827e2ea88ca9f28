#pragma once

class QLineEdit;

namespace sorvik {

/// A focused line edit takes Ctrl+Z and Ctrl+Shift+Z for its own typing even when it has none
/// to take back, and the keys then do nothing at all: right after a rule is added its first
/// field has the focus, and Ctrl+Z would not take the new rule back. With this, `field` keeps
/// the keys while it has typing of its own to undo or redo and leaves them to the window's
/// Edit menu otherwise.
void leaveEmptyUndoToTheWindow(QLineEdit& field);

} // namespace sorvik
