#include "container/movie_join.h"

#include "catalogue/recording_name.h"
#include "catalogue/recording_record.h"
#include "shell/hidden_attribute.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ravir {

namespace {

using Entry2 = std::pair<uint32_t, uint32_t>;

struct ChunkRef {
    uint32_t input = 0;  // index into JoinSession::mediaData
    uint64_t rel = 0;    // offset inside that input's media data payload
};

}  // namespace

// The tables of one track, decoded from one input or merged over several.
struct TrackTables {
    std::array<char, 4> handler{};
    uint32_t mediaTimescale = 0;
    int64_t editMediaTime = 0;  // media time where the shown part starts (edit list), else 0
    // The last recording appended: its media duration, its edit's media time and shown length
    // (media units; -1 without an edit list). The joined edit ends where its edit ended.
    uint64_t lastMedia = 0;
    int64_t lastEditMediaTime = 0;
    int64_t lastEditDuration = -1;
    std::array<uint8_t, 4> stsdHead{};
    std::vector<std::vector<uint8_t>> sampleEntries;
    std::vector<Entry2> stts;
    bool hasCtts = false;
    uint8_t cttsVersion = 0;
    std::vector<Entry2> ctts;
    bool hasStss = false;
    std::vector<uint32_t> stss;
    uint32_t constantSize = 0;
    std::vector<uint32_t> sizes;  // empty when constantSize != 0
    uint64_t sampleCount = 0;
    std::vector<std::array<uint32_t, 3>> stsc;
    std::vector<ChunkRef> chunks;
    bool hasSdtp = false;
    std::vector<uint8_t> sdtp;
    bool hasSbgp = false;
    uint8_t sbgpVersion = 0;
    uint32_t groupingType = 0;
    uint32_t groupingParameter = 0;
    std::vector<Entry2> sbgp;
    bool hasSgpd = false;
    std::vector<uint8_t> sgpd;
    uint64_t mediaDuration = 0;
};

struct JoinTrack {
    BoxNode* trak = nullptr;
    BoxNode* tkhd = nullptr;
    BoxNode* mdhd = nullptr;
    BoxNode* stbl = nullptr;
    BoxNode* elst = nullptr;
    TrackTables tables;
};

