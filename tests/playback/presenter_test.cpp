// The presenter with mpv's software renderer on the offscreen platform: placement, repaint,
// rotation, overlay and the current image; and the hover preview player.
#include "playback/player.h"
#include "playback/mpv_handle.h"
#include "playback/preview_session.h"
#include "playback/video_presenter.h"
#include "playback_fixture.h"

#include <QPixmap>

using namespace ravir;
using namespace ravir::test;

namespace {

bool isOverlayGreen(QRgb p) { return qGreen(p) > 180 && qRed(p) < 90 && qBlue(p) < 90; }

int countGreen(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += isOverlayGreen(image.pixel(x, y)) ? 1 : 0;
    return n;
}

class PresenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        playbackApp();
        presenter_ = std::make_unique<VideoPresenter>(nullptr, VideoPresenter::Backend::Software);
        presenter_->resize(640, 360);
        PlayerOptions o;
        o.audioOutput = "null";
        ASSERT_TRUE(player_.InitPlayer(0, presenter_.get(), QString(), o));
        ASSERT_FALSE(presenter_->usesOpenGL());
        ASSERT_EQ(openAndWait(player_, smallMovie("pb_30fps_3s", 30, 3)), kOpened);
    }
    void TearDown() override { player_.ShutdownPlayer(); }

    long shownFrame()
    {
        QImage image;
        if (presenter_->GetCurrentImage(image) != PresenterStatus::Ok)
            return -2;
        return framePatternOf(image);
    }
    QImage screen() { return presenter_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<VideoPresenter> presenter_;
    Player player_;
};

}  // namespace

TEST_F(PresenterTest, PlacesDrawsAndRepaints)
{
    // 4:3 in 640 x 360 with the aspect kept: centred, one extra pixel at the bottom.
    EXPECT_EQ(player_.state().destination, (IntRect{80, 0, 560, 361}));
    EXPECT_TRUE(waitUntil([&] { return shownFrame() == 0; }, 2000));
    EXPECT_GT(presenter_->framesRendered(), 0);

    // When SeekFrame returns, the frame is on screen.
    for (int frame : {37, 5, 61, 37}) {
        seekAndWait(player_, frame);
        EXPECT_EQ(shownFrame(), frame);
    }
    QImage shot = screen();
    EXPECT_EQ(framePatternOf(shot.copy(80, 0, 480, 360)), 37);
    EXPECT_EQ(qGray(shot.pixel(20, 180)), 0) << "left strip is black";
    EXPECT_EQ(qGray(shot.pixel(620, 180)), 0) << "right strip is black";

    // Stretch fills the window.
    ASSERT_TRUE(player_.SetAspectMode(0));
    EXPECT_EQ(player_.state().destination, (IntRect{0, 0, 640, 360}));
    EXPECT_EQ(framePatternOf(screen()), 37);
    ASSERT_TRUE(player_.SetAspectMode(1));

    // Zoom 2 around the centre, then the aspect fit inside the zoomed rectangle.
    ASSERT_TRUE(player_.SetVideoRect(320, 180, 0, 0, 2.0f, true));
    EXPECT_EQ(player_.state().destination, (IntRect{-160, -180, 800, 541}));
    EXPECT_FALSE(player_.SetVideoRect(320, 180, 0, 0, 0.0f, true));
    ASSERT_TRUE(player_.SetVideoRect(0, 0, 0, 0, 1.0f, true));
    EXPECT_EQ(player_.state().destination, (IntRect{80, 0, 560, 361}));

    // A resized window is placed again by Relayout.
    presenter_->resize(400, 400);
    ASSERT_TRUE(player_.Relayout());
    EXPECT_EQ(player_.state().destination, (IntRect{0, 50, 400, 351}));
    EXPECT_EQ(framePatternOf(screen().copy(0, 50, 400, 300)), 37);

    QSize native;
    ASSERT_EQ(presenter_->GetNativeVideoSize(native), PresenterStatus::Ok);
    EXPECT_EQ(native, QSize(320, 240));
}

