// The telemetry slots of the players: loads sized to the main camera's frames, the move into the
// current reader, prefetch, freeing and the all-recordings track.
#include "catalogue/recording_name.h"
#include "container/find_mutex.h"
#include "container/telemetry.h"
#include "playback/player.h"
#include "playback/telemetry_slots.h"
#include "playback_fixture.h"

#include "samplecard/telemetry_block.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

using namespace ravir;
using namespace ravir::test;

namespace {

constexpr double k30FpsMs = 1000.0 / 30.0;

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A telemetry file of n records, 10 a second.
bool writeTelemetry(const QString& path, int records)
{
    samples::TelemetryOptions t;
    t.records = records;
    t.start = QDateTime(QDate(2025, 3, 14), QTime(9, 30));
    return writeBytes(path, samples::MakeTelemetryBlock(t));
}

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

    ASSERT_EQ(openAndWait(main, movie), kOpened);
    ASSERT_GT(main.GetFrameCount(), 0);
    EXPECT_EQ(main.frameFacts().frameCount(), main.GetFrameCount());
    EXPECT_EQ(sub.frameFacts().frameCount(), main.GetFrameCount()) << "the index follows the main camera";
    EXPECT_EQ(sub.frameFacts().frameMs(), sub.GetFrameMs()) << "timed by the camera's own movie";
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
    ASSERT_EQ(openAndWait(main, movie), kOpened);
    EXPECT_FALSE(slots.current.hasTelemetry());
    ASSERT_TRUE(main.LoadTelemetryForMovie(movie));
    main.FreeTelemetry();
    EXPECT_FALSE(slots.load.hasTelemetry());
    EXPECT_TRUE(slots.load.frameIndex.empty());

    main.ShutdownPlayer();
    EXPECT_EQ(main.state().initialised, 0);
    EXPECT_EQ(sub.frameFacts().frameCount(), 0);
    EXPECT_FALSE(main.LoadTelemetryForMovie(movie));
}

namespace {

// A card with movies in "Normal" and their telemetry in "_NData" (layout 0).
class TelemetrySlotsTest : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentLayoutIndex(0); }

    QString movie(int number, int records)
    {
        const QString name = QString("A___-250314-0930%1-%2M.MOV")
                                 .arg(number % 60, 2, 10, QChar('0'))
                                 .arg(number, 6, 10, QChar('0'));
        const QString path = dir.path() + "/Normal/" + name;
        if (records >= 0) {
            EXPECT_TRUE(writeTelemetry(TelemetryPathOf(path), records));
        }
        return path;
    }

    QTemporaryDir dir;
    TelemetrySlots slots;
    PlainFrameFacts facts{90, k30FpsMs};
};

TEST_F(TelemetrySlotsTest, LoadWithAndWithoutTelemetry)
{
    const QString a = movie(1, 30);
    ASSERT_TRUE(LoadTelemetryForMovie(slots, a, facts));
    EXPECT_TRUE(slots.load.loaded);
    EXPECT_EQ(slots.load.gps.size(), 30u);
    EXPECT_EQ(slots.load.frameIndex.size(), 90u);
    EXPECT_EQ(slots.load.path, TelemetryPathOf(a));
    EXPECT_TRUE(MoveReader(slots.load, slots.current));
    EXPECT_EQ(slots.current.accel[29].time, 87);

    // No telemetry file: true, empty lists, the index still sized with null entries.
    const QString b = movie(2, -1);
    ASSERT_TRUE(LoadTelemetryForMovie(slots, b, facts));
    EXPECT_TRUE(slots.load.gps.empty());
    EXPECT_EQ(slots.load.frameIndex, std::vector<int32_t>(90, -1));
    // A file without the magic counts as none.
    ASSERT_TRUE(writeBytes(TelemetryPathOf(b), "not telemetry"));
    ASSERT_TRUE(LoadTelemetryForMovie(slots, b, facts));
    EXPECT_TRUE(slots.load.gps.empty());

    FreeTelemetry(slots);
    EXPECT_TRUE(slots.current.gps.empty());
    EXPECT_TRUE(slots.load.frameIndex.empty());
}

