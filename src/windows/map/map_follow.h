#pragma once
// What the map window is told as playback goes on: the play status of the page and whether the
// map can show the position at all.
#include "windows/map/map_messages.h"

namespace ravir {

struct RecordingTelemetry;

// The page's play status for the main camera's play state (PlayStateCode of the player): paused,
// playing, or stopped (also when no movie is open). map::statusText gives its text.
map::PlayStatus MapStatusFor(int playState);

// The map can show the track at a frame when the recording's telemetry file holds at least 64
// bytes and the sample current at that frame has a valid GPS fix with a position (a missing
// position is stored as 720 degrees).
bool MapCanShowTrack(long long telemetryBytes, const RecordingTelemetry* telemetry, int frame);

}  // namespace ravir
