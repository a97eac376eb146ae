#include "windows/views/graph_plot.h"

#include <algorithm>
#include <cmath>

namespace ravir {

GraphLabels RangeLabels(int rangeCode)
{
    const QString centre = QStringLiteral("   0G");
    switch (rangeCode) {
    case 0: return {QStringLiteral(" 0.5G"), centre, QStringLiteral("-0.5G")};
    case 2: return {QStringLiteral(" 1.5G"), centre, QStringLiteral("-1.5G")};
    case 3: return {QStringLiteral("   2G"), centre, QStringLiteral("  -2G")};
    default: return {QStringLiteral("   1G"), centre, QStringLiteral("  -1G")};
    }
}

int PixelsPerG(int plotHeight, int rangeCode)
{
    const int span = plotHeight - 6;
    switch (rangeCode) {
    case 0: return span / 1;
    case 1: return span / 2;
    case 2: return span / 3;
    case 3: return span / 4;
    default: return span;
    }
}

MarkerLook MarkerLookOf(int type)
{
    switch (type) {
    case 0:
    case 1: return {QStringLiteral("G"), 1, 0x00FF00};
    case 2: return {QStringLiteral("G"), 0, 0xFF0000};
    case 3:
    case 4: return {QStringLiteral("G"), 2, 0x8080FF};
    case 5: return {QStringLiteral("M"), 3, 0xFFFFFF};
    case 6: return {QStringLiteral("\u203B"), 3, 0xFFFFFF};
    case 7: return {QStringLiteral("P"), 3, 0xFFFFFF};
    default: return {QString(), 0, 0xFFFFFF};
    }
}

unsigned TraceColour(int axis)
{
    static constexpr unsigned colours[3] = {0x00FF00, 0xFF0000, 0x8080FF};
    return axis >= 0 && axis < 3 ? colours[axis] : 0xFFFFFF;
}

namespace {

struct AxisState {
    int drawnX = 0, drawnY = 0;
    int seenX = 0, seenY = 0;
    int run = 0;
};

double AxisValue(const AccelSample& s, int axis)
{
    return axis == 0 ? s.x : axis == 1 ? s.y : s.z;
}

class TracePass {
public:
    TracePass(const GraphGeometry& g, const RecordingTelemetry& t, const MarkerKinds& kinds,
              GraphPlot& out)
        : t_(t), kinds_(kinds), out_(out)
    {
        lm_ = g.leftMargin();
        W_ = g.plotWidth();
        const int H = g.plotHeight();
        yc_ = H / 2;
        limit_ = yc_ - g.scaled(5);
        ppg_ = 0;
    }

    void run(const GraphGeometry& g, const GraphState& st)
    {
        const int count = t_.frameCount();
        ppg_ = PixelsPerG(g.plotHeight(), st.rangeCode);
        const double p = static_cast<double>(W_) / count;
        const double minStep = std::max(1.0, static_cast<double>(static_cast<float>(
                                                  static_cast<int>(g.layoutScale))));
        const double d = std::max(p, minStep);
        const double visible = W_ / d;
        const double f0 = (1.0 - p / d) * st.currentPosition;

        const AccelSample* first = t_.sampleAt(static_cast<int64_t>(f0));
        for (int a = 0; a < 3; ++a) {
            AxisState& s = axes_[static_cast<size_t>(a)];
            const int y = first ? static_cast<int>(ppg_ * AxisValue(*first, a)) : 0;
            s = AxisState{0, y, 0, y, 0};
        }

        int lastX = 0;
        int64_t lastK = -1;
        const AccelSample* lastSample = nullptr;
        for (int i = 0; i < visible && i < count; ++i) {
            const int64_t k = static_cast<int64_t>(i + f0);
            const AccelSample* s = t_.sampleAt(k);
            if (!s)
                break;
            const int x = static_cast<int>(i * d);
            plot(*s, x, false);
            scanMarkers(k, lm_ + x);
            lastX = x;
            lastK = k;
            lastSample = s;
        }
        if (!lastSample)
            return;
        plot(*lastSample, lastX, true);
        scanMarkers(lastK, d > 1.0 ? lm_ + lastX + static_cast<int>(d) + 2 : lm_ + lastX + 1);
    }

private:
    void plot(const AccelSample& sample, int x, bool closing)
    {
        for (int a = 0; a < 3; ++a) {
            if (!kinds_[static_cast<size_t>(a)].showInGraph)
                continue;
            AxisState& s = axes_[static_cast<size_t>(a)];
            double v = AxisValue(sample, a);
            if (std::fabs(v) > 2.0)
                v = v < 0 ? -2.0 : 2.0;
            const int n = ++s.run;
            const int y = static_cast<int>(ppg_ * v);
            const int tx = closing ? W_ : x;
            if (y != s.drawnY) {
                if (n > 7)
                    segment(a, s.seenX, s.seenY);
                s.run = 0;
                segment(a, tx, y);
            } else if (n % 7 == 0) {
                segment(a, tx, y);
            } else if (closing) {
                segment(a, W_, y);
            }
            s.seenX = x;
            s.seenY = y;
        }
    }

    void segment(int axis, int tx, int ty)
    {
        AxisState& s = axes_[static_cast<size_t>(axis)];
        const int y1 = std::clamp(s.drawnY, -limit_, limit_);
        const int y2 = std::clamp(ty, -limit_, limit_);
        out_.traces[static_cast<size_t>(axis)].push_back(
            GraphSegment{lm_ + s.drawnX, yc_ - y1, lm_ + tx, yc_ - y2});
        s.drawnX = tx;
        s.drawnY = ty;
    }

    void scanMarkers(int64_t k, int x)
    {
        const MarkerHit hit = MarkerAt(t_, k, kinds_, MarkerFlag::Graph);
        if (hit.type != kNoMarker && hit.isNew)
            lists_[static_cast<size_t>(hit.kind)].push_back(GraphMarker{x, hit.type});
    }

public:
    std::array<std::vector<GraphMarker>, kMarkerKindCount> lists_;

private:
    const RecordingTelemetry& t_;
    const MarkerKinds& kinds_;
    GraphPlot& out_;
    std::array<AxisState, 3> axes_{};
    int lm_ = 0, W_ = 0, yc_ = 0, limit_ = 0, ppg_ = 0;
};

}  // namespace

GraphPlot ComputeGraphPlot(const GraphGeometry& g, const GraphState& st,
                           const RecordingTelemetry* t, const MarkerKinds& kinds)
{
    GraphPlot out;
    out.labels = RangeLabels(st.rangeCode);
    const int lm = g.leftMargin();
    const float ratio = st.totalPositions > 0
                            ? static_cast<float>(g.clientWidth - lm) /
                                  static_cast<float>(st.totalPositions)
                            : 0.0f;
    out.cursorX = static_cast<int>(static_cast<float>(st.currentPosition) * ratio) + lm;

    if (!st.drawTelemetry || !t || t->accel.empty() || t->frameIndex.empty() ||
        t->frameCount() <= st.currentPosition || g.plotWidth() <= 0)
        return out;
    TracePass pass(g, *t, kinds, out);
    pass.run(g, st);
    out.traced = true;
    for (auto& list : pass.lists_)
        for (const GraphMarker& m : list)
            if (m.x >= lm)
                out.markers.push_back(m);
    return out;
}

}  // namespace ravir
