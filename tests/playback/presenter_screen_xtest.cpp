// What reaches the X screen: the presenter in a shown window, captured from the display server
// (not grabbed from the widget), under xvfb-run with Mesa's software OpenGL. The frame number
// the sample movie carries in its picture is read back from the capture.
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "playback_fixture.h"
#include "screen_capture.h"

#include <QGuiApplication>

using namespace ravir;
using namespace ravir::test;

namespace {

QApplication* screenApp()
{
    // The real display: this program runs under xvfb-run, never on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    return playbackApp();
}

// The frame shown in the widget's rectangle r (widget coordinates) of the captured screen.
long frameOnScreen(const QWidget& widget, const IntRect& r)
{
    const QImage screen = captureScreen();
    if (qEnvironmentVariableIsSet("RAVIR_SCREEN_SHOT"))
        screen.save(qEnvironmentVariable("RAVIR_SCREEN_SHOT"));
    if (screen.isNull())
        return -2;
    const QPoint origin = widget.mapToGlobal(QPoint(r.left, r.top));
    return framePatternOf(screen.copy(QRect(origin, QSize(r.width(), r.height() - 1))));
}

class PresenterScreen : public ::testing::TestWithParam<VideoPresenter::Backend> {
protected:
    void SetUp() override
    {
        screenApp();
        if (QGuiApplication::platformName() == QLatin1String("offscreen") ||
            !screenCaptureAvailable()) {
            // Under ctest (xvfb-run) the screen is required: a missing tool fails the test.
            if (qEnvironmentVariableIsSet("RAVIR_REQUIRE_SCREEN"))
                FAIL() << "no display or no ImageMagick import; see scripts/setup";
            GTEST_SKIP() << "needs a display and ImageMagick's import (run under xvfb-run)";
        }
        window_ = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        window_->setGeometry(20, 20, 640, 480);
        presenter_ = new VideoPresenter(window_.get(), GetParam());
        presenter_->setGeometry(0, 0, 640, 480);
        PlayerOptions o;
        o.audioOutput = "null";
        // As in the main window: the player is set up before its window is shown.
        ASSERT_TRUE(player_.InitPlayer(0, presenter_, QString(), o));
        ASSERT_EQ(openAndWait(player_, smallMovie("pb_30fps_3s", 30, 3)), kOpened);
        window_->show();
        ASSERT_TRUE(waitUntil([&] { return window_->isVisible(); }, 3000));
        spin(300);
    }
    void TearDown() override
    {
        player_.ShutdownPlayer();
        window_.reset();
    }

    // Waits until the screen shows that frame (the display needs a few paints to catch up).
    long awaitFrame(long want)
    {
        long got = -3;
        waitUntil([&] { return (got = frameOnScreen(*presenter_, player_.state().destination)) == want; },
                  4000);
        return got;
    }

    std::unique_ptr<QWidget> window_;
    VideoPresenter* presenter_ = nullptr;
    Player player_;
};

}  // namespace

TEST_P(PresenterScreen, SoughtAndPlayedFramesReachTheScreen)
{
    // Mesa's software OpenGL under the virtual display: the automatic presenter moves to
    // OpenGL once shown, and that is the path whose frames must reach the screen.
    if (GetParam() == VideoPresenter::Backend::Automatic)
        EXPECT_TRUE(waitUntil([&] { return presenter_->usesOpenGL(); }, 3000));
    else
        EXPECT_FALSE(presenter_->usesOpenGL());
    EXPECT_EQ(player_.state().destination, (IntRect{0, 0, 640, 481}));
    for (int frame : {52, 17}) {
        seekAndWait(player_, frame);
        EXPECT_EQ(awaitFrame(frame), frame) << "seek to " << frame;
    }
    // Playing moves the picture on screen too, and the frames painted onto the window are
    // counted among those drawn.
    const long long shownBefore = presenter_->framesShown();
    player_.Play();
    spin(600);
    player_.Pause();
    ASSERT_TRUE(waitUntil([&] { return player_.PendingSeekFrame() < 0; }, 2000));
    const int now = player_.GetCurrentFrame();
    EXPECT_GT(now, 17);
    EXPECT_EQ(awaitFrame(now), now);
    EXPECT_GT(presenter_->framesShown(), shownBefore);
    EXPECT_LE(presenter_->framesShown(), presenter_->framesRendered());
    // A window resized after the movie opened still shows it.
    window_->resize(480, 360);
    presenter_->setGeometry(0, 0, 480, 360);
    ASSERT_TRUE(player_.Relayout());
    seekAndWait(player_, 33);
    EXPECT_EQ(awaitFrame(33), 33);
}

