#pragma once
// The telemetry timeline data: between the decoded samples (timed in ms) and playback (in video
// frames). A reader's frame index holds one entry per video frame of the main camera's movie;
// the samples are linked to each other and the largest absolute acceleration is kept. The
// readers a player keeps for its movies (current, load, prefetch) belong to the playback layer.
#include "container/telemetry.h"

namespace ravir {

// What the timeline needs to know about the movies.
struct FrameFacts {
    virtual ~FrameFacts();
    // Frames in the MAIN camera's movie; 0 or less when its player is not ready or no movie is
    // open.
    virtual int frameCount() const = 0;
    // Milliseconds per video frame of this player's movie; 0 when no movie is open.
    virtual double frameMs() const = 0;
};

// Fixed frame facts (the player when it loads telemetry, tests, the command line).
struct PlainFrameFacts final : FrameFacts {
    PlainFrameFacts(int count, double ms) : count_(count), ms_(ms) {}
    int frameCount() const override { return count_; }
    double frameMs() const override { return ms_; }

private:
    int count_;
    double ms_;
};

// Converts the reader's sample times into frame numbers of the movie, fills its frame index (one
// entry per frame of the main camera's movie), links the samples and computes the largest
// absolute acceleration. False (index empty) when there is no frame count or frame duration.
// Sample times are converted once per load, so calling it again only rebuilds the index.
bool BuildFrameIndex(TelemetryReader& reader, const FrameFacts& facts);

// Moves lists, frame index, header, counter, maximum and path from source into target (whose
// lists are released first); source is left empty and not loaded. True when target now holds at
// least one GpsSample. Frame duration, interval and the other flags stay with their reader.
bool MoveReader(TelemetryReader& source, TelemetryReader& target);

}  // namespace ravir
