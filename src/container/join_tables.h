#pragma once
// Inside the joined save: the sample tables of one track, decoded from one input or merged over
// several, and one reader, merger and writer per sample-table box.
//
// A reader takes the payload of its box and fills its part of TrackTables, refusing a payload
// that is too short for the entries it declares. A merger appends the tables of a later input
// (sample numbers, chunk numbers and description numbers moved on). A writer gives the payload
// of the merged box. CheckChunkExtents checks that the tables of one input describe its media
// data: every sample lies in a chunk and every chunk lies inside the media data.
#include "container/mp4_box.h"

#include <QString>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace ravir {

namespace joining {

using Run = std::pair<uint32_t, uint32_t>;  // (sample count, value)

// A chunk as a place inside one input's media data payload.
struct ChunkRef {
    uint32_t input = 0;  // index into JoinSession::mediaData
    uint64_t rel = 0;
};

// Per-sample tables written entry by entry are limited, so that a damaged count cannot make the
// join allocate without bound.
constexpr uint64_t kMaxTableEntries = 1ull << 25;

}  // namespace joining

// The tables of one track.
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
    std::vector<joining::Run> stts;
    bool hasCtts = false;
    uint8_t cttsVersion = 0;
    std::vector<joining::Run> ctts;
    bool hasStss = false;
    std::vector<uint32_t> stss;
    uint32_t constantSize = 0;
    std::vector<uint32_t> sizes;  // empty when constantSize != 0
    uint64_t sampleCount = 0;
    std::vector<std::array<uint32_t, 3>> stsc;
    std::vector<joining::ChunkRef> chunks;
    bool hasSdtp = false;
    std::vector<uint8_t> sdtp;
    bool hasSbgp = false;
    uint8_t sbgpVersion = 0;
    uint32_t groupingType = 0;
    uint32_t groupingParameter = 0;
    std::vector<joining::Run> sbgp;
    bool hasSgpd = false;
    std::vector<uint8_t> sgpd;
    uint32_t sgpdEntryCount = 0;
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