TEST_F(PresenterTest, RefusesInvalidVideoPositions)
{
    const IntRect ok{0, 0, 100, 100};
    EXPECT_EQ(presenter_->SetVideoPosition(NormRect{0, 0, 1.5, 1}, ok),
              PresenterStatus::InvalidArgument);
    EXPECT_EQ(presenter_->SetVideoPosition(NormRect{}, IntRect{50, 0, 10, 100}),
              PresenterStatus::InvalidArgument);
    EXPECT_EQ(presenter_->SetVideoPosition(NormRect{}, IntRect{0, 50, 100, 10}),
              PresenterStatus::InvalidArgument);
    // The refused calls left the position as it was.
    NormRect source;
    IntRect dest;
    ASSERT_EQ(presenter_->GetVideoPosition(source, dest), PresenterStatus::Ok);
    EXPECT_EQ(dest, (IntRect{80, 0, 560, 361}));
    // A source crop shows part of the picture.
    EXPECT_EQ(presenter_->SetVideoPosition(NormRect{0, 0, 0.5, 0.5}, ok), PresenterStatus::Ok);
    EXPECT_EQ(presenter_->RepaintVideo(), PresenterStatus::Ok);

    // Rate support: the bound with its sign, and refusals beyond it.
    float fastest = 0;
    ASSERT_EQ(presenter_->GetFastestRate(true, false, fastest), PresenterStatus::Ok);
    EXPECT_LT(fastest, 0.0f);
    EXPECT_EQ(presenter_->IsRateSupported(false, -fastest, nullptr), PresenterStatus::Ok);
    EXPECT_EQ(presenter_->IsRateSupported(true, 1000.0f, nullptr), PresenterStatus::Ok);

    VideoPresenter detached(nullptr, VideoPresenter::Backend::Software);
    EXPECT_EQ(detached.SetVideoPosition(NormRect{}, ok), PresenterStatus::ShutDown);
    EXPECT_EQ(detached.GetFastestRate(false, false, fastest), PresenterStatus::ShutDown);
    EXPECT_EQ(detached.IsRateSupported(false, 1.0f, nullptr), PresenterStatus::ShutDown);
}

TEST_F(PresenterTest, RotationTurnsThePictureInItsRectangle)
{
    seekAndWait(player_, 21);
    ASSERT_TRUE(waitUntil([&] { return shownFrame() == 21; }, 2000));
    ASSERT_TRUE(player_.SetRotate180(true));
    const QImage turned = screen().copy(80, 0, 480, 360);
    EXPECT_EQ(framePatternOf(turned), -1);
    EXPECT_EQ(framePatternOf(turned.mirrored(true, true)), 21);
    // Stills are never turned.
    const QString still = QDir::temp().filePath("ravir_rot_still.jpg");
    ASSERT_TRUE(player_.SaveCurrentFrame(still));
    EXPECT_EQ(framePatternOfFile(still), 21);
    QFile::remove(still);
    ASSERT_TRUE(player_.SetRotate180(false));
    EXPECT_EQ(framePatternOf(screen().copy(80, 0, 480, 360)), 21);
}

