#pragma once

#include "app/shell/new_name_cell.h"

#include <QList>
#include <QStyledItemDelegate>
#include <QTextLayout>

class QPainter;

namespace sorvik {

/// The item role under which a file list model hands the delegate a row's `NewNameCell`
/// (made once per row, not per paint). The model's DisplayRole holds the plain new name and
/// its ToolTipRole `plainToolTip` of the cell's tooltip.
inline constexpr int newNameCellRole = Qt::UserRole + 1;

/// A new name fitted to one line: cut in the middle with "…" when it is too wide, only ever
/// between whole characters, and the UTF-16 ranges of its marked characters.
struct NewNameLine {
    QString text;
    /// (start, length) of each marked character in `text`, ascending.
    QList<std::pair<int, int>> marks;
};

/// The cell's text fitted to `width` pixels in `font`, marked characters measured bold.
NewNameLine fitNewName(const NewNameCell& cell, const QFont& font, qreal width);

/// Paints the cell's text into `rect`, vertically centred: its tone's colour (the selected
/// text colour on a selected row) and the marked characters bold in the accent colour (the
/// palette's Highlight, which the brand tint makes `brandAccent`).
void paintNewName(QPainter& painter, const QRect& rect, const QStyleOptionViewItem& option,
    const NewNameCell& cell);

/// Draws the new-name column: the item's background and selection as the style draws
/// them, then the cell from `newNameCellRole`. An index without a cell is drawn as usual.
class NewNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewNameDelegate)

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
};

} // namespace sorvik
