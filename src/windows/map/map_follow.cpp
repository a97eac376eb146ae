#include "windows/map/map_follow.h"

#include "playback/player.h"
#include "windows/views/recording_telemetry.h"

namespace ravir {

map::PlayStatus MapStatusFor(int playState)
{
    if (playState == kPlaying)
        return map::PlayStatus::Playing;
    return playState == kPaused ? map::PlayStatus::Paused : map::PlayStatus::Stopped;
}

bool MapCanShowTrack(long long telemetryBytes, const RecordingTelemetry* telemetry, int frame)
{
    constexpr long long kLeastTelemetryBytes = 64;
    if (telemetryBytes < kLeastTelemetryBytes || !telemetry)
        return false;
    const AccelSample* sample = telemetry->sampleAt(frame);
    const GpsSample* fix = sample ? telemetry->gpsOf(*sample) : nullptr;
    return fix && IsUsableFix(*fix);
}

}  // namespace ravir
