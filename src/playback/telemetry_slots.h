#pragma once
// The telemetry slots of a player: three readers (current, load, prefetch), the two movie-data
// mutexes and, for the main camera, the track of all recordings for the map. The telemetry file
// of a movie is found by the recording naming rule.
//
// Lock order: movie-data mutex 1 before movie-data mutex 2, always. Loads on the UI thread take
// 1 then 2; the prefetch worker takes only 2; the views take 1 while they read the current
// reader. Both are recursive. Scans of telemetry files are further serialised by FindMutex().
#include "container/telemetry.h"
#include "container/telemetry_timeline.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace ravir {

// The telemetry state of one player.
struct TelemetrySlots {
    TelemetrySlots() = default;
    ~TelemetrySlots();  // stops a running prefetch worker
    TelemetrySlots(const TelemetrySlots&) = delete;
    TelemetrySlots& operator=(const TelemetrySlots&) = delete;

    std::recursive_mutex viewsLock;  // telemetry, overlay and placement of the player
    std::recursive_mutex loadLock;  // telemetry loads against the prefetch worker
    TelemetryReader current;   // what the views show
    TelemetryReader load;      // target of LoadTelemetryForMovie
    TelemetryReader prefetch;  // filled ahead of time by the prefetch worker
    // The main camera's player is initialised; prefetching needs it.
    std::atomic<bool> initialised{true};
    // Track of all recordings of the file list (main camera only), guarded by viewsLock.
    std::vector<GpsSample> allRecordingsTrack;

    // Guards prefetch.prefetchMoviePath for readers that do not hold loadLock (written only
    // while holding both).
    std::mutex prefetchInfo;
    // The prefetch worker (one at a time).
    std::mutex workerMutex;
    std::thread worker;
    std::atomic<int> lastPrefetchResult{-1};  // -1 none yet, 0 failed, 1 succeeded
};

// Fills the load reader with the telemetry of moviePath, reusing the prefetched copy when it was
// fetched for exactly this movie, and builds its frame index. True even without telemetry.
bool LoadTelemetryForMovie(TelemetrySlots& slots, const QString& moviePath,
                           const FrameFacts& facts);

// Empties the current and the load reader.
void FreeTelemetry(TelemetrySlots& slots);

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
// The walk behind it, into any list: appends the GPS samples of each movie's telemetry file in
// order; false at the first movie without readable telemetry (the samples before it stay) or
// once cancel is set.
bool AppendAllRecordingsTrack(const QStringList& moviePaths, std::vector<GpsSample>& out,
                              const std::atomic<bool>* cancel = nullptr);

// The telemetry file of a movie path; a path that already names a ".ADA" file is kept.
QString TelemetryFileForMovie(const QString& moviePath);

}  // namespace ravir
