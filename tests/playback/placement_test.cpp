// Picture placement, presenter rules, rate codes and frame arithmetic of the players.
#include "playback/movie_probe.h"
#include "playback/placement.h"

#include <gtest/gtest.h>
#include <limits>

using namespace ravir;

namespace {
PlacementInput client(int w, int h)
{
    PlacementInput in;
    in.clientWidth = w;
    in.clientHeight = h;
    in.aspectMode = 0;
    return in;
}
}  // namespace

TEST(Placement, ZoomAroundPointAndOffsets)
{
    PlacementInput in = client(640, 360);
    in.centreX = 320;
    in.centreY = 180;
    in.zoom = 2.0f;
    EXPECT_EQ(ComputeDestinationRect(in), (IntRect{-320, -180, 960, 540}));

    // Around the top left corner the rectangle grows only to the right and down.
    in.centreX = 0;
    in.centreY = 0;
    EXPECT_EQ(ComputeDestinationRect(in), (IntRect{0, 0, 1280, 720}));

    PlacementInput shifted = client(640, 360);
    shifted.offsetX = 10;
    shifted.offsetY = 20;
    EXPECT_EQ(ComputeDestinationRect(shifted), (IntRect{10, 20, 650, 380}));

    // Zoom 0 and a zoom that turns the rectangle inside out fail.
    PlacementInput bad = client(640, 360);
    bad.zoom = 0.0f;
    EXPECT_FALSE(ComputeDestinationRect(bad));
    bad.zoom = -1.0f;
    bad.centreX = 320;
    bad.centreY = 180;
    EXPECT_FALSE(ComputeDestinationRect(bad));
    // A client area of no size has no placement.
    EXPECT_FALSE(ComputeDestinationRect(client(0, 360)));
}

TEST(Placement, AspectFitAddsOneBottomPixel)
{
    PlacementInput in = client(1000, 1000);
    in.aspectMode = 1;
    in.nativeWidth = 1920;
    in.nativeHeight = 1080;
    EXPECT_EQ(ComputeDestinationRect(in), (IntRect{0, 219, 1000, 782}));
    const auto strips = BlackStrips(1000, 1000, IntRect{0, 219, 1000, 782});
    EXPECT_EQ(strips[0], (IntRect{0, 0, 1000, 219}));
    EXPECT_EQ(strips[1], (IntRect{0, 782, 1000, 1000}));
    EXPECT_EQ(strips[2].width(), 0);
    EXPECT_EQ(strips[3].width(), 0);

    // A wide window keeps the height and narrows the width, centred.
    PlacementInput wide = client(1000, 300);
    wide.aspectMode = 1;
    wide.nativeWidth = 640;
    wide.nativeHeight = 480;
    EXPECT_EQ(ComputeDestinationRect(wide), (IntRect{300, 0, 700, 301}));

    // Stretching (any mode but 1) fills the client area.
    in.aspectMode = 0;
    EXPECT_EQ(ComputeDestinationRect(in), (IntRect{0, 0, 1000, 1000}));
    in.aspectMode = 2;
    EXPECT_EQ(ComputeDestinationRect(in), (IntRect{0, 0, 1000, 1000}));
}

TEST(Placement, StripsOfAZoomedPictureStayInsideTheClient)
{
    for (const IntRect& s : BlackStrips(640, 360, IntRect{-320, -180, 960, 540}))
        EXPECT_TRUE(s.width() == 0 || s.height() == 0);
    const auto strips = BlackStrips(640, 360, IntRect{100, 50, 540, 310});
    EXPECT_EQ(strips[0], (IntRect{0, 0, 640, 50}));
    EXPECT_EQ(strips[1], (IntRect{0, 310, 640, 360}));
    EXPECT_EQ(strips[2], (IntRect{0, 50, 100, 310}));
    EXPECT_EQ(strips[3], (IntRect{540, 50, 640, 310}));
}

TEST(Presenter, VideoPositionRules)
{
    EXPECT_TRUE(IsValidVideoPosition(NormRect{0, 0, 1, 1}, IntRect{0, 0, 10, 10}));
    EXPECT_TRUE(IsValidVideoPosition(NormRect{0.25, 0.25, 0.25, 0.75}, IntRect{-5, -5, -5, 0}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{-0.1, 0, 1, 1}, IntRect{0, 0, 10, 10}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{0, 0, 1.01, 1}, IntRect{0, 0, 10, 10}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{0.6, 0, 0.5, 1}, IntRect{0, 0, 10, 10}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{0, 0.6, 1, 0.5}, IntRect{0, 0, 10, 10}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{}, IntRect{10, 0, 9, 10}));
    EXPECT_FALSE(IsValidVideoPosition(NormRect{}, IntRect{0, 10, 10, 9}));
}

