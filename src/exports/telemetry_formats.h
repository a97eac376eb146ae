#pragma once
// The telemetry of a recording as files for other programs: GPX 1.1 (one track, one segment
// per run of usable fixes, UTC times, speed in m/s in Garmin's TrackPointExtension) and CSV
// (a header line and one line per record). `ravir telemetry` and the evidence export write them.
#include "container/telemetry.h"

#include <QByteArray>
#include <QString>

namespace ravir {

// ISO 8601 local time of a fix with the zone offset of that instant, e.g.
// 2025-03-14T09:30:05+09:00.
QString IsoLocalTime(const GpsSample& g);
// ISO 8601 UTC time, e.g. 2025-03-14T00:30:05Z; empty when out of range.
QString IsoUtcTime(int64_t utcSeconds);

QByteArray TelemetryGpx(const TelemetryReader& r, const QString& name);
QByteArray TelemetryCsv(const TelemetryReader& r);

}  // namespace ravir
