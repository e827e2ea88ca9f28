#pragma once

class QKeyEvent;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QObject;

namespace sorvik {

// The keyboard of a search field over a list of matches, as the rule palette and the token
// picker share it.

/// Return or the keypad's Enter.
bool isReturnKey(const QKeyEvent& event);

/// The first row the search left visible, or null.
QListWidgetItem* firstVisibleItem(const QListWidget& list);

/// Down in the search field moves into the list (onto its first visible row unless a visible
/// one is current); Up on the list's first visible row goes back to the field. Whether `key`,
/// sent to `watched`, was one of these.
bool stepBetweenSearchAndList(
    QLineEdit& search, QListWidget& list, const QObject* watched, const QKeyEvent& key);

} // namespace sorvik