TEST(Overlay, BottomRightCornerScaledByClientOverNative)
{
    // Half the native size: the overlay covers the right half and bottom half of the picture.
    NormRect r = OverlayRect(960, 540, 1920, 1080, 1);
    EXPECT_DOUBLE_EQ(r.left, 0.5);
    EXPECT_DOUBLE_EQ(r.top, 0.5);
    EXPECT_DOUBLE_EQ(r.right, 1.0);
    EXPECT_DOUBLE_EQ(r.bottom, 1.0);
    // Stretched: both axes take the smaller scale.
    r = OverlayRect(960, 270, 1920, 1080, 0);
    EXPECT_DOUBLE_EQ(r.left, 0.75);
    EXPECT_DOUBLE_EQ(r.top, 0.75);
    // A client larger than the picture keeps the overlay on the picture.
    r = OverlayRect(4000, 3000, 1920, 1080, 1);
    EXPECT_DOUBLE_EQ(r.left, 0.0);
    EXPECT_DOUBLE_EQ(r.top, 0.0);
    EXPECT_EQ(MapToDest(NormRect{0.5, 0.5, 1, 1}, IntRect{0, 219, 1000, 782}),
              (IntRect{500, 501, 1000, 782}));
}

TEST(Rates, CodesMapWithoutBackwardsPlay)
{
    EXPECT_EQ(MapRateCode(2, 1), 2);
    EXPECT_EQ(MapRateCode(4, 1), 4);
    EXPECT_EQ(MapRateCode(-2, 1), -2);
    EXPECT_EQ(MapRateCode(-4, 1), -4);
    // -1 toggles between x1 and x0.5.
    EXPECT_EQ(MapRateCode(-1, 1), -2);
    EXPECT_EQ(MapRateCode(-1, -2), 1);
    EXPECT_EQ(MapRateCode(-1, 2), 1);
    EXPECT_EQ(MapRateCode(3, 2), 1);
    EXPECT_EQ(MapRateCode(0, 4), 1);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(-4), 0.25);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(-2), 0.5);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(1), 1.0);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(2), 2.0);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(4), 4.0);
    EXPECT_DOUBLE_EQ(SpeedForRateCode(-1), 1.0);
}

TEST(Frames, PositionNamesTheFrameOnScreen)
{
    const double ms = 1000.0 / 30.0;
    // 0.1 s is the start of frame 3; a single-precision quotient would read 2.
    EXPECT_EQ(FrameAtPosition(0.1, ms), 3);
    EXPECT_EQ(FrameAtPosition(0.0999999, ms), 3);
    EXPECT_EQ(FrameAtPosition(2.966667, ms), 89);
    EXPECT_EQ(FrameAtPosition(0.0, ms), 0);
    EXPECT_EQ(FrameAtPosition(1.0, 0.0), -1);
    // 1001-based rates.
    EXPECT_EQ(FrameAtPosition(1001.0 / 30000.0 * 1234, 1001.0 / 30.0), 1234);
}

TEST(Frames, TooShortRuleKeepsFifteenFramesPerSecond)
{
    EXPECT_TRUE(IsTooShortToPlay(2000.0, 1000.0 / 30.0));
    EXPECT_TRUE(IsTooShortToPlay(1500.0, 1000.0 / 30.0));
    EXPECT_FALSE(IsTooShortToPlay(2000.0, 1000.0 / 15.0));
    EXPECT_FALSE(IsTooShortToPlay(2000.0, static_cast<float>(1000.0 / 15.0)));
    EXPECT_FALSE(IsTooShortToPlay(2001.0, 1000.0 / 30.0));
    EXPECT_TRUE(IsTooShortToPlay(2000.0, 1000.0 / 14.0));
}

TEST(Rates, PresenterRateSupportFollowsTheRefreshRate)
{
    // 60 Hz display, 30 frames per second: up to x2 without thinning.
    EXPECT_FLOAT_EQ(FastestRate(false, 60, 30, 1, false), 2.0f);
    EXPECT_FLOAT_EQ(FastestRate(false, 60, 30, 1, true), -2.0f);
    EXPECT_FLOAT_EQ(FastestRate(false, 60, 30000, 1001, false), 2.0f);
    EXPECT_FLOAT_EQ(FastestRate(false, 144, 15, 1, false), 10.0f);
    // Thinning, or an unknown rate: unbounded.
    EXPECT_EQ(FastestRate(true, 60, 30, 1, false), std::numeric_limits<float>::max());
    EXPECT_EQ(FastestRate(false, 0, 30, 1, false), std::numeric_limits<float>::max());
    EXPECT_EQ(FastestRate(false, 60, 0, 0, true), -std::numeric_limits<float>::max());

    float nearest = 0;
    EXPECT_TRUE(IsRateSupported(false, 2.0f, 60, 30, 1, &nearest));
    EXPECT_TRUE(IsRateSupported(false, -0.5f, 60, 30, 1, &nearest));
    EXPECT_FALSE(IsRateSupported(false, 4.0f, 60, 30, 1, &nearest));
    EXPECT_FLOAT_EQ(nearest, 2.0f);
    EXPECT_FALSE(IsRateSupported(false, -4.0f, 60, 30, 1, &nearest));
    EXPECT_FLOAT_EQ(nearest, -2.0f);
    EXPECT_TRUE(IsRateSupported(true, 4.0f, 60, 30, 1, &nearest));
}
