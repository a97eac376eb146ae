// The telemetry timeline data: frame index, links and the move between readers.
#include "container/telemetry_timeline.h"
#include "telemetry_block_writer.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ravir