namespace {

BoxNode* childOf(BoxNode* node, const char* type)
{
    if (!node)
        return nullptr;
    for (BoxNode& c : node->children) {
        if (c.is(type))
            return &c;
    }
    return nullptr;
}

uint32_t be32At(const std::vector<uint8_t>& p, size_t at) { return ReadBE32(p.data() + at); }

// Payload of a loaded leaf with at least `need` bytes, else null.
const std::vector<uint8_t>* table(const BoxNode* node, size_t need)
{
    if (!node || !node->payloadLoaded || node->payload.size() < need || !node->children.empty())
        return nullptr;
    return &node->payload;
}

// Per-sample tables (sizes, sync samples, dependency flags) written out entry by entry are
// limited, so that a damaged count cannot make the join allocate without bound.
constexpr uint64_t kMaxTableEntries = 1ull << 25;

bool fail(QString& why, const QString& text)
{
    why = text;
    return false;
}

// Media data of a movie: its one top-level mdat that holds any bytes.
const BoxNode* mediaDataOf(const sMP4MOVIE& movie, QString& why)
{
    const BoxNode* found = nullptr;
    for (const BoxNode& top : movie.root.children) {
        if (top.is("moof") || top.is("mfra")) {
            why = QStringLiteral("fragmented movies cannot be joined");
            return nullptr;
        }
        if (!top.is("mdat") || top.originalSize == 0)
            continue;
        if (found) {
            why = QStringLiteral("movies with several media data boxes cannot be joined");
            return nullptr;
        }
        found = &top;
    }
    if (!found)
        why = QStringLiteral("no media data");
    return found;
}

// Reads the 64- or 32-bit edit entries: (duration, media time).
struct EditEntry {
    uint64_t duration;
    int64_t mediaTime;
};
std::vector<EditEntry> readEdits(const std::vector<uint8_t>& p)
{
    std::vector<EditEntry> out;
    const bool v1 = p[0] == 1;
    const size_t step = v1 ? 20 : 12;
    const uint64_t count = be32At(p, 4);
    for (uint64_t i = 0; i < count && 8 + (i + 1) * step <= p.size(); ++i) {
        const size_t at = 8 + i * step;
        if (v1)
            out.push_back({ReadBE64(p.data() + at), static_cast<int64_t>(ReadBE64(p.data() + at + 8))});
        else
            out.push_back({be32At(p, at), static_cast<int32_t>(be32At(p, at + 4))});
    }
    return out;
}

bool decodeTrack(JoinTrack& track, uint32_t input, const BoxNode& media, uint32_t movieTimescale,
                 QString& why)
{
    TrackTables& t = track.tables;
    BoxNode* mdia = childOf(track.trak, "mdia");
    BoxNode* minf = childOf(mdia, "minf");
    track.tkhd = childOf(track.trak, "tkhd");
    track.mdhd = childOf(mdia, "mdhd");
    track.stbl = childOf(minf, "stbl");
    track.elst = childOf(childOf(track.trak, "edts"), "elst");
    const BoxNode* hdlr = childOf(mdia, "hdlr");
    if (!track.tkhd || !track.mdhd || !track.stbl || !hdlr || !ReadTkhdDuration(*track.tkhd))
        return fail(why, QStringLiteral("a track lacks its headers or sample tables"));
    if (track.stbl->trailerSize != 0)
        return fail(why, QStringLiteral("a sample table holds unknown boxes"));
    const auto times = ReadMvhdTimes(*track.mdhd);
    const auto* hd = table(hdlr, 12);
    if (!times || times->timescale == 0 || !hd)
        return fail(why, QStringLiteral("a track header is damaged"));
    t.mediaTimescale = times->timescale;
    std::memcpy(t.handler.data(), hd->data() + 8, 4);
    if (track.elst) {
        const auto* e = table(track.elst, 8);
        if (!e)
            return fail(why, QStringLiteral("an edit list is damaged"));
        const auto edits = readEdits(*e);
        for (const EditEntry& edit : edits) {
            if (edit.mediaTime >= 0) {
                t.editMediaTime = edit.mediaTime;
                t.lastEditDuration = movieTimescale == 0 ? -1
                    : static_cast<int64_t>(std::llround(static_cast<long double>(edit.duration)
                                                        * t.mediaTimescale / movieTimescale));
            }
        }
        t.lastEditMediaTime = t.editMediaTime;
    }

    const BoxNode *stsd = nullptr, *stts = nullptr, *ctts = nullptr, *stss = nullptr,
                  *stsz = nullptr, *stsc = nullptr, *stco = nullptr, *co64 = nullptr,
                  *sdtp = nullptr, *sbgp = nullptr, *sgpd = nullptr;
    for (const BoxNode& c : track.stbl->children) {
        const std::pair<const char*, const BoxNode**> known[] = {
            {"stsd", &stsd}, {"stts", &stts}, {"ctts", &ctts}, {"stss", &stss}, {"stsz", &stsz},
            {"stsc", &stsc}, {"stco", &stco}, {"co64", &co64}, {"sdtp", &sdtp}, {"sbgp", &sbgp},
            {"sgpd", &sgpd}};
        bool matched = false;
        for (const auto& [type, slot] : known) {
            if (c.is(type)) {
                if (*slot)
                    return fail(why, QStringLiteral("a sample table holds '%1' twice").arg(type));
                *slot = &c;
                matched = true;
            }
        }
        if (!matched)
            return fail(why, QStringLiteral("the sample table box '%1' cannot be joined").arg(c.typeWide()));
    }
    if (!stsd || !stts || !stsz || !stsc || (!stco && !co64) || (stco && co64))
        return fail(why, QStringLiteral("a track lacks a sample table"));

    // Sample descriptions.
    const auto* d = table(stsd, 8);
    if (!d)
        return fail(why, QStringLiteral("damaged sample description"));
    std::memcpy(t.stsdHead.data(), d->data(), 4);
    {
        const uint64_t count = be32At(*d, 4);
        size_t at = 8;
        for (uint64_t i = 0; i < count; ++i) {
            if (at + 8 > d->size())
                return fail(why, QStringLiteral("damaged sample description"));
            const uint32_t size = be32At(*d, at);
            if (size < 8 || size > d->size() - at)
                return fail(why, QStringLiteral("damaged sample description"));
            t.sampleEntries.emplace_back(d->begin() + static_cast<ptrdiff_t>(at),
                                         d->begin() + static_cast<ptrdiff_t>(at + size));
            at += size;
        }
        if (t.sampleEntries.empty())
            return fail(why, QStringLiteral("a track has no sample description"));
    }
    // Time to sample.
    const auto* s = table(stts, 8);
    if (!s || 8 + uint64_t{be32At(*s, 4)} * 8 > s->size())
        return fail(why, QStringLiteral("damaged time-to-sample table"));
    uint64_t sttsSamples = 0;
    for (uint32_t i = 0; i < be32At(*s, 4); ++i) {
        const Entry2 e{be32At(*s, 8 + i * 8), be32At(*s, 12 + i * 8)};
        if (e.first == 0)
            continue;
        t.stts.push_back(e);
        sttsSamples += e.first;
        t.mediaDuration += uint64_t{e.first} * e.second;
    }
    // Sample sizes.
    const auto* z = table(stsz, 12);
    if (!z)
        return fail(why, QStringLiteral("damaged sample size table"));
    t.constantSize = be32At(*z, 4);
    t.sampleCount = be32At(*z, 8);
    if (t.constantSize == 0) {
        if (12 + t.sampleCount * 4 > z->size())
            return fail(why, QStringLiteral("damaged sample size table"));
        t.sizes.resize(t.sampleCount);
        for (uint64_t i = 0; i < t.sampleCount; ++i)
            t.sizes[i] = be32At(*z, 12 + i * 4);
    }
    if (sttsSamples != t.sampleCount)
        return fail(why, QStringLiteral("the sample tables disagree on the sample count"));
    // Composition offsets, padded or cut to the sample count.
    if (ctts) {
        const auto* c = table(ctts, 8);
        if (!c || 8 + uint64_t{be32At(*c, 4)} * 8 > c->size())
            return fail(why, QStringLiteral("damaged composition offset table"));
        t.hasCtts = true;
        t.cttsVersion = (*c)[0];
        uint64_t covered = 0;
        for (uint32_t i = 0; i < be32At(*c, 4) && covered < t.sampleCount; ++i) {
            uint32_t n = be32At(*c, 8 + i * 8);
            n = static_cast<uint32_t>(std::min<uint64_t>(n, t.sampleCount - covered));
            if (n)
                t.ctts.emplace_back(n, be32At(*c, 12 + i * 8));
            covered += n;
        }
        if (covered < t.sampleCount)
            t.ctts.emplace_back(static_cast<uint32_t>(t.sampleCount - covered), 0);
    }
    if (stss) {
        const auto* y = table(stss, 8);
        if (!y || 8 + uint64_t{be32At(*y, 4)} * 4 > y->size())
            return fail(why, QStringLiteral("damaged sync sample table"));
        t.hasStss = true;
        for (uint32_t i = 0; i < be32At(*y, 4); ++i) {
            const uint32_t n = be32At(*y, 8 + i * 4);
            if (n >= 1 && n <= t.sampleCount)
                t.stss.push_back(n);
        }
    }
    // Sample to chunk.
    const auto* sc = table(stsc, 8);
    if (!sc || 8 + uint64_t{be32At(*sc, 4)} * 12 > sc->size())
        return fail(why, QStringLiteral("damaged sample-to-chunk table"));
    // Chunk offsets, as places inside the media data.
    const bool wide = co64 != nullptr;
    const auto* o = table(wide ? co64 : stco, 8);
    const size_t width = wide ? 8 : 4;
    if (!o || 8 + uint64_t{be32At(*o, 4)} * width > o->size())
        return fail(why, QStringLiteral("damaged chunk offset table"));
    const uint64_t chunkCount = be32At(*o, 4);
    for (uint64_t i = 0; i < chunkCount; ++i) {
        const uint64_t off = wide ? ReadBE64(o->data() + 8 + i * 8) : be32At(*o, 8 + i * 4);
        if (off < media.sourceOffset || off > media.sourceOffset + media.originalSize)
            return fail(why, QStringLiteral("a chunk lies outside the media data"));
        t.chunks.push_back({input, off - media.sourceOffset});
    }
    uint32_t previousFirst = 0;
    for (uint32_t i = 0; i < be32At(*sc, 4); ++i) {
        const std::array<uint32_t, 3> e{be32At(*sc, 8 + i * 12), be32At(*sc, 12 + i * 12),
                                        be32At(*sc, 16 + i * 12)};
        if (e[0] <= previousFirst || e[0] > chunkCount || e[2] < 1 || e[2] > t.sampleEntries.size())
            return fail(why, QStringLiteral("damaged sample-to-chunk table"));
        previousFirst = e[0];
        t.stsc.push_back(e);
    }
    if (!t.stsc.empty() && t.stsc.front()[0] != 1)
        return fail(why, QStringLiteral("damaged sample-to-chunk table"));
    if (sdtp) {
        const auto* p = table(sdtp, 4);
        if (!p || t.sampleCount > kMaxTableEntries)
            return fail(why, QStringLiteral("damaged dependency table"));
        t.hasSdtp = true;
        t.sdtp.assign(p->begin() + 4, p->end());
        t.sdtp.resize(t.sampleCount, 0);
    }
    if (sgpd) {
        const auto* p = table(sgpd, 8);
        if (!p)
            return fail(why, QStringLiteral("damaged sample group description"));
        t.hasSgpd = true;
        t.sgpd = *p;
    }
    if (sbgp) {
        const auto* p = table(sbgp, 12);
        if (!p)
            return fail(why, QStringLiteral("damaged sample group table"));
        t.hasSbgp = true;
        t.sbgpVersion = (*p)[0];
        t.groupingType = be32At(*p, 4);
        size_t at = 8;
        if (t.sbgpVersion == 1) {
            if (p->size() < 16)
                return fail(why, QStringLiteral("damaged sample group table"));
            t.groupingParameter = be32At(*p, 8);
            at = 12;
        }
        const uint64_t count = be32At(*p, at);
        if (at + 4 + count * 8 > p->size())
            return fail(why, QStringLiteral("damaged sample group table"));
        uint64_t covered = 0;
        for (uint64_t i = 0; i < count && covered < t.sampleCount; ++i) {
            uint32_t n = be32At(*p, at + 4 + i * 8);
            n = static_cast<uint32_t>(std::min<uint64_t>(n, t.sampleCount - covered));
            if (n)
                t.sbgp.emplace_back(n, be32At(*p, at + 8 + i * 8));
            covered += n;
        }
        if (covered < t.sampleCount)
            t.sbgp.emplace_back(static_cast<uint32_t>(t.sampleCount - covered), 0);
    }
    t.lastMedia = t.mediaDuration;
    return true;
}

// The key facts of a sample description that must agree between the inputs.
bool sameKind(const TrackTables& a, const std::vector<uint8_t>& entryA, const std::vector<uint8_t>& entryB)
{
    if (std::memcmp(entryA.data() + 4, entryB.data() + 4, 4) != 0)
        return false;  // codec
    auto u16 = [](const std::vector<uint8_t>& e, size_t at) { return (e[at] << 8) | e[at + 1]; };
    if (std::memcmp(a.handler.data(), "vide", 4) == 0) {
        if (entryA.size() < 36 || entryB.size() < 36)
            return entryA.size() == entryB.size();
        return u16(entryA, 32) == u16(entryB, 32) && u16(entryA, 34) == u16(entryB, 34);
    }
    if (std::memcmp(a.handler.data(), "soun", 4) == 0) {
        if (entryA.size() < 36 || entryB.size() < 36)
            return entryA.size() == entryB.size();
        return u16(entryA, 24) == u16(entryB, 24) && be32At(entryA, 32) == be32At(entryB, 32);
    }
    return true;
}

// Checks that b can follow a; fills the map from b's sample description numbers to the merged ones.
bool compatible(const TrackTables& a, const TrackTables& b, std::vector<uint32_t>& entryMap, QString& why)
{
    if (a.handler != b.handler)
        return fail(why, QStringLiteral("the recordings have different tracks"));
    if (a.mediaTimescale != b.mediaTimescale)
        return fail(why, QStringLiteral("the recordings have different track timescales"));
    for (const auto& entry : b.sampleEntries) {
        if (!sameKind(a, a.sampleEntries.front(), entry))
            return fail(why, QStringLiteral("the recordings differ in codec or picture size"));
    }
    if (a.hasSbgp && b.hasSbgp && a.groupingType != b.groupingType)
        return fail(why, QStringLiteral("the recordings use different sample groups"));
    if (b.hasSgpd && (!a.hasSgpd || a.sgpd != b.sgpd))
        return fail(why, QStringLiteral("the recordings use different sample group descriptions"));
    if (b.hasSbgp && !a.hasSbgp && !a.hasSgpd)
        return fail(why, QStringLiteral("the recordings use different sample groups"));
    const uint64_t samples = a.sampleCount + b.sampleCount;
    const bool expandSizes = !(a.constantSize != 0 && a.constantSize == b.constantSize);
    const bool expandTables = a.hasStss || b.hasStss || a.hasSdtp || b.hasSdtp;
    if (samples > std::numeric_limits<uint32_t>::max()
        || ((expandSizes || expandTables) && samples > kMaxTableEntries))
        return fail(why, QStringLiteral("the joined sample tables would be too large"));
    entryMap.clear();
    std::vector<std::vector<uint8_t>> entries = a.sampleEntries;
    for (const auto& entry : b.sampleEntries) {
        auto it = std::find(entries.begin(), entries.end(), entry);
        if (it == entries.end()) {
            entries.push_back(entry);
            it = entries.end() - 1;
        }
        entryMap.push_back(static_cast<uint32_t>(it - entries.begin() + 1));
    }
    return true;
}

// Moves the end of the track's media time to `end` (audio of each recording then starts with
// the recording's video): a gap stretches the last sample; an overrun (encoder padding) is
// taken from the last samples, none shorter than one tick, at most 16 of them.
void alignEnd(TrackTables& t, uint64_t end)
{
    if (t.stts.empty() || end == t.mediaDuration)
        return;
    int64_t change = static_cast<int64_t>(end) - static_cast<int64_t>(t.mediaDuration);
    std::vector<uint32_t> tail;  // deltas of the trailing samples taken out of the runs
    auto takeLast = [&] {
        Entry2& last = t.stts.back();
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

void append(TrackTables& t, const TrackTables& u, const std::vector<uint32_t>& entryMap)
{
    const uint64_t sampleBase = t.sampleCount;
    const auto chunkBase = static_cast<uint32_t>(t.chunks.size());
    for (const auto& e : u.sampleEntries) {
        if (std::find(t.sampleEntries.begin(), t.sampleEntries.end(), e) == t.sampleEntries.end())
            t.sampleEntries.push_back(e);
    }
    for (const Entry2& e : u.stts) {
        if (!t.stts.empty() && t.stts.back().second == e.second
            && uint64_t{t.stts.back().first} + e.first <= std::numeric_limits<uint32_t>::max())
            t.stts.back().first += e.first;
        else
            t.stts.push_back(e);
    }
    if (t.hasCtts || u.hasCtts) {
        if (!t.hasCtts && sampleBase > 0)
            t.ctts.emplace_back(static_cast<uint32_t>(sampleBase), 0);
        t.hasCtts = true;
        t.cttsVersion = std::max(t.cttsVersion, u.cttsVersion);
        if (u.hasCtts)
            t.ctts.insert(t.ctts.end(), u.ctts.begin(), u.ctts.end());
        else if (u.sampleCount > 0)
            t.ctts.emplace_back(static_cast<uint32_t>(u.sampleCount), 0);
    }
    if (t.hasStss || u.hasStss) {
        if (!t.hasStss) {
            for (uint64_t i = 1; i <= sampleBase; ++i)
                t.stss.push_back(static_cast<uint32_t>(i));
        }
        t.hasStss = true;
        if (u.hasStss) {
            for (uint32_t n : u.stss)
                t.stss.push_back(static_cast<uint32_t>(n + sampleBase));
        } else {
            for (uint64_t i = 1; i <= u.sampleCount; ++i)
                t.stss.push_back(static_cast<uint32_t>(i + sampleBase));
        }
    }
    if (t.constantSize != 0 && t.constantSize == u.constantSize) {
        // constant sizes on both sides: only the count grows
    } else {
        if (t.constantSize != 0) {
            t.sizes.assign(sampleBase, t.constantSize);
            t.constantSize = 0;
        }
        if (u.constantSize != 0)
            t.sizes.insert(t.sizes.end(), u.sampleCount, u.constantSize);
        else
            t.sizes.insert(t.sizes.end(), u.sizes.begin(), u.sizes.end());
    }
    t.sampleCount += u.sampleCount;
    for (const auto& e : u.stsc) {
        const std::array<uint32_t, 3> moved{e[0] + chunkBase, e[1], entryMap[e[2] - 1]};
        if (!t.stsc.empty() && t.stsc.back()[1] == moved[1] && t.stsc.back()[2] == moved[2])
            continue;  // the previous run goes on
        t.stsc.push_back(moved);
    }
    t.chunks.insert(t.chunks.end(), u.chunks.begin(), u.chunks.end());
    if (t.hasSdtp || u.hasSdtp) {
        t.sdtp.resize(sampleBase, 0);
        t.hasSdtp = true;
        if (u.hasSdtp)
            t.sdtp.insert(t.sdtp.end(), u.sdtp.begin(), u.sdtp.end());
        else
            t.sdtp.insert(t.sdtp.end(), u.sampleCount, 0);
    }
    if (t.hasSbgp || u.hasSbgp) {
        if (!t.hasSbgp) {
            t.groupingType = u.groupingType;
            t.groupingParameter = u.groupingParameter;
            t.sbgpVersion = u.sbgpVersion;
            if (sampleBase > 0)
                t.sbgp.emplace_back(static_cast<uint32_t>(sampleBase), 0);
        }
        t.hasSbgp = true;
        if (u.hasSbgp)
            t.sbgp.insert(t.sbgp.end(), u.sbgp.begin(), u.sbgp.end());
        else if (u.sampleCount > 0)
            t.sbgp.emplace_back(static_cast<uint32_t>(u.sampleCount), 0);
    }
    t.mediaDuration += u.mediaDuration;
    t.lastMedia = u.mediaDuration;
    t.lastEditMediaTime = u.editMediaTime;
    t.lastEditDuration = u.lastEditDuration;
}

// ---- Table payloads ------------------------------------------------------------------------

struct Bytes {
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u32(uint32_t v)
    {
        uint8_t x[4];
        WriteBE32(x, v);
        b.insert(b.end(), x, x + 4);
    }
    void u64(uint64_t v)
    {
        uint8_t x[8];
        WriteBE64(x, v);
        b.insert(b.end(), x, x + 8);
    }
    void raw(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
};

BoxNode leaf(const char* type, std::vector<uint8_t> payload, const BoxNode& parent)
{
    BoxNode n;
    std::memcpy(n.type.data(), type, 4);
    n.depth = parent.depth + 1;
    n.isLeaf = true;
    n.payloadLoaded = true;
    n.size = n.loadedSize = n.originalSize = payload.size();
    n.payload = std::move(payload);
    n.sourcePath = parent.sourcePath;
    return n;
}

// Rebuilds the children of a track's stbl from the merged tables.
void buildSampleTable(JoinTrack& track, const std::vector<uint64_t>& inputBase, uint64_t mdatPayloadAt,
                      bool wideOffsets)
{
    const TrackTables& t = track.tables;
    BoxNode& stbl = *track.stbl;
    std::vector<BoxNode> out;
    Bytes d;
    d.b.assign(t.stsdHead.begin(), t.stsdHead.end());
    d.u32(static_cast<uint32_t>(t.sampleEntries.size()));
    for (const auto& e : t.sampleEntries)
        d.raw(e);
    out.push_back(leaf("stsd", std::move(d.b), stbl));
    Bytes s;
    s.u32(0);
    s.u32(static_cast<uint32_t>(t.stts.size()));
    for (const auto& [n, delta] : t.stts) {
        s.u32(n);
        s.u32(delta);
    }
    out.push_back(leaf("stts", std::move(s.b), stbl));
    if (t.hasCtts) {
        Bytes c;
        c.u32(uint32_t{t.cttsVersion} << 24);
        c.u32(static_cast<uint32_t>(t.ctts.size()));
        for (const auto& [n, off] : t.ctts) {
            c.u32(n);
            c.u32(off);
        }
        out.push_back(leaf("ctts", std::move(c.b), stbl));
    }
    if (t.hasStss) {
        Bytes y;
        y.u32(0);
        y.u32(static_cast<uint32_t>(t.stss.size()));
        for (uint32_t n : t.stss)
            y.u32(n);
        out.push_back(leaf("stss", std::move(y.b), stbl));
    }
    if (t.hasSdtp) {
        Bytes p;
        p.u32(0);
        p.raw(t.sdtp);
        out.push_back(leaf("sdtp", std::move(p.b), stbl));
    }
    Bytes sc;
    sc.u32(0);
    sc.u32(static_cast<uint32_t>(t.stsc.size()));
    for (const auto& e : t.stsc) {
        sc.u32(e[0]);
        sc.u32(e[1]);
        sc.u32(e[2]);
    }
    out.push_back(leaf("stsc", std::move(sc.b), stbl));
    Bytes z;
    z.u32(0);
    z.u32(t.constantSize);
    z.u32(static_cast<uint32_t>(t.sampleCount));
    if (t.constantSize == 0) {
        for (uint32_t v : t.sizes)
            z.u32(v);
    }
    out.push_back(leaf("stsz", std::move(z.b), stbl));
    Bytes o;
    o.u32(0);
    o.u32(static_cast<uint32_t>(t.chunks.size()));
    for (const ChunkRef& c : t.chunks) {
        const uint64_t at = mdatPayloadAt + inputBase[c.input] + c.rel;
        if (wideOffsets)
            o.u64(at);
        else
            o.u32(static_cast<uint32_t>(at));
    }
    out.push_back(leaf(wideOffsets ? "co64" : "stco", std::move(o.b), stbl));
    if (t.hasSgpd)
        out.push_back(leaf("sgpd", t.sgpd, stbl));
    if (t.hasSbgp) {
        Bytes g;
        g.u32(uint32_t{t.sbgpVersion} << 24);
        g.u32(t.groupingType);
        if (t.sbgpVersion == 1)
            g.u32(t.groupingParameter);
        g.u32(static_cast<uint32_t>(t.sbgp.size()));
        for (const auto& [n, index] : t.sbgp) {
            g.u32(n);
            g.u32(index);
        }
        out.push_back(leaf("sbgp", std::move(g.b), stbl));
    }
    stbl.children = std::move(out);
}

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
        return fail(why, QStringLiteral("damaged header"));
    const bool v1 = box.payload[0] == 1;
    const size_t at = v1 ? v1At : v0At;
    if (box.payload.size() < at + (v1 ? 8 : 4))
        return fail(why, QStringLiteral("damaged header"));
    if (v1) {
        WriteBE64(box.payload.data() + at, value);
    } else {
        if (value > std::numeric_limits<uint32_t>::max())
            return fail(why, QStringLiteral("the joined movie is too long for its headers"));
        WriteBE32(box.payload.data() + at, static_cast<uint32_t>(value));
    }
    return true;
}

// Writes the merged durations into mdhd, elst, tkhd and mvhd.
bool writeDurations(JoinSession& join, QString& why)
{
    sMP4MOVIE& a = *join.accumulator;
    const auto movieTimes = ReadMvhdTimes(*a.mvhd.front());
    if (!movieTimes || movieTimes->timescale == 0)
        return fail(why, QStringLiteral("damaged movie header"));
    const uint32_t movieScale = movieTimes->timescale;
    uint64_t longest = 0;
    for (JoinTrack& track : join.tracks()) {
        const TrackTables& t = track.tables;
        if (!putDuration(*track.mdhd, 16, 24, t.mediaDuration, why))
            return false;
        uint64_t trackDuration = scaled(t.mediaDuration, t.mediaTimescale, movieScale);
        if (track.elst && track.elst->payloadLoaded && track.elst->payload.size() >= 8) {
            std::vector<uint8_t>& p = track.elst->payload;
            auto edits = readEdits(p);
            int last = -1;
            for (size_t i = 0; i < edits.size(); ++i) {
                if (edits[i].mediaTime >= 0)
                    last = static_cast<int>(i);
            }
            if (last >= 0) {
                // Every recording before the last shows its whole media; the last one shows
                // what its own edit showed.
                const int64_t lastShown = t.lastEditDuration >= 0
                    ? t.lastEditMediaTime + t.lastEditDuration
                    : static_cast<int64_t>(t.lastMedia);
                const auto shown = static_cast<uint64_t>(std::max<int64_t>(
                    0, static_cast<int64_t>(t.mediaDuration - t.lastMedia) + lastShown
                           - edits[static_cast<size_t>(last)].mediaTime));
                edits[static_cast<size_t>(last)].duration = scaled(shown, t.mediaTimescale, movieScale);
                const bool v1 = p[0] == 1;
                const size_t at = 8 + static_cast<size_t>(last) * (v1 ? 20 : 12);
                if (v1) {
                    WriteBE64(p.data() + at, edits[static_cast<size_t>(last)].duration);
                } else {
                    if (edits[static_cast<size_t>(last)].duration > std::numeric_limits<uint32_t>::max())
                        return fail(why, QStringLiteral("the joined movie is too long for its headers"));
                    WriteBE32(p.data() + at, static_cast<uint32_t>(edits[static_cast<size_t>(last)].duration));
                }
                trackDuration = 0;
                for (const EditEntry& e : edits)
                    trackDuration += e.duration;
            }
        }
        if (!putDuration(*track.tkhd, 20, 28, trackDuration, why))
            return false;
        longest = std::max(longest, trackDuration);
    }
    return putDuration(*a.mvhd.front(), 16, 24, longest, why);
}

// ---- Writing -------------------------------------------------------------------------------

struct WriteContext {
    std::atomic<bool>* stop = nullptr;
    std::function<void(uint64_t)> progress;  // bytes written so far
    uint64_t written = 0;
    QString error;
};

bool writeAll(int fd, const void* data, size_t length, WriteContext& ctx)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ctx.error = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            return false;
        }
        p += n;
        length -= static_cast<size_t>(n);
        ctx.written += static_cast<uint64_t>(n);
    }
    return true;
}

