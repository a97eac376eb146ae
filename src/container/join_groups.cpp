// Sample-group tables (sbgp, sgpd) of the joined save.
#include "container/join_tables.h"

#include <algorithm>

namespace ravir::joining {

bool ReadSgpd(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* p = LeafPayload(&box, 8);
    if (!p)
        return Fail(why, QStringLiteral("damaged sample group description"));
    // version 1 carries a default length, version 2 and later a default description index.
    const uint8_t version = (*p)[0];
    const size_t at = 8 + (version == 1 ? 4 : 0) + (version >= 2 ? 4 : 0);
    if (p->size() < at + 4)
        return Fail(why, QStringLiteral("damaged sample group description"));
    t.hasSgpd = true;
    t.sgpd = *p;
    t.sgpdEntryCount = Be32(*p, at);
    return true;
}

bool ReadSbgp(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* p = LeafPayload(&box, 12);
    if (!p)
        return Fail(why, QStringLiteral("damaged sample group table"));
    t.hasSbgp = true;
    t.sbgpVersion = (*p)[0];
    t.groupingType = Be32(*p, 4);
    size_t at = 8;
    if (t.sbgpVersion == 1) {
        if (p->size() < 16)
            return Fail(why, QStringLiteral("damaged sample group table"));
        t.groupingParameter = Be32(*p, 8);
        at = 12;
    }
    const uint64_t count = Be32(*p, at);
    if (at + 4 + count * 8 > p->size())
        return Fail(why, QStringLiteral("damaged sample group table"));
    uint64_t covered = 0;
    for (uint64_t i = 0; i < count && covered < t.sampleCount; ++i) {
        uint32_t n = Be32(*p, at + 4 + i * 8);
        n = static_cast<uint32_t>(std::min<uint64_t>(n, t.sampleCount - covered));
        const uint32_t description = Be32(*p, at + 8 + i * 8);
        if (description > t.sgpdEntryCount)
            return Fail(why, QStringLiteral("a sample group points past its descriptions"));
        if (n)
            t.sbgp.emplace_back(n, description);
        covered += n;
    }
    if (covered < t.sampleCount)
        t.sbgp.emplace_back(static_cast<uint32_t>(t.sampleCount - covered), 0);
    return true;
}

bool SameGroups(const TrackTables& a, const TrackTables& b, QString& why)
{
    if (a.hasSbgp && b.hasSbgp && a.groupingType != b.groupingType)
        return Fail(why, QStringLiteral("the recordings use different sample groups"));
    if (b.hasSgpd && (!a.hasSgpd || a.sgpd != b.sgpd))
        return Fail(why, QStringLiteral("the recordings use different sample group descriptions"));
    if (b.hasSbgp && !a.hasSbgp && !a.hasSgpd)
        return Fail(why, QStringLiteral("the recordings use different sample groups"));
    return true;
}

void AppendGroups(TrackTables& t, const TrackTables& u, uint64_t sampleBase)
{
    if (!t.hasSbgp && !u.hasSbgp)
        return;
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

std::vector<uint8_t> SbgpPayload(const TrackTables& t)
{
    PayloadWriter g;
    g.u32(uint32_t{t.sbgpVersion} << 24);
    g.u32(t.groupingType);
    if (t.sbgpVersion == 1)
        g.u32(t.groupingParameter);
    g.u32(static_cast<uint32_t>(t.sbgp.size()));
    for (const auto& [n, index] : t.sbgp) {
        g.u32(n);
        g.u32(index);
    }
    return std::move(g.b);
}

}  // namespace ravir::joining
