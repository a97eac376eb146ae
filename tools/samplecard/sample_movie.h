#pragma once
// Sample movies for tests, benchmarks and the demo card, made with the `ffmpeg` program: H.264
// video whose every frame carries its own frame number (frame_pattern.h), AAC audio, and on
// request the recorder's own box order (ftyp, mdat, moov, udat holding a telemetry block).
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ravir::samples {

struct SampleMovieOptions {
    int width = 1920;
    int height = 1080;
    double fps = 30.0;
    double seconds = 3.0;         // length; the frame count is round(seconds * fps)
    int gop = 30;                 // key-frame interval in frames
    bool audio = true;            // AAC, 48 kHz stereo, a tone
    bool recorderLayout = true;   // ftyp, mdat, moov, then a top-level udat box with telemetryBlock
    QByteArray telemetryBlock;    // block for the udat box (recorderLayout only); empty: no udat
    uint32_t firstFrameNumber = 0;  // number carried by the first frame
    QString format = QStringLiteral("mov");  // "mov" or "mp4" muxer of ffmpeg
    bool faststart = false;       // moov before mdat (only without recorderLayout)
    uint32_t seed = 1;            // varies the moving background
};

// Writes the movie to path (through a temporary file in the same folder, renamed at the end).
// Returns false with a message in *error when ffmpeg is missing or fails.
bool WriteSampleMovie(const QString& path, const SampleMovieOptions& options,
                      QString* error = nullptr);

// The number of frames WriteSampleMovie writes: round(seconds * fps), at least 1.
long long frameCount(const SampleMovieOptions& options);

}  // namespace ravir::samples
