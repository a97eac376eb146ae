// The player operations over libmpv, headless: mpv's null video output for windowless players,
// the software renderer for players with a presenter.
#include "media_probe.h"
#include "playback/mpv_handle.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "playback_fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <atomic>
#include <memory>
#include <thread>

using namespace ravir;
using namespace ravir::test;

namespace {

PlayerOptions headless()
{
    PlayerOptions o;
    o.audioOutput = "null";
    return o;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        playbackApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(player_.InitPlayer(0, nullptr, QString(), headless()));
    }
    QString out(const QString& name) const { return dir_.filePath(name); }
    long stillOf(Player& p, const QString& name)
    {
        const QString path = out(name);
        if (!p.SaveCurrentFrame(path))
            return -2;
        return framePatternOfFile(path);
    }

    QTemporaryDir dir_;
    Player player_;
};

}  // namespace

TEST_F(PlayerTest, OpensAndClosesWithTheMovieFacts)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    int opened = 0;
    QObject::connect(&player_, &Player::movieOpened, [&] { ++opened; });
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    const ProbeFacts facts = probeVideo(movie);
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(player_.GetFrameCount(), facts.frames);
    EXPECT_NEAR(player_.GetFrameMs(), 1000.0 / 30.0, 0.01);
    int w = 0, h = 0;
    ASSERT_TRUE(player_.GetVideoSize(w, h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(player_.state().playState, kStopped);
    EXPECT_EQ(player_.GetCurrentFrame(), 0);
    EXPECT_EQ(opened, 0) << "the notification is posted, not sent during the call";
    EXPECT_TRUE(waitUntil([&] { return opened == 1; }, 2000));

    // A second movie replaces the first.
    const QString other = smallMovie("pb_15fps_4s", 15, 4, 15);
    ASSERT_EQ(player_.OpenMovie(other), kOpened);
    EXPECT_EQ(player_.GetFrameCount(), probeVideo(other).frames);
    EXPECT_NEAR(player_.GetFrameMs(), 1000.0 / 15.0, 0.01);

    player_.CloseMovie();
    EXPECT_EQ(player_.state().playState, kNoMovie);
    EXPECT_EQ(player_.GetFrameCount(), 0);
    EXPECT_EQ(player_.GetCurrentFrame(), -1);
    EXPECT_FALSE(player_.SaveCurrentFrame(out("none.jpg")));
    EXPECT_FALSE(player_.GetVideoSize(w, h));
    // Transport on a closed player does nothing.
    player_.Play();
    EXPECT_EQ(player_.state().playState, kNoMovie);
}

TEST_F(PlayerTest, RefusesWhatIsNotAPlayableMovie)
{
    QFile text(out("notes.MOV"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(1000, 'x'));
    text.close();
    EXPECT_EQ(player_.OpenMovie(text.fileName()), kOpenFailed);
    EXPECT_FALSE(player_.IsMp4File(text.fileName()));
    EXPECT_EQ(player_.OpenMovie(out("missing.MOV")), kOpenFailed);

    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QFile source(movie);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    // Cut before the end: the recorder's layout keeps the index boxes at the end, so they are
    // lost.
    QFile cut(out("cut.MOV"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    EXPECT_TRUE(player_.IsMp4File(cut.fileName()));
    EXPECT_EQ(player_.OpenMovie(cut.fileName()), kOpenFailed);

    // A movie header followed by noise.
    QFile noise(out("noise.MOV"));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    noise.write(bytes.left(64));
    QByteArray junk(200000, 0);
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 7919) ^ (i >> 3));
    noise.write(junk);
    noise.close();
    EXPECT_EQ(player_.OpenMovie(noise.fileName()), kOpenFailed);

    // Damaged sample data inside an intact index: the open and the seeks come back, the
    // player stays usable.
    QByteArray damaged = bytes;
    for (qsizetype i = 4096; i < damaged.size() * 3 / 4; i += 97)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
    QFile broken(out("broken.MOV"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(damaged);
    broken.close();
    if (player_.OpenMovie(broken.fileName()) == kOpened) {
        player_.SeekFrame(60);
        EXPECT_GE(player_.GetCurrentFrame(), 0);
    }
    // Sound only: no picture to show.
    const QString soundOnly = out("sound.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-y", "-loglevel", "error", "-i", movie, "-map", "0:a", "-c", "copy",
                            soundOnly});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_TRUE(player_.IsMp4File(soundOnly));
    EXPECT_EQ(player_.OpenMovie(soundOnly), kOpenFailed);

    // And it still plays a good movie afterwards.
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    player_.SeekFrame(10);
    EXPECT_EQ(stillOf(player_, "after.jpg"), 10);
}

TEST_F(PlayerTest, ExactSeeksShowThatFrame)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    ASSERT_EQ(last, 89);
    EXPECT_EQ(stillOf(player_, "first.jpg"), 0);
    // Start, middle, end, both sides of the key frames (every 30 frames), backwards jumps.
    for (int frame : {0, 1, 2, 3, 29, 30, 31, 45, 59, 60, 61, 88, last, 44, 15, 1, 0, 75}) {
        player_.SeekFrame(frame);
        EXPECT_EQ(player_.GetCurrentFrame(), frame);
        EXPECT_EQ(stillOf(player_, QString("f%1.jpg").arg(frame)), frame) << "frame " << frame;
        EXPECT_EQ(player_.state().playState, kStopped);
    }
    // Beyond the end and before the start land on the last and the first frame.
    player_.SeekFrame(last + 50);
    EXPECT_EQ(player_.GetCurrentFrame(), last);
    EXPECT_EQ(stillOf(player_, "beyond.jpg"), last);
    player_.SeekFrame(-5);
    EXPECT_EQ(stillOf(player_, "before.jpg"), 0);

    // The still is at the native size.
    ASSERT_TRUE(player_.SaveCurrentFrame(out("size.jpg")));
    EXPECT_EQ(QImage(out("size.jpg")).size(), QSize(320, 240));
}

// Frame-exact also with B-frames (reordered, with an edit list) and with a 1001-based rate.
TEST_F(PlayerTest, ExactSeeksWithBFramesAndNtscRate)
{
    const QString plain = smallMovie("pb_30fps_3s", 30, 3);
    const QString bframes = out("bframes.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-y", "-loglevel", "error", "-i", plain, "-c:v", "libx264", "-preset",
                            "veryfast", "-bf", "3", "-g", "24", "-c:a", "copy", bframes});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0);
    ASSERT_EQ(player_.OpenMovie(bframes), kOpened);
    EXPECT_EQ(player_.GetFrameCount(), 90);
    for (int frame : {0, 1, 23, 24, 25, 47, 48, 70, 89, 3}) {
        player_.SeekFrame(frame);
        EXPECT_EQ(player_.GetCurrentFrame(), frame);
        EXPECT_EQ(stillOf(player_, "b.jpg"), frame) << "frame " << frame;
    }

    ASSERT_EQ(player_.OpenMovie(smallMovie("pb_2997fps_4s", 30000.0 / 1001.0, 4)), kOpened);
    EXPECT_NEAR(player_.GetFrameMs(), 1001.0 / 30.0, 0.001);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    EXPECT_EQ(last, 119);
    for (int frame : {0, 29, 30, 31, 60, 100, last}) {
        player_.SeekFrame(frame);
        EXPECT_EQ(player_.GetCurrentFrame(), frame);
        EXPECT_EQ(stillOf(player_, "n.jpg"), frame) << "frame " << frame;
    }
}

