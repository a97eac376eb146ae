#pragma once
// A span of frames of one movie written as a movie of its own without re-encoding.
//
// The samples of every track are copied as they are: the video from the key frame at or before
// the first frame of the span to the last sample that a frame of the span needs, the other
// tracks (audio) over the same presentation times, with one sample of pre-roll before. An edit
// list on every track makes players start on the first frame of the span and stop after the
// last one, so that a decoder gives exactly the frames of the span. The sample tables are those
// of the joined save (join_tables.h) cut to the samples kept; the output is ftyp, moov, mdat.
//
// Frames are numbered in presentation order from the first frame the movie's own edit list
// shows, as players number them. The input is only read; the output is created (never
// replaced) and removed again on any failure.
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace ravir {

enum class CutError {
    None,
    OpenFailed,    // the movie cannot be opened or its box structure is damaged
    InputDamaged,  // its sample tables do not hold together or do not fit its media data
    NotCuttable,   // fragments, several media data boxes, no video track, unknown table boxes
    OutOfRange,    // the span is empty or lies outside the movie's frames
    InputChanged,  // the movie changed while it was read
    OutputExists,  // the output exists
    WriteFailed,   // creating, writing or flushing the output failed (a full disk)
    Stopped,       // the stop flag was set
};

// Presentation times of a movie's video frames, from the first frame shown.
struct MovieFrames {
    bool ok = false;
    QString why;
    std::vector<double> startSeconds;  // one per frame, rising
    double endSeconds = 0;             // where the last frame ends
};
MovieFrames ReadMovieFrames(const QString& path);

// The frames [from, to] of a movie whose start time lies in [fromSeconds, toSeconds), with
// half a frame of tolerance either way: the other camera's frames of the same moments. False
// when no frame starts there.
bool FramesOfTimes(const MovieFrames& frames, double fromSeconds, double toSeconds, int64_t& from,
                   int64_t& to);

struct MovieCutRequest {
    QString input;
    QString output;  // created; an existing file is refused
    int64_t fromFrame = 0;
    int64_t toFrame = 0;  // inclusive
    std::atomic<bool>* stop = nullptr;
    std::function<void(uint64_t written, uint64_t total)> progress;
    bool syncToDisk = true;
};

struct MovieCutResult {
    bool ok = false;
    CutError error = CutError::None;
    QString detail;  // what failed, with the file concerned
    int64_t frameCount = 0;      // frames of the input
    double fromSeconds = 0;      // presentation time where the span starts
    double toSeconds = 0;        // and where it ends (the end of its last frame)
    uint64_t bytes = 0;          // size of the output
    int64_t firstKeptSample = 0; // decode-order video samples copied: [first, last]
    int64_t lastKeptSample = 0;
};

MovieCutResult CutMovie(const MovieCutRequest& request);

// "open-failed", "input-damaged", ... for logs and JSON.
const char* CutErrorName(CutError error);

}  // namespace ravir
