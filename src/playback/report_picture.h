#pragma once
// The picture of an accident report, composed like the player's stills (Qt Gui, no window). The viewer composes its window
// picture with the map window's page picture; `ravir report` composes the two cameras' stills
// with a drawn track of the recording.
#include "container/telemetry.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <vector>

namespace ravir {

// Draws `map` at its own size into a copy of `viewer` with its lower right corner scale x 4
// from the right edge and scale x 38 from the bottom edge (scale: the layout scale). A null map
// leaves the viewer picture as it is; a null viewer gives a null picture.
QImage ComposeReportPicture(const QImage& viewer, const QImage& map, double scale);

// The picture as JPEG (quality 90); empty when it is null or cannot be encoded.
QByteArray ReportJpeg(const QImage& picture);

// The picture that stands for the map when there is no position fix or no connection: a dark
// panel with a crossed-out position pin.
QImage ReportMapPlaceholder(const QSize& size);

// The track of a recording drawn without map tiles: the valid fixes as a line, fitted into the
// picture with the same scale in both directions (longitudes shortened by the cosine of the
// latitude), the position `current` as a marker. Null when no fix is valid.
QImage DrawReportTrack(const std::vector<GpsSample>& track, const GpsSample& current,
                       const QSize& size);

// The scene of the command line: the main camera's still at its own size with the sub camera's
// still (when not null) as an inset of a third of the width in the lower left corner (the
// top band of the picture and the lower right corner, where the map goes, stay free).
QImage ComposeCameraStills(const QImage& mainStill, const QImage& subStill);

}  // namespace ravir