TEST_F(PresenterTest, OverlayTextIsShownButNotSaved)
{
    seekAndWait(player_, 12);
    ASSERT_TRUE(waitUntil([&] { return shownFrame() == 12; }, 2000));
    // A window smaller than the video: 240 x 180 shows the 320 x 240 picture at 3/4, and the
    // overlay takes the bottom right 3/4 x 3/4 of the picture.
    presenter_->resize(240, 180);
    ASSERT_TRUE(player_.Relayout());
    ASSERT_EQ(player_.state().destination, (IntRect{0, 0, 240, 181}));
    ASSERT_TRUE(player_.DrawOverlayText(QStringLiteral("速度 42")));
    const IntRect o = MapToDest(OverlayRect(240, 180, 320, 240, 1), player_.state().destination);
    EXPECT_EQ(o, (IntRect{60, 45, 240, 181}));
    const QRect overlayArea(o.left, o.top, o.width(), o.height() - 1);
    QImage shot = screen();
    EXPECT_GT(countGreen(shot, overlayArea), 100);
    EXPECT_EQ(countGreen(shot, QRect(0, 0, 240, 44)), 0);
    EXPECT_EQ(countGreen(shot, QRect(0, 0, 59, 180)), 0);

    const QString still = QDir::temp().filePath("ravir_overlay_still.jpg");
    ASSERT_TRUE(player_.SaveCurrentFrame(still));
    const QImage saved(still);
    EXPECT_EQ(saved.size(), QSize(320, 240));
    EXPECT_EQ(countGreen(saved.convertToFormat(QImage::Format_RGB32), saved.rect()), 0);
    EXPECT_EQ(framePatternOf(saved), 12);
    QFile::remove(still);

    // An empty text shows nothing; clearing removes the overlay.
    ASSERT_TRUE(player_.DrawOverlayText(QString()));
    EXPECT_EQ(countGreen(screen(), overlayArea), 0);
    ASSERT_TRUE(player_.DrawOverlayText(QStringLiteral("ABC")));
    player_.ClearOverlay();
    EXPECT_FALSE(presenter_->hasOverlay());
    EXPECT_EQ(countGreen(screen(), overlayArea), 0);
}

TEST(PreviewPlayer, PlaysTheVideoWithoutSoundAndClampsSeeks)
{
    playbackApp();
    CMFSession preview(1.0);
    EXPECT_EQ(preview.window()->size(), QSize(220, 123));
    EXPECT_FALSE(preview.Play(false)) << "nothing open";
    int ready = 0;
    QObject::connect(&preview, &CMFSession::ready, [&] { ++ready; });
    ASSERT_TRUE(preview.Open(smallMovie("pb_30fps_3s", 30, 3)));
    EXPECT_TRUE(preview.flags() & CMFSession::kOpen);
    // Open returned with the load under way: the size comes with the ready notice.
    EXPECT_FALSE(preview.IsReady());
    EXPECT_EQ(ready, 0);
    ASSERT_TRUE(waitUntil([&] { return ready == 1; }, 5000));
    EXPECT_TRUE(preview.IsReady());
    EXPECT_NEAR(preview.DurationMs(), 3000, 40);
    EXPECT_TRUE(preview.HasVideo());
    EXPECT_EQ(preview.handle()->getString("aid").value_or(""), "no") << "no sound is decoded";
    int w = 0, h = 0;
    ASSERT_TRUE(preview.GetNativeVideoSize(w, h));
    EXPECT_EQ(QSize(w, h), QSize(320, 240));
    EXPECT_TRUE(preview.SetVideoRect(nullptr, nullptr));

    // Seeks while stopped stay stopped and are clamped to [0, duration].
    ASSERT_TRUE(preview.SeekToMs(1000));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    EXPECT_NEAR(preview.Position100ns() / 10000.0, 1000, 1);
    EXPECT_FALSE(preview.IsPlaying());
    EXPECT_TRUE(preview.enginePaused());
    QImage image;
    EXPECT_TRUE(waitUntil([&] {
        return preview.window()->GetCurrentImage(image) == PresenterStatus::Ok &&
               framePatternOf(image) == 30;
    }, 2000));
    ASSERT_TRUE(preview.SeekToMs(999999));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    EXPECT_LE(preview.Position100ns(), preview.Duration100ns());
    EXPECT_GE(preview.Position100ns(), preview.Duration100ns() - 400000);
    ASSERT_TRUE(preview.SeekBackMs(999999));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    EXPECT_EQ(preview.Position100ns(), 0);
    EXPECT_TRUE(preview.enginePaused());
    // A relative seek counts from where a seek still under way goes, not from the old picture.
    spin(50);  // the notices of the seeks above
    int seeks = 0;
    QObject::connect(&preview, &CMFSession::seekDone, [&] { ++seeks; });
    ASSERT_TRUE(preview.SeekToMs(1000));
    ASSERT_TRUE(preview.SeekForwardMs(500));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    EXPECT_NEAR(preview.Position100ns() / 10000.0, 1500, 1);
    EXPECT_TRUE(waitUntil([&] { return seeks == 1; }, 2000));
    spin(100);
    EXPECT_EQ(seeks, 1) << "one notice for the seeks that ran together";

    // Play, pause (paused seeks stay paused), resume, stop.
    ASSERT_TRUE(preview.Play(false));
    EXPECT_TRUE(preview.IsPlaying());
    spin(200);
    ASSERT_TRUE(preview.TogglePause());
    EXPECT_TRUE(preview.flags() & CMFSession::kPausedFlag);
    ASSERT_TRUE(preview.SeekForwardMs(500));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    EXPECT_TRUE(preview.enginePaused());
    const int64_t pausedAt = preview.Position100ns();
    spin(200);
    EXPECT_EQ(preview.Position100ns(), pausedAt);
    ASSERT_TRUE(preview.Play(false)) << "play while paused does nothing more";
    EXPECT_TRUE(preview.enginePaused());
    ASSERT_TRUE(preview.TogglePause());
    EXPECT_FALSE(preview.enginePaused());
    EXPECT_TRUE(preview.SetRate(2.0));
    EXPECT_FALSE(preview.SetRate(-1.0));
    ASSERT_TRUE(preview.Stop());
    EXPECT_FALSE(preview.IsPlaying());
    EXPECT_TRUE(preview.enginePaused());

    ASSERT_TRUE(preview.Close());
    EXPECT_EQ(preview.flags(), 0u);
    EXPECT_FALSE(preview.SeekToMs(10));
}

