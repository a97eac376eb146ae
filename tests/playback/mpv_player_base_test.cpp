// What the camera player and the hover preview share through MpvPlayerBase, checked on both:
// a movie the engine cannot show ends in one openFailed and a closed player, the load's time
// limit, and a close or shutdown while a load or a seek is pending neither hangs nor sends
// anything afterwards.
#include "playback/player.h"
#include "playback/preview_session.h"
#include "playback_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <memory>

using namespace ravir;
using namespace ravir::test;

namespace {

struct Notices {
    int ready = 0;
    int failed = 0;
    int seeks = 0;
};

// One kind of player behind the operations the tests need.
struct PlayerKind {
    const char* name;
    std::function<std::unique_ptr<MpvPlayerBase>(Notices&, const PlayerOptions&)> make;
    std::function<bool(MpvPlayerBase&, const QString&)> open;
    std::function<void(MpvPlayerBase&)> close;
    std::function<void(MpvPlayerBase&)> seekToEnd;
    std::function<bool(MpvPlayerBase&)> closed;
};

PlayerOptions headless()
{
    PlayerOptions o;
    o.audioOutput = "null";
    return o;
}

const PlayerKind kKinds[] = {
    {"camera player",
     [](Notices& n, const PlayerOptions& options) -> std::unique_ptr<MpvPlayerBase> {
         auto p = std::make_unique<Player>();
         EXPECT_TRUE(p->InitPlayer(0, nullptr, QString(), options));
         QObject::connect(p.get(), &Player::movieOpened, [&n] { ++n.ready; });
         QObject::connect(p.get(), &Player::seekDone, [&n] { ++n.seeks; });
         QObject::connect(p.get(), &Player::openFailed, [&n] { ++n.failed; });
         return p;
     },
     [](MpvPlayerBase& b, const QString& path) {
         return static_cast<Player&>(b).OpenMovie(path) == kOpened;
     },
     [](MpvPlayerBase& b) { static_cast<Player&>(b).CloseMovie(); },
     [](MpvPlayerBase& b) { static_cast<Player&>(b).SeekFrame(299); },
     [](MpvPlayerBase& b) {
         auto& p = static_cast<Player&>(b);
         return p.state().playState == kNoMovie && p.GetFrameCount() == 0 && !p.IsReady();
     }},
    {"hover preview",
     [](Notices& n, const PlayerOptions&) -> std::unique_ptr<MpvPlayerBase> {
         auto p = std::make_unique<CMFSession>(1.0);
         QObject::connect(p.get(), &CMFSession::ready, [&n] { ++n.ready; });
         QObject::connect(p.get(), &CMFSession::seekDone, [&n] { ++n.seeks; });
         QObject::connect(p.get(), &CMFSession::openFailed, [&n] { ++n.failed; });
         return p;
     },
     [](MpvPlayerBase& b, const QString& path) { return static_cast<CMFSession&>(b).Open(path); },
     [](MpvPlayerBase& b) { static_cast<CMFSession&>(b).Close(); },
     [](MpvPlayerBase& b) { static_cast<CMFSession&>(b).SeekToMs(9900); },
     [](MpvPlayerBase& b) {
         auto& p = static_cast<CMFSession&>(b);
         return p.flags() == 0 && p.DurationMs() == 0 && !p.IsReady();
     }},
};

// 720p with a key frame every 300 frames: loads and seeks take the engine a while.
QString slowMovie() { return smallMovie("pb_720p_gop300_10s", 30, 10, 300, 1280, 720); }

// A movie whose boxes are sound but whose picture the engine cannot decode.
QString undecodableMovie(const QTemporaryDir& dir)
{
    QFile source(smallMovie("pb_30fps_3s", 30, 3));
    EXPECT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    bytes.replace("avc1", "zzz1");
    QFile odd(dir.filePath("odd_codec.MOV"));
    EXPECT_TRUE(odd.open(QIODevice::WriteOnly));
    odd.write(bytes);
    return odd.fileName();
}

}  // namespace

