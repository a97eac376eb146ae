#pragma once
// The event points of a recording, shown as icons on the map and used for the previous/next
// event jumps: built from the frame index with the acceleration graph's marker test, and turned
// into the page's cplist.AddCrashPos calls.
#include "container/telemetry.h"
#include "windows/views/marker_kind.h"

#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace ravir::map {

inline constexpr int kMarkerKinds = 6;
using KindFlags = std::array<bool, kMarkerKinds>;

// The graph's classifier: the marker type (0..7) a sample shows for marker kind j, or -1.
using MarkerClassifier = std::function<int(const AccelSample& sample, int kind)>;

// The map's view of the acceleration graph's marker kinds: the show-on-map flag of each kind,
// and the graph's own classifier, so that the map's icons are the graph's markers.
KindFlags showOnMapFlags(const MarkerKinds& kinds);
MarkerClassifier graphClassifier();

struct EventPoint {
    int32_t position = 0;     // frame index position of the event
    int32_t sampleIndex = 0;  // index of the AccelSample
    int32_t type = 0;         // marker type 0..7
    int32_t kind = 0;         // marker kind 0..5
    AccelSample sample;       // a copy: the list outlives the reader's lists
};

// For every frame index position in order and every kind whose flag is set: the first kind
// whose classifier gives a type decides the position; the point is added when the type is new
// (position 0, or the previous position's sample gives another result for that kind).
// Positions whose entry points at no sample give no type.
std::vector<EventPoint> buildEventPoints(const std::vector<int32_t>& frameIndex,
                                         const std::vector<AccelSample>& accel,
                                         const KindFlags& showOnMap,
                                         const MarkerClassifier& classify);

// The twelve values of one cplist.AddCrashPos call, in order.
struct CrashPos {
    int type;
    double x, y, z;
    int ifile;  // always 0
    int igrid;  // the recording's list index
    int ipos;   // the sample's time field (frame number)
    double latitude, longitude;
    int valid;
    double speed, direction;
};

// Walks the points from the last to the first: a point whose kind is shown and whose sample
// links to a GpsSample with a latitude or longitude other than 0.0 gives one call; a point
// whose sample links to no GpsSample ends the walk.
std::vector<CrashPos> crashPositions(const std::vector<EventPoint>& points,
                                     const std::vector<GpsSample>& gps, int recordingIndex,
                                     const KindFlags& showOnMap);
// "cplist.AddCrashPos(%d,%f,%f,%f,%d,%d,%d,%f,%f,%d,%f,%f)"
QString addCrashPosScript(const CrashPos& c);

}  // namespace ravir::map