TEST(PreviewPlayer, LoopsOrEndsAtTheEnd)
{
    playbackApp();
    CMFSession preview(1.0);
    ASSERT_TRUE(preview.Open(smallMovie("pb_15fps_2s", 15, 2, 15)));
    ASSERT_TRUE(preview.WaitForReady(5000));
    int ended = 0;
    QObject::connect(&preview, &CMFSession::presentationEnded, [&] { ++ended; });
    ASSERT_TRUE(preview.SeekToMs(1500));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    ASSERT_TRUE(preview.Play(true));
    spin(1200);
    EXPECT_TRUE(preview.IsPlaying());
    EXPECT_EQ(ended, 0);
    EXPECT_LT(preview.Position100ns(), 15000000) << "started again at the beginning";
    ASSERT_TRUE(preview.Stop());

    ASSERT_TRUE(preview.Open(smallMovie("pb_15fps_2s", 15, 2, 15)));
    ASSERT_TRUE(preview.WaitForReady(5000));
    ASSERT_TRUE(preview.SeekToMs(1600));
    ASSERT_TRUE(preview.WaitSeekDone(5000));
    ASSERT_TRUE(preview.Play(false));
    EXPECT_TRUE(waitUntil([&] { return ended > 0; }, 3000));
    EXPECT_FALSE(preview.IsPlaying());
}

TEST(PreviewPlayer, FailsOnADamagedMovie)
{
    playbackApp();
    CMFSession preview(1.0);
    QTemporaryDir dir;
    QFile f(dir.filePath("x.MOV"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\0\0\0\x20" "ftypqt  ", 12) + QByteArray(5000, '\x01'));
    f.close();
    EXPECT_FALSE(preview.Open(f.fileName()));
    EXPECT_EQ(preview.flags(), 0u);
    EXPECT_TRUE(preview.Open(smallMovie("pb_30fps_3s", 30, 3)));
    EXPECT_TRUE(preview.WaitForReady(5000));
}

TEST_F(PresenterTest, PlayerOutlivesItsPresenter)
{
    seekAndWait(player_, 8);
    presenter_.reset();
    EXPECT_EQ(player_.presenter(), nullptr);
    // Placement and overlay calls have nothing to draw on but do not fail the player.
    EXPECT_TRUE(player_.SetVideoRect(0, 0, 0, 0, 1.0f, true));
    EXPECT_TRUE(player_.DrawOverlayText(QStringLiteral("x")));
    player_.Repaint();
    seekAndWait(player_, 9);
    EXPECT_EQ(player_.GetCurrentFrame(), 9);
    player_.CloseMovie();
    EXPECT_EQ(player_.state().playState, kNoMovie);
}