// Both players take the same path from the engine's refusal to openFailed: sent once, the movie
// closed, no ready notice; the next good movie opens.
TEST(MpvPlayers, AnUndecodableMovieEndsInOneOpenFailedAndAClosedPlayer)
{
    playbackApp();
    QTemporaryDir dir;
    const QString odd = undecodableMovie(dir);
    for (const PlayerKind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Notices n;
        auto player = kind.make(n, headless());
        ASSERT_TRUE(kind.open(*player, odd)) << "the boxes are sound: the load starts";
        ASSERT_TRUE(waitUntil([&] { return n.failed > 0; }, 10000));
        spin(300);
        EXPECT_EQ(n.failed, 1);
        EXPECT_EQ(n.ready, 0);
        EXPECT_TRUE(kind.closed(*player));
        EXPECT_FALSE(player->WaitForReady(100));
        EXPECT_FALSE(player->WaitSeekDone(100));

        ASSERT_TRUE(kind.open(*player, smallMovie("pb_30fps_3s", 30, 3)));
        EXPECT_TRUE(waitUntil([&] { return n.ready == 1; }, 10000));
        EXPECT_EQ(n.failed, 1);
    }
}

// A load that is not ready within the open time limit fails and closes the movie; the engine
// itself stays usable.
TEST(MpvPlayers, ALoadPastItsTimeLimitFails)
{
    playbackApp();
    Notices n;
    PlayerOptions hasty = headless();
    hasty.openWaitMs = 1;
    auto player = kKinds[0].make(n, hasty);
    ASSERT_TRUE(kKinds[0].open(*player, slowMovie()));
    ASSERT_TRUE(waitUntil([&] { return n.failed > 0; }, 5000));
    spin(500);
    EXPECT_EQ(n.failed, 1);
    EXPECT_EQ(n.ready, 0) << "the engine's late ready belongs to a closed movie";
    EXPECT_TRUE(kKinds[0].closed(*player));

    ASSERT_TRUE(static_cast<Player&>(*player).InitPlayer(0, nullptr, QString(), headless()));
    EXPECT_EQ(openAndWait(static_cast<Player&>(*player), slowMovie()), kOpened);
}

// Closing or ending a player while its load or a seek is pending returns soon and leaves no
// notice behind; a player destroyed with work pending neither hangs nor crashes.
TEST(MpvPlayers, CloseOrShutdownWithWorkPendingIsBoundedAndSilent)
{
    playbackApp();
    constexpr qint64 kBoundMs = 3000;
    for (const PlayerKind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Notices n;
        auto player = kind.make(n, headless());
        QElapsedTimer t;

        // Closed during the load.
        ASSERT_TRUE(kind.open(*player, slowMovie()));
        kind.close(*player);
        spin(800);
        EXPECT_EQ(n.ready + n.failed + n.seeks, 0);
        EXPECT_TRUE(kind.closed(*player));

        // Destroyed during the load.
        ASSERT_TRUE(kind.open(*player, slowMovie()));
        t.start();
        player.reset();
        EXPECT_LT(t.elapsed(), kBoundMs);
        spin(300);
        EXPECT_EQ(n.ready + n.failed + n.seeks, 0);

        // Destroyed during a long seek.
        player = kind.make(n, headless());
        ASSERT_TRUE(kind.open(*player, slowMovie()));
        ASSERT_TRUE(player->WaitForReady(10000));
        spin(50);
        const int readyBefore = n.ready;
        kind.seekToEnd(*player);
        t.restart();
        player.reset();
        EXPECT_LT(t.elapsed(), kBoundMs);
        spin(300);
        EXPECT_EQ(n.seeks, 0);
        EXPECT_EQ(n.ready, readyBefore);
        EXPECT_EQ(n.failed, 0);
    }
}
