// Edit lists and header durations of the joined save.
#include "container/join_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ravir::joining {

std::vector<EditEntry> ReadEdits(const std::vector<uint8_t>& p)
{
    std::vector<EditEntry> out;
    const bool v1 = p[0] == 1;
    const size_t step = v1 ? 20 : 12;
    const uint64_t count = Be32(p, 4);
    for (uint64_t i = 0; i < count && 8 + (i + 1) * step <= p.size(); ++i) {
        const size_t at = 8 + i * step;
        if (v1)
            out.push_back({ReadBE64(p.data() + at), static_cast<int64_t>(ReadBE64(p.data() + at + 8))});
        else
            out.push_back({Be32(p, at), static_cast<int32_t>(Be32(p, at + 4))});
    }
    return out;
}

bool ReadEditList(const BoxNode* elst, uint32_t movieTimescale, TrackTables& t, QString& why)
{
    if (!elst)
        return true;
    const auto* e = LeafPayload(elst, 8);
    if (!e)
        return Fail(why, QStringLiteral("an edit list is damaged"));
    for (const EditEntry& edit : ReadEdits(*e)) {
        if (edit.mediaTime < 0)
            continue;
        t.editMediaTime = edit.mediaTime;
        t.lastEditDuration = movieTimescale == 0 ? -1
            : static_cast<int64_t>(std::llround(static_cast<long double>(edit.duration)
                                                * t.mediaTimescale / movieTimescale));
    }
    t.lastEditMediaTime = t.editMediaTime;
    return true;
}

namespace {

uint64_t scaled(uint64_t value, uint32_t from, uint32_t to)
{
    if (from == 0)
        return 0;
    const long double v = static_cast<long double>(value) * to / from;
    return static_cast<uint64_t>(std::llround(v));
}

bool putDuration(BoxNode& box, size_t v0At, size_t v1At, uint64_t value, QString& why)
{
    if (!box.payloadLoaded || box.payload.empty())
        return Fail(why, QStringLiteral("damaged header"));
    const bool v1 = box.payload[0] == 1;
    const size_t at = v1 ? v1At : v0At;
    if (box.payload.size() < at + (v1 ? 8 : 4))
        return Fail(why, QStringLiteral("damaged header"));
    if (v1) {
        WriteBE64(box.payload.data() + at, value);
    } else {
        if (value > std::numeric_limits<uint32_t>::max())
            return Fail(why, QStringLiteral("the joined movie is too long for its headers"));
        WriteBE32(box.payload.data() + at, static_cast<uint32_t>(value));
    }
    return true;
}

// Sets the last shown edit of the track: every recording before the last shows its whole media;
// the last one shows what its own edit showed. Returns the track duration (movie units) through
// trackDuration when the track has such an edit.
bool writeLastEdit(JoinTrack& track, uint32_t movieScale, uint64_t& trackDuration, QString& why)
{
    const TrackTables& t = track.tables;
    if (!track.elst || !track.elst->payloadLoaded || track.elst->payload.size() < 8)
        return true;
    std::vector<uint8_t>& p = track.elst->payload;
    auto edits = ReadEdits(p);
    int last = -1;
    for (size_t i = 0; i < edits.size(); ++i) {
        if (edits[i].mediaTime >= 0)
            last = static_cast<int>(i);
    }
    if (last < 0)
        return true;
    EditEntry& edit = edits[static_cast<size_t>(last)];
    const int64_t lastShown = t.lastEditDuration >= 0 ? t.lastEditMediaTime + t.lastEditDuration
                                                      : static_cast<int64_t>(t.lastMedia);
    const auto shown = static_cast<uint64_t>(std::max<int64_t>(
        0, static_cast<int64_t>(t.mediaDuration - t.lastMedia) + lastShown - edit.mediaTime));
    edit.duration = scaled(shown, t.mediaTimescale, movieScale);
    const bool v1 = p[0] == 1;
    const size_t at = 8 + static_cast<size_t>(last) * (v1 ? 20 : 12);
    if (v1) {
        WriteBE64(p.data() + at, edit.duration);
    } else {
        if (edit.duration > std::numeric_limits<uint32_t>::max())
            return Fail(why, QStringLiteral("the joined movie is too long for its headers"));
        WriteBE32(p.data() + at, static_cast<uint32_t>(edit.duration));
    }
    trackDuration = 0;
    for (const EditEntry& e : edits)
        trackDuration += e.duration;
    return true;
}

}  // namespace

bool WriteDurations(BoxNode& mvhd, std::vector<JoinTrack>& tracks, QString& why)
{
    const auto movieTimes = ReadMvhdTimes(mvhd);
    if (!movieTimes || movieTimes->timescale == 0)
        return Fail(why, QStringLiteral("damaged movie header"));
    const uint32_t movieScale = movieTimes->timescale;
    uint64_t longest = 0;
    for (JoinTrack& track : tracks) {
        const TrackTables& t = track.tables;
        if (!putDuration(*track.mdhd, 16, 24, t.mediaDuration, why))
            return false;
        uint64_t trackDuration = scaled(t.mediaDuration, t.mediaTimescale, movieScale);
        if (!writeLastEdit(track, movieScale, trackDuration, why)
            || !putDuration(*track.tkhd, 20, 28, trackDuration, why))
            return false;
        longest = std::max(longest, trackDuration);
    }
    return putDuration(mvhd, 16, 24, longest, why);
}

}  // namespace ravir::joining
