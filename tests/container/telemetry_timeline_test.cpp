// The telemetry timeline: frame index, links, reader slots, prefetch and the all-recordings
// track.
#include "catalogue/recording_name.h"
#include "container/find_mutex.h"
#include "container/telemetry_timeline.h"
#include "telemetry_block_writer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace ravir {
namespace {

using test::BlockBytes;
using test::BlockSpec;

constexpr double k30FpsMs = 1000.0 / 30.0;

// A reader holding n decoded records (10 per second).
void Fill(TelemetryReader& reader, int n)
{
    BlockSpec b;
    b.records = test::DriveRecords(n);
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
}

TEST(TelemetryFrameIndex, ThirtyFramesPerSecondTenSamples)
{
    TelemetryReader reader;
    Fill(reader, 10);
    ASSERT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(30, k30FpsMs)));
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(reader.accel[static_cast<size_t>(k)].time, 3 * k);
        EXPECT_EQ(reader.gps[static_cast<size_t>(k)].time, 3 * k);
    }
    ASSERT_EQ(reader.frameIndex.size(), 30u);
    // Sample 0 for frames 0 to 3, sample 1 for frames 4 to 6, ...: a sample becomes current at
    // the frame after its own.
    const std::vector<int32_t> expected = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4,
                                           4, 5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9};
    EXPECT_EQ(reader.frameIndex, expected);
    EXPECT_EQ(reader.sampleAtFrame(4), &reader.accel[1]);
    EXPECT_EQ(reader.sampleAtFrame(30), nullptr);
    EXPECT_EQ(reader.sampleAtFrame(-1), nullptr);
    EXPECT_FLOAT_EQ(reader.frameMs, static_cast<float>(k30FpsMs));

    // Building again (say the frame count became known later) does not convert twice.
    ASSERT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(60, k30FpsMs)));
    EXPECT_EQ(reader.accel[9].time, 27);
    ASSERT_EQ(reader.frameIndex.size(), 60u);
    // More frames than samples: the tail points at the last sample.
    for (size_t i = 30; i < 60; ++i)
        EXPECT_EQ(reader.frameIndex[i], 9) << i;
}

TEST(TelemetryFrameIndex, LinksAndLargestAcceleration)
{
    TelemetryReader reader;
    Fill(reader, 12);
    reader.accel[3].y = -1.75;  // the largest magnitude, negative
    reader.accel[5].z = 1.2;
    ASSERT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(40, k30FpsMs)));
    EXPECT_DOUBLE_EQ(reader.maxAbsAccel, 1.75);
    // One GPS and one acceleration sample per record: AccelSample j links GpsSample j - 4 from
    // j = 4 on (0 before), the last one a step further back.
    for (int j = 0; j < 12; ++j) {
        const int expected = j < 4 ? 0 : (j == 11 ? 6 : j - 4);
        EXPECT_EQ(reader.accel[static_cast<size_t>(j)].gpsLink, expected) << j;
    }
    for (int g = 0; g < 12; ++g)
        EXPECT_EQ(reader.gps[static_cast<size_t>(g)].accelLink, g) << g;
    EXPECT_EQ(reader.gpsOf(reader.accel[7]), &reader.gps[3]);

    // Acceleration samples without GPS: no links and a largest acceleration of 0.
    TelemetryReader noGps;
    Fill(noGps, 6);
    noGps.gps.clear();
    noGps.accel[2].x = 2.5;
    ASSERT_TRUE(BuildFrameIndex(noGps, PlainFrameFacts(20, k30FpsMs)));
    EXPECT_EQ(noGps.maxAbsAccel, 0.0);
    for (const AccelSample& a : noGps.accel)
        EXPECT_EQ(a.gpsLink, -1);
    EXPECT_EQ(noGps.frameIndex.size(), 20u);
}

TEST(TelemetryFrameIndex, MissingFramesOrDuration)
{
    TelemetryReader reader;
    Fill(reader, 5);
    // No frame duration: the times stay in ms and the index stays empty.
    EXPECT_FALSE(BuildFrameIndex(reader, PlainFrameFacts(30, 0.0)));
    EXPECT_TRUE(reader.frameIndex.empty());
    EXPECT_EQ(reader.accel[4].time, 400);
    EXPECT_FALSE(BuildFrameIndex(reader, PlainFrameFacts(0, k30FpsMs)));
    EXPECT_FALSE(BuildFrameIndex(reader, PlainFrameFacts(30, std::nan(""))));
    // A frame count no movie can have is refused instead of allocated.
    EXPECT_FALSE(BuildFrameIndex(reader, PlainFrameFacts(2147483647, k30FpsMs)));
    EXPECT_TRUE(reader.frameIndex.empty());
    EXPECT_EQ(reader.accel[4].time, 400);
    // A tiny frame duration saturates instead of overflowing.
    ASSERT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(3, 1e-30)));
    EXPECT_EQ(reader.accel[4].time, INT32_MAX);
    EXPECT_EQ(reader.frameIndex, (std::vector<int32_t>{0, 0, 0}));

    // No samples at all: the index is sized and empty.
    TelemetryReader empty;
    ASSERT_TRUE(BuildFrameIndex(empty, PlainFrameFacts(5, k30FpsMs)));
    EXPECT_EQ(empty.frameIndex, (std::vector<int32_t>(5, -1)));
}

TEST(TelemetryReaders, MoveReader)
{
    TelemetryReader source;
    TelemetryReader target;
    Fill(source, 4);
    source.path = "/card/_NData/x.ADA";
    source.frameMs = 40.0f;
    ASSERT_TRUE(BuildFrameIndex(source, PlainFrameFacts(10, 40.0)));
    source.loaded = true;
    Fill(target, 9);
    target.frameMs = 33.0f;
    ASSERT_TRUE(MoveReader(source, target));
    EXPECT_EQ(target.gps.size(), 4u);
    EXPECT_EQ(target.accel.size(), 4u);
    EXPECT_EQ(target.frameIndex.size(), 10u);
    EXPECT_EQ(target.sampleCount, 4);
    EXPECT_EQ(target.header.kind, 'M');
    EXPECT_EQ(target.path, "/card/_NData/x.ADA");
    EXPECT_TRUE(target.timesInFrames);
    EXPECT_EQ(target.frameMs, 33.0f);  // frame duration stays with its reader
    EXPECT_TRUE(source.gps.empty());
    EXPECT_TRUE(source.accel.empty());
    EXPECT_TRUE(source.frameIndex.empty());
    EXPECT_TRUE(source.path.isEmpty());
    EXPECT_EQ(source.sampleCount, 0);
    EXPECT_EQ(source.header.kind, 0);
    EXPECT_EQ(source.maxAbsAccel, 0.0);
    EXPECT_FALSE(source.loaded);
    EXPECT_EQ(source.frameMs, 40.0f);
    // Moving an empty reader empties the target and reports no GPS.
    EXPECT_FALSE(MoveReader(source, target));
    EXPECT_TRUE(target.gps.empty());
}

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
            BlockSpec b;
            b.records = test::DriveRecords(records);
            EXPECT_TRUE(test::WriteFile(TelemetryPathOf(path), BlockBytes(b)));
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
    ASSERT_TRUE(test::WriteFile(TelemetryPathOf(b), "not telemetry"));
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
    BlockSpec again;
    again.records = test::DriveRecords(7);
    ASSERT_TRUE(test::WriteFile(TelemetryPathOf(a), BlockBytes(again)));
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
}  // namespace ravir
