#pragma once
// The telemetry of the current recording as the views read it: the acceleration and GPS samples
// (times in frame numbers), the frame index and the facts of the movie. The main window makes one
// snapshot when a recording's telemetry is ready, while it holds the players' movie-data lock,
// and hands the same immutable snapshot to the graph, the information panel and the event-point
// builder, which then read it without a lock.
#include "container/telemetry.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ravir {

struct RecordingTelemetry {
    std::vector<AccelSample> accel;
    std::vector<GpsSample> gps;
    std::vector<int32_t> frameIndex;  // one entry per video frame: index into accel, -1 none
    double maxAbsAccel = 0.0;
    float thresholds[3] = {0.0f, 0.0f, 0.0f};  // header thresholds of X, Y, Z (G)
    bool timeLapse = false;                    // header rate 'T'

    int frameCount() const { return static_cast<int>(frameIndex.size()); }
    // The acceleration sample shown at frame position k, or null (outside the index, no sample).
    const AccelSample* sampleAt(int64_t k) const;
    // The GPS sample linked to an acceleration sample, or null.
    const GpsSample* gpsOf(const AccelSample& sample) const;
    // The graph's range code for this recording (0..3).
    int rangeCode() const;

    // A copy of the reader's lists and frame index (the caller holds the reader's lock).
    static std::shared_ptr<const RecordingTelemetry> FromReader(const TelemetryReader& reader);
};

using TelemetrySnapshot = std::shared_ptr<const RecordingTelemetry>;

}  // namespace ravir
