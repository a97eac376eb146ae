#pragma once
// Geometry of the main window on the design grid, and the plain arithmetic of its display
// modes: the resize zones of the border, the clamping of a user resize, the placement of the
// detached map window, the zoom steps of the video surface and the choice between map and
// placeholder. Every value is a design value in scaled units times the layout scale, truncated;
// values written as sums (2 x 6) are truncated separately.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>
#include <array>

namespace ravir {

constexpr int kDesignWidth = 1120;
constexpr int kDesignHeight = 697;
constexpr int kTransportButtonCount = 14;
constexpr int kTitleButtonCount = 4;
constexpr float kMaxEnlargementCap = 24.0f / 7.0f;
constexpr int kCaptionUnits = 24;
constexpr int kBorderUnits = 6;

struct MainLayout {
    QRect window;          // client rectangle, origin 0,0
    QRect caption;         // the top strip that moves the window
    QRect titleText;
    QRect video;           // main camera surface
    QRect positionSlider;
    QRect infoPanel;
    QRect graph;
    QRect fileBrowser;
    std::array<QRect, kTransportButtonCount> transport;
    QRect volumeSlider;
    QRect closeButton, maximiseButton, minimiseButton, thumbnailButton;
    QRect progressBarIdle;  // hidden at the bottom of the client area
    QRect progressBarBusy;  // over the bottom of the video surface while a task runs
};

// Lays the panes out for a client size in pixels at the given layout scale.
MainLayout ComputeMainLayout(int width, int height, float layoutScale);

// The design size of the window in pixels (1120 x 697 scaled units).
QSize DesignSize(float layoutScale);

// The largest window scale factor: the monitor's full width x 2 over the design width, capped.
float MaxEnlargement(int monitorWidth, float layoutScale);

// Zones of the window border under a point, as the resize and the cursor use them.
enum ResizeZone : int {
    kZoneNone = 0,
    kZoneCaption = 2,
    kZoneLeft = 10,
    kZoneRight = 11,
    kZoneTop = 12,
    kZoneTopLeft = 13,
    kZoneTopRight = 14,
    kZoneBottom = 15,
    kZoneBottomLeft = 16,
    kZoneBottomRight = 17,
};

// The zone at a point of the client area: the 6-unit border (corners before edges), then the
// caption (the top 24 units); while maximised there is no border and the whole top strip is
// caption.
int HitTestZone(QPoint point, QSize client, float layoutScale, bool maximised);
Qt::CursorShape CursorForZone(int zone);
Qt::Edges EdgesForZone(int zone);

// The rectangle a drag in `zone` makes from `start` when the cursor moved by `delta` (the edges
// opposite to the zone stay; the dragged edges follow the cursor).
QRect DraggedRect(const QRect& start, int zone, QPoint delta);

// A user resize clamped to the allowed scale factors: each factor (size over the design size)
// is kept in [1.0, maxEnlargement]; an edge whose factor hit a limit is moved back so that the
// size is the design size times the factor, the edge opposite to the zone staying put.
struct ClampedResize {
    QRect rect;
    float factorX = 1.0f;
    float factorY = 1.0f;
};
ClampedResize ClampResize(const QRect& proposed, int zone, float layoutScale, float maxEnlargement);

// The scale factors of a window size: size over the design size, at least 1.0.
float ScaleFactorFor(int size, int designSize);

// The largest scale factor whose window (design size times it, truncated) still fits in
// `available` pixels; never below 1.0 (the design size is the smallest window there is).
float FittingFactor(int available, int designSize);

// The window rectangle moved (not resized) so that as much of it as can lies inside `area`,
// its top-left corner first: the caption and the title-bar buttons stay on the screen.
QRect MovedInto(const QRect& window, const QRect& area);

// The detached map window: 452 x 368 scaled units; the map below a 20-unit strip with a 1-unit
// margin on each side.
QSize DetachedWindowSize(float layoutScale);
QRect DetachedMapArea(QSize windowSize, float layoutScale);
// Where the detached window goes beside the main window's frame: to its right, top edges
// aligned; to its left when the right does not fit the available area; else against the
// available area's edge on the side with more room (the left on a tie).
QRect PlaceDetachedWindow(const QRect& mainFrame, QSize size, const QRect& available);

// One zoom step of the video surface for a click at `click` (surface pixels): the
// magnification rises by 1 and the offset changes so that the clicked point of the picture
// stays under the cursor; past 3 the zoom returns to the whole picture.
struct VideoZoom {
    float magnification = 1.0f;
    QPoint offset;  // where the magnified picture's top-left lies in the surface
};
constexpr float kMaxMagnification = 3.0f;
VideoZoom ZoomStep(const VideoZoom& current, QPoint click);

// A recording of the parking kinds, whose positions are never shown on the map: a file name
// starting with 'P', or one whose first letter is none of 'A', 'T', 'P' and whose third is 'T'.
bool IsParkingRecordingName(const QString& fileName);

// What the detached window shows: the map only when a position is to be shown, the page is
// ready, the telemetry is at least 64 bytes and the recording is not a parking one; the
// placeholder otherwise, except in full screen where neither is. The placeholder carries the
// "no internet" notice when the map is switched on, the recording has a position and the page
// is not available.
struct MapShellInput {
    bool hasPosition = false;
    bool pageReady = false;
    long long telemetrySize = 0;
    QString fileName;
    bool mapSwitchedOn = false;
    bool pageUnavailable = false;
    bool fullScreen = false;
};
struct MapShellState {
    bool showMap = false;
    bool showPlaceholder = false;
    bool noInternetPicture = false;
};
MapShellState DecideMapShell(const MapShellInput& in);

}  // namespace ravir