TEST_F(TelemetrySlotsTest, PrefetchedTelemetryIsMovedNotReread)
{
    const QString a = movie(3, 20);
    const QString b = movie(4, 25);
    ASSERT_TRUE(PrefetchTelemetry(slots, a));
    EXPECT_TRUE(slots.prefetch.loaded);
    EXPECT_EQ(slots.prefetch.prefetchMoviePath, a);
    EXPECT_EQ(slots.prefetch.active.load(), 0);

    // The file is gone: the load can only have taken the prefetched lists.
    ASSERT_TRUE(QFile::remove(TelemetryPathOf(a)));
    ASSERT_TRUE(LoadTelemetryForMovie(slots, a, facts));
    EXPECT_EQ(slots.load.gps.size(), 20u);
    EXPECT_EQ(slots.load.frameIndex.size(), 90u);
    EXPECT_TRUE(slots.prefetch.gps.empty());
    EXPECT_FALSE(slots.prefetch.loaded);

    // Loading the same movie again reads the file (gone now) instead of the emptied prefetch.
    ASSERT_TRUE(writeTelemetry(TelemetryPathOf(a), 7));
    ASSERT_TRUE(LoadTelemetryForMovie(slots, a, facts));
    EXPECT_EQ(slots.load.gps.size(), 7u);

    // A load of another movie drops the prefetch and reads its own file.
    ASSERT_TRUE(PrefetchTelemetry(slots, a));
    ASSERT_TRUE(LoadTelemetryForMovie(slots, b, facts));
    EXPECT_EQ(slots.load.gps.size(), 25u);
    EXPECT_FALSE(slots.prefetch.loaded);
    EXPECT_TRUE(slots.prefetch.gps.empty());
}

TEST_F(TelemetrySlotsTest, PrefetchResults)
{
    const QString a = movie(5, 10);
    EXPECT_FALSE(PrefetchTelemetry(slots, movie(6, -1)));  // no telemetry file
    EXPECT_FALSE(slots.prefetch.loaded);
    ASSERT_TRUE(PrefetchTelemetry(slots, a));
    EXPECT_TRUE(PrefetchTelemetry(slots, QString()));  // only cancels and clears
    EXPECT_FALSE(slots.prefetch.loaded);
    EXPECT_TRUE(slots.prefetch.gps.empty());
    slots.initialised = false;
    EXPECT_FALSE(PrefetchTelemetry(slots, a));
    slots.initialised = true;

    StartPrefetch(slots, a);
    StopPrefetch(slots);  // waits for the worker
    EXPECT_GE(slots.lastPrefetchResult.load(), 0);
    StartPrefetch(slots, a);
    StartPrefetch(slots, a);  // replaces the first worker
    StopPrefetch(slots);
    // Whether the last run finished or was cancelled, the slot is consistent.
    EXPECT_EQ(slots.prefetch.loaded, slots.lastPrefetchResult.load() == 1);
    EXPECT_EQ(slots.prefetch.active.load(), 0);
}

TEST_F(TelemetrySlotsTest, LoadOfAnotherMovieCancelsARunningPrefetch)
{
    const QString a = movie(7, 40);
    const QString b = movie(8, 15);
    // Hold the scan lock so that the prefetch stops right before its scan.
    std::unique_lock<std::mutex> scans(FindMutex());
    StartPrefetch(slots, a);
    while (slots.prefetch.active.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The load runs on its own thread: it sets the prefetch's cancel flag and waits for it.
    bool loaded = false;
    std::thread loader([&] { loaded = LoadTelemetryForMovie(slots, b, facts); });
    while (slots.prefetch.cancel.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    scans.unlock();
    loader.join();
    StopPrefetch(slots);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(slots.lastPrefetchResult.load(), 0);  // cancelled
    EXPECT_FALSE(slots.prefetch.loaded);
    EXPECT_EQ(slots.load.gps.size(), 15u);
    EXPECT_EQ(slots.load.path, TelemetryPathOf(b));
}

TEST_F(TelemetrySlotsTest, LoadOfTheSameMovieWaitsForItsPrefetch)
{
    const QString a = movie(9, 40);
    std::unique_lock<std::mutex> scans(FindMutex());
    StartPrefetch(slots, a);
    while (slots.prefetch.active.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bool loaded = false;
    std::thread loader([&] { loaded = LoadTelemetryForMovie(slots, a, facts); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(slots.prefetch.cancel.load(), 0);  // not cancelled: the load waits for it
    scans.unlock();
    loader.join();
    StopPrefetch(slots);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(slots.lastPrefetchResult.load(), 1);
    EXPECT_EQ(slots.load.gps.size(), 40u);
    EXPECT_TRUE(slots.prefetch.gps.empty());  // moved
}

TEST_F(TelemetrySlotsTest, AllRecordingsTrack)
{
    const QString a = movie(10, 12);
    const QString b = movie(11, 8);
    const QString none = movie(12, -1);
    const QString c = movie(13, 5);
    ASSERT_TRUE(BuildAllRecordingsTrack(slots, {a, b}));
    ASSERT_EQ(slots.allRecordingsTrack.size(), 20u);
    EXPECT_EQ(slots.allRecordingsTrack[12].index, 0);  // restarts per recording
    EXPECT_EQ(slots.allRecordingsTrack[12].time, 0);
    EXPECT_EQ(slots.allRecordingsTrack[19].time, 700);
    // The walk stops at the first recording without telemetry and keeps what came before.
    EXPECT_FALSE(BuildAllRecordingsTrack(slots, {b, none, c}));
    EXPECT_EQ(slots.allRecordingsTrack.size(), 8u);
    ASSERT_TRUE(BuildAllRecordingsTrack(slots, {}));
    EXPECT_TRUE(slots.allRecordingsTrack.empty());
}

}  // namespace
