// Sample-to-chunk and chunk-offset tables of the joined save, and the check that the tables of an
// input describe its media data.
#include "container/join_tables.h"

namespace ravir::joining {

bool ReadChunkOffsets(const BoxNode& box, bool wide, uint32_t input, const BoxNode& media,
                      TrackTables& t, QString& why)
{
    const size_t width = wide ? 8 : 4;
    const auto* o = LeafPayload(&box, 8);
    if (!o || 8 + uint64_t{Be32(*o, 4)} * width > o->size())
        return Fail(why, QStringLiteral("damaged chunk offset table"));
    const uint64_t chunkCount = Be32(*o, 4);
    t.chunks.reserve(chunkCount);
    for (uint64_t i = 0; i < chunkCount; ++i) {
        const uint64_t off = wide ? ReadBE64(o->data() + 8 + i * 8) : Be32(*o, 8 + i * 4);
        if (off < media.sourceOffset || off > media.sourceOffset + media.originalSize)
            return Fail(why, QStringLiteral("a chunk lies outside the media data"));
        t.chunks.push_back({input, off - media.sourceOffset});
    }
    return true;
}

bool ReadStsc(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* sc = LeafPayload(&box, 8);
    if (!sc || 8 + uint64_t{Be32(*sc, 4)} * 12 > sc->size())
        return Fail(why, QStringLiteral("damaged sample-to-chunk table"));
    const uint32_t count = Be32(*sc, 4);
    uint32_t previousFirst = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = 8 + size_t{i} * 12;
        const std::array<uint32_t, 3> e{Be32(*sc, at), Be32(*sc, at + 4), Be32(*sc, at + 8)};
        if (e[0] <= previousFirst || e[0] > t.chunks.size() || e[2] < 1 || e[2] > t.sampleEntries.size())
            return Fail(why, QStringLiteral("damaged sample-to-chunk table"));
        previousFirst = e[0];
        t.stsc.push_back(e);
    }
    if (!t.stsc.empty() && t.stsc.front()[0] != 1)
        return Fail(why, QStringLiteral("damaged sample-to-chunk table"));
    return true;
}

bool CheckChunkExtents(const TrackTables& t, uint64_t mediaSize, QString& why)
{
    uint64_t sample = 0;
    for (size_t r = 0; r < t.stsc.size(); ++r) {
        const uint64_t first = t.stsc[r][0] - 1;
        const uint64_t end = r + 1 < t.stsc.size() ? t.stsc[r + 1][0] - 1 : t.chunks.size();
        const uint64_t perChunk = t.stsc[r][1];
        for (uint64_t c = first; c < end; ++c) {
            if (perChunk > t.sampleCount - sample)
                return Fail(why, QStringLiteral("the sample-to-chunk table holds more samples than the sample size table"));
            uint64_t bytes = perChunk * t.constantSize;
            for (uint64_t k = 0; t.constantSize == 0 && k < perChunk; ++k)
                bytes += t.sizes[sample + k];
            const uint64_t at = t.chunks[c].rel;
            if (at > mediaSize || bytes > mediaSize - at)
                return Fail(why, QStringLiteral("the samples of a chunk run past the end of the media data"));
            sample += perChunk;
        }
    }
    if (sample != t.sampleCount)
        return Fail(why, QStringLiteral("the sample-to-chunk table and the sample size table disagree on the sample count"));
    return true;
}

void AppendChunks(TrackTables& t, const TrackTables& u, const std::vector<uint32_t>& entryMap)
{
    const auto chunkBase = static_cast<uint32_t>(t.chunks.size());
    for (const auto& e : u.stsc) {
        const std::array<uint32_t, 3> moved{e[0] + chunkBase, e[1], entryMap[e[2] - 1]};
        if (!t.stsc.empty() && t.stsc.back()[1] == moved[1] && t.stsc.back()[2] == moved[2])
            continue;  // the previous run goes on
        t.stsc.push_back(moved);
    }
    t.chunks.insert(t.chunks.end(), u.chunks.begin(), u.chunks.end());
}

std::vector<uint8_t> StscPayload(const TrackTables& t)
{
    PayloadWriter sc;
    sc.head(0, t.stsc.size());
    for (const auto& e : t.stsc) {
        sc.u32(e[0]);
        sc.u32(e[1]);
        sc.u32(e[2]);
    }
    return std::move(sc.b);
}

std::vector<uint8_t> ChunkOffsetPayload(const TrackTables& t, const std::vector<uint64_t>& inputBase,
                                        uint64_t mdatPayloadAt, bool wide)
{
    PayloadWriter o;
    o.head(0, t.chunks.size());
    for (const ChunkRef& c : t.chunks) {
        const uint64_t at = mdatPayloadAt + inputBase[c.input] + c.rel;
        if (wide)
            o.u64(at);
        else
            o.u32(static_cast<uint32_t>(at));
    }
    return std::move(o.b);
}

}  // namespace ravir::joining
