#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The sheet for adding a rule or applying a preset by typing: every rule kind, then every
// saved preset, narrowed by one search text (a title or a preset name containing the query,
// in any letter case, canonically equal forms alike; the query is used as typed). One click on
// a row, or Return on the current row, acts once and closes the sheet: a kind is appended to
// the stack as a new rule, a preset replaces the whole stack with its rules exactly as stored,
// ids included. From the search field Down moves into the list; Escape or "Done" closes
// without a change.
//
// The sheet follows the store's `showingPalette`: closing it clears the flag, and the flag
// cleared elsewhere closes it. It is window-modal; open it with `open()`. It deletes itself
// once closed.
namespace sorvik {

class RenamerStore;

class RulePalette : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RulePalette)

public:
    static constexpr int paletteWidth = 440;
    static constexpr int paletteHeight = 460;
    static constexpr int padding = 20;
    static constexpr int spacing = 16;

    explicit RulePalette(RenamerStore& store, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    QListWidget* list() const { return m_list; }

    /// Does what the row stands for, then closes the sheet; a second call does nothing.
    void act(QListWidgetItem* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPresets();
    void filter();

    RenamerStore& m_store;
    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_done;
    // What the search looks at, row by row: the kind titles, then the preset names.
    std::vector<std::string> m_searchTexts;
    bool m_acted = false;
};

} // namespace sorvik
