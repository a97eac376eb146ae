// Per-sample sync and dependency tables of the joined save.
#include "container/join_tables.h"

namespace ravir::joining {

bool ReadStss(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* y = LeafPayload(&box, 8);
    if (!y || 8 + uint64_t{Be32(*y, 4)} * 4 > y->size())
        return Fail(why, QStringLiteral("damaged sync sample table"));
    t.hasStss = true;
    const uint32_t count = Be32(*y, 4);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t n = Be32(*y, 8 + size_t{i} * 4);
        if (n >= 1 && n <= t.sampleCount)
            t.stss.push_back(n);
    }
    return true;
}

bool ReadSdtp(const BoxNode& box, TrackTables& t, QString& why)
{
    const auto* p = LeafPayload(&box, 4);
    if (!p || t.sampleCount > kMaxTableEntries)
        return Fail(why, QStringLiteral("damaged dependency table"));
    t.hasSdtp = true;
    t.sdtp.assign(p->begin() + 4, p->end());
    t.sdtp.resize(t.sampleCount, 0);
    return true;
}

void AppendStss(TrackTables& t, const TrackTables& u, uint64_t sampleBase)
{
    if (!t.hasStss && !u.hasStss)
        return;
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

void AppendSdtp(TrackTables& t, const TrackTables& u, uint64_t sampleBase)
{
    if (!t.hasSdtp && !u.hasSdtp)
        return;
    t.sdtp.resize(sampleBase, 0);
    t.hasSdtp = true;
    if (u.hasSdtp)
        t.sdtp.insert(t.sdtp.end(), u.sdtp.begin(), u.sdtp.end());
    else
        t.sdtp.insert(t.sdtp.end(), u.sampleCount, 0);
}

std::vector<uint8_t> StssPayload(const TrackTables& t)
{
    PayloadWriter y;
    y.head(0, t.stss.size());
    for (uint32_t n : t.stss)
        y.u32(n);
    return std::move(y.b);
}

std::vector<uint8_t> SdtpPayload(const TrackTables& t)
{
    PayloadWriter p;
    p.u32(0);
    p.raw(t.sdtp);
    return std::move(p.b);
}

}  // namespace ravir::joining
