// The acceleration graph rendered offscreen for telemetry files written here. Expected label
// texts, trace rows, marker columns and cursor columns are computed from the graph's drawing
// rules (label table, pixels per G, clamping, step and scroll window), not taken from the widget.
#include "windows/views/gsensor_dlg.h"
#include "views_fixture.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace ravir {
namespace {

using test::Has;
using test::Pixel;

constexpr int kWidth = 640, kHeight = 150;
constexpr int kLm = 41;                  // label column at scale 1
constexpr int kW = kWidth - 1 - kLm;     // plot width
constexpr int kH = 120, kYc = kH / 2, kLimit = kYc - 5;
constexpr QRgb kGreen = 0x00FF00, kRed = 0xFF0000, kBlue = 0x8080FF, kWhite = 0xFFFFFF;

struct AppFirst {
    AppFirst() { test::viewsApp(); }
};

struct Graph : AppFirst {
    Graph()
    {
        graph.resize(kWidth, kHeight);
        graph.setScales(1.0f, 1.0f);
    }
    QImage render() { return graph.renderFrame().copy(); }
    CGSensorDlg graph;
};

int ClampedRow(double g, int rangeCode)
{
    static constexpr int divisor[4] = {1, 2, 3, 4};
    const int ppg = (kH - 6) / divisor[rangeCode];
    const double v = std::clamp(g, -2.0, 2.0);
    return kYc - std::clamp(static_cast<int>(ppg * v), -kLimit, kLimit);
}

TEST(GSensorGraph, RangeLabelsByCode)
{
    Graph g;
    const char* expected[][2] = {{" 0.5G", "-0.5G"}, {"   1G", "  -1G"}, {" 1.5G", "-1.5G"},
                                 {"   2G", "  -2G"}, {"   1G", "  -1G"}};
    const int codes[] = {0, 1, 2, 3, 7};
    for (int i = 0; i < 5; ++i) {
        g.graph.setRangeCode(codes[i]);
        const QImage shot = g.render();
        QImage want(shot.size(), QImage::Format_RGB32);
        want.fill(Qt::black);
        {
            QPainter p(&want);
            p.setPen(Qt::white);
            p.setFont(g.graph.labelFont());
            const auto align = Qt::AlignRight | Qt::AlignTop;
            p.drawText(QRect(0, 0, 38, 50), align, QString::fromLatin1(expected[i][0]));
            p.drawText(QRect(0, 50, 38, 50), align, QStringLiteral("   0G"));
            p.drawText(QRect(0, 100, 38, 50), align, QString::fromLatin1(expected[i][1]));
        }
        const QRect column(0, 0, 38, kHeight);
        EXPECT_EQ(shot.copy(column), want.copy(column)) << "range code " << codes[i];
        QImage blank(column.size(), QImage::Format_RGB32);
        blank.fill(Qt::black);
        EXPECT_NE(want.copy(column), blank) << "no text";
    }
}

TEST(GSensorGraph, ClampedTracesMarkersByKindAndCursor)
{
    std::vector<test::RecordFields> r = test::QuietRecords(60);
    for (test::RecordFields& s : r) {
        s.ax = test::Milli(3.5);
        s.ay = test::Milli(-3.5);
        s.az = test::Milli(1.0);
    }
    r[10].axis = r[11].axis = 'X';  // one marker at the first sample of the run
    r[20].axis = 'Y';
    r[25].axis = 'Z';
    r[30].marker75 = 'D';           // emergency stop
    r[40].marker76 = 'D';           // parking
    r[50].marker72 = 'D';           // manual
    r[55].axis = 'X';
    r[55].marker72 = 'D';           // X wins over manual
    Graph g;
    g.graph.setTelemetry(test::MakeRecording(r, 60), 59);
    EXPECT_EQ(g.graph.rangeCode(), 3);  // 3.5 G is the largest value

    const double d = static_cast<double>(kW) / 60;  // fewer positions than pixels: no scroll
    auto markerX = [&](int k) { return kLm + static_cast<int>(test::PositionOf(k) * d); };
    const std::vector<std::pair<int, QRgb>> markers = {{10, kGreen}, {20, kRed},  {25, kBlue},
                                                       {30, kWhite}, {40, kWhite}, {50, kWhite},
                                                       {55, kGreen}};
    const int bottom = kHeight - 1;
    for (int range = 0; range <= 3; ++range) {
        g.graph.setRangeCode(range);
        const QImage shot = g.render();
        for (const auto& [k, colour] : markers)
            EXPECT_EQ(Pixel(shot, markerX(k), bottom), colour) << "marker at sample " << k;
        // No other marker line reaches the bottom row (the cursor is at the left margin).
        int lines = 0;
        for (int x = kLm + 1; x < kWidth; ++x)
            lines += Pixel(shot, x, bottom) != 0;
        EXPECT_EQ(lines, static_cast<int>(markers.size())) << "range " << range;
        EXPECT_EQ(Pixel(shot, kLm, bottom), kWhite);  // cursor at frame 0

        for (int x : {kLm + 3, kLm + 150, kLm + 350, kLm + 450, kLm + kW - 2}) {
            const int rowX = ClampedRow(3.5, range), rowY = ClampedRow(-3.5, range);
            const int rowZ = ClampedRow(1.0, range);
            EXPECT_TRUE(Has(shot, x, rowX, kGreen)) << "X at " << x << " range " << range;
            EXPECT_TRUE(Has(shot, x, rowY, kRed)) << "Y at " << x << " range " << range;
            EXPECT_TRUE(Has(shot, x, rowZ, kBlue)) << "Z at " << x << " range " << range;
            EXPECT_FALSE(Has(shot, x, rowX + 3, kGreen));
            EXPECT_FALSE(Has(shot, x, rowY - 3, kRed));
            EXPECT_FALSE(Has(shot, x, rowZ + 3, kBlue));
        }
        EXPECT_EQ(ClampedRow(3.5, range), 5);  // clamped to the edge at every range
    }

    // With the X kind hidden its trace and markers go; the other kinds stay.
    g.graph.setAxisKindShown(0, false);
    const QImage shot = g.render();
    EXPECT_FALSE(Has(shot, kLm + 150, ClampedRow(3.5, 3), kGreen));
    EXPECT_NE(Pixel(shot, markerX(10), bottom), kGreen);
    EXPECT_EQ(Pixel(shot, markerX(20), bottom), kRed);
    EXPECT_EQ(Pixel(shot, markerX(55), bottom), kWhite);  // now the manual marker
}

TEST(GSensorGraph, SevenPositionCoalescingShapesTheLine)
{
    // X is 0 G, then 1 G from sample `change` on; range code 3 (28 pixels per G).
    auto render = [](int change) {
        std::vector<test::RecordFields> r = test::QuietRecords(60);
        for (int k = change; k < 60; ++k)
            r[static_cast<size_t>(k)].ax = test::Milli(1.0);
        Graph g;
        g.graph.setTelemetry(test::MakeRecording(r, 60), 59);
        g.graph.setRangeCode(3);
        return g.render();
    };
    const double d = static_cast<double>(kW) / 60;
    const int top = kYc - 28;
    // A change after six equal positions: one straight line from the start to the change.
    {
        const QImage shot = render(5);  // sample 5 is first shown at position 6
        const int x5 = static_cast<int>(test::PositionOf(5) * d);
        const int xm = x5 / 2;
        const int ym = kYc - static_cast<int>(28.0 * xm / x5);
        bool onLine = false;
        for (int y = ym - 1; y <= ym + 1; ++y)
            onLine = onLine || Has(shot, kLm + xm, y, kGreen);
        EXPECT_TRUE(onLine);
        EXPECT_FALSE(Has(shot, kLm + xm, kYc, kGreen));
        EXPECT_TRUE(Has(shot, kLm + x5 + 20, top, kGreen));
    }
    // After eight equal positions: flat to the last one, then up.
    {
        const QImage shot = render(7);  // positions 0..7 equal, the change at 8
        const int xLast = static_cast<int>(7 * d), xChange = static_cast<int>(8 * d);
        EXPECT_TRUE(Has(shot, kLm + xLast - 3, kYc, kGreen));
        EXPECT_TRUE(Has(shot, kLm + xLast / 2, kYc, kGreen));
        EXPECT_FALSE(Has(shot, kLm + xLast / 2, kYc - 3, kGreen));
        EXPECT_TRUE(Has(shot, kLm + xChange + 20, top, kGreen));
    }
}

TEST(GSensorGraph, LongRecordingScrollsWithThePlayPosition)
{
    const int n = 2000;
    std::vector<test::RecordFields> r = test::QuietRecords(n);
    r[5].axis = 'X';
    r[1200].marker76 = 'D';
    r[1990].axis = 'Y';
    Graph g;
    g.graph.setTelemetry(test::MakeRecording(r, n), n - 1);
    const double p = static_cast<double>(kW) / n;
    const double d = std::max(p, 1.0);
    auto columnOf = [&](int position, int sample) {  // where a sample's marker is drawn
        const double f0 = (1.0 - p / d) * position;
        for (int i = 0; i < kW / d && i < n; ++i)
            if (static_cast<int>(i + f0) == test::PositionOf(sample))
                return kLm + static_cast<int>(i * d);
        return -1;
    };
    auto cursorOf = [&](int position) {
        return static_cast<int>(static_cast<float>(position) *
                                (static_cast<float>(kWidth - kLm) / static_cast<float>(n - 1))) +
               kLm;
    };
    const int bottom = kHeight - 1;
    {
        const QImage shot = g.render();  // position 0: the first samples at the left
        EXPECT_EQ(columnOf(0, 5), kLm + 6);
        EXPECT_EQ(Pixel(shot, kLm + 6, bottom), kGreen);
        EXPECT_EQ(columnOf(0, 1990), -1);
    }
    {
        g.graph.setFrame(1000);
        const QImage shot = g.render();
        const int x = columnOf(1000, 1200);
        ASSERT_GT(x, kLm);
        EXPECT_EQ(Pixel(shot, x, bottom), kWhite);
        EXPECT_EQ(Pixel(shot, cursorOf(1000), bottom), kWhite);
        EXPECT_EQ(Pixel(shot, cursorOf(1000) + 1, bottom), 0u);
    }
    {
        g.graph.setFrame(n - 1);  // the last samples reach the right edge
        const QImage shot = g.render();
        const int x = columnOf(n - 1, 1990);
        ASSERT_GT(x, kWidth - 20);
        EXPECT_EQ(Pixel(shot, x, bottom), kRed);
        EXPECT_NE(Pixel(shot, kLm + 6, bottom), kGreen);
    }
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int count = 0;
};

TEST(GSensorGraph, RepaintsOnlyWhenTheCursorOrTheTracesMove)
{
    // A long, quiet recording: the scrolled traces look the same at every frame, and the
    // cursor moves one pixel every 33 frames or so.
    const int n = 20000;
    Graph g;
    g.graph.setTelemetry(test::MakeRecording(test::QuietRecords(n), n), n - 1);
    g.graph.setFrame(1000);
    g.graph.show();
    QApplication::processEvents();
    PaintCounter paints(&g.graph);
    auto cursorOf = [&](int position) {
        return static_cast<int>(static_cast<float>(position) *
                                (static_cast<float>(kWidth - kLm) / static_cast<float>(n - 1)));
    };
    int columns = 0;
    for (int frame = 1001; frame <= 1100; ++frame) {
        g.graph.setFrame(frame);
        QApplication::processEvents();
        columns += cursorOf(frame) != cursorOf(frame - 1) ? 1 : 0;
    }
    EXPECT_EQ(g.graph.currentFrame(), 1100);
    EXPECT_GE(columns, 2);
    EXPECT_EQ(paints.count, columns);
    // A frame that moves the cursor is painted at once.
    int frame = 1101;
    while (cursorOf(frame) == cursorOf(1100))
        ++frame;
    g.graph.setFrame(frame);
    QApplication::processEvents();
    EXPECT_EQ(paints.count, columns + 1);
    g.graph.hide();
}

TEST(GSensorGraph, NoTelemetryOrPositionPastTheIndexDrawsNoTraces)
{
    std::vector<test::RecordFields> r = test::QuietRecords(30);
    for (test::RecordFields& s : r)
        s.ax = test::Milli(1.0);
    r[3].axis = 'X';
    Graph g;
    const QImage empty = g.render();
    g.graph.setTelemetry(test::MakeRecording(r, 30), 29);
    g.graph.setRangeCode(1);
    const QImage traced = g.render();
    EXPECT_TRUE(Has(traced, kLm + 200, ClampedRow(1.0, 1), kGreen));
    g.graph.setFrame(30);  // the index has 30 entries: positions 0..29
    const QImage past = g.render();
    EXPECT_FALSE(Has(past, kLm + 200, ClampedRow(1.0, 1), kGreen));
    g.graph.clearTelemetry();
    g.graph.setRangeCode(1);
    EXPECT_EQ(g.render(), empty);
}

TEST(GSensorGraph, ClicksAskForThePreviousAndNextEventPoint)
{
    Graph g;
    int previous = 0, next = 0;
    QObject::connect(&g.graph, &CGSensorDlg::previousEventPointRequested, [&] { ++previous; });
    QObject::connect(&g.graph, &CGSensorDlg::nextEventPointRequested, [&] { ++next; });
    const QPointF at(100, 50);
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::LeftButton}) {
        QMouseEvent release(QEvent::MouseButtonRelease, at, g.graph.mapToGlobal(at), b,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&g.graph, &release);
    }
    EXPECT_EQ(previous, 2);
    EXPECT_EQ(next, 1);
}

}  // namespace
}  // namespace ravir
