#include "app/shell/empty_drop_zone.h"

#include "app/style/brand_colors.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    class EmptyDropZoneTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            zone.resize(700, 560);
            zone.show();
        }

        QString label(const char* name) const
        {
            auto* found = zone.findChild<QLabel*>(QString::fromLatin1(name));
            return found ? found->text() : QStringLiteral("<none>");
        }

        /// Pixels of the accent colour along the zone's edge band where the frame runs.
        int framePixels()
        {
            auto image = zone.grab().toImage();
            auto accent = BrandColors::color(BrandColor::brandAccent);
            int found = 0;
            int y = image.height() / 2;
            for (int x = 0; x < 40 && x < image.width(); ++x) {
                QColor color = image.pixelColor(x, y);
                if (std::abs(color.red() - accent.red()) < 40
                    && std::abs(color.green() - accent.green()) < 40
                    && std::abs(color.blue() - accent.blue()) < 40)
                    ++found;
            }
            return found;
        }

        EmptyDropZone zone { store };
    };

    TEST_F(EmptyDropZoneTest, ShowsTheWelcomeTexts)
    {
        EXPECT_EQ(label("title"), "A better name starts here.");
        EXPECT_EQ(label("subtitle"), "Drop files or a folder. Preview every change.");
        EXPECT_EQ(label("shortcuts"),
            QString::fromUtf8("Ctrl+O to add files \u00B7 Ctrl+K to add a rule"));
        EXPECT_EQ(zone.chooseButton().text(), QString::fromUtf8("Choose Files or Folder\u2026"));
        auto* privacy = zone.findChild<QWidget*>(QStringLiteral("privacy"));
        ASSERT_NE(privacy, nullptr);
        auto texts = privacy->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](QLabel* text) {
            return text->text() == "Private by design. File contents stay on this computer.";
        }));
        EXPECT_EQ(zone.symbolRect().size(), QSize(72, 72));
        EXPECT_EQ(zone.symbolRect().center().x(), zone.rect().center().x());
        EXPECT_EQ(
            zone.palette().color(QPalette::Window), BrandColors::color(BrandColor::brandCanvas));
    }

    TEST_F(EmptyDropZoneTest, TheBrandSymbolIsPaintedAndHiddenFromAssistiveTools)
    {
        // Drawn where its room is: pixels other than the canvas inside the symbol's square.
        auto image = zone.grab().toImage();
        auto canvas = BrandColors::color(BrandColor::brandCanvas).rgb();
        int drawn = 0;
        auto square = zone.symbolRect();
        for (int y = square.top(); y <= square.bottom(); ++y) {
            for (int x = square.left(); x <= square.right(); ++x)
                drawn += image.pixel(x, y) != canvas;
        }
        EXPECT_GT(drawn, 72 * 72 / 8);

        // Nothing a screen reader can reach stands where the symbol is: it is decoration.
        QRect global(zone.mapToGlobal(square.topLeft()), square.size());
        std::vector<QAccessibleInterface*> pending { QAccessible::queryAccessibleInterface(&zone) };
        ASSERT_NE(pending.front(), nullptr);
        int visited = 0;
        while (!pending.empty()) {
            auto* node = pending.back();
            pending.pop_back();
            ++visited;
            for (int index = 0; index < node->childCount(); ++index)
                pending.push_back(node->child(index));
            if (node->object() != &zone) {
                EXPECT_FALSE(node->rect().intersects(global))
                    << node->object() << " role " << node->role();
            }
        }
        EXPECT_GT(visited, 5);
    }

    TEST_F(EmptyDropZoneTest, TheButtonChoosesFilesEvenWhileTheFrameShows)
    {
        files.createFile("picked.txt");
        dialogs.addAnswer = std::vector<FileURL> { url("picked.txt") };
        zone.setTargeted(true);
        QTest::mouseClick(&zone.chooseButton(), Qt::LeftButton);
        ASSERT_EQ(dialogs.addRequests.size(), 1u);
        EXPECT_EQ(dialogs.addRequests[0].first, "Add");
        EXPECT_EQ(dialogs.addRequests[0].second,
            "Choose files, or a folder to add everything inside it.");
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.items().size(), 1u);
    }

    TEST_F(EmptyDropZoneTest, TheFrameIsASolidAccentLineInsetFromTheEdges)
    {
        EXPECT_EQ(framePixels(), 0);
        zone.setTargeted(true);
        auto image = zone.grab().toImage();
        auto accent = BrandColors::color(BrandColor::brandAccent);
        auto isAccent = [&](int x, int y) {
            QColor color = image.pixelColor(x, y);
            return std::abs(color.red() - accent.red()) < 40
                && std::abs(color.green() - accent.green()) < 40
                && std::abs(color.blue() - accent.blue()) < 40;
        };
        // The left side of the frame: two pixels wide, starting 20 in.
        int y = image.height() / 2;
        EXPECT_FALSE(isAccent(19, y));
        EXPECT_TRUE(isAccent(20, y));
        EXPECT_TRUE(isAccent(21, y));
        EXPECT_FALSE(isAccent(22, y));
        // Solid: no gap along a side.
        for (int along = 60; along < image.height() - 60; ++along)
            ASSERT_TRUE(isAccent(20, along) || isAccent(21, along)) << along;
        zone.setTargeted(false);
        EXPECT_EQ(framePixels(), 0);
    }

} // namespace
} // namespace sorvik
