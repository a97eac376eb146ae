#pragma once
// What one paint of the acceleration graph draws, computed without a painter: the range labels,
// the three trace polylines (as segments), the event markers and the cursor. The graph widget
// draws the result; the event-point builder and the tests use the same rules.
//
// Geometry (pixels; every design value is multiplied by the layout scale s and truncated):
//   left margin  lm = int(s x 41), the label column
//   plot height  H  = int(background height x s), centre Yc = H / 2
//   plot width   W  = client width - int(s) - lm
//   pixels per G = (H - 6) / (1, 2, 3, 4 for range codes 0..3; 1 for any other code)
//   step d = max(W / positions, max(1, int(s))); the visible window of W / d positions starts at
//   (1 - p / d) x current position, so it scrolls with the play position when the recording has
//   more positions than the plot has pixels.
// Traces are clamped to +-2 G and to Yc - int(s x 5) pixels; runs of equal pixel values are drawn
// in chunks of seven positions.
#include "windows/views/marker_kind.h"

#include <QString>
#include <array>
#include <vector>

namespace ravir {

inline constexpr int kGraphBitmapWidth = 640;
inline constexpr int kGraphBitmapHeight = 120;
inline constexpr int kGraphLabelColumn = 41;  // design units

struct GraphLabels {
    QString top, centre, bottom;
    bool operator==(const GraphLabels&) const = default;
};
// The three range labels of a range code; codes outside 0..3 show the 1 G labels.
GraphLabels RangeLabels(int rangeCode);
// Pixels per G for a plot height and range code (integer division of H - 6).
int PixelsPerG(int plotHeight, int rangeCode);

struct GraphGeometry {
    float layoutScale = 1.0f;
    float fontScale = 1.0f;
    int clientWidth = 0;
    int clientHeight = 0;

    int scaled(int units) const { return static_cast<int>(static_cast<float>(units) * layoutScale); }
    int leftMargin() const { return scaled(kGraphLabelColumn); }
    int plotHeight() const { return scaled(kGraphBitmapHeight); }
    int bitmapWidth() const { return scaled(kGraphBitmapWidth); }
    int tileWidth() const { return bitmapWidth() - leftMargin(); }
    int plotWidth() const { return clientWidth - static_cast<int>(layoutScale) - leftMargin(); }
    // Top of the marker labels and the height of one label row.
    int labelTop() const { return plotHeight() - scaled(5); }
    int labelRowHeight() const { return static_cast<int>(fontScale * 10.0f) / 6; }
};

struct GraphState {
    int totalPositions = 0;   // slider maximum minus minimum
    int currentPosition = 0;  // frame number of the main camera
    int rangeCode = 1;
    bool drawTelemetry = false;
};

struct GraphSegment {
    int x1, y1, x2, y2;
    bool operator==(const GraphSegment&) const = default;
};
struct GraphMarker {
    int x;
    int type;
    bool operator==(const GraphMarker&) const = default;
};

struct GraphPlot {
    GraphLabels labels;
    std::array<std::vector<GraphSegment>, 3> traces;  // X, Y, Z
    std::vector<GraphMarker> markers;                 // in drawing order, x >= left margin
    int cursorX = 0;
    bool traced = false;  // the trace pass ran
    bool operator==(const GraphPlot&) const = default;
};

// Computes one paint. The telemetry may be null (then only labels and the cursor).
GraphPlot ComputeGraphPlot(const GraphGeometry& g, const GraphState& st,
                           const RecordingTelemetry* t, const MarkerKinds& kinds);

// Marker appearance by type: label text, label row and pen colour (0xRRGGBB).
struct MarkerLook {
    QString label;
    int row;
    unsigned rgb;
};
MarkerLook MarkerLookOf(int type);
// Trace colour of axis 0..2 (0xRRGGBB).
unsigned TraceColour(int axis);

}  // namespace ravir
