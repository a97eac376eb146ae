// The vehicle information panel: value texts and their placeholders, the date and time at a
// position, the parking trace mode, and the panel following a decoded recording frame by frame.
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/kit/toggle_button.h"
#include "views_fixture.h"

#include "samplecard/telemetry_block.h"

#include <QFile>

namespace ravir {
namespace {

SystemTime Time(int y, int mo, int d, int h, int mi, int s)
{
    SystemTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    return t;
}

TEST(InfoPanelText, AccelerationAndSpeedEdges)
{
    EXPECT_EQ(AccelerationText(-4.999), "-4.99G");  // truncated, not rounded
    EXPECT_EQ(AccelerationText(0.129), "0.12G");
    EXPECT_EQ(AccelerationText(1.999), "1.99G");
    EXPECT_EQ(AccelerationText(3.5), "3.50G");
    EXPECT_EQ(AccelerationText(-5.0), "");           // the placeholder
    EXPECT_EQ(AccelerationText(-7.0), "");
    EXPECT_EQ(kAccelerationPlaceholder, "-0.00G");

    EXPECT_EQ(SpeedText(1, 999.0), "999 ");
    EXPECT_EQ(SpeedText(1, 0.4), "0 ");
    EXPECT_EQ(SpeedText(1, 62.5), "62 ");             // printf rounds half to even
    EXPECT_EQ(SpeedText(1, 999.4), "");
    EXPECT_EQ(SpeedText(1, -0.1), "");
    EXPECT_EQ(SpeedText(1, kNoSpeed), "");
    EXPECT_EQ(SpeedText(0, 50.0), "");                // no valid fix

    EXPECT_EQ(ExtraValueText(124), "12.4");
    EXPECT_EQ(ExtraValueText(0), "0.0");
    EXPECT_EQ(ExtraValueText(-1), "");

    EXPECT_EQ(MicPictureFor('R'), MicPicture::SoundWaves);
    EXPECT_EQ(MicPictureFor('r'), MicPicture::Plain);
    EXPECT_EQ(MicPictureFor(kNoStatus), MicPicture::CrossedOut);
    EXPECT_EQ(QualityBadgeFor(11), 1);
    EXPECT_EQ(QualityBadgeFor(12), 2);
    EXPECT_EQ(QualityBadgeFor(13), 0);
}

// The same speeds in both units: the placeholder rule is on the recorded km/h, the number is
// the speed in the unit, rounded as printf rounds.
TEST(InfoPanelText, SpeedInKilometresAndMiles)
{
    struct Case {
        double kmh;
        const char* inKmh;
        const char* inMph;
    };
    const Case cases[] = {
        {0.0, "0 ", "0 "},
        {0.8, "1 ", "0 "},          // 0.497 mph
        {0.81, "1 ", "1 "},         // 0.503 mph
        {1.609344, "2 ", "1 "},     // one mile an hour exactly
        {100.0, "100 ", "62 "},     // 62.14 mph
        {80.4672, "80 ", "50 "},    // 50 mph exactly
        {120.7008, "121 ", "75 "},  // 75 mph exactly
        {4.02336, "4 ", "2 "},      // 2.5 mph: printf rounds half to even
        {999.0, "999 ", "621 "},    // 620.75 mph
        {999.4, "", ""},            // above 999 km/h: the placeholder in either unit
        {-0.1, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SpeedText(1, c.kmh, SpeedUnit::Kmh), c.inKmh) << c.kmh;
        EXPECT_EQ(SpeedText(1, c.kmh, SpeedUnit::Mph), c.inMph) << c.kmh;
        EXPECT_EQ(SpeedText(0, c.kmh, SpeedUnit::Mph), "") << c.kmh;
    }
    // The panel's texts carry the unit of its fields, in the current row's words.
    InfoFields f;
    f.speedValid = 1;
    f.speed = 100.0;
    EXPECT_EQ(ComposeInfoTexts(f).speed, "100 ");
    EXPECT_EQ(ComposeInfoTexts(f).speedUnit, "km/h");
    f.unit = SpeedUnit::Mph;
    EXPECT_EQ(ComposeInfoTexts(f).speed, "62 ");
    EXPECT_EQ(ComposeInfoTexts(f).speedUnit, "mph");
    // A screen reader hears the number and the unit the panel shows.
    EXPECT_TRUE(SpokenInfoText(f, true).contains(text(TXT_ACC_SPEED_FMT).arg("62", "mph")))
        << SpokenInfoText(f, true).toStdString();
    ResetInfoFields(f);
    EXPECT_EQ(f.unit, SpeedUnit::Mph);  // the unit is no value: a reset keeps it
    EXPECT_EQ(ComposeInfoTexts(f).speed, "");
}

TEST(InfoPanelText, DateAndTimeAtAPosition)
{
    const SystemTime start = Time(2025, 3, 14, 9, 30, 0);
    auto at = [&](int position, float ms, bool lapse, SystemTime s) {
        return DateTimeText(TimeAtPosition(s, position, ms, lapse));
    };
    EXPECT_EQ(at(20, 50.0f, true, start), "2025/03/14 09:30:15");   // 20 x 50 ms x 15
    EXPECT_EQ(at(20, 50.0f, false, start), "2025/03/14 09:30:01");
    EXPECT_EQ(at(300, 49.95f, false, start), "2025/03/14 09:30:14");  // 14.985 s
    EXPECT_EQ(at(0, 33.3f, false, Time(2051, 7, 1, 12, 0, 0)), "2016/07/01 12:00:00");
    EXPECT_EQ(at(0, 33.3f, false, Time(2060, 1, 2, 3, 4, 5)), "2025/01/02 03:04:05");
    EXPECT_EQ(at(0, 33.3f, false, Time(2049, 12, 31, 23, 59, 59)), "2049/12/31 23:59:59");
    EXPECT_EQ(at(10, 100.0f, false, Time(2049, 12, 31, 23, 59, 59)), "2015/01/01 00:00:00");
    EXPECT_EQ(at(10, 100.0f, false, Time(2024, 2, 28, 23, 59, 59)), "2024/02/29 00:00:00");
    EXPECT_EQ(at(-1, 100.0f, false, start), "");      // no position
    EXPECT_EQ(at(0, 100.0f, false, SystemTime{}), ""); // no start time
    EXPECT_EQ(at(0, 100.0f, false, Time(2025, 2, 30, 0, 0, 0)), "");
}

TEST(InfoPanelText, TraceModeOnlyForParkingRecordingsOfACardWithTheMarkerFile)
{
    QTemporaryDir card;
    EXPECT_FALSE(TraceSwitchFor(SourceMode::Drive, card.path()));
    QFile marker(card.path() + "/pvtrace.txt");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    EXPECT_TRUE(TraceSwitchFor(SourceMode::Drive, card.path()));
    EXPECT_FALSE(TraceSwitchFor(SourceMode::Folder, card.path()));
    EXPECT_FALSE(TraceSwitchFor(SourceMode::File, card.path()));

    EXPECT_TRUE(ParkingExtraFor(true, RecordingKind::Parking));
    EXPECT_TRUE(ParkingExtraFor(true, RecordingKind::ParkingImpact));
    EXPECT_FALSE(ParkingExtraFor(true, RecordingKind::Continuous));
    EXPECT_FALSE(ParkingExtraFor(false, RecordingKind::Parking));

    InfoFields f;
    f.traceSwitch = true;
    f.parkingExtra = true;
    f.speedValid = 1;
    f.speed = 50.0;
    f.extraValue = 124;
    InfoTexts t = ComposeInfoTexts(f);
    EXPECT_TRUE(t.parkingTrace);
    EXPECT_EQ(t.extra, "12.4");
    EXPECT_EQ(t.speed, "");  // no speed in trace mode
    f.extraValue = -1;
    EXPECT_EQ(ComposeInfoTexts(f).extra, "");
    f.parkingExtra = false;
    t = ComposeInfoTexts(f);
    EXPECT_FALSE(t.parkingTrace);
    EXPECT_EQ(t.speed, "50 ");
}

TEST(InfoPanel, FollowsADecodedRecordingFrameByFrame)
{
    test::viewsApp();
    std::vector<test::RecordFields> r = test::QuietRecords(20);
    r[8].ax = test::Milli(-1.234);
    r[8].ay = test::Milli(0.129);
    r[8].az = test::Milli(2.5);
    r[8].byte122 = 'R';
    for (int k = 0; k < 20; ++k)
        r[static_cast<size_t>(k)].speed = k == 4 ? "9994" : "  61";  // 9994 km/h, out of range
    r[6].status = 'V';       // GPS sample 6 has no fix (linked from sample 10)
    r[9].following = "124";  // lands in sample 8 (the number of the next record)
    const TelemetrySnapshot t = test::MakeRecording(r, 25, 100.0);  // frame k + 1: sample k

    CInfoDlg panel;
    panel.resize(656, 105);
    panel.setScales(1.0f, 1.0f);
    const SystemTime start = Time(2025, 3, 14, 9, 30, 0);
    panel.setRecording(t, start, kQuality1080, 100.0f, RecordingKind::Continuous);

    panel.setFrame(9);  // sample 8, GPS sample 4 (speed 9994: placeholder, fix shown)
    InfoTexts x = panel.texts();
    EXPECT_EQ(x.accel[0], "-1.23G");
    EXPECT_EQ(x.accel[1], "0.12G");
    EXPECT_EQ(x.accel[2], "2.50G");
    EXPECT_EQ(x.speed, "");
    EXPECT_TRUE(x.gpsFix);
    EXPECT_EQ(x.mic, MicPicture::SoundWaves);
    EXPECT_EQ(x.badge, 2);
    EXPECT_EQ(x.dateTime, "2025/03/14 09:30:00");  // 9 x 100 ms
    EXPECT_EQ(panel.fields().extraValue, 124);

    panel.setFrame(10);  // sample 9, GPS sample 5
    EXPECT_EQ(panel.texts().speed, "61 ");
    EXPECT_EQ(panel.texts().mic, MicPicture::CrossedOut);
    const QImage withFix = panel.renderFrame().copy();

    panel.setFrame(11);  // sample 10, linked to GPS sample 6: no fix
    x = panel.texts();
    EXPECT_EQ(x.speed, "");
    EXPECT_FALSE(x.gpsFix);
    EXPECT_EQ(x.dateTime, "2025/03/14 09:30:01");
    const QImage noFix = panel.renderFrame().copy();
    const QRect gpsSlot(540, 63, 48, 35);
    EXPECT_NE(withFix.copy(gpsSlot), noFix.copy(gpsSlot));  // the satellite picture goes

    panel.setFrame(30);  // beyond the frame index: no sample
    x = panel.texts();
    for (const QString& a : x.accel)
        EXPECT_EQ(a, "");
    EXPECT_FALSE(x.gpsFix);
    EXPECT_EQ(x.dateTime, "2025/03/14 09:30:03");  // the time still advances

    panel.reset();
    x = panel.texts();
    EXPECT_EQ(x.accel[0], "");
    EXPECT_EQ(x.dateTime, "");
    EXPECT_EQ(x.badge, 0);

    // A time-lapse recording (its telemetry name marks it): 15 x the frame time.
    const TelemetrySnapshot lapse = test::MakeRecording(test::QuietRecords(40), 40, 50.0, true);
    ASSERT_TRUE(lapse->timeLapse);
    panel.setRecording(lapse, start, 11, 50.0f, RecordingKind::Continuous);
    panel.setFrame(20);
    EXPECT_EQ(panel.texts().dateTime, "2025/03/14 09:30:15");
    panel.setRecording(nullptr, start, 11, 50.0f, RecordingKind::Continuous);
    panel.setFrame(20);
    EXPECT_EQ(panel.texts().dateTime, "2025/03/14 09:30:01");
    EXPECT_EQ(panel.texts().accel[2], "");
}

TEST(InfoPanel, AxisTogglesSwitchTheGraphsKinds)
{
    test::viewsApp();
    std::vector<test::RecordFields> r = test::QuietRecords(30);
    for (test::RecordFields& s : r)
        s.az = test::Milli(1.0);
    const TelemetrySnapshot t = test::MakeRecording(r, 30);
    CInfoDlg panel;
    CGSensorDlg graph;
    graph.resize(640, 150);
    graph.setScales(1.0f, 1.0f);
    graph.setTelemetry(t, 29);
    graph.setRangeCode(1);
    QObject::connect(&panel, &CInfoDlg::axisKindToggled, &graph, &CGSensorDlg::setAxisKindShown);
    int changes = 0;
    QObject::connect(&graph, &CGSensorDlg::markerKindsChanged, [&] { ++changes; });

    // 1 G at range code 1: (120 - 6) / 2 = 57 pixels, clamped to 60 - 5: row 5.
    ASSERT_TRUE(test::Has(graph.renderFrame(), 300, 60 - 55, 0x8080FF));
    EXPECT_TRUE(panel.axisShown(2));
    panel.axisToggle(2)->click();
    EXPECT_FALSE(panel.axisShown(2));
    EXPECT_FALSE(graph.markerKinds()[2].showInGraph);
    EXPECT_FALSE(graph.markerKinds()[2].showOnMap);
    EXPECT_FALSE(test::Has(graph.renderFrame(), 300, 60 - 55, 0x8080FF));
    panel.axisToggle(2)->click();
    EXPECT_TRUE(test::Has(graph.renderFrame(), 300, 60 - 55, 0x8080FF));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(panel.axisToggle(0)->commandId(), 38600);
    EXPECT_EQ(panel.axisToggle(2)->commandId(), 38602);
}

// A sample drive with events, graph and panel at the first event point: the cursor sits on the
// event's marker and the panel shows the sample's values. With RAVIR_SHOT_DIR set, both are saved
// there as pictures.
TEST(InfoPanel, GraphAndPanelAtAnEventOfASampleDrive)
{
    test::viewsApp();
    samples::TelemetryOptions o;
    o.records = 600;
    o.start = QDateTime(QDate(2025, 3, 14), QTime(9, 30));
    o.impactAt = 250;
    o.manualAt = 400;
    o.parkingAt = 520;
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(samples::MakeTelemetryBlock(o), false, reader));
    const int frames = 1800;  // 30 frames a second
    ASSERT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(frames, 1000.0 / 30.0)));
    const TelemetrySnapshot t = RecordingTelemetry::FromReader(reader);
    const std::vector<EventPoint> points = BuildEventPoints(*t, DefaultMarkerKinds());
    ASSERT_GE(points.size(), 3u);

    CGSensorDlg graph;
    graph.resize(656, 150);
    graph.setScales(1.0f, 1.0f);
    graph.setTelemetry(t, frames - 1);
    CInfoDlg panel;
    panel.resize(656, 105);
    panel.setScales(1.0f, 1.0f);
    panel.setSpeedCaption(text(TXT_SPEED_1_0));
    panel.setRecording(t, StartTimeOf("AG__-250314-093000-000123M.MOV"), kQuality1080,
                       static_cast<float>(1000.0 / 30.0), RecordingKind::Continuous);

    // The first position that shows the event's sample.
    int position = 0;
    while (t->sampleAt(position)->index != points[0].sampleIndex)
        ++position;
    graph.setFrame(position);
    panel.setFrame(position);
    const QImage shot = graph.renderFrame().copy(0, 0, 656, 150);
    const int cursor = static_cast<int>(position * (static_cast<float>(656 - 41) / (frames - 1))) + 41;
    const QRgb markerColour = QColor::fromRgb(TraceColour(points[0].kind)).rgb() & 0xFFFFFF;
    // Fewer positions than pixels would not scroll; here they do, and the marker is at the cursor.
    bool markerNearCursor = false;
    for (int x = cursor - 2; x <= cursor + 2; ++x)
        markerNearCursor = markerNearCursor || test::Pixel(shot, x, 149) == markerColour;
    EXPECT_TRUE(markerNearCursor) << "cursor " << cursor;
    const InfoTexts x = panel.texts();
    const AccelSample* s = t->sampleAt(position);
    EXPECT_EQ(x.accel[0], AccelerationText(s->x));
    EXPECT_FALSE(x.accel[0].isEmpty());
    EXPECT_TRUE(x.gpsFix);
    EXPECT_FALSE(x.dateTime.isEmpty());

    const QString dir = qEnvironmentVariable("RAVIR_SHOT_DIR");
    if (!dir.isEmpty()) {
        graph.grab().save(dir + "/views_graph_event.png");
        panel.grab().save(dir + "/views_panel_event.png");
        graph.setScales(2.0f, 2.0f);
        graph.resize(1312, 300);
        graph.grab().save(dir + "/views_graph_event_scale2.png");
        panel.setScales(2.0f, 2.0f);
        panel.resize(1312, 210);
        panel.grab().save(dir + "/views_panel_event_scale2.png");
    }
}

}  // namespace
}  // namespace ravir