bool stopped(WriteContext& ctx)
{
    if (ctx.stop && ctx.stop->load()) {
        ctx.error = QStringLiteral("stopped");
        return true;
    }
    return false;
}

// Copies length bytes at offset of the source file to the output's current position, with the
// kernel's copy when it can, else through a large buffer.
bool copyRange(int out, const QString& sourcePath, uint64_t offset, uint64_t length, WriteContext& ctx)
{
    const int in = ::open(QFile::encodeName(sourcePath).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        ctx.error = QStringLiteral("cannot read %1: %2").arg(sourcePath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || static_cast<uint64_t>(st.st_size) < offset + length) {
        ::close(in);
        ctx.error = QStringLiteral("%1 is shorter than its boxes say").arg(sourcePath);
        return false;
    }
    constexpr uint64_t kPiece = 32ull << 20;
    bool kernelCopy = true;
    std::vector<uint8_t> buffer;
    auto inOff = static_cast<off_t>(offset);
    uint64_t left = length;
    bool ok = true;
    while (left > 0 && ok) {
        if (stopped(ctx)) {
            ok = false;
            break;
        }
        const size_t piece = static_cast<size_t>(std::min(left, kPiece));
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(in, &inOff, out, nullptr, piece, 0);
            if (n > 0) {
                left -= static_cast<uint64_t>(n);
                ctx.written += static_cast<uint64_t>(n);
                if (ctx.progress)
                    ctx.progress(ctx.written);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                          || errno == EBADF || errno == EPERM)) {
                kernelCopy = false;
                continue;
            }
            ctx.error = n == 0 ? QStringLiteral("%1 ended early").arg(sourcePath)
                               : QString::fromLocal8Bit(std::strerror(errno));
            ok = false;
            break;
        }
        if (buffer.empty())
            buffer.resize(static_cast<size_t>(std::min<uint64_t>(kPiece, std::max<uint64_t>(length, 1))));
        const size_t want = std::min(piece, buffer.size());
        const ssize_t n = ::pread(in, buffer.data(), want, inOff);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ctx.error = n == 0 ? QStringLiteral("%1 ended early").arg(sourcePath)
                               : QString::fromLocal8Bit(std::strerror(errno));
            ok = false;
            break;
        }
        inOff += n;
        left -= static_cast<uint64_t>(n);
        ok = writeAll(out, buffer.data(), static_cast<size_t>(n), ctx);
        if (ok && ctx.progress)
            ctx.progress(ctx.written);
    }
    ::close(in);
    return ok;
}