namespace joining {

inline bool Fail(QString& why, const QString& text)
{
    why = text;
    return false;
}

inline uint32_t Be32(const std::vector<uint8_t>& p, size_t at) { return ReadBE32(p.data() + at); }

// Payload of a loaded leaf with at least `need` bytes, else null.
const std::vector<uint8_t>* LeafPayload(const BoxNode* node, size_t need);

// Big-endian payload builder.
struct PayloadWriter {
    std::vector<uint8_t> b;
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
    // Full-box header (version and flags), then an entry count.
    void head(uint8_t version, size_t count)
    {
        u32(uint32_t{version} << 24);
        u32(static_cast<uint32_t>(count));
    }
};

// Appends a run, joining it to the last one when the values match.
void AppendRun(std::vector<Run>& runs, Run run);

// ---- stsd: sample descriptions (join_stsd.cpp) ----
bool ReadStsd(const BoxNode& box, TrackTables& t, QString& why);
// Checks that b's descriptions can follow a's; fills the map from b's description numbers to
// the merged ones.
bool SameDescriptions(const TrackTables& a, const TrackTables& b, std::vector<uint32_t>& entryMap,
                      QString& why);
void AppendStsd(TrackTables& t, const TrackTables& u);
std::vector<uint8_t> StsdPayload(const TrackTables& t);

// ---- stts, ctts: time to sample, composition offsets (join_stts.cpp) ----
bool ReadStts(const BoxNode& box, TrackTables& t, uint64_t& samples, QString& why);
// Padded or cut to the sample count (read after stsz).
bool ReadCtts(const BoxNode& box, TrackTables& t, QString& why);
void AppendStts(TrackTables& t, const TrackTables& u);
void AppendCtts(TrackTables& t, const TrackTables& u, uint64_t sampleBase);
// Moves the end of the track's media time to `end` (a gap stretches the last sample; an overrun
// is taken from the last samples).
void AlignEnd(TrackTables& t, uint64_t end);
std::vector<uint8_t> SttsPayload(const TrackTables& t);
std::vector<uint8_t> CttsPayload(const TrackTables& t);

// ---- stsz: sample sizes (join_stsz.cpp) ----
bool ReadStsz(const BoxNode& box, TrackTables& t, QString& why);
void AppendStsz(TrackTables& t, const TrackTables& u, uint64_t sampleBase);
std::vector<uint8_t> StszPayload(const TrackTables& t);

// ---- stss, sdtp: per-sample sync and dependency tables (join_stss.cpp) ----
bool ReadStss(const BoxNode& box, TrackTables& t, QString& why);
bool ReadSdtp(const BoxNode& box, TrackTables& t, QString& why);
void AppendStss(TrackTables& t, const TrackTables& u, uint64_t sampleBase);
void AppendSdtp(TrackTables& t, const TrackTables& u, uint64_t sampleBase);
std::vector<uint8_t> StssPayload(const TrackTables& t);
std::vector<uint8_t> SdtpPayload(const TrackTables& t);

// ---- stsc, stco/co64: chunks (join_chunks.cpp) ----
// Chunk offsets become places inside the media data; a chunk outside it is refused.
bool ReadChunkOffsets(const BoxNode& box, bool wide, uint32_t input, const BoxNode& media,
                      TrackTables& t, QString& why);
bool ReadStsc(const BoxNode& box, TrackTables& t, QString& why);  // after the chunk offsets
bool CheckChunkExtents(const TrackTables& t, uint64_t mediaSize, QString& why);
void AppendChunks(TrackTables& t, const TrackTables& u, const std::vector<uint32_t>& entryMap);
std::vector<uint8_t> StscPayload(const TrackTables& t);
// inputBase: where each input's media data starts inside the output's media data payload,
// which starts at mdatPayloadAt in the output file.
std::vector<uint8_t> ChunkOffsetPayload(const TrackTables& t, const std::vector<uint64_t>& inputBase,
                                        uint64_t mdatPayloadAt, bool wide);

// ---- sbgp, sgpd: sample groups (join_groups.cpp) ----
bool ReadSgpd(const BoxNode& box, TrackTables& t, QString& why);
bool ReadSbgp(const BoxNode& box, TrackTables& t, QString& why);  // after stsz and sgpd
bool SameGroups(const TrackTables& a, const TrackTables& b, QString& why);
void AppendGroups(TrackTables& t, const TrackTables& u, uint64_t sampleBase);
std::vector<uint8_t> SbgpPayload(const TrackTables& t);

// ---- The track (join_track.cpp) ----
// Decodes the headers and sample tables of one input's track and checks them against its media
// data.
bool DecodeTrack(JoinTrack& track, uint32_t input, const BoxNode& media, uint32_t movieTimescale,
                 QString& why);
// Checks that b can follow a (same handler, timescale, codec, picture, groups, sizes in bounds).
bool Compatible(const TrackTables& a, const TrackTables& b, std::vector<uint32_t>& entryMap,
                QString& why);
void AppendTrack(TrackTables& t, const TrackTables& u, const std::vector<uint32_t>& entryMap);
// Rebuilds the children of the track's stbl from the merged tables.
void BuildSampleTable(JoinTrack& track, const std::vector<uint64_t>& inputBase, uint64_t mdatPayloadAt,
                      bool wideOffsets);

// ---- Durations (join_durations.cpp) ----
struct EditEntry {
    uint64_t duration;
    int64_t mediaTime;
};
std::vector<EditEntry> ReadEdits(const std::vector<uint8_t>& elstPayload);
// Reads the edit of an input's track into t (its media start and shown length).
bool ReadEditList(const BoxNode* elst, uint32_t movieTimescale, TrackTables& t, QString& why);
// Writes the merged durations into the mdhd, elst and tkhd of every track and the mvhd.
bool WriteDurations(BoxNode& mvhd, std::vector<JoinTrack>& tracks, QString& why);

}  // namespace joining
}  // namespace ravir
