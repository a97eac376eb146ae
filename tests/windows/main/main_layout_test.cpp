// The main window's geometry, resize arithmetic, detached map window placement, zoom steps,
// map-or-placeholder choice and the video context menu, against values worked out here from the
// design table (design value x layout scale, truncated; sums such as 2 x 6 truncated per term).
#include "windows/main/main_layout.h"
#include "windows/main/movie_menu.h"
#include "playback/player.h"
#include "shell/ui_text.h"

#include <gtest/gtest.h>

#include <optional>

using namespace ravir;

namespace {

struct Case {
    float scale;
    float factorX;
    float factorY;
};

void ExpectTableGeometry(const Case& c)
{
    const auto u = [&](double units) { return static_cast<int>(units * c.scale); };
    const int W = static_cast<int>(static_cast<float>(u(1120)) * c.factorX);
    const int H = static_cast<int>(static_cast<float>(u(697)) * c.factorY);
    const MainLayout l = ComputeMainLayout(W, H, c.scale);
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " factors " << c.factorX << " x "
                                    << c.factorY << " window " << W << " x " << H);

    const int vw = W - (u(6) + u(6)) - u(440) - (u(6) + u(6));
    const int vh = H - u(10) - u(38) - u(24) - u(150) - u(105);
    const int below = u(24) + vh;  // first row under the video surface
    EXPECT_EQ(l.caption, QRect(0, 0, W, u(24)));
    EXPECT_EQ(l.titleText, QRect(QPoint(u(10), u(4)), QPoint(u(400), u(30))));
    EXPECT_EQ(l.video, QRect(u(6), u(24), vw, vh));
    EXPECT_EQ(l.positionSlider, QRect(u(6), below, vw, u(10)));
    EXPECT_EQ(l.infoPanel, QRect(u(6) + 1, below + u(10), vw - 1, u(105)));
    const int graphTop = below + u(10) + u(105);
    EXPECT_EQ(l.graph, QRect(u(6) + 1, graphTop, vw - 1, H - u(42) - graphTop));
    EXPECT_EQ(l.fileBrowser,
              QRect(u(6) + vw, u(24) + u(1), u(440) + (u(6) + u(6)), H - u(42) - (u(24) + u(1))));
    for (int i = 0; i < kTransportButtonCount; ++i) {
        const int x = u(20 + i * 47) + (i >= 9 ? u(30) : 0);
        EXPECT_EQ(l.transport[static_cast<size_t>(i)], QRect(x, H - u(36), u(32), u(32)))
            << "button " << i;
    }
    EXPECT_EQ(l.volumeSlider, QRect(W - u(120), H - u(30), u(100), u(20)));
    EXPECT_EQ(l.closeButton, QRect(W - u(56), 0, u(46), u(18)));
    EXPECT_EQ(l.maximiseButton, QRect(W - u(82), 0, u(26), u(18)));
    EXPECT_EQ(l.minimiseButton, QRect(W - u(108), 0, u(26), u(18)));
    EXPECT_EQ(l.thumbnailButton, QRect(W - u(258), 0, u(150), u(18)));
    EXPECT_EQ(l.progressBarIdle, QRect(0, H - u(22), W, u(22)));
    EXPECT_EQ(l.progressBarBusy, QRect(u(6) + u(2), below - u(22), vw - (u(2) + u(2)), u(22) - u(2)));

    // The panes keep their sizes; the video surface takes what the factors add.
    const MainLayout design = ComputeMainLayout(u(1120), u(697), c.scale);
    EXPECT_EQ(l.fileBrowser.width(), design.fileBrowser.width());
    EXPECT_EQ(l.infoPanel.height(), design.infoPanel.height());
    EXPECT_EQ(l.video.width() - design.video.width(), W - u(1120));
    EXPECT_EQ(l.video.height() - design.video.height(), H - u(697));
}

}  // namespace

TEST(MainLayout, TableGeometryAtEveryScaleAndFactor)
{
    for (const float scale : {1.0f, 1.25f, 2.0f}) {
        for (const auto& [fx, fy] : {std::pair{1.0f, 1.0f}, {1.5f, 1.25f}, {2.4f, 1.1f}})
            ExpectTableGeometry({scale, fx, fy});
    }
    // The design values at scale 1.0 as the table gives them.
    const MainLayout l = ComputeMainLayout(1120, 697, 1.0f);
    EXPECT_EQ(l.video, QRect(6, 24, 656, 370));
    EXPECT_EQ(l.fileBrowser.right() + 1, 1120 - 6);
    EXPECT_EQ(l.transport[13].left(), 20 + 13 * 47 + 30);
    EXPECT_EQ(l.graph.bottom() + 1, 697 - 42);
    EXPECT_EQ(DesignSize(1.25f), QSize(1400, 871));
    EXPECT_EQ(DetachedWindowSize(1.0f), QSize(452, 368));
    EXPECT_EQ(DetachedWindowSize(2.0f), QSize(904, 736));
    EXPECT_EQ(DetachedMapArea(QSize(452, 368), 1.0f), QRect(1, 20, 450, 347));
}