bool writeTree(const BoxNode& node, int fd, WriteContext& ctx)
{
    const bool isRoot = node.type[0] == '\0' && node.depth == 0;
    if (!isRoot) {
        uint8_t head[16];
        const uint64_t size = BoxSize(node);
        if (BoxHeaderSize(node) == 16) {
            WriteBE32(head, 1);
            std::memcpy(head + 4, node.type.data(), 4);
            WriteBE64(head + 8, size);
            if (!writeAll(fd, head, 16, ctx))
                return false;
        } else {
            WriteBE32(head, static_cast<uint32_t>(size));
            std::memcpy(head + 4, node.type.data(), 4);
            if (!writeAll(fd, head, 8, ctx))
                return false;
        }
    }
    if (node.isLeaf && node.children.empty()) {
        if (node.payloadLoaded)
            return node.payload.empty() || writeAll(fd, node.payload.data(), node.payload.size(), ctx);
        uint64_t total = node.originalSize;
        for (const BoxNode* more : node.appended)
            total += more->originalSize;
        if (total != node.size) {
            ctx.error = QStringLiteral("box sizes do not add up");
            return false;
        }
        if (node.originalSize > 0 && !copyRange(fd, node.sourcePath, node.sourceOffset, node.originalSize, ctx))
            return false;
        for (const BoxNode* more : node.appended) {
            if (more->originalSize > 0
                && !copyRange(fd, more->sourcePath, more->sourceOffset, more->originalSize, ctx))
                return false;
        }
        return true;
    }
    for (const BoxNode& child : node.children) {
        if (!writeTree(child, fd, ctx))
            return false;
    }
    if (node.trailerSize > 0)
        return copyRange(fd, node.sourcePath, node.trailerOffset, node.trailerSize, ctx);
    return true;
}

