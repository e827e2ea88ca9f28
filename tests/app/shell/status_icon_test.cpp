#include "app/shell/status_icon.h"

#include "app/shell/file_list_model.h"
#include "app/shell/main_window.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    double luminance(QColor color)
    {
        auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF())
            + 0.0722 * channel(color.blueF());
    }

    /// The contrast ratio of two colours, 1 (none) to 21 (black on white).
    double contrast(QColor first, QColor second)
    {
        auto [dark, light] = std::minmax(luminance(first), luminance(second));
        return (light + 0.05) / (dark + 0.05);
    }

    QPalette darkPalette()
    {
        QPalette palette;
        for (auto role : { QPalette::Window, QPalette::Button })
            palette.setColor(role, QColor(0x2B, 0x2B, 0x2B));
        palette.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
        palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
        for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
            palette.setColor(role, QColor(0xEE, 0xEE, 0xEE));
        palette.setColor(QPalette::Highlight, QColor(0x30, 0x8C, 0xC6));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        return palette;
    }

    class SelectedStatusTest : public ::testing::TestWithParam<bool>,
                               protected testing::StoreFixture {
    protected:
        void TearDown() override { QApplication::setPalette(saved); }

        QPalette saved = QApplication::palette();
    };

    // On a selected row every status symbol is drawn so that it reads on the selection: in
    // light and dark palettes, whatever its colour on a plain row.
    TEST_P(SelectedStatusTest, EverySymbolReadsOnASelectedRow)
    {
        bool dark = GetParam();
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        ASSERT_EQ(isDarkPalette(QApplication::palette()), dark);
        // A folder added is granted, so its rows can be ready.
        for (auto name : { "a1.txt", "b.txt", "c.txt", "c1.txt" })
            files.createFile(std::string("s/") + name);
        ASSERT_TRUE(add({ folder("s") }));
        ASSERT_TRUE(setRules({ testing::replaceRule("1", "") }));

        MainWindow window(store);
        window.show();
        QApplication::setActiveWindow(&window);
        auto* table = window.findChild<QTableView*>(QStringLiteral("fileTable"));
        ASSERT_NE(table, nullptr);
        auto& model = static_cast<FileListModel&>(*table->model());
        ASSERT_EQ(model.rowCount(), 4);
        table->setFocus();
        table->selectAll();
        testing::runEvents(5);

        auto image = table->viewport()->grab().toImage();
        std::set<RenameStatus::Kind> seen;
        for (int row = 0; row < model.rowCount(); ++row) {
            auto kind = model.previewAt(row).status.kind;
            seen.insert(kind);
            auto cell = table->visualRect(model.index(row, FileListModel::statusColumn));
            QColor selection = image.pixelColor(cell.left() + 1, cell.top() + 1);
            // The symbol's own pixels: those far from the selection colour.
            int symbolPixels = 0;
            double best = 1.0;
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                for (int x = cell.left(); x <= cell.right(); ++x) {
                    QColor pixel = image.pixelColor(x, y);
                    double ratio = contrast(pixel, selection);
                    if (ratio > 1.2)
                        ++symbolPixels;
                    best = std::max(best, ratio);
                }
            }
            EXPECT_GT(symbolPixels, 6) << "row " << row;
            EXPECT_GE(best, 3.0) << "row " << row << " status " << static_cast<int>(kind) << " on "
                                 << selection.name().toStdString();
        }
        EXPECT_TRUE(seen.contains(RenameStatus::Kind::ready));
        EXPECT_TRUE(seen.contains(RenameStatus::Kind::unchanged));
        EXPECT_TRUE(seen.contains(RenameStatus::Kind::conflict));
    }

    INSTANTIATE_TEST_SUITE_P(Palettes, SelectedStatusTest, ::testing::Values(false, true),
        [](const ::testing::TestParamInfo<bool>& palette) {
            return std::string(palette.param ? "Dark" : "Light");
        });

    TEST(StatusIcon, ShowsOneSymbolPerStatus)
    {
        struct Case {
            RenameStatus status;
            std::string_view symbol;
            Tone tone;
            std::string toolTip;
        };
        const Case cases[] = {
            { RenameStatus::conflict("Duplicate name"), "exclamationmark.triangle.fill",
                Tone::orange, "Duplicate name" },
            { RenameStatus::invalid("Name too long"), "exclamationmark.triangle.fill", Tone::orange,
                "Name too long" },
            { RenameStatus::ready(), "checkmark.circle.fill", Tone::green, "" },
            { RenameStatus::needsAccess(), "lock.fill", Tone::orange,
                "Grant folder access to rename" },
            { RenameStatus::unchanged(), "minus", Tone::quaternary, "" },
            { RenameStatus::skipped(), "minus", Tone::quaternary, "" },
        };
        for (const auto& entry : cases) {
            auto icon = statusIcon(entry.status);
            EXPECT_EQ(icon.symbol, entry.symbol);
            EXPECT_EQ(icon.tone, entry.tone);
            EXPECT_EQ(icon.toolTip, entry.toolTip);
        }
    }

    TEST(StatusIcon, IsDrawnInItsTone)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::Text, Qt::black);
        for (auto status : { RenameStatus::ready(), RenameStatus::needsAccess() }) {
            auto icon = statusIcon(status);
            auto expected = toneColor(icon.tone, palette).rgb();
            auto image = statusIconImage(icon, palette)
                             .pixmap(QSize(24, 24))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
            int matching = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    auto pixel = image.pixel(x, y);
                    if (qAlpha(pixel) == 255) {
                        EXPECT_EQ(pixel & 0xFFFFFF, expected & 0xFFFFFF);
                        ++matching;
                    }
                }
            }
            EXPECT_GT(matching, 50);
        }
    }

} // namespace
} // namespace sorvik