TEST(MainLayout, MaximumEnlargementFollowsTheMonitorUpToTheCap)
{
    EXPECT_NEAR(MaxEnlargement(1366, 1.0f), 2732.0f / 1120.0f, 1e-5);
    EXPECT_FLOAT_EQ(MaxEnlargement(2560, 1.0f), 24.0f / 7.0f);
    EXPECT_NEAR(MaxEnlargement(1366, 1.25f), 2732.0f / 1400.0f, 1e-5);
    EXPECT_FLOAT_EQ(MaxEnlargement(1366, 0.0f), 24.0f / 7.0f);
}

TEST(MainLayout, BorderZonesCornersFirstCaptionBelowAndMaximisedAllCaption)
{
    const QSize client(1120, 697);
    struct Hit {
        QPoint p;
        int zone;
        Qt::CursorShape cursor;
    };
    for (const Hit& h : {Hit{{0, 0}, kZoneTopLeft, Qt::SizeFDiagCursor},
                         Hit{{1119, 5}, kZoneTopRight, Qt::SizeBDiagCursor},
                         Hit{{5, 696}, kZoneBottomLeft, Qt::SizeBDiagCursor},
                         Hit{{1114, 691}, kZoneBottomRight, Qt::SizeFDiagCursor},
                         Hit{{3, 300}, kZoneLeft, Qt::SizeHorCursor},
                         Hit{{1116, 300}, kZoneRight, Qt::SizeHorCursor},
                         Hit{{500, 2}, kZoneTop, Qt::SizeVerCursor},
                         Hit{{500, 694}, kZoneBottom, Qt::SizeVerCursor},
                         Hit{{500, 6}, kZoneCaption, Qt::ArrowCursor},
                         Hit{{500, 23}, kZoneCaption, Qt::ArrowCursor},
                         Hit{{500, 24}, kZoneNone, Qt::ArrowCursor},
                         Hit{{6, 300}, kZoneNone, Qt::ArrowCursor}}) {
        EXPECT_EQ(HitTestZone(h.p, client, 1.0f, false), h.zone) << h.p.x() << "," << h.p.y();
        EXPECT_EQ(CursorForZone(h.zone), h.cursor) << h.zone;
    }
    // Maximised: no border, the whole top strip moves nothing but maximises back.
    EXPECT_EQ(HitTestZone({0, 0}, client, 1.0f, true), kZoneCaption);
    EXPECT_EQ(HitTestZone({0, 300}, client, 1.0f, true), kZoneNone);
    // At scale 2 the border is 12 pixels.
    EXPECT_EQ(HitTestZone({11, 300}, {2240, 1394}, 2.0f, false), kZoneLeft);
    EXPECT_EQ(HitTestZone({12, 300}, {2240, 1394}, 2.0f, false), kZoneNone);
    EXPECT_EQ(EdgesForZone(kZoneTopLeft), Qt::TopEdge | Qt::LeftEdge);
    EXPECT_EQ(EdgesForZone(kZoneBottom), Qt::Edges(Qt::BottomEdge));
}

