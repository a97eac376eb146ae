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
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
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
    ASSERT_EQ(openAndWait(player_, other), kOpened);
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
    EXPECT_EQ(openAndWait(player_, text.fileName()), kOpenFailed);
    EXPECT_FALSE(player_.IsMp4File(text.fileName()));
    EXPECT_EQ(openAndWait(player_, out("missing.MOV")), kOpenFailed);

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
    EXPECT_EQ(openAndWait(player_, cut.fileName()), kOpenFailed);

    // A movie header followed by noise.
    QFile noise(out("noise.MOV"));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    noise.write(bytes.left(64));
    QByteArray junk(200000, 0);
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 7919) ^ (i >> 3));
    noise.write(junk);
    noise.close();
    EXPECT_EQ(openAndWait(player_, noise.fileName()), kOpenFailed);

    // Damaged sample data inside an intact index: the open and the seeks come back, the
    // player stays usable.
    QByteArray damaged = bytes;
    for (qsizetype i = 4096; i < damaged.size() * 3 / 4; i += 97)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
    QFile broken(out("broken.MOV"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(damaged);
    broken.close();
    if (openAndWait(player_, broken.fileName()) == kOpened) {
        player_.SeekFrame(60);
        player_.WaitSeekDone(3000);
        EXPECT_GE(player_.GetCurrentFrame(), 0);
    }
    // Sound only: no picture to show.
    const QString soundOnly = out("sound.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-y", "-loglevel", "error", "-i", movie, "-map", "0:a", "-c", "copy",
                            soundOnly});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_TRUE(player_.IsMp4File(soundOnly));
    EXPECT_EQ(openAndWait(player_, soundOnly), kOpenFailed);

    // And it still plays a good movie afterwards.
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    seekAndWait(player_, 10);
    EXPECT_EQ(stillOf(player_, "after.jpg"), 10);
}

TEST_F(PlayerTest, ExactSeeksShowThatFrame)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    ASSERT_EQ(last, 89);
    EXPECT_EQ(stillOf(player_, "first.jpg"), 0);
    // Start, middle, end, both sides of the key frames (every 30 frames), backwards jumps.
    for (int frame : {0, 1, 2, 3, 29, 30, 31, 45, 59, 60, 61, 88, last, 44, 15, 1, 0, 75}) {
        seekAndWait(player_, frame);
        EXPECT_EQ(player_.GetCurrentFrame(), frame);
        EXPECT_EQ(stillOf(player_, QString("f%1.jpg").arg(frame)), frame) << "frame " << frame;
        EXPECT_EQ(player_.state().playState, kStopped);
    }
    // Beyond the end and before the start land on the last and the first frame.
    seekAndWait(player_, last + 50);
    EXPECT_EQ(player_.GetCurrentFrame(), last);
    EXPECT_EQ(stillOf(player_, "beyond.jpg"), last);
    seekAndWait(player_, -5);
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
    ASSERT_EQ(openAndWait(player_, bframes), kOpened);
    EXPECT_EQ(player_.GetFrameCount(), 90);
    for (int frame : {0, 1, 23, 24, 25, 47, 48, 70, 89, 3}) {
        seekAndWait(player_, frame);
        EXPECT_EQ(player_.GetCurrentFrame(), frame);
        EXPECT_EQ(stillOf(player_, "b.jpg"), frame) << "frame " << frame;
    }

    ASSERT_EQ(openAndWait(player_, smallMovie("pb_2997fps_4s", 30000.0 / 1001.0, 4)), kOpened);
    EXPECT_NEAR(player_.GetFrameMs(), 1001.0 / 30.0, 0.001);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    EXPECT_EQ(last, 119);
    for (int frame : {0, 29, 30, 31, 60, 100, last}) {
        seekAndWait(player_, frame);
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
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    EXPECT_NEAR(player_.GetFrameMs(), 1000.0 / 15.0, 0.01);
    EXPECT_EQ(player_.GetFrameCount(), 60);
    seekAndWait(player_, 33);
    EXPECT_EQ(stillOf(player_, "sf.jpg"), 33);
}

TEST_F(PlayerTest, ReleasesEverythingItOpens)
{
    auto openFiles = [] { return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(); };
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    player_.CloseMovie();
    const auto before = openFiles();
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(openAndWait(player_, movie), kOpened);
        seekAndWait(player_, i * 10);
        player_.CloseMovie();
    }
    EXPECT_LE(openFiles(), before + 2);

    // Not initialised: nothing is a movie, nothing opens.
    Player idle;
    EXPECT_FALSE(idle.IsMp4File(movie));
    EXPECT_EQ(openAndWait(idle, movie), kOpenFailed);
    EXPECT_FALSE(idle.SetRate(2));
    EXPECT_EQ(idle.GetCurrentFrame(), -1);
    idle.SeekFrame(3);
    EXPECT_FALSE(idle.WaitSeekDone(100));
    EXPECT_FALSE(idle.WaitForReady(100));
    idle.Play();
    EXPECT_EQ(idle.state().playState, kNoMovie);
    EXPECT_FALSE(idle.SaveCurrentFrame(out("idle.jpg")));
}

