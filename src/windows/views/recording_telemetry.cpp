#include "windows/views/recording_telemetry.h"

namespace ravir {

const AccelSample* RecordingTelemetry::sampleAt(int64_t k) const
{
    if (k < 0 || k >= static_cast<int64_t>(frameIndex.size()))
        return nullptr;
    const int32_t s = frameIndex[static_cast<size_t>(k)];
    if (s < 0 || s >= static_cast<int32_t>(accel.size()))
        return nullptr;
    return &accel[static_cast<size_t>(s)];
}

const GpsSample* RecordingTelemetry::gpsOf(const AccelSample& sample) const
{
    if (sample.gpsLink < 0 || sample.gpsLink >= static_cast<int32_t>(gps.size()))
        return nullptr;
    return &gps[static_cast<size_t>(sample.gpsLink)];
}

int RecordingTelemetry::rangeCode() const { return GraphRangeCode(maxAbsAccel); }

std::shared_ptr<const RecordingTelemetry> RecordingTelemetry::FromReader(
    const TelemetryReader& reader)
{
    auto t = std::make_shared<RecordingTelemetry>();
    t->accel = reader.accel;
    t->gps = reader.gps;
    t->frameIndex = reader.frameIndex;
    t->maxAbsAccel = reader.maxAbsAccel;
    t->thresholds[0] = reader.header.thresholdX;
    t->thresholds[1] = reader.header.thresholdY;
    t->thresholds[2] = reader.header.thresholdZ;
    t->timeLapse = reader.header.rate == 'T';
    return t;
}

}  // namespace ravir
