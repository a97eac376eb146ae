#pragma once
// The timing facts a player needs before it opens a movie: frame duration, length, frame count,
// and whether the movie is too short to play.
#include <QString>
#include <optional>

namespace ravir {

struct MovieTiming {
    double frameMs = 0;        // milliseconds per video frame
    double durationMs = 0;     // length of the movie (mvhd), 0 when unknown
    long long frameCount = 0;  // video frames
    bool tooShort = false;     // at most 2 seconds and not 15 frames per second
    bool fromBoxes = false;    // frame duration from the movie's own boxes (not the fallback)
};

// Frame duration from the movie's boxes, with libavformat as the fallback (also when the boxes'
// first track is not the video track); the frame count from the video stream's sample count,
// else length / frame duration. Empty when neither finds a frame rate, or when the movie has no
// video stream.
std::optional<MovieTiming> ProbeMovieTiming(const QString& path);

// The too-short rule: a movie of at most 2 seconds is refused unless it runs at 15 frames per
// second.
bool IsTooShortToPlay(double durationMs, double frameMs);

}  // namespace ravir