// The OpenGL surface is a native window of its own: the screen shows its frames, and a picture
// of the widget taken with grab() (the report's picture of the window, --screenshot) shows the
// same frame, turned when the picture is.
TEST_P(PresenterScreen, GrabbedPictureShowsTheFrameOnScreen)
{
    EXPECT_EQ(presenter_->usesOpenGL(), GetParam() == VideoPresenter::Backend::Automatic);
    seekAndWait(player_, 52);
    EXPECT_EQ(awaitFrame(52), 52);
    QImage image;
    ASSERT_EQ(presenter_->GetCurrentImage(image), PresenterStatus::Ok);
    EXPECT_EQ(framePatternOf(image), 52);
    const auto grabbed = [&] { return presenter_->grab().toImage().copy(0, 0, 640, 480); };
    EXPECT_EQ(framePatternOf(grabbed()), 52);
    ASSERT_TRUE(player_.SetRotate180(true));
    long turned = -3;
    EXPECT_TRUE(waitUntil([&] { return (turned = framePatternOf(grabbed().mirrored(true, true))) == 52; }, 3000))
        << turned;
    const auto onScreenTurned = [&] {
        const QRect area(presenter_->mapToGlobal(QPoint(0, 0)), QSize(640, 480));
        return framePatternOf(captureScreen().copy(area).mirrored(true, true));
    };
    EXPECT_TRUE(waitUntil([&] { return (turned = onScreenTurned()) == 52; }, 4000)) << turned;
}

INSTANTIATE_TEST_SUITE_P(Backends, PresenterScreen,
                         ::testing::Values(VideoPresenter::Backend::Automatic,
                                           VideoPresenter::Backend::Software),
                         [](const ::testing::TestParamInfo<VideoPresenter::Backend>& p) {
                             return p.param == VideoPresenter::Backend::Software
                                        ? std::string("Software")
                                        : std::string("Automatic");
                         });

// The surface tests need the screen as the presenter tests do.
class DualSurfaceScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        screenApp();
        if (QGuiApplication::platformName() == QLatin1String("offscreen") || !screenCaptureAvailable()) {
            if (qEnvironmentVariableIsSet("RAVIR_REQUIRE_SCREEN"))
                FAIL() << "no display or no ImageMagick import; see scripts/setup";
            GTEST_SKIP() << "needs a display and ImageMagick's import (run under xvfb-run)";
        }
    }
};

