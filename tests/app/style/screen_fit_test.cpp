#include "app/style/screen_fit.h"

#include <QWidget>

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // The main window asks for 1000 by 640 and opens at 1240 by 800; its columns show whole
    // from 747 by 420 on. A title bar of 23 points, borders of 1 and a resize handle of 5.
    const QSize mainMinimum(1000, 640);
    const QSize mainLeast(747, 420);
    const QSize mainDefault(1240, 800);
    const QSize noMaximum(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QMargins frame(1, 23, 1, 5);

    struct SizesCase {
        std::string name;
        QRect available;
        QSize minimum;
        QSize least;
        QSize maximum;
        QSize preferred;
        FittedSizes expected;
    };

    void PrintTo(const SizesCase& c, std::ostream* out) { *out << c.name; }

    class FitSizesTest : public ::testing::TestWithParam<SizesCase> { };

    TEST_P(FitSizesTest, AsAskedWhereTheScreenHasTheRoomAndNoLargerThanItWhereNot)
    {
        const auto& c = GetParam();
        auto fitted = fitSizes(c.minimum, c.least, c.maximum, c.preferred, c.available, frame);
        EXPECT_EQ(fitted.minimum, c.expected.minimum);
        EXPECT_EQ(fitted.maximum, c.expected.maximum);
        EXPECT_EQ(fitted.size, c.expected.size);

        // Whatever the case, the framed window fits on the screen at each of its sizes.
        QSize room = c.available.size().shrunkBy(frame).expandedTo(QSize(1, 1));
        for (auto size : { fitted.minimum, fitted.maximum, fitted.size }) {
            EXPECT_LE(size.width(), room.width());
            EXPECT_LE(size.height(), room.height());
        }
        EXPECT_LE(fitted.minimum.width(), fitted.size.width());
        EXPECT_LE(fitted.minimum.height(), fitted.size.height());
        EXPECT_LE(fitted.size.width(), fitted.maximum.width());
        EXPECT_LE(fitted.size.height(), fitted.maximum.height());
    }

    INSTANTIATE_TEST_SUITE_P(Screens, FitSizesTest,
        ::testing::Values(
            // A large screen and full HD at 100 % (a panel of 28 points): exactly as designed.
            SizesCase { "LargeScreen", QRect(0, 0, 2560, 1440), mainMinimum, mainLeast, noMaximum,
                mainDefault, { mainMinimum, QSize(2558, 1412), mainDefault } },
            SizesCase { "FullHDAt100", QRect(0, 28, 1920, 1052), mainMinimum, mainLeast, noMaximum,
                mainDefault, { mainMinimum, QSize(1918, 1024), mainDefault } },
            // 150 %: the minimum still fits, the default is as tall as the room.
            SizesCase { "FullHDAt150", QRect(0, 0, 1280, 720), mainMinimum, mainLeast, noMaximum,
                mainDefault, { mainMinimum, QSize(1278, 692), QSize(1240, 692) } },
            // 200 %: neither fits; the window can still be made as small as its content.
            SizesCase { "FullHDAt200", QRect(0, 0, 960, 540), mainMinimum, mainLeast, noMaximum,
                mainDefault, { mainLeast, QSize(958, 512), QSize(958, 512) } },
            // Only the height lacks room: the width stays as designed.
            SizesCase { "WideButShort", QRect(0, 0, 1600, 600), mainMinimum, mainLeast, noMaximum,
                mainDefault, { QSize(1000, 420), QSize(1598, 572), QSize(1240, 572) } },
            // Smaller than even the content: all of it is the room, and the content scrolls.
            SizesCase { "TinyScreen", QRect(0, 0, 640, 400), mainMinimum, mainLeast, noMaximum,
                mainDefault, { QSize(638, 372), QSize(638, 372), QSize(638, 372) } },
            // A screen beside another: only its size counts.
            SizesCase { "SecondScreenAt200", QRect(1920, 0, 960, 540), mainMinimum, mainLeast,
                noMaximum, mainDefault, { mainLeast, QSize(958, 512), QSize(958, 512) } },
            // A sheet of a fixed size keeps it where it fits, and shrinks to its content
            // where it does not.
            SizesCase { "FixedSheetOnFullHDAt200", QRect(0, 0, 960, 540), QSize(700, 460),
                QSize(300, 220), QSize(700, 460), QSize(700, 460),
                { QSize(700, 460), QSize(700, 460), QSize(700, 460) } },
            SizesCase { "FixedSheetOnATinyScreen", QRect(0, 0, 640, 400), QSize(700, 460),
                QSize(300, 220), QSize(700, 460), QSize(700, 460),
                { QSize(300, 220), QSize(638, 372), QSize(638, 372) } },
            // A window smaller than its minimum is made as large as that.
            SizesCase { "PreferredBelowTheMinimum", QRect(0, 0, 1920, 1080), mainMinimum, mainLeast,
                noMaximum, QSize(400, 300), { mainMinimum, QSize(1918, 1052), mainMinimum } },
            // A frame that leaves no room still gives a window of one point.
            SizesCase { "NoRoomAtAll", QRect(0, 0, 2, 20), mainMinimum, mainLeast, noMaximum,
                mainDefault, { QSize(1, 1), QSize(1, 1), QSize(1, 1) } }),
        [](const auto& param) { return param.param.name; });

    struct PositionCase {
        std::string name;
        QRect frame;
        QRect available;
        QPoint expected;
    };

    void PrintTo(const PositionCase& c, std::ostream* out) { *out << c.name; }

    class FitFramePositionTest : public ::testing::TestWithParam<PositionCase> { };

    TEST_P(FitFramePositionTest, MovesTheFrameTheLeastOntoTheScreen)
    {
        const auto& c = GetParam();
        EXPECT_EQ(fitFramePosition(c.frame, c.available), c.expected);
    }

    const QRect fullHD(0, 0, 1920, 1080);
    const QRect besideIt(1920, 0, 960, 540);

    INSTANTIATE_TEST_SUITE_P(Frames, FitFramePositionTest,
        ::testing::Values(PositionCase { "Inside", QRect(100, 50, 1242, 828), fullHD, { 100, 50 } },
            // Partly off the right and the bottom edge.
            PositionCase {
                "OffTheRightAndBottom", QRect(900, 600, 1242, 828), fullHD, { 678, 252 } },
            PositionCase { "OffTheLeftAndTop", QRect(-40, -30, 700, 500), fullHD, { 0, 0 } },
            PositionCase { "OffTheBottomOnly", QRect(300, 900, 700, 500), fullHD, { 300, 580 } },
            // Larger than the screen: its title bar stays on it.
            PositionCase { "LargerThanTheScreen", QRect(200, 100, 2482, 1628), fullHD, { 0, 0 } },
            PositionCase { "TallerThanTheScreen", QRect(200, 100, 700, 1200), fullHD, { 200, 0 } },
            // On a second screen the frame is kept on that one, not moved to the first.
            PositionCase {
                "OnTheSecondScreen", QRect(2400, 300, 700, 460), besideIt, { 2180, 80 } },
            PositionCase {
                "LeftOfTheSecondScreen", QRect(1800, 10, 700, 460), besideIt, { 1920, 10 } }),
        [](const auto& param) { return param.param.name; });

} // namespace
} // namespace sorvik