// A temporary file beside the final one: hidden name, created exclusively.
struct TempFile {
    QString path;
    int fd = -1;
    ~TempFile() { discard(); }
    bool create(const QString& finalPath)
    {
        const QFileInfo info(finalPath);
        static std::atomic<int> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = QStringLiteral("%1/.%2.joining-%3-%4")
                       .arg(info.absolutePath(), info.fileName())
                       .arg(::getpid())
                       .arg(counter++);
            fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0)
                return true;
            if (errno != EEXIST)
                break;
        }
        path.clear();
        return false;
    }
    bool finish(bool sync)
    {
        bool ok = true;
        if (fd >= 0) {
            if (sync && ::fdatasync(fd) != 0)
                ok = false;
            if (::close(fd) != 0)
                ok = false;
            fd = -1;
        }
        return ok;
    }
    bool commit(const QString& finalPath)
    {
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(finalPath).constData()) != 0)
            return false;
        path.clear();
        return true;
    }
    void discard()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        if (!path.isEmpty())
            ::unlink(QFile::encodeName(path).constData());
        path.clear();
    }
};

// Lays out the output (stco or co64, mdat position) and writes the merged tables and durations
// into the accumulator's tree.
bool prepareOutputTree(JoinSession& join, QString& why)
{
    sMP4MOVIE& a = *join.accumulator;
    BoxNode* media = nullptr;
    for (BoxNode& top : a.root.children) {
        if (&top == join.mediaData.front())
            media = &top;
    }
    if (!media)
        return fail(why, QStringLiteral("no media data"));
    std::vector<uint64_t> inputBase;
    uint64_t total = 0;
    for (const BoxNode* m : join.mediaData) {
        inputBase.push_back(total);
        total += m->originalSize;
    }
    media->appended.assign(join.mediaData.begin() + 1, join.mediaData.end());
    media->size = total;

    // The udat telemetry box: the joined blocks, or none when a recording has no block.
    for (size_t i = 0; i < a.root.children.size(); ++i) {
        BoxNode& top = a.root.children[i];
        if (!top.is("udat"))
            continue;
        if (join.udatEnabled) {
            const QByteArray block = TelemetryFileBytes(join.udatTelemetry);
            top.payload.assign(block.begin(), block.end());
            top.payloadLoaded = true;
            top.size = top.loadedSize = top.payload.size();
            top.recordCount = static_cast<int16_t>(std::min<int64_t>(join.udatTelemetry.recordCount, 0x7FFF));
            top.copyLength = join.udatTelemetry.records.size();
        } else {
            a.root.children.erase(a.root.children.begin() + static_cast<ptrdiff_t>(i));
        }
        break;
    }
    // find media again (the erase may have moved it)
    media = nullptr;
    for (BoxNode& top : a.root.children) {
        if (top.is("mdat") && top.size == total && top.appended.size() + 1 == join.mediaData.size())
            media = &top;
    }
    if (!media)
        return fail(why, QStringLiteral("no media data"));
    join.mediaData.front() = media;

    if (!writeDurations(join, why))
        return false;
    bool wide = false;
    uint64_t payloadAt = 0;
    for (int round = 0; round < 6; ++round) {
        for (JoinTrack& track : join.tracks())
            buildSampleTable(track, inputBase, payloadAt, wide);
        uint64_t at = 0;
        for (const BoxNode& top : a.root.children) {
            if (&top == media)
                break;
            at += BoxSize(top);
        }
        at += BoxHeaderSize(*media);
        const bool needWide = at + total > std::numeric_limits<uint32_t>::max();
        if (at == payloadAt && needWide == wide)
            break;
        payloadAt = at;
        wide = wide || needWide;
    }
    a.collectLists();
    return true;
}