// The sound track stored before the video track: the frame duration is still the video's.
TEST_F(PlayerTest, SoundStoredBeforeVideo)
{
    const QString movie = out("sound_first.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-y", "-loglevel", "error", "-i", smallMovie("pb_15fps_4s", 15, 4, 15),
                            "-map", "0:a", "-map", "0:v", "-c", "copy", movie});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    EXPECT_NEAR(player_.GetFrameMs(), 1000.0 / 15.0, 0.01);
    EXPECT_EQ(player_.GetFrameCount(), 60);
    player_.SeekFrame(33);
    EXPECT_EQ(stillOf(player_, "sf.jpg"), 33);
}

TEST_F(PlayerTest, ReleasesEverythingItOpens)
{
    auto openFiles = [] { return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(); };
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    player_.CloseMovie();
    const auto before = openFiles();
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(player_.OpenMovie(movie), kOpened);
        player_.SeekFrame(i * 10);
        player_.CloseMovie();
    }
    EXPECT_LE(openFiles(), before + 2);

    // Not initialised: nothing is a movie, nothing opens.
    Player idle;
    EXPECT_FALSE(idle.IsMp4File(movie));
    EXPECT_EQ(idle.OpenMovie(movie), kOpenFailed);
    EXPECT_FALSE(idle.SetRate(2));
    EXPECT_EQ(idle.GetCurrentFrame(), -1);
    idle.SeekFrame(3);
    idle.Play();
    EXPECT_EQ(idle.state().playState, kNoMovie);
    EXPECT_FALSE(idle.SaveCurrentFrame(out("idle.jpg")));
}

