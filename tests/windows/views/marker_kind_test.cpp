// The marker-kind decision, the event points of a recording and the previous/next jump.
#include "windows/views/marker_kind.h"
#include "views_fixture.h"

namespace ravir {
namespace {

AccelSample Sample(int axis, int marker)
{
    AccelSample s;
    s.axisCode = axis;
    s.markerCode = marker;
    return s;
}

// A recording built in memory: one sample per frame with the given axis and marker codes.
RecordingTelemetry Recording(const std::vector<std::pair<int, int>>& codes)
{
    RecordingTelemetry t;
    for (size_t i = 0; i < codes.size(); ++i) {
        AccelSample s = Sample(codes[i].first, codes[i].second);
        s.index = static_cast<int>(i);
        s.time = static_cast<int>(i);
        t.accel.push_back(s);
        t.frameIndex.push_back(static_cast<int32_t>(i));
    }
    return t;
}

TEST(MarkerKind, ClassifiersAndFirstMatchWins)
{
    // kind -> (sample that matches, type); every other kind rejects that sample.
    const std::pair<AccelSample, int> cases[] = {
        {Sample(1, -1), 0}, {Sample(2, -1), 2}, {Sample(3, -1), 3},
        {Sample(0, 5), 5},  {Sample(0, 6), 6},  {Sample(0, 7), 7},
    };
    for (int kind = 0; kind < kMarkerKindCount; ++kind) {
        for (int other = 0; other < kMarkerKindCount; ++other) {
            const int expected = other == kind ? cases[kind].second : kNoMarker;
            EXPECT_EQ(ClassifyMarker(other, cases[kind].first), expected)
                << "sample of kind " << kind << " tried by kind " << other;
        }
    }
    EXPECT_EQ(ClassifyMarker(6, Sample(1, 5)), kNoMarker);
    EXPECT_EQ(ClassifyMarker(0, Sample(4, 8)), kNoMarker);

    // X axis and manual marker on one sample: kind 0 wins; with kind 0 hidden, kind 3 does.
    RecordingTelemetry t = Recording({{1, 5}});
    MarkerKinds kinds = DefaultMarkerKinds();
    MarkerHit hit = MarkerAt(t, 0, kinds, MarkerFlag::Graph);
    EXPECT_EQ(hit.kind, 0);
    EXPECT_EQ(hit.type, 0);
    EXPECT_TRUE(hit.isNew);
    SetKindShown(kinds, 0, false);
    hit = MarkerAt(t, 0, kinds, MarkerFlag::Graph);
    EXPECT_EQ(hit.kind, 3);
    EXPECT_EQ(hit.type, 5);
}

TEST(MarkerKind, MarkersStartRunsAndEventPointsFollowTheMapFlags)
{
    // Frames: X X . Y Y(+M) . M P P ※ ; an event that lasts from frame 0 gives a marker at 0.
    RecordingTelemetry t = Recording({{1, -1}, {1, -1}, {0, -1}, {2, -1}, {2, 5}, {0, -1},
                                      {0, 5}, {0, 7}, {0, 7}, {0, 6}});
    EXPECT_EQ(NewMarkerType(t, 0, 0), 0);
    EXPECT_EQ(NewMarkerType(t, 1, 0), kNoMarker);  // same run
    EXPECT_EQ(NewMarkerType(t, 3, 1), 2);
    EXPECT_EQ(NewMarkerType(t, 4, 3), 5);          // kind 3's own run starts at 4
    EXPECT_EQ(NewMarkerType(t, 99, 0), kNoMarker); // outside the index

    MarkerKinds kinds = DefaultMarkerKinds();
    auto frames = [&] {
        std::vector<std::pair<int, int>> out;  // (frame, type)
        for (const EventPoint& p : BuildEventPoints(t, kinds))
            out.emplace_back(p.frame, p.type);
        return out;
    };
    // Frame 4 is Y first (not new) and its M is not examined; frame 6 is M, new.
    EXPECT_EQ(frames(), (std::vector<std::pair<int, int>>{{0, 0}, {3, 2}, {6, 5}, {7, 7}, {9, 6}}));
    SetKindShown(kinds, KindForSettingsSwitch(1), false);  // parking off
    EXPECT_EQ(frames(), (std::vector<std::pair<int, int>>{{0, 0}, {3, 2}, {6, 5}, {9, 6}}));
    SetKindShown(kinds, 1, false);  // Y off: frame 4's M is now tried, and it is new there
    EXPECT_EQ(frames(), (std::vector<std::pair<int, int>>{{0, 0}, {4, 5}, {6, 5}, {9, 6}}));
    EXPECT_EQ(KindForSettingsSwitch(0), 4);
    EXPECT_EQ(KindForSettingsSwitch(2), -1);
    EXPECT_FALSE(SetKindShown(kinds, 6, false));
}

TEST(MarkerKind, JumpsFindTheNeighbourAndWrapAround)
{
    const std::vector<EventPoint> points = {
        {0, 0, 0, 10}, {1, 7, 5, 20}, {2, 5, 3, 30}, {3, 6, 4, 40}};
    MarkerKinds kinds = DefaultMarkerKinds();
    const int frames = 50;
    EXPECT_EQ(EventJumpFrame(points, kinds, 25, frames, true), 30);
    EXPECT_EQ(EventJumpFrame(points, kinds, 25, frames, false), 20);
    EXPECT_EQ(EventJumpFrame(points, kinds, 20, frames, true), 30);   // strictly after
    EXPECT_EQ(EventJumpFrame(points, kinds, 40, frames, true), 10);   // wraps to the first
    EXPECT_EQ(EventJumpFrame(points, kinds, 10, frames, false), 40);  // wraps to the last
    EXPECT_EQ(EventJumpFrame(points, kinds, 5, frames, false), 40);
    SetKindShown(kinds, 5, false);  // the P at 20 is skipped
    EXPECT_EQ(EventJumpFrame(points, kinds, 25, frames, false), 10);
    SetKindShown(kinds, 4, false);
    EXPECT_EQ(EventJumpFrame(points, kinds, 35, frames, true), 10);
    for (int k = 0; k < kMarkerKindCount; ++k)
        SetKindShown(kinds, k, false);
    EXPECT_EQ(EventJumpFrame(points, kinds, 25, frames, true), -1);
    EXPECT_EQ(EventJumpFrame({}, DefaultMarkerKinds(), 0, frames, false), -1);
}

TEST(MarkerKind, EventPointsOfADecodedTelemetryFile)
{
    std::vector<test::RecordFields> records = test::QuietRecords(30);
    records[4].axis = 'X';
    records[5].axis = 'X';
    records[12].marker75 = 'D';  // emergency stop (6), also over marker 72
    records[12].marker72 = 'D';
    records[20].marker76 = 'D';  // parking (7)
    records[25].marker72 = 'D';  // manual (5)
    records[25].axis = 'Z';      // Z first
    const TelemetrySnapshot t = test::MakeRecording(records, 40);
    std::vector<std::pair<int, int>> got;
    for (const EventPoint& p : BuildEventPoints(*t, DefaultMarkerKinds()))
        got.emplace_back(p.frame, p.type);
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{4, 0}, {12, 6}, {20, 7}, {25, 3}}));
}

}  // namespace
}  // namespace ravir
