#include "windows/map/web/map_event_points.h"

#include "windows/map/map_messages.h"

namespace ravir::map {
namespace {

const AccelSample* sampleAt(const std::vector<int32_t>& frameIndex,
                            const std::vector<AccelSample>& accel, size_t position)
{
    if (position >= frameIndex.size())
        return nullptr;
    const int32_t s = frameIndex[position];
    if (s < 0 || static_cast<size_t>(s) >= accel.size())
        return nullptr;
    return &accel[static_cast<size_t>(s)];
}

int typeAt(const std::vector<int32_t>& frameIndex, const std::vector<AccelSample>& accel,
           size_t position, int kind, const MarkerClassifier& classify)
{
    const AccelSample* sample = sampleAt(frameIndex, accel, position);
    return sample ? classify(*sample, kind) : -1;
}

}  // namespace

KindFlags showOnMapFlags(const MarkerKinds& kinds)
{
    KindFlags flags{};
    for (size_t j = 0; j < flags.size() && j < kinds.size(); ++j)
        flags[j] = kinds[j].showOnMap;
    return flags;
}

MarkerClassifier graphClassifier()
{
    return [](const AccelSample& sample, int kind) { return ClassifyMarker(kind, sample); };
}

std::vector<EventPoint> buildEventPoints(const std::vector<int32_t>& frameIndex,
                                         const std::vector<AccelSample>& accel,
                                         const KindFlags& showOnMap,
                                         const MarkerClassifier& classify)
{
    std::vector<EventPoint> points;
    if (!classify)
        return points;
    for (size_t i = 0; i < frameIndex.size(); ++i) {
        for (int j = 0; j < kMarkerKinds; ++j) {
            if (!showOnMap[static_cast<size_t>(j)])
                continue;
            const int type = typeAt(frameIndex, accel, i, j, classify);
            if (type == -1)
                continue;
            if (i == 0 || typeAt(frameIndex, accel, i - 1, j, classify) != type) {
                const AccelSample* sample = sampleAt(frameIndex, accel, i);
                points.push_back(EventPoint{static_cast<int32_t>(i), frameIndex[i], type, j,
                                            *sample});
            }
            break;  // the first kind that gives a type decides this position
        }
    }
    return points;
}

std::vector<CrashPos> crashPositions(const std::vector<EventPoint>& points,
                                     const std::vector<GpsSample>& gps, int recordingIndex,
                                     const KindFlags& showOnMap)
{
    std::vector<CrashPos> out;
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        const int32_t link = it->sample.gpsLink;
        if (link < 0 || static_cast<size_t>(link) >= gps.size())
            break;  // no GPS from here back
        if (it->kind < 0 || it->kind >= kMarkerKinds || !showOnMap[static_cast<size_t>(it->kind)])
            continue;
        const GpsSample& g = gps[static_cast<size_t>(link)];
        if (!IsUsableFix(g))
            continue;
        out.push_back(CrashPos{it->type, it->sample.x, it->sample.y, it->sample.z, 0,
                               recordingIndex, it->sample.time, g.latitude, g.longitude,
                               g.valid, g.speed, g.heading});
    }
    return out;
}

QString addCrashPosScript(const CrashPos& c)
{
    const QStringList values{scriptInt(c.type),      scriptDouble(c.x),
                             scriptDouble(c.y),      scriptDouble(c.z),
                             scriptInt(c.ifile),     scriptInt(c.igrid),
                             scriptInt(c.ipos),      scriptDouble(c.latitude),
                             scriptDouble(c.longitude), scriptInt(c.valid),
                             scriptDouble(c.speed),  scriptDouble(c.direction)};
    return QStringLiteral("cplist.AddCrashPos(") + values.join(u',') + u')';
}

}  // namespace ravir::map