TEST_F(PlayerTest, CurrentFrameFollowsPlayback)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    // SeekPlaying is ignored unless playing.
    player_.SeekPlaying(40);
    EXPECT_EQ(player_.GetCurrentFrame(), 0);

    player_.Play();
    EXPECT_EQ(player_.state().playState, kPlaying);
    spin(400);
    const int a = player_.GetCurrentFrame();
    spin(300);
    const int b = player_.GetCurrentFrame();
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);

    player_.SeekPlaying(30);
    const int c = player_.GetCurrentFrame();
    EXPECT_GE(c, 30);
    EXPECT_LT(c, 45);
    EXPECT_EQ(player_.state().playState, kPlaying);

    player_.Pause();
    EXPECT_EQ(player_.state().playState, kPaused);
    spin(100);
    const int paused = player_.GetCurrentFrame();
    spin(200);
    EXPECT_EQ(player_.GetCurrentFrame(), paused);
    EXPECT_EQ(stillOf(player_, "paused.jpg"), paused);

    player_.Play();
    spin(150);
    player_.Stop();
    EXPECT_EQ(player_.state().playState, kStopped);
    const int stopped = player_.GetCurrentFrame();
    EXPECT_GE(stopped, paused);
    EXPECT_EQ(stillOf(player_, "stopped.jpg"), stopped);

    // A frame seek during playback leaves the player paused on that frame.
    player_.Play();
    spin(100);
    player_.SeekFrame(20);
    EXPECT_EQ(player_.state().playState, kPaused);
    spin(200);
    EXPECT_EQ(player_.GetCurrentFrame(), 20);
}

TEST_F(PlayerTest, RatesAndMuting)
{
    const QString movie = smallMovie("pb_30fps_10s", 30, 10);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    player_.SetVolume(65535);
    EXPECT_NEAR(player_.engineVolume(), 100.0, 0.01);
    player_.SetVolume(32768);
    EXPECT_NEAR(player_.engineVolume(), 50.0, 0.01);

    ASSERT_TRUE(player_.SetRate(2));
    EXPECT_EQ(player_.state().rateCode, 2);
    EXPECT_DOUBLE_EQ(player_.engineSpeed(), 2.0);
    EXPECT_DOUBLE_EQ(player_.engineVolume(), 0.0);
    // Volume changes while fast stay silent but are remembered.
    player_.SetVolume(65535);
    EXPECT_DOUBLE_EQ(player_.engineVolume(), 0.0);

    ASSERT_TRUE(player_.SetRate(1));
    EXPECT_NEAR(player_.engineVolume(), 100.0, 0.01);
    // The step below x1 is x0.5 (no backwards play); from there it returns to x1.
    ASSERT_TRUE(player_.SetRate(-1));
    EXPECT_EQ(player_.state().rateCode, -2);
    EXPECT_DOUBLE_EQ(player_.engineSpeed(), 0.5);
    EXPECT_DOUBLE_EQ(player_.engineVolume(), 0.0);
    ASSERT_TRUE(player_.SetRate(-1));
    EXPECT_EQ(player_.state().rateCode, 1);
    ASSERT_TRUE(player_.SetRate(-4));
    EXPECT_DOUBLE_EQ(player_.engineSpeed(), 0.25);
    EXPECT_DOUBLE_EQ(player_.engineVolume(), 0.0);
    ASSERT_TRUE(player_.SetRate(9));
    EXPECT_EQ(player_.state().rateCode, 1);
    EXPECT_NEAR(player_.engineVolume(), 100.0, 0.01);

    // At x4 the position keeps pace with four times the clock.
    ASSERT_TRUE(player_.SetRate(4));
    player_.Play();
    spin(100);
    const int start = player_.GetCurrentFrame();
    QElapsedTimer t;
    t.start();
    spin(1000);
    const double elapsedFrames = t.elapsed() / (1000.0 / 30.0);
    const int moved = player_.GetCurrentFrame() - start;
    player_.Pause();
    EXPECT_GT(moved, 2.5 * elapsedFrames) << "moved " << moved << " frames";
    EXPECT_LT(moved, 5.0 * elapsedFrames);
}

