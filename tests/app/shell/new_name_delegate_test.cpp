#include "app/shell/new_name_delegate.h"

#include "app/shell/new_name_cell.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QStandardItemModel>
#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    const QColor accent(0, 0, 255);

    NewNameCell cellFor(std::string oldName, std::string newName, RenameStatus status)
    {
        FileItem item(FileURL("/folder/" + oldName), true, Date(), Date(), 1, 0);
        return newNameCell(PreviewRow(item, std::move(newName), std::move(status)));
    }

    QFont testFont()
    {
        QFont font = QApplication::font();
        font.setPixelSize(13);
        return font;
    }

    QStyleOptionViewItem option(bool selected = false)
    {
        QStyleOptionViewItem option;
        option.font = testFont();
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        if (selected)
            option.state |= QStyle::State_Selected;
        option.palette.setColor(QPalette::Text, Qt::black);
        option.palette.setColor(QPalette::Highlight, accent);
        option.palette.setColor(QPalette::HighlightedText, Qt::white);
        return option;
    }

    // The image of the cell painted on white, and the columns that hold accent pixels.
    struct Painted {
        QImage image;
        int accentPixels = 0;
        int rightmostAccent = -1;
        int rightmostInk = -1;
    };

    Painted paint(const NewNameCell& cell, QSize size, bool selected = false)
    {
        Painted painted;
        painted.image = QImage(size, QImage::Format_ARGB32);
        painted.image.fill(Qt::white);
        {
            QPainter painter(&painted.image);
            paintNewName(painter, painted.image.rect(), option(selected), cell);
        }
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                QColor color = painted.image.pixelColor(x, y);
                if (color.blue() > 200 && color.red() < 60 && color.green() < 60) {
                    ++painted.accentPixels;
                    painted.rightmostAccent = std::max(painted.rightmostAccent, x);
                }
                if (color.lightness() < 200)
                    painted.rightmostInk = std::max(painted.rightmostInk, x);
            }
        }
        return painted;
    }

    bool onCharacterBoundaries(const QString& text, const QList<std::pair<int, int>>& marks)
    {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        for (auto [start, length] : marks) {
            finder.setPosition(start);
            if (!finder.isAtBoundary())
                return false;
            finder.setPosition(start + length);
            if (!finder.isAtBoundary())
                return false;
        }
        return true;
    }

    TEST(NewNameDelegate, FitsAWholeNameWithItsMarks)
    {
        auto cell = cellFor("IMG_0001.jpg", "img_0001.jpg", RenameStatus::ready());
        auto line = fitNewName(cell, testFont(), 1000);
        EXPECT_EQ(line.text, "img_0001.jpg");
        EXPECT_EQ(line.marks, (QList<std::pair<int, int>> { { 0, 1 }, { 1, 1 }, { 2, 1 } }));
    }

    TEST(NewNameDelegate, CutsALongNameInTheMiddleBetweenWholeCharacters)
    {
        std::string emoji = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
        std::string newName;
        for (int count = 0; count < 30; ++count)
            newName += emoji + "x";
        auto cell = cellFor(std::string(30, 'x'), newName, RenameStatus::ready());
        ASSERT_FALSE(cell.markedCharacters.empty());
        for (qreal width : { 200.0, 120.0, 60.0, 15.0 }) {
            auto line = fitNewName(cell, testFont(), width);
            SCOPED_TRACE(width);
            ASSERT_TRUE(line.text.contains(QChar(0x2026)));
            auto full = toQString(newName);
            auto cut = line.text.indexOf(QChar(0x2026));
            EXPECT_TRUE(full.startsWith(line.text.left(cut)));
            EXPECT_TRUE(full.endsWith(line.text.mid(cut + 1)));
            EXPECT_TRUE(onCharacterBoundaries(line.text, line.marks));
            for (auto [start, length] : line.marks)
                EXPECT_EQ(line.text.mid(start, length), toQString(emoji));
        }
        // Never wider than the room, even with bold marks.
        auto line = fitNewName(cell, testFont(), 150);
        QFont bold = testFont();
        bold.setBold(true);
        EXPECT_LE(QFontMetricsF(testFont()).horizontalAdvance(line.text), 150);
    }

    TEST(NewNameDelegate, PlainNamesUseTheUsualMiddleCut)
    {
        auto cell = cellFor(
            "a.txt", std::string(200, 'b') + ".txt", RenameStatus::conflict("Duplicate name"));
        auto line = fitNewName(cell, testFont(), 100);
        EXPECT_TRUE(line.marks.isEmpty());
        EXPECT_EQ(line.text,
            QFontMetricsF(testFont()).elidedText(toQString(cell.text), Qt::ElideMiddle, 100));
    }

    TEST(NewNameDelegate, PaintsOnlyTheMarkedCharactersInTheAccent)
    {
        auto marked
            = paint(cellFor("IMG_0001.jpg", "img_0001.jpg", RenameStatus::ready()), { 200, 24 });
        EXPECT_GT(marked.accentPixels, 10);
        // Only "img" is marked: the accent ends well before the rest of the name.
        QFont bold = testFont();
        bold.setBold(true);
        EXPECT_LE(marked.rightmostAccent, QFontMetricsF(bold).horizontalAdvance("img") + 1);
        EXPECT_GT(marked.rightmostInk, marked.rightmostAccent + 20);

        auto unchanged
            = paint(cellFor("IMG_0001.jpg", "IMG_0001.jpg", RenameStatus::ready()), { 200, 24 });
        EXPECT_EQ(unchanged.accentPixels, 0);
        EXPECT_GT(unchanged.rightmostInk, 40);

        auto problem = paint(
            cellFor("IMG_0001.jpg", "img_0001.jpg", RenameStatus::conflict("Duplicate name")),
            { 200, 24 });
        EXPECT_EQ(problem.accentPixels, 0);

        // On a selected row the marks take the selected text colour, bold only.
        auto selected = paint(
            cellFor("IMG_0001.jpg", "img_0001.jpg", RenameStatus::ready()), { 200, 24 }, true);
        EXPECT_EQ(selected.accentPixels, 0);
    }

    TEST(NewNameDelegate, StaysInsideItsRectangle)
    {
        auto cell = cellFor("a.txt", std::string(120, 'W') + "_1.txt", RenameStatus::ready());
        auto painted = paint(cell, { 90, 20 });
        EXPECT_LT(painted.rightmostInk, 90);
        EXPECT_GT(painted.rightmostInk, 60);
    }

    TEST(NewNameDelegate, DrawsTheCellOfTheModel)
    {
        QStandardItemModel model;
        auto* item = new QStandardItem("img_0001.jpg");
        item->setData(
            QVariant::fromValue(cellFor("IMG_0001.jpg", "img_0001.jpg", RenameStatus::ready())),
            newNameCellRole);
        model.appendRow(item);
        model.appendRow(new QStandardItem("plain row"));
        QListView view;
        QPalette palette = view.palette();
        palette.setColor(QPalette::Highlight, accent);
        palette.setColor(QPalette::Base, Qt::white);
        view.setPalette(palette);
        NewNameDelegate delegate;
        view.setItemDelegate(&delegate);
        view.setModel(&model);
        view.resize(240, 80);
        view.show();
        auto image = view.viewport()->grab().toImage();
        auto rowRect = view.visualRect(model.index(0, 0));
        int accentPixels = 0;
        for (int y = rowRect.top(); y <= rowRect.bottom(); ++y) {
            for (int x = rowRect.left(); x <= rowRect.right(); ++x) {
                QColor color = image.pixelColor(x, y);
                accentPixels += color.blue() > 200 && color.red() < 60 && color.green() < 60;
            }
        }
        EXPECT_GT(accentPixels, 10);
    }

} // namespace
} // namespace sorvik