namespace ravir {
namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

TEST(InfoPanelFollow, DrawnAgainOnlyWhenWhatItShowsChanges)
{
    test::viewsApp();
    // Quiet telemetry, 20 frames a second: within one second nothing shown changes.
    const TelemetrySnapshot t = test::MakeRecording(test::QuietRecords(40), 40, 50.0);
    CInfoDlg panel;
    panel.resize(656, 105);
    panel.setScales(1.0f, 1.0f);
    panel.setRecording(t, Time(2025, 3, 14, 9, 30, 0), kQuality1080, 50.0f,
                       RecordingKind::Continuous);
    PaintCounter paints;
    panel.installEventFilter(&paints);
    panel.show();
    const auto settle = [] {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    };
    panel.setFrame(1);
    settle();
    const int first = paints.count;
    ASSERT_GT(first, 0);
    // Every frame in turn: drawn exactly when a text or picture of the panel changes. Both
    // happen (two frames a sample, a date that moves once a second).
    int drawn = 0;
    int skipped = 0;
    for (int frame = 2; frame < 40; ++frame) {
        SCOPED_TRACE(frame);
        const InfoTexts shown = panel.texts();
        const int before = paints.count;
        panel.setFrame(frame);
        settle();
        const bool changed = !(panel.texts() == shown);
        EXPECT_EQ(paints.count > before, changed);
        (changed ? drawn : skipped) += 1;
    }
    EXPECT_GE(drawn, 1);
    EXPECT_GE(skipped, 19);
    EXPECT_EQ(panel.texts().dateTime, "2025/03/14 09:30:01");
}

}  // namespace
}  // namespace ravir
