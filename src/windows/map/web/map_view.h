#pragma once
// The map: a Qt WebEngine view of the project's own page (Leaflet, src/windows/map/pages) and the host
// object it talks to, with a connection tester for the tile host. Without a connection the
// page still draws the track, the event icons and the position marker on a plain background
// with a scale bar; tiles appear when the tile host answers. The placeholder picture covers the
// view while the recording has no GPS fix, and for good when the page cannot run.
//
// The map copies what it shows, so the caller holds the player's telemetry lock only during
// setRecording(). Use: setRecording() after a recording's telemetry is ready, setFrame() on
// each play-clock tick, setPlayStatus() on pause/stop/play, clearRecording() when it closes;
// eventClicked(frame) asks for a seek.
#include "windows/map/web/map_event_points.h"
#include "windows/map/map_messages.h"
#include "windows/map/map_surface.h"

#include <QUrl>

#include <vector>

class QWebEngineProfile;
class QWebEngineView;
class QWebChannel;

namespace ravir::map {

class CMapHost;
class CMapConnectionTester;
class CMapPage;
class MapRequestFilter;

class CMapView : public MapSurface {
    Q_OBJECT
public:
    // Tile URL and attribution from the configuration file ([MAP] TILE_URL, ATTRIBUTION).
    explicit CMapView(QWidget* parent = nullptr);
    // An explicit tile source (tests, a deployment's own server).
    CMapView(const QString& tileUrl, const QString& attribution, QWidget* parent = nullptr);
    ~CMapView() override;

    // The current recording: its GPS and acceleration samples and frame index (times already in
    // frames), its list index, and the all-recordings track (may be empty). The event points are
    // rebuilt with the marker kinds set last; the page reloads the track.
    void setRecording(const TelemetryReader& reader, int recordingIndex,
                      std::vector<GpsSample> allRecordingsGps = {}, bool wholeTrip = true) override;
    void clearRecording() override;
    // The all-recordings track came later than the recording: only the whole-trip line is
    // drawn anew; the recording's track, its icons and the marker stay as they are.
    void setAllRecordings(std::vector<GpsSample> allRecordingsGps) override;
    // The marker kinds shown on the map and the graph's classifier; rebuilds the event points
    // and redraws the icons. Until it is called, every kind is shown with the graph's classifier.
    void setMarkerKinds(const KindFlags& showOnMap, MarkerClassifier classify);
    // The same from the acceleration graph's marker kinds (their show-on-map flags).
    void setMarkerKinds(const MarkerKinds& kinds) override;

    // The main camera's current frame: moves the position marker.
    void setFrame(int frame) override;
    // Play status; Stopped also moves the marker once.
    void setPlayStatus(PlayStatus status) override;
    // The map switch: with false no connection test is made and no tile is loaded.
    void setMapEnabled(bool enabled);

    const std::vector<EventPoint>& eventPoints() const { return points_; }
    bool isPageReady() const override;
    bool isPlaceholderShown() const override;
    bool isOnline() const override;
    // Runs a script in the page; before the page is ready the script waits and runs once it
    // is (after the page has been given the recording, the frame and the play status).
    void runScript(const QString& script);

    // For tests: the view, the host and the number of requests refused by the filter.
    QWebEngineView* webView() const { return web_; }
    CMapHost* host() const { return host_; }
    int refusedRequests() const;
    int connectionIntervalMs = 1000;
    bool openLinksOutside = true;  // false in tests: links are only reported

    // pageReady() and eventClicked(frame) come from MapSurface.
Q_SIGNALS:
    // A link of the page (attribution) the user clicked; opened outside for http and https.
    void externalLinkRequested(const QUrl& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void reload();
    void onPageReady();
    QStringList eventIconScripts() const;
    void rebuildEvents();
    void updatePlaceholder();

    QString tileUrl_;
    QWebEngineProfile* profile_ = nullptr;
    MapRequestFilter* filter_ = nullptr;
    CMapPage* page_ = nullptr;
    QWebEngineView* web_ = nullptr;
    QWebChannel* channel_ = nullptr;
    CMapHost* host_ = nullptr;
    CMapConnectionTester* tester_ = nullptr;
    QWidget* placeholder_ = nullptr;
    bool pageFailed_ = false;

    std::vector<GpsSample> gps_;
    std::vector<AccelSample> accel_;
    std::vector<int32_t> frameIndex_;
    int recordingIndex_ = 0;
    bool wholeTrip_ = true;
    bool hasRecording_ = false;
    KindFlags showOnMap_{true, true, true, true, true, true};
    MarkerClassifier classify_ = graphClassifier();
    std::vector<EventPoint> points_;
    QStringList pendingScripts_;  // run once the page is ready
};

}  // namespace ravir::map