TEST_F(PlayerTest, EndNotificationKeepsTheLastFrame)
{
    const QString movie = smallMovie("pb_15fps_2s", 15, 2, 15);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    int ended = 0;
    QObject::connect(&player_, &Player::presentationEnded, [&] { ++ended; });
    // Seeking to the last frame while stopped is not the end of the presentation.
    player_.SeekFrame(last);
    spin(400);
    EXPECT_EQ(ended, 0);

    player_.SeekFrame(last - 6);
    QElapsedTimer t;
    t.start();
    player_.Play();
    ASSERT_TRUE(waitUntil([&] { return ended > 0; }, 5000));
    // Six frames at 15 per second, then the 200 ms grace.
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(player_.GetCurrentFrame(), last);
    EXPECT_EQ(stillOf(player_, "last.jpg"), last);
    spin(300);
    EXPECT_EQ(ended, 1);
}

TEST_F(PlayerTest, TooShortRule)
{
    EXPECT_EQ(player_.OpenMovie(smallMovie("pb_15fps_2s", 15, 2, 15)), kOpened);
    EXPECT_EQ(player_.OpenMovie(smallMovie("pb_30fps_2s", 30, 2)), kTooShort);
    // The refused movie left the player as it was.
    EXPECT_EQ(player_.GetFrameCount(), 30);
    EXPECT_EQ(player_.OpenMovie(smallMovie("pb_30fps_1s", 30, 1)), kTooShort);
}

TEST_F(PlayerTest, TwoCamerasSeekInStep)
{
    // The sub camera runs at another frame rate; the main window seeks it to
    // frame x (main frame duration / sub frame duration).
    Player sub;
    ASSERT_TRUE(sub.InitPlayer(1, nullptr, QString(), headless(), &player_));
    ASSERT_EQ(player_.OpenMovie(smallMovie("pb_30fps_10s", 30, 10)), kOpened);
    ASSERT_EQ(sub.OpenMovie(smallMovie("pb_15fps_10s", 15, 10, 15, 256, 144)), kOpened);
    EXPECT_EQ(sub.state().playState, kStopped);
    const double f = player_.GetFrameMs() / sub.GetFrameMs();
    for (int frame : {0, 31, 150, 151, 299, 77}) {
        const int subFrame = static_cast<int>(frame * f);
        player_.SeekFrame(frame);
        sub.SeekFrame(subFrame);
        EXPECT_EQ(stillOf(player_, "main.jpg"), frame);
        EXPECT_EQ(stillOf(sub, "sub.jpg"), subFrame);
        EXPECT_EQ(sub.GetCurrentFrame(), subFrame);
    }
    // Played together, they stay together.
    sub.SetVolume(0);
    player_.Play();
    sub.Play();
    spin(800);
    player_.Pause();
    sub.Pause();
    const double mainMs = player_.GetCurrentFrame() * player_.GetFrameMs();
    const double subMs = sub.GetCurrentFrame() * sub.GetFrameMs();
    EXPECT_NEAR(mainMs, subMs, 150.0);
    EXPECT_DOUBLE_EQ(sub.engineVolume(), 0.0);

    // Lock-all takes both movie-data locks, slot 0 first; another thread waits for them.
    auto lock = std::make_unique<MovieDataLockAll>(&player_, &sub);
    std::atomic<bool> got{false};
    std::thread other([&] {
        sub.lockMovieData();
        got = true;
        sub.unlockMovieData();
    });
    spin(50);
    EXPECT_FALSE(got.load());
    player_.lockMovieData();  // recursive
    player_.unlockMovieData();
    lock.reset();
    other.join();
    EXPECT_TRUE(got.load());
}

TEST_F(PlayerTest, HardwareDecodingSwitch)
{
    player_.SetHardwareDecode(1);
    EXPECT_EQ(player_.state().hardwareDecode, 1);
    EXPECT_EQ(player_.handle()->getString("hwdec").value_or(""), "auto-safe");
    player_.SetHardwareDecode(0);
    EXPECT_EQ(player_.handle()->getString("hwdec").value_or(""), "no");
    // Decoding still works either way.
    ASSERT_EQ(player_.OpenMovie(smallMovie("pb_30fps_3s", 30, 3)), kOpened);
    player_.SeekFrame(42);
    EXPECT_EQ(stillOf(player_, "hw.jpg"), 42);
}
