#include "app/shell/status_icon.h"

#include "app/style/ui_style.h"

#include <QImage>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

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