TEST_F(PlayerTest, CurrentFrameFollowsPlayback)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
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
    ASSERT_TRUE(player_.WaitSeekDone(5000));
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
    seekAndWait(player_, 20);
    EXPECT_EQ(player_.state().playState, kPaused);
    spin(200);
    EXPECT_EQ(player_.GetCurrentFrame(), 20);
}

TEST_F(PlayerTest, RatesAndMuting)
{
    const QString movie = smallMovie("pb_30fps_10s", 30, 10);
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
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
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    const int last = static_cast<int>(player_.GetFrameCount()) - 1;
    int ended = 0;
    QObject::connect(&player_, &Player::presentationEnded, [&] { ++ended; });
    // Seeking to the last frame while stopped is not the end of the presentation.
    seekAndWait(player_, last);
    spin(400);
    EXPECT_EQ(ended, 0);

    seekAndWait(player_, last - 6);
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
    EXPECT_EQ(openAndWait(player_, smallMovie("pb_15fps_2s", 15, 2, 15)), kOpened);
    EXPECT_EQ(openAndWait(player_, smallMovie("pb_30fps_2s", 30, 2)), kTooShort);
    // The refused movie left the player as it was.
    EXPECT_EQ(player_.GetFrameCount(), 30);
    EXPECT_EQ(openAndWait(player_, smallMovie("pb_30fps_1s", 30, 1)), kTooShort);
}

TEST_F(PlayerTest, TwoCamerasSeekInStep)
{
    // The sub camera runs at another frame rate; the main window seeks it to
    // frame x (main frame duration / sub frame duration).
    Player sub;
    ASSERT_TRUE(sub.InitPlayer(1, nullptr, QString(), headless(), &player_));
    ASSERT_EQ(openAndWait(player_, smallMovie("pb_30fps_10s", 30, 10)), kOpened);
    ASSERT_EQ(openAndWait(sub, smallMovie("pb_15fps_10s", 15, 10, 15, 256, 144)), kOpened);
    EXPECT_EQ(sub.state().playState, kStopped);
    const double f = player_.GetFrameMs() / sub.GetFrameMs();
    for (int frame : {0, 31, 150, 151, 299, 77}) {
        const int subFrame = static_cast<int>(frame * f);
        seekAndWait(player_, frame);
        seekAndWait(sub, subFrame);
        EXPECT_EQ(stillOf(player_, "main.jpg"), frame);
        EXPECT_EQ(stillOf(sub, "sub.jpg"), subFrame);
        EXPECT_EQ(sub.GetCurrentFrame(), subFrame);
    }
    // Played together, they stay together. The sub camera is never heard, whatever volume the
    // window hands it.
    sub.SetVolume(65535);
    EXPECT_DOUBLE_EQ(sub.engineVolume(), 0.0);
    player_.Play();
    sub.Play();
    spin(800);
    player_.Pause();
    sub.Pause();
    const double mainMs = player_.GetCurrentFrame() * player_.GetFrameMs();
    const double subMs = sub.GetCurrentFrame() * sub.GetFrameMs();
    EXPECT_NEAR(mainMs, subMs, 150.0);
    ASSERT_TRUE(sub.SetRate(1));
    sub.SetVolume(40000);
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
    ASSERT_EQ(openAndWait(player_, smallMovie("pb_30fps_3s", 30, 3)), kOpened);
    seekAndWait(player_, 42);
    EXPECT_EQ(stillOf(player_, "hw.jpg"), 42);
}

// A movie whose exact seeks take a while: 720p with one key frame per 300 frames, so that a seek
// near the end decodes hundreds of frames.
QString slowSeekMovie() { return smallMovie("pb_720p_gop300_10s", 30, 10, 300, 1280, 720); }

