#include "app/shell/new_name_delegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextCharFormat>
#include <QTextOption>

#include <limits>

namespace sorvik {

namespace {

    const QString ellipsis = QStringLiteral("\u2026");

    // The cell's characters with their UTF-16 offsets, when the offsets fit the text.
    struct MarkedText {
        QString text;
        const std::vector<std::size_t>& offsets;
        std::vector<bool> marked;

        std::size_t count() const { return offsets.size() - 1; }
        int offset(std::size_t character) const { return static_cast<int>(offsets[character]); }
    };

    // The text with only the first `head` and the last `tail` characters, "…" between them
    // unless all are kept.
    NewNameLine keep(const MarkedText& source, std::size_t head, std::size_t tail)
    {
        std::size_t count = source.count();
        NewNameLine line;
        if (head + tail >= count) {
            line.text = source.text;
            head = count;
            tail = 0;
        } else {
            line.text = source.text.left(source.offset(head)) + ellipsis
                + source.text.mid(source.offset(count - tail));
        }
        for (std::size_t index = 0; index < head; ++index) {
            if (source.marked[index])
                line.marks.append(
                    { source.offset(index), source.offset(index + 1) - source.offset(index) });
        }
        int shift
            = source.offset(head) + static_cast<int>(ellipsis.size()) - source.offset(count - tail);
        for (std::size_t index = count - tail; index < count; ++index) {
            if (source.marked[index])
                line.marks.append({ source.offset(index) + shift,
                    source.offset(index + 1) - source.offset(index) });
        }
        return line;
    }

    QList<QTextLayout::FormatRange> formats(const NewNameLine& line, const QColor* color)
    {
        QList<QTextLayout::FormatRange> ranges;
        for (auto [start, length] : line.marks) {
            QTextLayout::FormatRange range;
            range.start = start;
            range.length = length;
            range.format.setFontWeight(QFont::Bold);
            if (color)
                range.format.setForeground(*color);
            ranges.append(range);
        }
        return ranges;
    }

    // A one-line layout of the line, ready to measure or draw.
    void layOut(QTextLayout& layout, const NewNameLine& line, const QColor* markColor)
    {
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.setFormats(formats(line, markColor));
        layout.beginLayout();
        auto textLine = layout.createLine();
        if (textLine.isValid())
            textLine.setLineWidth(std::numeric_limits<int>::max() / 4);
        layout.endLayout();
    }

    qreal widthOf(const NewNameLine& line, const QFont& font)
    {
        QTextLayout layout(line.text, font);
        layOut(layout, line, nullptr);
        return layout.lineCount() > 0 ? layout.lineAt(0).naturalTextWidth() : 0;
    }

} // namespace

NewNameLine fitNewName(const NewNameCell& cell, const QFont& font, qreal width)
{
    auto text = toQString(cell.text);
    const auto& offsets = cell.characterOffsets;
    if (cell.markedCharacters.empty() || offsets.size() < 2
        || offsets.back() != static_cast<std::size_t>(text.size()))
        return { QFontMetricsF(font).elidedText(text, Qt::ElideMiddle, width), {} };

    MarkedText source { text, offsets, std::vector<bool>(offsets.size() - 1, false) };
    for (auto index : cell.markedCharacters) {
        if (index < source.count())
            source.marked[index] = true;
    }
    auto kept = [&](std::size_t characters) {
        return keep(source, (characters + 1) / 2, characters / 2);
    };
    auto whole = kept(source.count());
    if (widthOf(whole, font) <= width)
        return whole;
    // The most characters that fit beside "…"; none when not even "…" fits.
    std::size_t fitting = 0;
    std::size_t low = 1;
    std::size_t high = source.count() - 1;
    while (low <= high) {
        std::size_t middle = low + (high - low) / 2;
        if (widthOf(kept(middle), font) <= width) {
            fitting = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return kept(fitting);
}

void paintNewName(QPainter& painter, const QRect& rect, const QStyleOptionViewItem& option,
    const NewNameCell& cell)
{
    auto group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
        : (option.state & QStyle::State_Active)          ? QPalette::Active
                                                         : QPalette::Inactive;
    auto palette = option.palette;
    palette.setCurrentColorGroup(group);
    bool selected = option.state & QStyle::State_Selected;
    QColor textColor = selected ? palette.color(QPalette::HighlightedText)
                                : toneColor(cell.tone, palette, QPalette::Text);
    QColor markColor
        = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Highlight);

    auto line = fitNewName(cell, option.font, rect.width());
    QTextLayout layout(line.text, option.font);
    layOut(layout, line, &markColor);
    if (layout.lineCount() == 0)
        return;
    auto height = layout.lineAt(0).height();
    QPointF origin(rect.left(), rect.top() + (rect.height() - height) / 2);

    painter.save();
    painter.setClipRect(rect);
    painter.setPen(textColor);
    layout.draw(&painter, origin);
    painter.restore();
}

void NewNameDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    auto value = index.data(newNameCellRole);
    if (!value.canConvert<NewNameCell>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    auto cell = value.value<NewNameCell>();
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    auto textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    paintNewName(*painter, textRect.adjusted(margin, 0, -margin, 0), item, cell);
}

} // namespace sorvik
