// The map host's side of the page contract as plain functions: GPS arrays, the update message,
// the reload scripts, the page-argument checks and the event-point builder.
#include "windows/map/web/map_event_points.h"
#include "windows/map/map_messages.h"

#include "shell/ui_text.h"
#include "../views/views_fixture.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <cmath>
#include <limits>

namespace ravir::map {
namespace {

GpsSample fix(int valid, double lat, double lng, int time)
{
    GpsSample g;
    g.valid = valid;
    g.latitude = lat;
    g.longitude = lng;
    g.time = time;
    g.speed = 42.5;
    return g;
}

TEST(MapMessages, GpsArrayHoldsValidTriplesAndTheirCount)
{
    const std::vector<GpsSample> samples{fix(1, 35.5, 139.25, 0), fix(0, 1, 2, 3),
                                         fix(1, 35.6, 139.26, 30), fix(0, 4, 5, 6),
                                         fix(1, -33.9, -70.7, 60)};
    const QJsonArray a = gpsArray(samples);
    ASSERT_EQ(a.size(), 10);
    EXPECT_EQ(a[9].toInt(), 9);
    EXPECT_EQ(a[0].toDouble(), 35.5);
    EXPECT_EQ(a[4].toDouble(), 139.26);
    EXPECT_EQ(a[5].toInt(), 30);
    EXPECT_EQ(a[6].toDouble(), -33.9);
    // Without telemetry: the lone count.
    EXPECT_EQ(QJsonDocument(gpsArray({})).toJson(QJsonDocument::Compact), "[0]");
    EXPECT_TRUE(hasGpsFix(samples));
    EXPECT_FALSE(hasGpsFix({fix(0, 35, 139, 0), fix(1, 0, 0, 1), fix(1, 720, 720, 2)}));
}

TEST(MapMessages, UpdateMessageIsExactInFormAndKeyOrder)
{
    EXPECT_EQ(updateMessage(35.5, 139.25, PlayStatus::Paused),
              "{\"map_lat\":\"35.500000\",\"map_lng\":\"139.250000\",\"map_status\":\"pause\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    EXPECT_EQ(updateMessage(-1.0, std::nan(""), PlayStatus::Playing),
              "{\"map_lat\":\"-1.000000\",\"map_lng\":\"0.000000\",\"map_status\":\"\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    EXPECT_TRUE(updateMessage(0, 0, PlayStatus::Stopped).contains("\"map_status\":\"stop\""));
}

TEST(MapMessages, ReloadScriptsAndMarkNames)
{
    EXPECT_EQ(reloadTrackScripts(3, true),
              QStringList({"cplist.ClearCrashPos()", "orbitgrplist.RemoveLineList()",
                           "orbitgrplist.CreateLine()", "orbitgrplist.CreateGridLine(3)"}));
    EXPECT_EQ(reloadTrackScripts(0, false).size(), 3);
    EXPECT_EQ(markName(0), text(TXT_SUDDEN_ACCEL));
    EXPECT_EQ(markName(3), text(TXT_SUDDEN_DESCENT));
    EXPECT_EQ(markName(7), text(TXT_PARKING_MONITOR));
    EXPECT_EQ(markName(9), "");
    EXPECT_EQ(markName(-1), "");
}

TEST(MapMessages, PageArgumentsAreChecked)
{
    EXPECT_EQ(pageInt(QVariant(12.0)), 12);
    EXPECT_EQ(pageInt(QVariant(-3)), -3);
    EXPECT_FALSE(pageInt(QVariant(1.5)));
    EXPECT_FALSE(pageInt(QVariant(1e12)));
    EXPECT_FALSE(pageInt(QVariant(QStringLiteral("7"))));
    EXPECT_FALSE(pageInt(QVariant()));
    EXPECT_FALSE(pageDouble(QVariant(std::numeric_limits<double>::infinity())));
    EXPECT_EQ(pageDouble(QVariant(35.25)), 35.25);

    const QVariantList good{0, 2, 120.0, 1, 35.5, 139.0, 40.0, 0.0};
    EXPECT_EQ(clickedFrame(good), 120);
    QVariantList bad = good;
    bad[2] = -5;
    EXPECT_FALSE(clickedFrame(bad));  // no negative frame
    bad = good;
    bad[5] = QStringLiteral("139");
    EXPECT_FALSE(clickedFrame(bad));  // text where a number belongs
    bad = good;
    bad.removeLast();
    EXPECT_FALSE(clickedFrame(bad));  // seven values
}

// Classifier of the tests: kind 0 gives type 1 while x < -0.5, kind 5 gives type 5 for the
// manual marker code.
int classify(const AccelSample& s, int kind)
{
    if (kind == 0)
        return s.x < -0.5 ? 1 : -1;
    if (kind == 5)
        return s.markerCode == 5 ? 5 : -1;
    return -1;
}

AccelSample accel(int index, double x, int marker, int gpsLink)
{
    AccelSample a;
    a.index = index;
    a.x = x;
    a.y = 0.25;
    a.z = -1.0;
    a.markerCode = marker;
    a.time = index * 3;
    a.gpsLink = gpsLink;
    return a;
}

TEST(MapEventPoints, NewMarkersOnlyAtTheStartOfEachRunAndTheFirstKindDecides)
{
    // Samples: 0 calm, 1-2 braking, 3 calm, 4 braking + manual (kind 0 decides), 5 manual only.
    const std::vector<AccelSample> a{accel(0, 0, -1, 0),  accel(1, -0.8, -1, 1),
                                     accel(2, -0.9, -1, 2), accel(3, 0, -1, 3),
                                     accel(4, -0.7, 5, 4),  accel(5, 0, 5, 5)};
    // Two frames per sample, and one frame without a sample.
    const std::vector<int32_t> frames{0, 0, 1, 1, 2, 2, 3, -1, 4, 4, 5, 5};
    KindFlags all{};
    all.fill(true);
    const std::vector<EventPoint> points = buildEventPoints(frames, a, all, classify);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].position, 2);
    EXPECT_EQ(points[0].type, 1);
    EXPECT_EQ(points[0].sampleIndex, 1);
    // Position 8: braking and manual together; kind 0 comes first and decides. At 10 the manual
    // marker goes on, so it is not new there and gives no point.
    EXPECT_EQ(points[1].position, 8);
    EXPECT_EQ(points[1].kind, 0);
    EXPECT_EQ(points[1].sample.x, -0.7);

    KindFlags onlyManual{};
    onlyManual[5] = true;
    const std::vector<EventPoint> manual = buildEventPoints(frames, a, onlyManual, classify);
    ASSERT_EQ(manual.size(), 1u);
    EXPECT_EQ(manual[0].position, 8);
    EXPECT_TRUE(buildEventPoints(frames, a, all, nullptr).empty());
}