TEST(MainLayout, ResizeIsClampedBetweenDesignSizeAndMaximumKeepingTheOppositeEdges)
{
    const QRect start(100, 50, 1400, 900);
    const float maxE = MaxEnlargement(1366, 1.0f);  // 2.44
    // A corner dragged below the design size leaves the design size; the top-left stays.
    ClampedResize c = ClampResize(DraggedRect(start, kZoneBottomRight, {-600, -500}),
                                  kZoneBottomRight, 1.0f, maxE);
    EXPECT_EQ(c.rect, QRect(100, 50, 1120, 697));
    EXPECT_FLOAT_EQ(c.factorX, 1.0f);
    EXPECT_FLOAT_EQ(c.factorY, 1.0f);
    // The top-left corner dragged inwards: the bottom-right corner stays.
    c = ClampResize(DraggedRect(start, kZoneTopLeft, {700, 700}), kZoneTopLeft, 1.0f, maxE);
    EXPECT_EQ(c.rect.right(), start.right());
    EXPECT_EQ(c.rect.bottom(), start.bottom());
    EXPECT_EQ(c.rect.size(), QSize(1120, 697));
    // Dragged past the opposite edge: still the design size.
    c = ClampResize(DraggedRect(start, kZoneLeft, {3000, 0}), kZoneLeft, 1.0f, maxE);
    EXPECT_EQ(c.rect.size(), QSize(1120, 900));
    EXPECT_EQ(c.rect.right(), start.right());
    // Too large: the largest enlargement.
    c = ClampResize(DraggedRect(start, kZoneRight, {5000, 0}), kZoneRight, 1.0f, maxE);
    EXPECT_EQ(c.rect.left(), 100);
    EXPECT_EQ(c.rect.width(), static_cast<int>(1120.0f * maxE));
    EXPECT_FLOAT_EQ(c.factorX, maxE);
    // In between nothing moves, and the factors are the size over the design size.
    c = ClampResize(DraggedRect(start, kZoneBottom, {0, 100}), kZoneBottom, 1.0f, maxE);
    EXPECT_EQ(c.rect, QRect(100, 50, 1400, 1000));
    EXPECT_FLOAT_EQ(c.factorX, 1.25f);
    EXPECT_FLOAT_EQ(c.factorY, 1000.0f / 697.0f);
    // At scale 2 the minimum is 2240 x 1394.
    c = ClampResize(QRect(0, 0, 100, 100), kZoneBottomRight, 2.0f, 3.0f);
    EXPECT_EQ(c.rect.size(), QSize(2240, 1394));
}

TEST(MainLayout, DetachedWindowGoesBesideTheMainWindowAndStaysOnTheScreen)
{
    const QSize size(452, 368);
    const QRect avail(0, 0, 1920, 1056);
    EXPECT_EQ(PlaceDetachedWindow({100, 100, 1120, 697}, size, avail), QRect(1220, 100, 452, 368));
    EXPECT_EQ(PlaceDetachedWindow({700, 100, 1120, 697}, size, avail), QRect(248, 100, 452, 368));
    const QRect fill = PlaceDetachedWindow(avail, size, avail);
    EXPECT_TRUE(avail.contains(fill));
    EXPECT_EQ(fill.left(), avail.left());  // over the video, not over the title-bar buttons
    // Too little room on both sides: the roomier side, against the screen's edge.
    EXPECT_EQ(PlaceDetachedWindow({400, 100, 1145, 697}, size, avail), QRect(0, 100, 452, 368));
    EXPECT_EQ(PlaceDetachedWindow({300, 100, 1300, 697}, size, avail), QRect(1468, 100, 452, 368));
    // A second screen to the right counts as its own area only.
    EXPECT_EQ(PlaceDetachedWindow({2000, 50, 1120, 697}, size, {1920, 0, 2560, 1320}),
              QRect(3120, 50, 452, 368));
}

TEST(MainLayout, ZoomStepsKeepTheClickedPointAndResetPastThree)
{
    VideoZoom z;
    const QPoint click(200, 90);
    z = ZoomStep(z, click);
    EXPECT_FLOAT_EQ(z.magnification, 2.0f);
    EXPECT_EQ(z.offset, QPoint(200 - 400, 90 - 180));
    // The picture point under the cursor stays while the second step is taken elsewhere.
    const QPoint second(500, 300);
    const double beforeX = (second.x() - z.offset.x()) / 2.0;
    const double beforeY = (second.y() - z.offset.y()) / 2.0;
    z = ZoomStep(z, second);
    EXPECT_FLOAT_EQ(z.magnification, 3.0f);
    EXPECT_NEAR((second.x() - z.offset.x()) / 3.0, beforeX, 0.5);
    EXPECT_NEAR((second.y() - z.offset.y()) / 3.0, beforeY, 0.5);
    z = ZoomStep(z, second);
    EXPECT_FLOAT_EQ(z.magnification, 1.0f);
    EXPECT_EQ(z.offset, QPoint(0, 0));
}

