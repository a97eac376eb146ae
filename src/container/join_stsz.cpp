// Sample-size table of the joined save.
#include "container/join_tables.h"

namespace ravir::joining {

bool ReadStsz(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* z = LeafPayload(&box, 12);
    if (!z)
        return Fail(why, QStringLiteral("damaged sample size table"));
    t.constantSize = Be32(*z, 4);
    t.sampleCount = Be32(*z, 8);
    if (t.constantSize == 0) {
        if (12 + t.sampleCount * 4 > z->size())
            return Fail(why, QStringLiteral("damaged sample size table"));
        t.sizes.resize(t.sampleCount);
        for (uint64_t i = 0; i < t.sampleCount; ++i)
            t.sizes[i] = Be32(*z, 12 + i * 4);
    }
    return true;
}

void AppendStsz(TrackTables& t, const TrackTables& u, uint64_t sampleBase)
{
    if (t.constantSize != 0 && t.constantSize == u.constantSize)
        return;  // constant sizes on both sides: only the count grows
    if (t.constantSize != 0) {
        t.sizes.assign(sampleBase, t.constantSize);
        t.constantSize = 0;
    }
    if (u.constantSize != 0)
        t.sizes.insert(t.sizes.end(), u.sampleCount, u.constantSize);
    else
        t.sizes.insert(t.sizes.end(), u.sizes.begin(), u.sizes.end());
}

std::vector<uint8_t> StszPayload(const TrackTables& t)
{
    PayloadWriter z;
    z.u32(0);
    z.u32(t.constantSize);
    z.u32(static_cast<uint32_t>(t.sampleCount));
    if (t.constantSize == 0) {
        for (uint32_t v : t.sizes)
            z.u32(v);
    }
    return std::move(z.b);
}

}  // namespace ravir::joining
