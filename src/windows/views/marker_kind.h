#pragma once
// Event markers of the acceleration graph and the map: the six marker kinds, the decision which
// kind and marker type a sample belongs to, the event-point list of a recording and the search
// for the previous or next event point.
//
// Marker types: 0 sudden acceleration, 1 sudden braking, 2 sudden steering, 3 sudden descent,
// 4 sudden rise, 5 manual recording, 6 emergency recording stop, 7 parking monitoring.
// Kinds, in the order they are tried (the first kind that matches a sample wins):
//   0 axis X -> type 0, 1 axis Y -> type 2, 2 axis Z -> type 3,
//   3 marker code 5 -> type 5, 4 marker code 6 -> type 6, 5 marker code 7 -> type 7.
#include "windows/views/recording_telemetry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace ravir {

inline constexpr int kMarkerKindCount = 6;
inline constexpr int kMarkerTypeCount = 8;
inline constexpr int kNoMarker = -1;

struct MarkerKind {
    bool showInGraph = true;  // trace (kinds 0..2) and markers drawn; marker jumps honour it
    bool showOnMap = true;    // events sent to the map
    double threshold = 0.2;   // kinds 0..2: the header threshold of the axis when positive
};

using MarkerKinds = std::array<MarkerKind, kMarkerKindCount>;

// The kinds as the window creates them: all shown, thresholds 0.2 G.
MarkerKinds DefaultMarkerKinds();
// Takes each header threshold that is greater than 0 for kinds 0..2.
void ApplyThresholds(MarkerKinds& kinds, const float thresholds[3]);

// The classifier of kind j: the marker type the sample gives for that kind, or kNoMarker.
int ClassifyMarker(int kind, const AccelSample& sample);

// The first kind (among those whose flag is set in `shown`) whose classifier matches the sample
// at position k, and the marker type it gives. `isNew` is set when that kind's marker starts
// there: k is 0 or the sample at k - 1 gives a different result for the same kind.
struct MarkerHit {
    int kind = -1;
    int type = kNoMarker;
    bool isNew = false;
};
enum class MarkerFlag { Graph, Map };
MarkerHit MarkerAt(const RecordingTelemetry& t, int64_t k, const MarkerKinds& kinds,
                   MarkerFlag flag);

// The new-marker test for position k and kind j: the marker type when a marker of that kind
// starts at k, else kNoMarker.
int NewMarkerType(const RecordingTelemetry& t, int64_t k, int kind);

// One detected event of a recording.
struct EventPoint {
    int sampleIndex = 0;  // index of the AccelSample
    int type = kNoMarker;
    int kind = -1;
    int frame = 0;        // the sample's time field (its frame number)
};

// The event points of a recording: every frame position in order, the first kind whose
// show-on-map flag is set and whose classifier matches; a point where that marker is new.
std::vector<EventPoint> BuildEventPoints(const RecordingTelemetry& t, const MarkerKinds& kinds);

// The frame to jump to from the graph's current position: for `next` the first point after it,
// else the last point before it, among points whose kind is shown in the graph; when there is
// none the search wraps around (from frameCount + 1 backwards, from -1 forwards). -1 when no
// point qualifies at all.
int EventJumpFrame(const std::vector<EventPoint>& points, const MarkerKinds& kinds,
                   int currentFrame, int frameCount, bool next);

// The kind switched by the settings dialog's check button `which` (0 emergency stop, 1 parking):
// 4 or 5, else -1. The axis toggles of the information panel switch kinds 0..2 themselves.
int KindForSettingsSwitch(int which);

// Sets both flags of a kind (out-of-range kinds are ignored); true when something changed.
bool SetKindShown(MarkerKinds& kinds, int kind, bool on);

}  // namespace ravir