// The player reports through the event loop: OpenMovie and SeekFrame return at once, the ready
// and seek notices come afterwards, in that order, and seeks asked for quickly one after another
// end in one notice for the last of them.
TEST_F(PlayerTest, OpenAndSeeksReturnBeforeTheEngineHasFinished)
{
    const QString movie = slowSeekMovie();
    std::vector<QString> events;
    QElapsedTimer t;
    QElapsedTimer sinceOpen;
    double readyMs = -1;
    QObject::connect(&player_, &Player::movieOpened, [&] {
        readyMs = sinceOpen.nsecsElapsed() / 1e6;
        events.push_back("opened");
    });
    QObject::connect(&player_, &Player::seekDone,
                     [&](int frame) { events.push_back(QString("seek %1").arg(frame)); });
    sinceOpen.start();
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    const double returnMs = sinceOpen.nsecsElapsed() / 1e6;
    // The facts from the boxes are there; the picture is not.
    EXPECT_FALSE(player_.IsReady());
    EXPECT_EQ(player_.GetFrameCount(), 300);
    EXPECT_EQ(player_.state().playState, kStopped);
    int w = 0, h = 0;
    EXPECT_FALSE(player_.GetVideoSize(w, h));
    // A seek during the load is made once the movie is ready.
    t.start();
    player_.SeekFrame(250);
    const double seekCallMs = t.nsecsElapsed() / 1e6;
    EXPECT_EQ(player_.PendingSeekFrame(), 250);
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }, 15000));
    EXPECT_EQ(events, (std::vector<QString>{"opened", "seek 250"}));
    EXPECT_TRUE(player_.IsReady());
    ASSERT_TRUE(player_.GetVideoSize(w, h));
    EXPECT_EQ(QSize(w, h), QSize(1280, 720));
    EXPECT_EQ(player_.PendingSeekFrame(), -1);
    EXPECT_EQ(stillOf(player_, "s250.jpg"), 250);

    // Four seeks at once: the first runs, the last replaces the two between; one notice.
    events.clear();
    QElapsedTimer s;
    s.start();
    for (int frame : {280, 10, 20, 299})
        player_.SeekFrame(frame);
    const double fourSeeksMs = s.nsecsElapsed() / 1e6;
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(player_.PendingSeekFrame(), 299);
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }, 15000));
    const qint64 landedMs = s.elapsed();
    spin(200);
    EXPECT_EQ(events, (std::vector<QString>{"seek 299"}));
    EXPECT_EQ(player_.GetCurrentFrame(), 299);
    EXPECT_EQ(stillOf(player_, "s299.jpg"), 299);
    std::printf("[ figures  ] OpenMovie returned in %.2f ms, movieOpened after %.1f ms; "
                "SeekFrame returned in %.2f ms; four SeekFrame calls %.2f ms, landed after %lld ms\n",
                returnMs, readyMs, seekCallMs, fourSeeksMs, static_cast<long long>(landedMs));
}

// Closing never waits for the engine, and a closed or replaced movie sends nothing afterwards.
TEST_F(PlayerTest, ClosingIsBoundedAndSilencesTheMovie)
{
    const QString movie = slowSeekMovie();
    int opened = 0, failed = 0, seeks = 0;
    QObject::connect(&player_, &Player::movieOpened, [&] { ++opened; });
    QObject::connect(&player_, &Player::openFailed, [&] { ++failed; });
    QObject::connect(&player_, &Player::seekDone, [&] { ++seeks; });
    constexpr qint64 kCloseBoundMs = 500;

    // Closed during the load.
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    QElapsedTimer t;
    t.start();
    player_.CloseMovie();
    EXPECT_LT(t.elapsed(), kCloseBoundMs);
    spin(1000);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(failed, 0) << "a close is no failure";
    EXPECT_FALSE(player_.WaitForReady(100));

    // Closed during a long seek.
    ASSERT_EQ(openAndWait(player_, movie), kOpened);
    spin(50);
    opened = 0;
    player_.SeekFrame(299);
    t.restart();
    player_.CloseMovie();
    EXPECT_LT(t.elapsed(), kCloseBoundMs);
    spin(1000);
    EXPECT_EQ(seeks, 0);
    EXPECT_EQ(player_.GetCurrentFrame(), -1);

    // One movie replaced by another before it was ready: one notice, for the second.
    const QString other = smallMovie("pb_15fps_4s", 15, 4, 15);
    ASSERT_EQ(player_.OpenMovie(movie), kOpened);
    ASSERT_EQ(player_.OpenMovie(other), kOpened);
    ASSERT_TRUE(waitUntil([&] { return opened > 0; }, 10000));
    spin(300);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(player_.GetFrameCount(), 60);
    seekAndWait(player_, 33);
    EXPECT_EQ(stillOf(player_, "other.jpg"), 33);
    EXPECT_EQ(failed, 0);
}

// A movie whose boxes are sound but whose picture the engine cannot decode: OpenMovie says 1,
// then openFailed arrives and the player is closed.
TEST_F(PlayerTest, AnUndecodablePictureEndsInOpenFailed)
{
    QFile source(smallMovie("pb_30fps_3s", 30, 3));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    ASSERT_GT(bytes.count("avc1"), 0);
    bytes.replace("avc1", "zzz1");
    QFile odd(out("odd_codec.MOV"));
    ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
    odd.write(bytes);
    odd.close();

    int opened = 0, failed = 0;
    QObject::connect(&player_, &Player::movieOpened, [&] { ++opened; });
    QObject::connect(&player_, &Player::openFailed, [&] { ++failed; });
    ASSERT_EQ(player_.OpenMovie(odd.fileName()), kOpened);
    EXPECT_EQ(failed, 0);
    ASSERT_TRUE(waitUntil([&] { return failed > 0; }, 10000));
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(player_.state().playState, kNoMovie);
    EXPECT_EQ(player_.GetFrameCount(), 0);
    EXPECT_FALSE(player_.WaitForReady(100));
    // And a good movie opens afterwards.
    ASSERT_EQ(openAndWait(player_, smallMovie("pb_30fps_3s", 30, 3)), kOpened);
}
