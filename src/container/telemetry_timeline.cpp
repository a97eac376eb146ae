#include "container/telemetry_timeline.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ravir {
namespace {

// A frame index larger than this comes from a damaged movie (about 77 hours at 120 frames per
// second); it is refused instead of allocating gigabytes.
constexpr int kMaxFrameIndexEntries = 1 << 25;

int32_t ToFrame(int32_t timeMs, float frameMs)
{
    const float f = static_cast<float>(timeMs) / frameMs;
    if (std::isnan(f))
        return 0;
    if (f >= 2147483647.0f)
        return INT32_MAX;
    if (f <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(f);
}

}  // namespace

FrameFacts::~FrameFacts() = default;

bool BuildFrameIndex(TelemetryReader& reader, const FrameFacts& facts)
{
    const int frames = facts.frameCount();
    const double ms = facts.frameMs();
    if (frames <= 0 || frames > kMaxFrameIndexEntries || !(ms > 0.0) || !std::isfinite(ms) ||
        !(static_cast<float>(ms) > 0.0f)) {
        std::vector<int32_t>().swap(reader.frameIndex);
        return false;
    }
    reader.frameMs = static_cast<float>(ms);

    if (!reader.timesInFrames) {
        for (AccelSample& a : reader.accel)
            a.time = ToFrame(a.time, reader.frameMs);
        for (GpsSample& g : reader.gps)
            g.time = ToFrame(g.time, reader.frameMs);
        reader.timesInFrames = true;
    }

    // One entry per frame; the cursor moves at most one sample per frame, so a sample becomes
    // current at the frame after its own frame number at the earliest.
    reader.frameIndex.assign(static_cast<size_t>(frames), -1);
    const size_t accelCount = reader.accel.size();
    if (accelCount > 0) {
        size_t k = 0;
        for (int i = 0; i < frames; ++i) {
            reader.frameIndex[static_cast<size_t>(i)] = static_cast<int32_t>(k);
            if (k + 1 < accelCount && reader.accel[k + 1].time <= i)
                ++k;
        }
    }

    for (GpsSample& g : reader.gps)
        g.accelLink = -1;
    for (AccelSample& a : reader.accel)
        a.gpsLink = -1;
    double maxX = 0.0, maxY = 0.0, maxZ = 0.0;
    const size_t gpsCount = reader.gps.size();
    if (gpsCount > 0) {
        size_t g = 0;
        for (size_t j = 0; j < accelCount; ++j) {
            AccelSample& a = reader.accel[j];
            maxX = std::max(maxX, std::fabs(a.x));
            maxY = std::max(maxY, std::fabs(a.y));
            maxZ = std::max(maxZ, std::fabs(a.z));
            if (reader.gps[g].time <= a.time) {
                reader.gps[g].accelLink = static_cast<int32_t>(j);
                if (g + 1 < gpsCount)
                    ++g;
            }
            a.gpsLink = g >= 5 ? static_cast<int32_t>(g - 5) : 0;
        }
    }
    reader.maxAbsAccel = std::max({maxX, maxY, maxZ});
    return true;
}

bool MoveReader(TelemetryReader& source, TelemetryReader& target)
{
    if (&source == &target)
        return !target.gps.empty();
    target.clear();
    target.sampleCount = std::exchange(source.sampleCount, 0);
    target.gps = std::exchange(source.gps, {});
    target.accel = std::exchange(source.accel, {});
    target.frameIndex = std::exchange(source.frameIndex, {});
    target.header = std::exchange(source.header, TelemetryHeader{});
    target.maxAbsAccel = std::exchange(source.maxAbsAccel, 0.0);
    target.path = std::exchange(source.path, QString());
    target.timesInFrames = std::exchange(source.timesInFrames, false);
    // An emptied reader no longer holds what it was loaded with: a second load of the same movie
    // must read the file rather than take the empty lists.
    source.loaded = false;
    return !target.gps.empty();
}

}  // namespace ravir
