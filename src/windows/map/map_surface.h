#pragma once
// The map as the rest of the windows see it. The map itself (Qt WebEngine, its page and host,
// src/windows/map/web) is a module of its own, loaded the first time a map is made, so that
// starting the viewer neither loads nor starts Qt WebEngine; CreateMapSurface() loads it.
#include "container/telemetry.h"
#include "windows/map/map_messages.h"
#include "windows/views/marker_kind.h"

#include <QString>
#include <QWidget>

#include <vector>

namespace ravir::map {

class MapSurface : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The current recording (see CMapView::setRecording).
    virtual void setRecording(const TelemetryReader& reader, int recordingIndex,
                              std::vector<GpsSample> allRecordingsGps, bool wholeTrip) = 0;
    virtual void clearRecording() = 0;
    virtual void setAllRecordings(std::vector<GpsSample> allRecordingsGps) = 0;
    virtual void setMarkerKinds(const MarkerKinds& kinds) = 0;
    virtual void setFrame(int frame) = 0;
    virtual void setPlayStatus(PlayStatus status) = 0;
    virtual bool isPageReady() const = 0;
    virtual bool isPlaceholderShown() const = 0;
    virtual bool isOnline() const = 0;

Q_SIGNALS:
    void pageReady();
    void eventClicked(int frame);
};

// The exported maker the module offers (extern "C", so that it is found by this name).
using MapSurfaceMaker = MapSurface* (*)(QWidget* parent);
inline constexpr char kMapSurfaceMakerName[] = "ravir_make_map_surface";

// Makes the map, loading the module on first use: from the program's own process when it is
// linked in (tests), else from RAVIR_MAP_MODULE when set, else from the module folder beside
// the program (build tree) or of the installation. nullptr with the reason in `why` when the
// module cannot be loaded; the caller then shows the placeholder.
MapSurface* CreateMapSurface(QWidget* parent, QString* why = nullptr);

}  // namespace ravir::map
