// Sample descriptions of the joined save: read, compared between inputs, merged and written.
#include "container/join_tables.h"

#include <algorithm>
#include <cstring>

namespace ravir::joining {

namespace {

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
        return u16(entryA, 24) == u16(entryB, 24) && Be32(entryA, 32) == Be32(entryB, 32);
    }
    return true;
}

}  // namespace

bool ReadStsd(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* d = LeafPayload(&box, 8);
    if (!d)
        return Fail(why, QStringLiteral("damaged sample description"));
    std::memcpy(t.stsdHead.data(), d->data(), 4);
    const uint64_t count = Be32(*d, 4);
    size_t at = 8;
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 8 > d->size())
            return Fail(why, QStringLiteral("damaged sample description"));
        const uint32_t size = Be32(*d, at);
        if (size < 8 || size > d->size() - at)
            return Fail(why, QStringLiteral("damaged sample description"));
        t.sampleEntries.emplace_back(d->begin() + static_cast<ptrdiff_t>(at),
                                     d->begin() + static_cast<ptrdiff_t>(at + size));
        at += size;
    }
    if (t.sampleEntries.empty())
        return Fail(why, QStringLiteral("a track has no sample description"));
    return true;
}

bool SameDescriptions(const TrackTables& a, const TrackTables& b, std::vector<uint32_t>& entryMap,
                      QString& why)
{
    for (const auto& entry : b.sampleEntries) {
        if (!sameKind(a, a.sampleEntries.front(), entry))
            return Fail(why, QStringLiteral("the recordings differ in codec or picture size"));
    }
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

void AppendStsd(TrackTables& t, const TrackTables& u)
{
    for (const auto& e : u.sampleEntries) {
        if (std::find(t.sampleEntries.begin(), t.sampleEntries.end(), e) == t.sampleEntries.end())
            t.sampleEntries.push_back(e);
    }
}

std::vector<uint8_t> StsdPayload(const TrackTables& t)
{
    PayloadWriter d;
    d.b.assign(t.stsdHead.begin(), t.stsdHead.end());
    d.u32(static_cast<uint32_t>(t.sampleEntries.size()));
    for (const auto& e : t.sampleEntries)
        d.raw(e);
    return std::move(d.b);
}

}  // namespace ravir::joining
