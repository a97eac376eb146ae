// Time-to-sample and composition-offset tables of the joined save.
#include "container/join_tables.h"

#include <algorithm>
#include <limits>

namespace ravir::joining {

void AppendRun(std::vector<Run>& runs, Run run)
{
    if (!runs.empty() && runs.back().second == run.second
        && uint64_t{runs.back().first} + run.first <= std::numeric_limits<uint32_t>::max())
        runs.back().first += run.first;
    else
        runs.push_back(run);
}

bool ReadStts(const BoxNode& box, TrackTables& t, uint64_t& samples, QString& why)
{
    const auto* s = LeafPayload(&box, 8);
    const auto table = s ? DecodeStts(s->data(), s->size()) : std::nullopt;
    if (!table || !table->complete)
        return Fail(why, QStringLiteral("damaged time-to-sample table"));
    samples = 0;
    for (const Run& e : table->runs) {
        if (e.first == 0)
            continue;
        t.stts.push_back(e);
        samples += e.first;
        t.mediaDuration += uint64_t{e.first} * e.second;
    }
    return true;
}

bool ReadCtts(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* c = LeafPayload(&box, 8);
    if (!c || 8 + uint64_t{Be32(*c, 4)} * 8 > c->size())
        return Fail(why, QStringLiteral("damaged composition offset table"));
    t.hasCtts = true;
    t.cttsVersion = (*c)[0];
    uint64_t covered = 0;
    const uint32_t count = Be32(*c, 4);
    for (uint32_t i = 0; i < count && covered < t.sampleCount; ++i) {
        uint32_t n = Be32(*c, 8 + size_t{i} * 8);
        n = static_cast<uint32_t>(std::min<uint64_t>(n, t.sampleCount - covered));
        if (n)
            t.ctts.emplace_back(n, Be32(*c, 12 + size_t{i} * 8));
        covered += n;
    }
    if (covered < t.sampleCount)
        t.ctts.emplace_back(static_cast<uint32_t>(t.sampleCount - covered), 0);
    return true;
}

void AppendStts(TrackTables& t, const TrackTables& u)
{
    for (const Run& e : u.stts)
        AppendRun(t.stts, e);
}

void AppendCtts(TrackTables& t, const TrackTables& u, uint64_t sampleBase)
{
    if (!t.hasCtts && !u.hasCtts)
        return;
    if (!t.hasCtts && sampleBase > 0)
        t.ctts.emplace_back(static_cast<uint32_t>(sampleBase), 0);
    t.hasCtts = true;
    t.cttsVersion = std::max(t.cttsVersion, u.cttsVersion);
    if (u.hasCtts)
        t.ctts.insert(t.ctts.end(), u.ctts.begin(), u.ctts.end());
    else if (u.sampleCount > 0)
        t.ctts.emplace_back(static_cast<uint32_t>(u.sampleCount), 0);
}

// Audio of each recording then starts with the recording's video: a gap stretches the last
// sample; an overrun (encoder padding) is taken from the last samples, none shorter than one
// tick, at most 16 of them.
void AlignEnd(TrackTables& t, uint64_t end)
{
    if (t.stts.empty() || end == t.mediaDuration)
        return;
    int64_t change = static_cast<int64_t>(end) - static_cast<int64_t>(t.mediaDuration);
    std::vector<uint32_t> tail;  // deltas of the trailing samples taken out of the runs
    auto takeLast = [&] {
        Run& last = t.stts.back();
        tail.insert(tail.begin(), last.second);
        if (--last.first == 0)
            t.stts.pop_back();
    };
    if (change > 0) {
        takeLast();
        const int64_t grown = std::min<int64_t>(int64_t{tail.back()} + change, std::numeric_limits<uint32_t>::max());
        change -= grown - tail.back();
        tail.back() = static_cast<uint32_t>(grown);
    } else {
        for (int k = 0; k < 16 && change < 0 && !t.stts.empty(); ++k) {
            takeLast();
            const int64_t shrunk = std::max<int64_t>(1, int64_t{tail.front()} + change);
            change += tail.front() - shrunk;
            tail.front() = static_cast<uint32_t>(shrunk);
        }
    }
    for (uint32_t delta : tail) {
        if (!t.stts.empty() && t.stts.back().second == delta)
            ++t.stts.back().first;
        else
            t.stts.emplace_back(1, delta);
    }
    t.mediaDuration = static_cast<uint64_t>(static_cast<int64_t>(end) - change);
}

namespace {

std::vector<uint8_t> runsPayload(uint8_t version, const std::vector<Run>& runs)
{
    PayloadWriter w;
    w.head(version, runs.size());
    for (const auto& [n, value] : runs) {
        w.u32(n);
        w.u32(value);
    }
    return std::move(w.b);
}

}  // namespace

std::vector<uint8_t> SttsPayload(const TrackTables& t) { return runsPayload(0, t.stts); }
std::vector<uint8_t> CttsPayload(const TrackTables& t) { return runsPayload(t.cttsVersion, t.ctts); }

}  // namespace ravir::joining
