#include "windows/views/marker_kind.h"

namespace ravir {

MarkerKinds DefaultMarkerKinds() { return MarkerKinds{}; }

void ApplyThresholds(MarkerKinds& kinds, const float thresholds[3])
{
    for (int i = 0; i < 3; ++i)
        if (thresholds[i] > 0.0f)
            kinds[static_cast<size_t>(i)].threshold = thresholds[i];
}

int ClassifyMarker(int kind, const AccelSample& s)
{
    switch (kind) {
    case 0: return s.axisCode == 1 ? 0 : kNoMarker;
    case 1: return s.axisCode == 2 ? 2 : kNoMarker;
    case 2: return s.axisCode == 3 ? 3 : kNoMarker;
    case 3: return s.markerCode == 5 ? 5 : kNoMarker;
    case 4: return s.markerCode == 6 ? 6 : kNoMarker;
    case 5: return s.markerCode == 7 ? 7 : kNoMarker;
    default: return kNoMarker;
    }
}

int NewMarkerType(const RecordingTelemetry& t, int64_t k, int kind)
{
    const AccelSample* s = t.sampleAt(k);
    if (!s)
        return kNoMarker;
    const int type = ClassifyMarker(kind, *s);
    if (type == kNoMarker)
        return kNoMarker;
    if (k == 0)
        return type;
    const AccelSample* before = t.sampleAt(k - 1);
    const int previous = before ? ClassifyMarker(kind, *before) : kNoMarker;
    return previous != type ? type : kNoMarker;
}

MarkerHit MarkerAt(const RecordingTelemetry& t, int64_t k, const MarkerKinds& kinds,
                   MarkerFlag flag)
{
    MarkerHit hit;
    const AccelSample* s = t.sampleAt(k);
    if (!s)
        return hit;
    for (int j = 0; j < kMarkerKindCount; ++j) {
        const MarkerKind& mk = kinds[static_cast<size_t>(j)];
        if (!(flag == MarkerFlag::Graph ? mk.showInGraph : mk.showOnMap))
            continue;
        const int type = ClassifyMarker(j, *s);
        if (type == kNoMarker)
            continue;
        hit.kind = j;
        hit.type = type;
        hit.isNew = NewMarkerType(t, k, j) != kNoMarker;
        break;
    }
    return hit;
}

std::vector<EventPoint> BuildEventPoints(const RecordingTelemetry& t, const MarkerKinds& kinds)
{
    std::vector<EventPoint> points;
    for (int64_t k = 0; k < t.frameCount(); ++k) {
        const MarkerHit hit = MarkerAt(t, k, kinds, MarkerFlag::Map);
        if (hit.type == kNoMarker || !hit.isNew)
            continue;
        const AccelSample* s = t.sampleAt(k);
        points.push_back(EventPoint{s->index, hit.type, hit.kind, s->time});
    }
    return points;
}

int EventJumpFrame(const std::vector<EventPoint>& points, const MarkerKinds& kinds,
                   int currentFrame, int frameCount, bool next)
{
    auto shown = [&](const EventPoint& p) {
        return p.kind >= 0 && p.kind < kMarkerKindCount &&
               kinds[static_cast<size_t>(p.kind)].showInGraph;
    };
    auto search = [&](int from) {
        if (next) {
            for (const EventPoint& p : points)
                if (shown(p) && p.frame > from)
                    return p.frame;
        } else {
            for (auto it = points.rbegin(); it != points.rend(); ++it)
                if (shown(*it) && it->frame < from)
                    return it->frame;
        }
        return -1;
    };
    int frame = search(currentFrame);
    if (frame < 0)
        frame = search(next ? -1 : frameCount + 1);
    return frame;
}

int KindForSettingsSwitch(int which)
{
    return which == 0 ? 4 : which == 1 ? 5 : -1;
}

bool SetKindShown(MarkerKinds& kinds, int kind, bool on)
{
    if (kind < 0 || kind >= kMarkerKindCount)
        return false;
    MarkerKind& mk = kinds[static_cast<size_t>(kind)];
    const bool changed = mk.showInGraph != on || mk.showOnMap != on;
    mk.showInGraph = on;
    mk.showOnMap = on;
    return changed;
}

}  // namespace ravir