bool readUdatHolder(const sMP4MOVIE& movie, TelemetryHolder& holder)
{
    for (const BoxNode& top : movie.root.children) {
        if (top.is("udat") && top.payloadLoaded)
            return ReadTelemetryHolderBytes(top.payload.data(), top.payload.size(), holder);
    }
    return false;
}

}  // namespace

// ---- Telemetry -------------------------------------------------------------------------------

bool ReadTelemetryHolderBytes(const uint8_t* data, size_t size, TelemetryHolder& holder)
{
    holder = TelemetryHolder{};
    if (!data || size < 34 || std::memcmp(data, "QVXDAT", 6) != 0)
        return false;
    std::memcpy(holder.header.data(), data + 6, kTelemetryHeaderBytes);
    const uint32_t count = (uint32_t{data[32]} << 8) | data[33];
    const size_t whole = (size - 34) / kTelemetryRecordBytes;
    size_t n;
    if (count == 0xFFFF) {
        // No count: the records run to the end magic at a record boundary.
        n = 0;
        while (n < whole && std::memcmp(data + 34 + n * kTelemetryRecordBytes, "QVXEND", 6) != 0)
            ++n;
    } else {
        n = std::min<size_t>(count, whole);
        for (size_t k = 0; k < n; ++k) {
            if (std::memcmp(data + 34 + k * kTelemetryRecordBytes, "QVXEND", 6) == 0) {
                n = k;
                break;
            }
        }
    }
    holder.recordCount = static_cast<int64_t>(n);
    holder.records.assign(data + 34, data + 34 + n * kTelemetryRecordBytes);
    return true;
}

bool ReadTelemetryHolder(const QString& moviePath, TelemetryHolder& holder)
{
    QFile f(TelemetryPathOf(moviePath));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    if (f.size() > (64ll << 20))
        return false;
    const QByteArray bytes = f.readAll();
    return ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                    static_cast<size_t>(bytes.size()), holder);
}

void JoinTelemetry(TelemetryHolder& accumulator, const TelemetryHolder& added)
{
    if (added.recordCount <= 0)
        return;
    if (&accumulator == &added) {
        const TelemetryHolder copy = added;
        JoinTelemetry(accumulator, copy);
        return;
    }
    accumulator.records.insert(accumulator.records.end(), added.records.begin(), added.records.end());
    const auto last = added.records.end() - kTelemetryRecordBytes;
    for (int copy = 0; copy < 2; ++copy)
        accumulator.records.insert(accumulator.records.end(), last, last + kTelemetryRecordBytes);
    accumulator.recordCount += added.recordCount + 2;
}

QByteArray TelemetryFileBytes(const TelemetryHolder& holder)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(48 + holder.records.size()));
    out += "QVXDAT";
    out.append(reinterpret_cast<const char*>(holder.header.data()), kTelemetryHeaderBytes);
    const bool large = holder.recordCount >= 0xFFFF;
    const auto count16 = static_cast<uint16_t>(large ? 0xFFFF : holder.recordCount);
    out += static_cast<char>(count16 >> 8);
    out += static_cast<char>(count16 & 0xFF);
    out.append(reinterpret_cast<const char*>(holder.records.data()), static_cast<qsizetype>(holder.records.size()));
    out += "  QVXEND";
    if (large) {
        uint8_t c[4];
        WriteBE32(c, static_cast<uint32_t>(holder.recordCount));
        out.append(reinterpret_cast<const char*>(c), 4);
    }
    return out;
}

