#pragma once
// The telemetry timeline: between the decoded samples (timed in ms) and playback (in video
// frames). Each player keeps a TelemetrySlots: three readers (current, load, prefetch), the two
// movie-data mutexes and, for the main camera, the track of all recordings for the map.
//
// Lock order: movie-data mutex 1 before movie-data mutex 2, always. Loads on the UI thread take
// 1 then 2; the prefetch worker takes only 2; the views take 1 while they read the current
// reader. Both are recursive. Scans of telemetry files are further serialised by FindMutex().
#include "container/telemetry.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace ravir {

// What the timeline needs to know about the movies; the playback engine implements it.
struct FrameFacts {
    virtual ~FrameFacts();
    // Frames in the MAIN camera's movie; 0 or less when its player is not ready or no movie is
    // open.
    virtual int frameCount() const = 0;
    // Milliseconds per video frame of this player's movie; 0 when no movie is open.
    virtual double frameMs() const = 0;
};

// Fixed frame facts (tests, the command line).
struct PlainFrameFacts final : FrameFacts {
    PlainFrameFacts(int count, double ms) : count_(count), ms_(ms) {}
    int frameCount() const override { return count_; }
    double frameMs() const override { return ms_; }

private:
    int count_;
    double ms_;
};

// The telemetry state of one player.
struct TelemetrySlots {
    TelemetrySlots() = default;
    ~TelemetrySlots();  // stops a running prefetch worker
    TelemetrySlots(const TelemetrySlots&) = delete;
    TelemetrySlots& operator=(const TelemetrySlots&) = delete;

    std::recursive_mutex movieData1;  // telemetry, overlay and placement of the player
    std::recursive_mutex movieData2;  // telemetry loads against the prefetch worker
    TelemetryReader current;   // what the views show
    TelemetryReader load;      // target of LoadTelemetryForMovie
    TelemetryReader prefetch;  // filled ahead of time by the prefetch worker
    // The main camera's player is initialised; prefetching needs it.
    std::atomic<bool> initialised{true};
    // Track of all recordings of the file list (main camera only), guarded by movieData1.
    std::vector<GpsSample> allRecordingsTrack;

    // Guards prefetch.prefetchMoviePath for readers that do not hold movieData2 (written only
    // while holding both).
    std::mutex prefetchInfo;
    // The prefetch worker (one at a time).
    std::mutex workerMutex;
    std::thread worker;
    std::atomic<int> lastPrefetchResult{-1};  // -1 none yet, 0 failed, 1 succeeded
};

// Converts the reader's sample times into frame numbers of the movie, fills its frame index (one
// entry per frame of the main camera's movie), links the samples and computes the largest
// absolute acceleration. False (index empty) when there is no frame count or frame duration.
// Sample times are converted once per load, so calling it again only rebuilds the index.
bool BuildFrameIndex(TelemetryReader& reader, const FrameFacts& facts);

// Fills the load reader with the telemetry of moviePath, reusing the prefetched copy when it was
// fetched for exactly this movie, and builds its frame index. True even without telemetry.
bool LoadTelemetryForMovie(TelemetrySlots& slots, const QString& moviePath,
                           const FrameFacts& facts);

// Empties the current and the load reader.
void FreeTelemetry(TelemetrySlots& slots);

// Moves lists, frame index, header, counter, maximum and path from source into target (whose
// lists are released first); source is left empty and not loaded. True when target now holds at
// least one GpsSample. Frame duration, interval and the other flags stay with their reader.
bool MoveReader(TelemetryReader& source, TelemetryReader& target);

// Loads the telemetry of moviePath into the prefetch reader (runs on a worker thread). An empty
// path only cancels and clears. True when the load succeeded or the path was empty; false when
// the main camera's player is not initialised, there is no telemetry file, or the load failed or
// was cancelled.
bool PrefetchTelemetry(TelemetrySlots& mainSlots, const QString& moviePath);

// Starts PrefetchTelemetry on the slots' worker thread, after stopping a running one.
void StartPrefetch(TelemetrySlots& mainSlots, const QString& moviePath);
// Cancels a running prefetch and waits for its thread.
void StopPrefetch(TelemetrySlots& mainSlots);

// Rebuilds the track of all recordings from the movies of the file list, in order: one GpsSample
// per record, index and time (ms) restarting at 0 for each recording. The first movie without a
// readable telemetry file ends the walk with false; the samples collected so far stay.
bool BuildAllRecordingsTrack(TelemetrySlots& mainSlots, const QStringList& moviePaths);

// The telemetry file of a movie path; a path that already names a ".ADA" file is kept.
QString TelemetryFileForMovie(const QString& moviePath);

}  // namespace ravir