// The three views of "switch display" as the screen shows them: the main camera, the sub
// camera, and the main camera with the sub camera's inset at the lower right.
TEST_F(DualSurfaceScreen, EachViewShowsItsCameraOnScreen)
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(20, 20, 720, 405);
    auto* surface = new DualVideoSurface(&window);
    surface->setGeometry(0, 0, 720, 405);
    Player main, sub;
    PlayerOptions o;
    o.audioOutput = "null";
    ASSERT_TRUE(main.InitPlayer(0, surface->mainPresenter(), QString(), o));
    ASSERT_TRUE(sub.InitPlayer(1, surface->subPresenter(), QString(), o, &main));
    surface->setPlayers(&main, &sub);
    ASSERT_EQ(openAndWait(main, smallMovie("screen_main", 30, 3, 30, 480, 270)), kOpened);
    ASSERT_EQ(openAndWait(sub, smallMovie("screen_sub", 30, 3, 30, 320, 180)), kOpened);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }, 3000));
    seekAndWait(main, 40);
    seekAndWait(sub, 12);

    // The frame shown in a rectangle of the surface, read from the captured screen.
    auto shownIn = [&](const QRect& area) {
        const QImage screen = captureScreen();
        return framePatternOf(screen.copy(QRect(surface->mapToGlobal(area.topLeft()), area.size())));
    };
    const QRect full(0, 0, 720, 405);
    long got = -3;
    EXPECT_TRUE(waitUntil([&] { return (got = shownIn(full)) == 40; }, 4000)) << got;

    ASSERT_EQ(surface->switchDisplay(), DisplayView::Sub);
    seekAndWait(sub, 13);
    EXPECT_TRUE(waitUntil([&] { return (got = shownIn(full)) == 13; }, 4000)) << got;

    ASSERT_EQ(surface->switchDisplay(), DisplayView::MainWithSubInset);
    const QRect inset = surface->subArea();
    EXPECT_EQ(inset, QRect(720 - 8 - 240, 405 - 8 - 135, 240, 135));
    EXPECT_TRUE(waitUntil([&] { return (got = shownIn(inset)) == 13; }, 4000)) << got;
    // The main picture's frame-number band is at its top, clear of the inset.
    EXPECT_TRUE(waitUntil([&] { return (got = shownIn(full)) == 40; }, 4000)) << got;
    if (qEnvironmentVariableIsSet("RAVIR_SCREEN_SHOT"))
        captureScreen().save(qEnvironmentVariable("RAVIR_SCREEN_SHOT"));

    ASSERT_EQ(surface->switchDisplay(), DisplayView::Main);
    seekAndWait(main, 41);
    EXPECT_TRUE(waitUntil([&] { return (got = shownIn(full)) == 41; }, 4000)) << got;
    sub.ShutdownPlayer();
    main.ShutdownPlayer();
}

// A widget made native alone (the main window's busy bar) shows above the cameras' native
// windows once raised, although it already is its parent's last child, and its plain siblings
// stay without native windows. The picture stays where its surface is when the surface lies
// inside another pane, as in the main window.
TEST_F(DualSurfaceScreen, ANativeSiblingRaisedCoversThePicture)
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(20, 20, 520, 320);
    auto* pane = new QWidget(&window);
    pane->setGeometry(12, 30, 480, 270);
    auto* surface = new DualVideoSurface(pane);
    surface->setGeometry(0, 0, 480, 270);
    auto* plain = new QWidget(&window);
    plain->setGeometry(0, 0, 10, 10);
    auto* bar = new QWidget(&window);
    bar->setAutoFillBackground(true);
    QPalette green = bar->palette();
    green.setColor(QPalette::Window, QColor(0, 255, 0));
    bar->setPalette(green);
    NativeWindowAlone(*bar);
    Player main;
    PlayerOptions o;
    o.audioOutput = "null";
    ASSERT_TRUE(main.InitPlayer(0, surface->mainPresenter(), QString(), o));
    surface->setPlayers(&main, nullptr);
    ASSERT_EQ(openAndWait(main, smallMovie("screen_main", 30, 3, 30, 480, 270)), kOpened);
    ASSERT_TRUE(surface->mainPresenter()->usesOpenGL());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }, 3000));
    seekAndWait(main, 40);
    // The pane moves after the window is shown, as the main window's panes do on a resize.
    pane->move(24, 40);
    const auto shownAt = [&](const QRect& area) {
        return framePatternOf(captureScreen().copy(QRect(surface->mapToGlobal(area.topLeft()), area.size())));
    };
    long got = -3;
    EXPECT_TRUE(waitUntil([&] { return (got = shownAt(QRect(0, 0, 480, 270))) == 40; }, 4000)) << got;

    const QRect band(24, 200, 480, 40);
    bar->setGeometry(band);
    bar->show();
    RaiseWithNativeWindow(*bar);
    auto greenShare = [&] {
        const QImage shot = captureScreen().copy(QRect(window.mapToGlobal(band.topLeft()), band.size()));
        int hits = 0;
        for (int y = 0; y < shot.height(); y += 4)
            for (int x = 0; x < shot.width(); x += 4)
                hits += shot.pixelColor(x, y) == QColor(0, 255, 0);
        return hits * 16.0 / (shot.width() * shot.height());
    };
    double share = 0;
    EXPECT_TRUE(waitUntil([&] { return (share = greenShare()) > 0.95; }, 4000)) << share;
    EXPECT_EQ(plain->internalWinId(), WId(0));
    EXPECT_NE(surface->mainPresenter()->internalWinId(), WId(0));
    main.ShutdownPlayer();
}