QString JoinErrorText(JoinError error)
{
    switch (error) {
    case JoinError::None: return QStringLiteral("no error");
    case JoinError::OpenFailed: return QStringLiteral("a recording cannot be opened or is damaged");
    case JoinError::NotJoinable: return QStringLiteral("the recordings cannot be joined");
    case JoinError::NoSpace: return QStringLiteral("not enough free space");
    case JoinError::WriteFailed: return QStringLiteral("writing the joined movie failed");
    case JoinError::Stopped: return QStringLiteral("stopped");
    }
    return {};
}

// ---- Session -----------------------------------------------------------------------------------

JoinSession::JoinSession() : tracks_(std::make_unique<std::vector<JoinTrack>>()) {}

JoinSession::~JoinSession()
{
    for (auto& m : merged)
        CloseMovieFile(m);
    CloseMovieFile(accumulator);
}

namespace {

bool openForJoin(JoinSession& join, const QString& path, std::unique_ptr<sMP4MOVIE>& movie)
{
    OpenMovieOptions options;
    options.progressEnabled = true;
    options.progress = join.progress;
    QString why;
    movie = OpenMovieFile(path, options, &why);
    if (!movie) {
        join.error = JoinError::OpenFailed;
        join.errorDetail = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

std::vector<BoxNode*> tracksOf(sMP4MOVIE& movie)
{
    std::vector<BoxNode*> out;
    for (BoxNode& top : movie.root.children) {
        if (!top.is("moov"))
            continue;
        for (BoxNode& c : top.children) {
            if (c.is("trak"))
                out.push_back(&c);
        }
        break;
    }
    return out;
}

bool refuse(JoinSession& join, const QString& path, const QString& why)
{
    join.error = JoinError::NotJoinable;
    join.errorDetail = QStringLiteral("%1: %2").arg(path, why);
    return false;
}

int referenceTrack(const std::vector<JoinTrack>& tracks)
{
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (std::memcmp(tracks[i].tables.handler.data(), "vide", 4) == 0)
            return static_cast<int>(i);
    }
    return 0;
}

}  // namespace

bool StartJoin(JoinSession& join, const QString& firstMoviePath)
{
    if (!openForJoin(join, firstMoviePath, join.accumulator))
        return false;
    sMP4MOVIE& a = *join.accumulator;
    QString why;
    const BoxNode* media = mediaDataOf(a, why);
    if (!media)
        return refuse(join, firstMoviePath, why);
    int moovCount = 0;
    for (const BoxNode& top : a.root.children)
        moovCount += top.is("moov") ? 1 : 0;
    if (moovCount != 1 || a.mvhd.size() != 1)
        return refuse(join, firstMoviePath, QStringLiteral("the movie needs exactly one movie header"));
    for (const BoxNode& top : a.root.children) {
        if (top.is("moov") && childOf(const_cast<BoxNode*>(&top), "mvex"))
            return refuse(join, firstMoviePath, QStringLiteral("fragmented movies cannot be joined"));
    }
    const auto movieTimes = ReadMvhdTimes(*a.mvhd.front());
    if (!movieTimes || movieTimes->timescale == 0)
        return refuse(join, firstMoviePath, QStringLiteral("damaged movie header"));
    join.mediaData = {media};
    const auto traks = tracksOf(a);
    if (traks.empty())
        return refuse(join, firstMoviePath, QStringLiteral("no track"));
    auto& tracks = join.tracks();
    tracks.clear();
    for (BoxNode* trak : traks) {
        JoinTrack track;
        track.trak = trak;
        if (!decodeTrack(track, 0, *media, movieTimes->timescale, why))
            return refuse(join, firstMoviePath, why);
        tracks.push_back(std::move(track));
    }
    join.telemetryEnabled = ReadTelemetryHolder(firstMoviePath, join.telemetry);
    join.udatEnabled = readUdatHolder(a, join.udatTelemetry);
    return true;
}

bool MergeMovie(JoinSession& join, sMP4MOVIE& added)
{
    const QString path = added.file.path();
    QString why;
    const BoxNode* media = mediaDataOf(added, why);
    if (!media)
        return refuse(join, path, why);
    if (added.mvhd.size() != 1)
        return refuse(join, path, QStringLiteral("the movie needs exactly one movie header"));
    auto& tracks = join.tracks();
    const auto traks = tracksOf(added);
    if (traks.size() != tracks.size())
        return refuse(join, path, QStringLiteral("the recordings have different tracks"));
    const auto input = static_cast<uint32_t>(join.mediaData.size());
    const auto addedTimes = ReadMvhdTimes(*added.mvhd.front());
    if (!addedTimes)
        return refuse(join, path, QStringLiteral("damaged movie header"));
    const uint32_t addedMovieScale = addedTimes->timescale;
    std::vector<JoinTrack> decoded(traks.size());
    std::vector<std::vector<uint32_t>> entryMaps(traks.size());
    for (size_t i = 0; i < traks.size(); ++i) {
        decoded[i].trak = traks[i];
        if (!decodeTrack(decoded[i], input, *media, addedMovieScale, why))
            return refuse(join, path, why);
        if (!compatible(tracks[i].tables, decoded[i].tables, entryMaps[i], why))
            return refuse(join, path, why);
    }
    // Nothing is changed before every track has been checked.
    const int ref = referenceTrack(tracks);
    TrackTables& refTables = tracks[static_cast<size_t>(ref)].tables;
    const long double refStart = static_cast<long double>(refTables.mediaDuration) / refTables.mediaTimescale;
    for (size_t i = 0; i < tracks.size(); ++i) {
        TrackTables& t = tracks[i].tables;
        if (static_cast<int>(i) != ref) {
            // The recording's first shown sample starts with the reference track's.
            const auto wanted = static_cast<int64_t>(std::llround(refStart * t.mediaTimescale))
                + t.editMediaTime - decoded[i].tables.editMediaTime;
            if (wanted > 0)
                alignEnd(t, static_cast<uint64_t>(wanted));
        }
        const int64_t keepEditTime = t.editMediaTime;
        append(t, decoded[i].tables, entryMaps[i]);
        t.editMediaTime = keepEditTime;
    }
    join.mediaData.push_back(media);
    return true;
}

bool AddToJoin(JoinSession& join, const QString& moviePath)
{
    std::unique_ptr<sMP4MOVIE> movie;
    if (!openForJoin(join, moviePath, movie))
        return false;
    if (!MergeMovie(join, *movie))
        return false;
    if (join.telemetryEnabled) {
        TelemetryHolder holder;
        if (ReadTelemetryHolder(moviePath, holder))
            JoinTelemetry(join.telemetry, holder);
        else
            join.telemetryEnabled = false;
    }
    if (join.udatEnabled) {
        TelemetryHolder holder;
        if (readUdatHolder(*movie, holder))
            JoinTelemetry(join.udatTelemetry, holder);
        else
            join.udatEnabled = false;
    }
    join.merged.push_back(std::move(movie));
    return true;
}

uint64_t PrepareJoinedTree(JoinSession& join)
{
    if (!join.accumulator)
        return 0;
    QString why;
    if (!prepareOutputTree(join, why)) {
        join.error = JoinError::NotJoinable;
        join.errorDetail = why;
        return 0;
    }
    return BoxSize(join.accumulator->root);
}

bool WriteBoxTree(const BoxNode& node, int fd, std::atomic<bool>* stop)
{
    WriteContext ctx;
    ctx.stop = stop;
    return writeTree(node, fd, ctx);
}

namespace {

bool writeMovieTemp(JoinSession& join, const QString& outputPath, TempFile& temp,
                    const std::function<void(uint64_t, uint64_t)>& bytesProgress, bool sync)
{
    const uint64_t total = PrepareJoinedTree(join);
    if (total == 0)
        return false;
    if (!temp.create(outputPath)) {
        join.error = JoinError::WriteFailed;
        join.errorDetail = QStringLiteral("cannot create a file in %1: %2")
                               .arg(QFileInfo(outputPath).absolutePath(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Reserve the space first so that a full disk fails at once.
    if (total > 0 && ::fallocate(temp.fd, 0, 0, static_cast<off_t>(total)) != 0
        && (errno == ENOSPC || errno == EFBIG || errno == EDQUOT)) {
        join.error = JoinError::NoSpace;
        join.errorDetail = QString::fromLocal8Bit(std::strerror(errno));
        temp.discard();
        return false;
    }
    WriteContext ctx;
    ctx.stop = join.stop;
    if (bytesProgress)
        ctx.progress = [&](uint64_t done) { bytesProgress(done, total); };
    const bool ok = writeTree(join.accumulator->root, temp.fd, ctx);
    if (!ok || ctx.written != total || !temp.finish(sync)) {
        const bool wasStopped = join.stop && join.stop->load();
        join.error = wasStopped ? JoinError::Stopped : JoinError::WriteFailed;
        join.errorDetail = ctx.error.isEmpty() ? QStringLiteral("write failed") : ctx.error;
        temp.discard();
        return false;
    }
    return true;
}

bool writeTelemetryTemp(const TelemetryHolder& holder, const QString& telemetryPath, TempFile& temp,
                        bool sync)
{
    QDir().mkpath(QFileInfo(telemetryPath).absolutePath());
    if (!temp.create(telemetryPath))
        return false;
    const QByteArray bytes = TelemetryFileBytes(holder);
    WriteContext ctx;
    if (!writeAll(temp.fd, bytes.constData(), static_cast<size_t>(bytes.size()), ctx) || !temp.finish(sync)) {
        temp.discard();
        return false;
    }
    SetHiddenAttribute(temp.path);
    return true;
}

}  // namespace

bool WriteJoinedMovie(JoinSession& join, const QString& outputPath)
{
    TempFile temp;
    if (!writeMovieTemp(join, outputPath, temp, {}, true))
        return false;
    if (!temp.commit(outputPath)) {
        join.error = JoinError::WriteFailed;
        join.errorDetail = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool WriteTelemetryFile(const TelemetryHolder& holder, const QString& outputMoviePath)
{
    const QString path = TelemetryPathOf(outputMoviePath);
    TempFile temp;
    return writeTelemetryTemp(holder, path, temp, true) && temp.commit(path);
}

// ---- The task ----------------------------------------------------------------------------------

JoinResult SaveJoinedMovie(const JoinRequest& request)
{
    JoinResult result;
    const int n = static_cast<int>(request.movies.size());
    if (n == 0)
        return result;
    auto failWith = [&](JoinError error, const QString& detail) {
        result.ok = false;
        result.error = error;
        result.detail = detail;
        result.messageId = error == JoinError::Stopped ? -1 : TXT_MSG_JOIN_FAILED;
        if (request.records) {
            for (RecordingRecord& r : *request.records)
                r.joined = 0;
        }
        return result;
    };
    auto isStopped = [&] { return request.stop && request.stop->load(); };

    // Free space first, before anything is opened.
    uint64_t needed = request.neededBytes;
    if (needed == 0) {
        for (const QString& movie : request.movies) {
            for (const QString& f : {movie, PairedPathOf(movie), TelemetryPathOf(movie)}) {
                const QFileInfo info(f);
                if (info.isFile())
                    needed += static_cast<uint64_t>(info.size());
            }
        }
    }
    const QString folder = QFileInfo(request.outputPath).absolutePath();
    struct statvfs vfs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &vfs) != 0)
        return failWith(JoinError::WriteFailed, QStringLiteral("cannot reach the folder %1").arg(folder));
    const uint64_t freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (needed >= freeBytes)
        return failWith(JoinError::NoSpace,
                        QStringLiteral("%1 bytes needed, %2 free").arg(needed).arg(freeBytes));

    ResetNodeCounters();
    JoinSession join;
    join.stop = request.stop;
    if (!StartJoin(join, request.movies.front()))
        return failWith(join.error, join.errorDetail);
    // Progress: merging counts for the first half, writing for the second.
    auto report = [&](double fraction) {
        if (request.progress)
            request.progress(static_cast<int64_t>(fraction * 1000.0), 1000);
    };
    report(0.5 / n);
    for (int i = 1; i < n; ++i) {
        if (isStopped())
            return failWith(JoinError::Stopped, QStringLiteral("stopped"));
        if (!AddToJoin(join, request.movies[i]))
            return failWith(join.error, join.errorDetail);
        report(0.5 * (i + 1) / n);
    }
    if (request.records) {
        for (RecordingRecord& r : *request.records)
            r.joined = 1;
    }
    if (isStopped())
        return failWith(JoinError::Stopped, QStringLiteral("stopped"));

    TempFile movieTemp;
    if (!writeMovieTemp(join, request.outputPath, movieTemp,
                        [&](uint64_t done, uint64_t total) {
                            report(0.5 + 0.5 * static_cast<double>(done) / static_cast<double>(std::max<uint64_t>(total, 1)));
                        },
                        request.syncToDisk))
        return failWith(join.error, join.errorDetail);
    TempFile telemetryTemp;
    QString telemetryPath;
    if (join.telemetryEnabled) {
        telemetryPath = TelemetryPathOf(request.outputPath);
        if (!writeTelemetryTemp(join.telemetry, telemetryPath, telemetryTemp, request.syncToDisk))
            return failWith(JoinError::WriteFailed, QStringLiteral("cannot write %1").arg(telemetryPath));
    }
    if (isStopped())
        return failWith(JoinError::Stopped, QStringLiteral("stopped"));
    if (!movieTemp.commit(request.outputPath))
        return failWith(JoinError::WriteFailed, QString::fromLocal8Bit(std::strerror(errno)));
    if (join.telemetryEnabled && !telemetryTemp.commit(telemetryPath)) {
        ::unlink(QFile::encodeName(request.outputPath).constData());
        return failWith(JoinError::WriteFailed, QStringLiteral("cannot write %1").arg(telemetryPath));
    }
    // Closing the merged movies tears their trees down (progress moves).
    for (auto& m : join.merged)
        CloseMovieFile(m);
    join.merged.clear();
    report(1.0);
    result.ok = true;
    result.messageId = TXT_DONE;
    result.telemetryPath = telemetryPath;
    return result;
}

}  // namespace ravir
