// The telemetry slots of the players: loads sized to the main camera's frames, the move into the
// current reader, and freeing.
#include "container/mp4_box.h"
#include "container/telemetry.h"
#include "container/telemetry_timeline.h"
#include "playback/player.h"
#include "playback_fixture.h"

#include "samplecard/telemetry_block.h"

#include <QDir>
#include <QFile>

using namespace ravir;
using namespace ravir::test;

namespace {

// A recording in the recorder's layout: the 3-second sample movie with a telemetry file of 30
// records (10 a second) beside it.
QString recordingWithTelemetry(const QTemporaryDir& dir)
{
    QDir root(dir.path());
    root.mkpath("Normal");
    root.mkpath("_NData");
    const QString movie = root.filePath("Normal/N___-250314-120000-000100M.MOV");
    if (!QFile::copy(smallMovie("pb_30fps_3s", 30, 3), movie))
        return {};
    samples::TelemetryOptions t;
    t.records = 30;
    t.start = QDateTime(QDate(2025, 3, 14), QTime(12, 0));
    QFile ada(TelemetryFileForMovie(movie));
    if (!ada.fileName().endsWith("_NData/N___-250314-120000-000100D.ADA") ||
        !ada.open(QIODevice::WriteOnly))
        return {};
    ada.write(samples::MakeTelemetryBlock(t));
    return movie;
}

}  // namespace

TEST(PlayerTelemetry, LoadsForTheMainCamerasFramesAndFrees)
{
    playbackApp();
    QTemporaryDir dir;
    const QString movie = recordingWithTelemetry(dir);
    ASSERT_FALSE(movie.isEmpty());
    PlayerOptions o;
    o.audioOutput = "null";
    Player main;
    Player sub;
    ASSERT_TRUE(main.InitPlayer(0, nullptr, QString(), o));
    ASSERT_TRUE(sub.InitPlayer(1, nullptr, QString(), o, &main));
    // Without a movie there is no frame index.
    EXPECT_TRUE(main.LoadTelemetryForMovie(movie));
    EXPECT_TRUE(main.state().telemetry.load.frameIndex.empty());
    main.FreeTelemetry();

    ASSERT_EQ(main.OpenMovie(movie), kOpened);
    ASSERT_GT(main.GetFrameCount(), 0);
    EXPECT_EQ(main.frameCount(), main.GetFrameCount());
    EXPECT_EQ(sub.frameCount(), main.GetFrameCount()) << "the index follows the main camera";
    EXPECT_FLOAT_EQ(main.state().telemetry.load.frameMs, main.GetFrameMs());

    ASSERT_TRUE(main.LoadTelemetryForMovie(movie));
    TelemetrySlots& slots = main.state().telemetry;
    EXPECT_EQ(static_cast<long long>(slots.load.frameIndex.size()), main.GetFrameCount());
    EXPECT_FALSE(slots.load.accel.empty());
    {
        MovieDataLockAll lock(&main, &sub);
        EXPECT_TRUE(MoveReader(slots.load, slots.current));
        EXPECT_NE(slots.current.sampleAtFrame(main.GetFrameCount() - 1), nullptr);
    }
    // Opening a movie again starts with an empty current reader.
    ASSERT_EQ(main.OpenMovie(movie), kOpened);
    EXPECT_FALSE(slots.current.hasTelemetry());
    ASSERT_TRUE(main.LoadTelemetryForMovie(movie));
    main.FreeTelemetry();
    EXPECT_FALSE(slots.load.hasTelemetry());
    EXPECT_TRUE(slots.load.frameIndex.empty());

    main.ShutdownPlayer();
    EXPECT_EQ(main.state().initialised, 0);
    EXPECT_EQ(sub.frameCount(), 0);
    EXPECT_FALSE(main.LoadTelemetryForMovie(movie));
}
