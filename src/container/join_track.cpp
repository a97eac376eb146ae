// One track of the joined save: its sample tables decoded from an input, checked against the
// tracks before it, appended, and written back as a sample table box.
#include "container/join_tables.h"

#include <cstring>
#include <limits>

namespace ravir::joining {

const std::vector<uint8_t>* LeafPayload(const BoxNode* node, size_t need)
{
    if (!node || !node->payloadLoaded || node->payload.size() < need || !node->children.empty())
        return nullptr;
    return &node->payload;
}

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

// The boxes of a sample table; each at most once, no other box.
struct TableBoxes {
    const BoxNode *stsd = nullptr, *stts = nullptr, *ctts = nullptr, *stss = nullptr,
                  *stsz = nullptr, *stsc = nullptr, *stco = nullptr, *co64 = nullptr,
                  *sdtp = nullptr, *sbgp = nullptr, *sgpd = nullptr;
};

bool findTableBoxes(const BoxNode& stbl, TableBoxes& b, QString& why)
{
    const std::pair<const char*, const BoxNode**> known[] = {
        {"stsd", &b.stsd}, {"stts", &b.stts}, {"ctts", &b.ctts}, {"stss", &b.stss}, {"stsz", &b.stsz},
        {"stsc", &b.stsc}, {"stco", &b.stco}, {"co64", &b.co64}, {"sdtp", &b.sdtp}, {"sbgp", &b.sbgp},
        {"sgpd", &b.sgpd}};
    for (const BoxNode& c : stbl.children) {
        bool matched = false;
        for (const auto& [type, slot] : known) {
            if (!c.is(type))
                continue;
            if (*slot)
                return Fail(why, QStringLiteral("a sample table holds '%1' twice").arg(type));
            *slot = &c;
            matched = true;
        }
        if (!matched)
            return Fail(why, QStringLiteral("the sample table box '%1' cannot be joined").arg(c.typeWide()));
    }
    if (!b.stsd || !b.stts || !b.stsz || !b.stsc || (!b.stco && !b.co64) || (b.stco && b.co64))
        return Fail(why, QStringLiteral("a track lacks a sample table"));
    return true;
}

// The track's headers: tkhd, mdhd, hdlr, stbl and the optional edit list.
bool readTrackHeaders(JoinTrack& track, uint32_t movieTimescale, QString& why)
{
    TrackTables& t = track.tables;
    BoxNode* mdia = childOf(track.trak, "mdia");
    track.tkhd = childOf(track.trak, "tkhd");
    track.mdhd = childOf(mdia, "mdhd");
    track.stbl = childOf(childOf(mdia, "minf"), "stbl");
    track.elst = childOf(childOf(track.trak, "edts"), "elst");
    const BoxNode* hdlr = childOf(mdia, "hdlr");
    if (!track.tkhd || !track.mdhd || !track.stbl || !hdlr || !ReadTkhdDuration(*track.tkhd))
        return Fail(why, QStringLiteral("a track lacks its headers or sample tables"));
    if (track.stbl->trailerSize != 0)
        return Fail(why, QStringLiteral("a sample table holds unknown boxes"));
    const auto times = ReadMvhdTimes(*track.mdhd);
    const auto* hd = LeafPayload(hdlr, 12);
    if (!times || times->timescale == 0 || !hd)
        return Fail(why, QStringLiteral("a track header is damaged"));
    t.mediaTimescale = times->timescale;
    std::memcpy(t.handler.data(), hd->data() + 8, 4);
    return ReadEditList(track.elst, movieTimescale, t, why);
}

}  // namespace