TEST(MainLayout, MapOrPlaceholderAndTheParkingNames)
{
    EXPECT_TRUE(IsParkingRecordingName("P___-250101-120000-000001M.MOV"));
    EXPECT_TRUE(IsParkingRecordingName("NPT_-250101-120000-000001M.MOV"));
    EXPECT_FALSE(IsParkingRecordingName("AGT_-250101-120000-000001M.MOV"));
    EXPECT_FALSE(IsParkingRecordingName("T_T_-250101-120000-000001M.MOV"));
    EXPECT_FALSE(IsParkingRecordingName("M___-250101-120000-000001M.MOV"));
    EXPECT_FALSE(IsParkingRecordingName(""));

    MapShellInput in;
    in.hasPosition = true;
    in.pageReady = true;
    in.telemetrySize = 64;
    in.fileName = "A___-250101-120000-000001M.MOV";
    MapShellState s = DecideMapShell(in);
    EXPECT_TRUE(s.showMap);
    EXPECT_FALSE(s.showPlaceholder);
    in.telemetrySize = 63;
    s = DecideMapShell(in);
    EXPECT_FALSE(s.showMap);
    EXPECT_TRUE(s.showPlaceholder);
    EXPECT_FALSE(s.noInternetPicture);
    in.telemetrySize = 4096;
    in.fileName = "P___-250101-120000-000001M.MOV";
    EXPECT_TRUE(DecideMapShell(in).showPlaceholder);
    // Switched on, with a position, the page unavailable: the "no internet" picture.
    in.pageReady = false;
    in.pageUnavailable = true;
    in.mapSwitchedOn = true;
    s = DecideMapShell(in);
    EXPECT_TRUE(s.showPlaceholder);
    EXPECT_TRUE(s.noInternetPicture);
    in.hasPosition = false;
    EXPECT_FALSE(DecideMapShell(in).noInternetPicture);
    // Full screen hides both.
    in.fullScreen = true;
    s = DecideMapShell(in);
    EXPECT_FALSE(s.showMap);
    EXPECT_FALSE(s.showPlaceholder);
}

namespace {
using P = std::pair<std::optional<Command>, int>;
std::vector<P> Shape(const std::vector<MovieMenuItem>& items)
{
    std::vector<P> out;
    for (const MovieMenuItem& i : items)
        out.emplace_back(i.command, i.textId);
    return out;
}
const P kSep{std::nullopt, -1};
}  // namespace

TEST(MovieMenu, ItemsFollowThePlayStateRateAndFullScreen)
{
    const std::vector<P> closed{{Command::kSettings, TXT_SETTINGS_2}, kSep, {Command::kBrowse, TXT_BROWSE_2}};
    EXPECT_EQ(Shape(MovieMenuItems(kNoMovie, 1, false, true)), closed);
    EXPECT_EQ(Shape(MovieMenuItems(kNoMovie, 1, true, true)), closed);

    const std::vector<P> tail{kSep, {Command::kStillImage, TXT_STILL_IMAGE_2},
                              {Command::kReport, TXT_REPORT},
                              {Command::kEvidence, TXT_EVIDENCE},
                              {Command::kSwitchDisplay, TXT_SWITCH_DISPLAY},
                              {Command::kSettings, TXT_SETTINGS_2}, kSep, {Command::kBrowse, TXT_BROWSE_2}};
    std::vector<P> stopped{{Command::kPlay, TXT_PLAY_2}};
    stopped.insert(stopped.end(), tail.begin(), tail.end());
    EXPECT_EQ(Shape(MovieMenuItems(kStopped, 1, false, true)), stopped);

    EXPECT_EQ(Shape(MovieMenuItems(kPaused, 1, true, true)),
              (std::vector<P>{{Command::kPlay, TXT_PLAY_2}, {Command::kStop, TXT_STOP},
                              {Command::kSwitchDisplay, TXT_SWITCH_DISPLAY},
                              {Command::kAspect, TXT_FULLSCREEN_STRETCH}}));
    EXPECT_EQ(Shape(MovieMenuItems(kPaused, 1, true, false)).back(),
              P(Command::kAspect, TXT_FULLSCREEN_KEEP_ASPECT));

    const auto playing = MovieMenuItems(kPlaying, 1, false, true);
    ASSERT_GE(playing.size(), 4u);
    EXPECT_EQ(Shape(playing)[0], P(Command::kPlay, TXT_PAUSE_2));
    EXPECT_EQ(Shape(playing)[1], P(Command::kStop, TXT_STOP));
    EXPECT_EQ(Shape(playing)[2], P(Command::kFastForward, TXT_FAST_FORWARD_2));
    EXPECT_EQ(Shape(playing)[3], P(Command::kSlow, TXT_SLOW_2));
    EXPECT_EQ(playing.size(), 4 + tail.size());
    // Greyed: fast forward at rate code 2 or more, slow below 0.
    for (const auto& [rate, ff, slow] : {std::tuple{1, true, true}, {2, false, true},
                                         {3, false, true}, {0, true, true}, {-1, true, false}}) {
        const auto items = MovieMenuItems(kPlaying, rate, false, true);
        EXPECT_EQ(items[2].enabled, ff) << rate;
        EXPECT_EQ(items[3].enabled, slow) << rate;
    }
}