TEST(MapEventPoints, CrashPositionsWalkBackwardsAndStopWithoutGps)
{
    std::vector<GpsSample> gps{fix(1, 35.1, 139.1, 0), fix(1, 0.0, 0.0, 3),
                               fix(1, 35.3, 139.3, 6), fix(1, 35.4, 139.4, 9)};
    std::vector<EventPoint> points;
    auto add = [&](int pos, int type, int kind, int gpsLink) {
        points.push_back(EventPoint{pos, pos, type, kind, accel(pos, -0.8, -1, gpsLink)});
    };
    add(0, 1, 0, 0);   // before the entry without GPS: never reached
    add(1, 2, 1, -1);  // no GPS link: ends the walk
    add(2, 1, 0, 1);   // at 0.0, 0.0: no icon, the walk goes on
    add(3, 5, 5, 2);   // hidden kind: no icon
    add(4, 6, 4, 3);
    KindFlags flags{};
    flags.fill(true);
    flags[5] = false;
    const std::vector<CrashPos> c = crashPositions(points, gps, 7, flags);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(addCrashPosScript(c[0]),
              "cplist.AddCrashPos(6,-0.800000,0.250000,-1.000000,0,7,12,35.400000,139.400000,"
              "1,42.500000,0.000000)");
    flags[5] = true;
    const std::vector<CrashPos> c2 = crashPositions(points, gps, 7, flags);
    ASSERT_EQ(c2.size(), 2u);
    EXPECT_EQ(c2[1].type, 5);  // last entry first
    EXPECT_EQ(c2[1].latitude, 35.3);
}

// The map's icons are the graph's markers: for a decoded recording with a marker of every kind
// (some overlapping), the points the map builds from the graph's kinds and classifier are the
// graph's event points under every combination of the show switches.
TEST(MapEventPoints, MapIconsAreTheGraphsMarkersUnderEverySwitchSetting)
{
    std::vector<test::RecordFields> records = test::QuietRecords(40);
    records[3].axis = 'X';
    records[4].axis = 'X';
    records[8].axis = 'Y';
    records[8].marker72 = 'D';  // manual under a Y event: tried only when Y is off
    records[9].marker72 = 'D';
    records[14].axis = 'Z';
    records[20].marker75 = 'D';  // emergency stop
    records[21].marker75 = 'D';
    records[27].marker76 = 'D';  // parking
    records[33].axis = 'X';
    records[33].marker76 = 'D';
    const TelemetrySnapshot t = test::MakeRecording(records, 50);
    ASSERT_TRUE(t);
    int nonEmpty = 0;
    for (int mask = 0; mask < (1 << kMarkerKindCount); ++mask) {
        MarkerKinds kinds = DefaultMarkerKinds();
        for (int k = 0; k < kMarkerKindCount; ++k)
            SetKindShown(kinds, k, (mask >> k) & 1);
        std::vector<std::tuple<int, int, int>> graph, map;
        for (const ravir::EventPoint& p : BuildEventPoints(*t, kinds))
            graph.emplace_back(p.frame, p.type, p.kind);
        for (const EventPoint& p : buildEventPoints(t->frameIndex, t->accel, showOnMapFlags(kinds),
                                                    graphClassifier()))
            map.emplace_back(p.sample.time, p.type, p.kind);
        EXPECT_EQ(map, graph) << "switch mask " << mask;
        nonEmpty += graph.empty() ? 0 : 1;
    }
    EXPECT_EQ(nonEmpty, 63);  // every setting but "all off" shows something
    // The graph's switches reach the map's flags one for one.
    MarkerKinds kinds = DefaultMarkerKinds();
    SetKindShown(kinds, KindForSettingsSwitch(1), false);
    const KindFlags flags = showOnMapFlags(kinds);
    EXPECT_EQ(flags, (KindFlags{true, true, true, true, true, false}));
}

}  // namespace
}  // namespace ravir::map