bool DecodeTrack(JoinTrack& track, uint32_t input, const BoxNode& media, uint32_t movieTimescale,
                 QString& why)
{
    TrackTables& t = track.tables;
    TableBoxes b;
    if (!readTrackHeaders(track, movieTimescale, why) || !findTableBoxes(*track.stbl, b, why))
        return false;
    uint64_t sttsSamples = 0;
    if (!ReadStsd(*b.stsd, t, why) || !ReadStts(*b.stts, t, sttsSamples, why) || !ReadStsz(*b.stsz, t, why))
        return false;
    if (sttsSamples != t.sampleCount)
        return Fail(why, QStringLiteral("the sample tables disagree on the sample count"));
    if ((b.ctts && !ReadCtts(*b.ctts, t, why)) || (b.stss && !ReadStss(*b.stss, t, why)))
        return false;
    if (!ReadChunkOffsets(b.co64 ? *b.co64 : *b.stco, b.co64 != nullptr, input, media, t, why)
        || !ReadStsc(*b.stsc, t, why) || !CheckChunkExtents(t, media.originalSize, why))
        return false;
    if ((b.sdtp && !ReadSdtp(*b.sdtp, t, why)) || (b.sgpd && !ReadSgpd(*b.sgpd, t, why))
        || (b.sbgp && !ReadSbgp(*b.sbgp, t, why)))
        return false;
    t.lastMedia = t.mediaDuration;
    return true;
}

bool Compatible(const TrackTables& a, const TrackTables& b, std::vector<uint32_t>& entryMap, QString& why)
{
    if (a.handler != b.handler)
        return Fail(why, QStringLiteral("the recordings have different tracks"));
    if (a.mediaTimescale != b.mediaTimescale)
        return Fail(why, QStringLiteral("the recordings have different track timescales"));
    if (!SameGroups(a, b, why))
        return false;
    const uint64_t samples = a.sampleCount + b.sampleCount;
    const bool expandSizes = !(a.constantSize != 0 && a.constantSize == b.constantSize);
    const bool expandTables = a.hasStss || b.hasStss || a.hasSdtp || b.hasSdtp;
    if (samples > std::numeric_limits<uint32_t>::max()
        || ((expandSizes || expandTables) && samples > kMaxTableEntries))
        return Fail(why, QStringLiteral("the joined sample tables would be too large"));
    return SameDescriptions(a, b, entryMap, why);
}

void AppendTrack(TrackTables& t, const TrackTables& u, const std::vector<uint32_t>& entryMap)
{
    const uint64_t sampleBase = t.sampleCount;
    AppendStsd(t, u);
    AppendStts(t, u);
    AppendCtts(t, u, sampleBase);
    AppendStss(t, u, sampleBase);
    AppendStsz(t, u, sampleBase);
    t.sampleCount += u.sampleCount;
    AppendChunks(t, u, entryMap);
    AppendSdtp(t, u, sampleBase);
    AppendGroups(t, u, sampleBase);
    t.mediaDuration += u.mediaDuration;
    t.lastMedia = u.mediaDuration;
    t.lastEditMediaTime = u.editMediaTime;
    t.lastEditDuration = u.lastEditDuration;
}

namespace {

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

}  // namespace

void BuildSampleTable(JoinTrack& track, const std::vector<uint64_t>& inputBase, uint64_t mdatPayloadAt,
                      bool wideOffsets)
{
    const TrackTables& t = track.tables;
    BoxNode& stbl = *track.stbl;
    std::vector<BoxNode> out;
    out.push_back(leaf("stsd", StsdPayload(t), stbl));
    out.push_back(leaf("stts", SttsPayload(t), stbl));
    if (t.hasCtts)
        out.push_back(leaf("ctts", CttsPayload(t), stbl));
    if (t.hasStss)
        out.push_back(leaf("stss", StssPayload(t), stbl));
    if (t.hasSdtp)
        out.push_back(leaf("sdtp", SdtpPayload(t), stbl));
    out.push_back(leaf("stsc", StscPayload(t), stbl));
    out.push_back(leaf("stsz", StszPayload(t), stbl));
    out.push_back(leaf(wideOffsets ? "co64" : "stco", ChunkOffsetPayload(t, inputBase, mdatPayloadAt, wideOffsets),
                       stbl));
    if (t.hasSgpd)
        out.push_back(leaf("sgpd", t.sgpd, stbl));
    if (t.hasSbgp)
        out.push_back(leaf("sbgp", SbgpPayload(t), stbl));
    stbl.children = std::move(out);
}

}  // namespace ravir::joining
