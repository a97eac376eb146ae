#include "mainwindow/main_layout.h"
#include "shell/app_scale_gui.h"

#include <gtest/gtest.h>

using namespace ravir;

TEST(ProcessScales, WorkAreaOf1056PixelsAt96DpiGivesScaleOne)
{
    const float layout = LayoutScaleFor(1056);
    EXPECT_FLOAT_EQ(layout, 1.0f);
    EXPECT_FLOAT_EQ(FontScaleFor(layout, 96.0), 1.0f);
    EXPECT_FLOAT_EQ(LayoutScaleFor(2112), 2.0f);
    // A 120-dpi screen shrinks the font scale so the fonts keep their size on the design grid.
    EXPECT_FLOAT_EQ(FontScaleFor(1.0f, 120.0), 0.8f);
    EXPECT_FLOAT_EQ(FontScaleFor(1.0f, 0.0), 0.0f);
}

TEST(ProcessScales, SharedFontHeightsFollowTheFontMapper)
{
    // points * scale truncated, then MulDiv(points, dpi, 72) with rounding.
    EXPECT_EQ(SharedFontPixelHeight(1.0f, 9, 96.0), 12);
    EXPECT_EQ(SharedFontPixelHeight(1.0f, 10, 96.0), 13);  // 13.33 rounds down
    EXPECT_EQ(SharedFontPixelHeight(1.0f, 13, 96.0), 17);  // 17.33
    EXPECT_EQ(SharedFontPixelHeight(1.0f, 17, 96.0), 23);  // 22.67 rounds up
    EXPECT_EQ(SharedFontPixelHeight(1.0f, 22, 96.0), 29);  // 29.33
    // 0.9 x 13 = 11.7 is truncated to 11 points before the conversion.
    EXPECT_EQ(SharedFontPixelHeight(0.9f, 13, 96.0), 15);
}

TEST(MainLayout, DesignSizeAtScaleOne)
{
    const MainLayout l = ComputeMainLayout(kDesignWidth, kDesignHeight, 1.0f);
    EXPECT_EQ(l.video, QRect(6, 24, 656, 370));
    EXPECT_EQ(l.positionSlider, QRect(6, 394, 656, 10));
    EXPECT_EQ(l.infoPanel, QRect(7, 404, 655, 105));
    EXPECT_EQ(l.graph.top(), 509);
    EXPECT_EQ(l.graph.bottom(), 697 - 42 - 1);
    EXPECT_EQ(l.fileBrowser, QRect(662, 25, 452, 697 - 42 - 25));
    EXPECT_EQ(l.fileBrowser.right(), kDesignWidth - 6 - 1);
    EXPECT_EQ(l.transport[0], QRect(20, 661, 32, 32));
    EXPECT_EQ(l.transport[8].left(), 20 + 8 * 47);
    EXPECT_EQ(l.transport[9].left(), 20 + 9 * 47 + 30);
    EXPECT_EQ(l.volumeSlider, QRect(1000, 667, 100, 20));
    EXPECT_EQ(l.closeButton, QRect(1064, 0, 46, 18));
    EXPECT_EQ(l.thumbnailButton, QRect(862, 0, 150, 18));
    EXPECT_EQ(l.progressBarBusy, QRect(8, 372, 652, 20));
}

TEST(MainLayout, EnlargedWindowGivesTheExtraSpaceToTheVideo)
{
    const MainLayout small = ComputeMainLayout(kDesignWidth, kDesignHeight, 1.0f);
    const MainLayout big = ComputeMainLayout(kDesignWidth + 200, kDesignHeight + 100, 1.0f);
    EXPECT_EQ(big.video.width(), small.video.width() + 200);
    EXPECT_EQ(big.video.height(), small.video.height() + 100);
    EXPECT_EQ(big.fileBrowser.width(), small.fileBrowser.width());
    EXPECT_EQ(big.infoPanel.height(), small.infoPanel.height());
    EXPECT_EQ(big.graph.height(), small.graph.height());
}

TEST(MainLayout, ScaledGridTruncatesEachTerm)
{
    // At 1.5 the 6-unit border is 9 pixels; the window design size is 1680 x 1045.
    const MainLayout l = ComputeMainLayout(1680, 1045, 1.5f);
    EXPECT_EQ(l.video.left(), 9);
    EXPECT_EQ(l.video.top(), 36);
    EXPECT_EQ(l.video.width(), 1680 - 18 - 660 - 18);
    EXPECT_EQ(l.fileBrowser.width(), 660 + 18);
}

TEST(MainLayout, LargestEnlargementFollowsTheMonitorWidth)
{
    EXPECT_NEAR(MaxEnlargement(1366, 1.0f), 2732.0f / 1120.0f, 1e-5);
    EXPECT_FLOAT_EQ(MaxEnlargement(2560, 1.0f), kMaxEnlargementCap);
    EXPECT_FLOAT_EQ(kMaxEnlargementCap, 3.4285715f);
}
