#include "playback/telemetry_slots.h"

#include "catalogue/recording_name.h"

#include <utility>

namespace ravir {
namespace {

void SetPrefetchPath(TelemetrySlots& slots, const QString& path)
{
    std::lock_guard<std::mutex> info(slots.prefetchInfo);
    slots.prefetch.prefetchMoviePath = path;
}

}  // namespace

TelemetrySlots::~TelemetrySlots() { StopPrefetch(*this); }

QString TelemetryFileForMovie(const QString& moviePath)
{
    if (moviePath.endsWith(QLatin1String(".ADA"), Qt::CaseInsensitive))
        return moviePath;
    return TelemetryPathOf(moviePath);
}

bool LoadTelemetryForMovie(TelemetrySlots& slots, const QString& moviePath,
                           const FrameFacts& facts)
{
    std::lock_guard<std::recursive_mutex> hold1(slots.viewsLock);

    // Let a prefetch of this movie finish; stop one of another movie.
    bool sameMovie = false;
    {
        std::lock_guard<std::mutex> info(slots.prefetchInfo);
        sameMovie = slots.prefetch.active.load() != 0 &&
                    slots.prefetch.prefetchMoviePath == moviePath;
    }
    if (!sameMovie)
        slots.prefetch.cancel.store(1);
    { std::lock_guard<std::recursive_mutex> wait(slots.loadLock); }
    if (!sameMovie)
        slots.prefetch.cancel.store(0);

    {
        std::lock_guard<std::recursive_mutex> hold2(slots.loadLock);
        std::lock_guard<std::recursive_mutex> inner1(slots.viewsLock);
        slots.current.path = moviePath;
        TelemetryReader& prefetched = slots.prefetch;
        if (prefetched.loaded && prefetched.prefetchMoviePath == moviePath) {
            MoveReader(prefetched, slots.load);
        } else {
            const QString telemetryPath = TelemetryFileForMovie(moviePath);
            prefetched.clear();
            SetPrefetchPath(slots, QString());
            slots.load.clear();
            if (HasTelemetryMagic(telemetryPath))
                LoadTelemetryFile(slots.load, telemetryPath);
        }
    }
    BuildFrameIndex(slots.load, facts);
    return true;
}

void FreeTelemetry(TelemetrySlots& slots)
{
    std::lock_guard<std::recursive_mutex> hold1(slots.viewsLock);
    slots.current.clear();
    slots.load.clear();
}

bool PrefetchTelemetry(TelemetrySlots& mainSlots, const QString& moviePath)
{
    if (!mainSlots.initialised.load())
        return false;
    TelemetryReader& reader = mainSlots.prefetch;
    // Stop a scan in progress and wait for it.
    reader.cancel.store(1);
    std::lock_guard<std::recursive_mutex> hold2(mainSlots.loadLock);
    reader.cancel.store(0);
    reader.clear();
    {
        std::lock_guard<std::mutex> info(mainSlots.prefetchInfo);
        reader.prefetchMoviePath = moviePath;
        reader.active.store(1);
    }
    bool ok = true;
    if (!moviePath.isEmpty()) {
        const QString telemetryPath = TelemetryFileForMovie(moviePath);
        ok = HasTelemetryMagic(telemetryPath) && LoadTelemetryFile(reader, telemetryPath);
    }
    reader.active.store(0);
    return ok;
}

void StartPrefetch(TelemetrySlots& mainSlots, const QString& moviePath)
{
    std::lock_guard<std::mutex> lock(mainSlots.workerMutex);
    if (mainSlots.worker.joinable()) {
        mainSlots.prefetch.cancel.store(1);
        mainSlots.worker.join();
    }
    mainSlots.lastPrefetchResult.store(-1);
    mainSlots.worker = std::thread([&mainSlots, moviePath] {
        const bool ok = PrefetchTelemetry(mainSlots, moviePath);
        mainSlots.lastPrefetchResult.store(ok ? 1 : 0);
    });
}

void StopPrefetch(TelemetrySlots& mainSlots)
{
    std::lock_guard<std::mutex> lock(mainSlots.workerMutex);
    if (mainSlots.worker.joinable()) {
        mainSlots.prefetch.cancel.store(1);
        mainSlots.worker.join();
        mainSlots.prefetch.cancel.store(0);
    }
}

bool BuildAllRecordingsTrack(TelemetrySlots& mainSlots, const QStringList& moviePaths)
{
    std::lock_guard<std::recursive_mutex> hold1(mainSlots.viewsLock);
    std::vector<GpsSample>().swap(mainSlots.allRecordingsTrack);
    return AppendAllRecordingsTrack(moviePaths, mainSlots.allRecordingsTrack);
}

bool AppendAllRecordingsTrack(const QStringList& moviePaths, std::vector<GpsSample>& out,
                              const std::atomic<bool>* cancel)
{
    for (const QString& movie : moviePaths) {
        if (cancel && cancel->load())
            return false;
        const QString telemetryPath = TelemetryFileForMovie(movie);
        if (!HasTelemetryMagic(telemetryPath) || !DecodeGpsOnly(telemetryPath, out))
            return false;
    }
    return true;
}

}  // namespace ravir
