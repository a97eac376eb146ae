#pragma once
// What the map window is told as playback goes on: the play status text of the page (empty while
// playing, "pause", "stop") and whether the map can show the position at all.
#include <QString>

namespace ravir {

struct RecordingTelemetry;

// The status text for the main camera's play state (PlayStateCode of the player): "" playing,
// "pause" paused, "stop" stopped or closed.
QString MapStatusFor(int playState);

// The map can show the track at a frame when the recording's telemetry file holds at least 64
// bytes and the sample current at that frame has a valid GPS fix with a position (a missing
// position is stored as 720 degrees).
bool MapCanShowTrack(long long telemetryBytes, const RecordingTelemetry* telemetry, int frame);

}  // namespace ravir
