#pragma once
// The box tree of one MP4/QuickTime movie, its accessors, and the direct probes that find one
// box without building a tree.
//
// The reader needs no table of container types: a box is a container when its payload begins
// with the header of a known type (box_type_trie.h); the same test ends the parse of a
// container early, and then the rest of that container is kept as opaque trailing bytes.
// Sizes of 64 bits (size field 1) and boxes that run to the end of their container (size field
// 0) are read; a box that declares less than its header or runs past its container or the file
// fails the open. At the top level of a file an unknown box of plausible size is kept as an
// opaque leaf (QuickTime files often start with `wide`).
#include "container/mapped_file.h"

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ravir {

// Progress of a long tree operation as (done, total).
using ProgressCallback = std::function<void(int64_t done, int64_t total)>;

struct BoxNode {
    int32_t depth = 0;                 // nesting depth, root 0
    std::vector<uint8_t> payload;      // copy of a leaf's payload when payloadLoaded
    bool payloadLoaded = false;
    std::vector<BoxNode> children;     // in file order
    bool isLeaf = false;               // payload is opaque data (or the parse of it stopped)
    std::array<char, 5> type{};        // four characters and a NUL; empty for the root
    QString sourcePath;                // file the box comes from
    uint32_t headerSize = 8;           // 8, or 16 for a 64-bit size, at parse time
    uint64_t size = 0;                 // current payload size (grows when boxes are merged in)
    uint64_t offset = 0;               // payload file offset at parse time
    uint64_t loadedSize = 0;           // bytes held in payload
    uint64_t originalSize = 0;         // payload size at parse time
    uint64_t sourceOffset = 0;         // payload file offset the writers copy from
    uint64_t copyLength = 0;           // telemetry span to copy (udat)
    int16_t recordCount = 0;           // telemetry record count (udat)
    // Boxes of other files whose payload is written right after this one's (mdat, udat).
    std::vector<const BoxNode*> appended;
    // A container whose parse stopped at data that is no known box keeps the rest of its
    // payload here (file range in sourcePath), so that writing it back loses nothing.
    uint64_t trailerOffset = 0;
    uint64_t trailerSize = 0;

    bool is(const char* fourcc) const;     // type equals the four characters
    QString typeWide() const;              // the type as text
};

// The size to write for a node, header included: a leaf's header plus its payload size, a
// container's header plus its children's sizes and trailing bytes. The header is 16 bytes when
// the box does not fit a 32-bit size.
uint64_t BoxSize(const BoxNode& node);
// The header size BoxSize chose (8 or 16); 0 for the root.
uint32_t BoxHeaderSize(const BoxNode& node);

// Pre-order walk from node; appends every node of the given type.
void CollectBoxes(BoxNode& node, const char* type, std::vector<BoxNode*>& list);
void CollectBoxes(const BoxNode& node, const char* type, std::vector<const BoxNode*>& list);

class sMP4MOVIE {
public:
    sMP4MOVIE() = default;
    virtual ~sMP4MOVIE();
    sMP4MOVIE(const sMP4MOVIE&) = delete;
    sMP4MOVIE& operator=(const sMP4MOVIE&) = delete;

    ProgressCallback progress;   // receives tear-down progress when progressEnabled
    bool progressEnabled = false;
    MappedFile file;
    BoxNode root;
    uint64_t fileSize = 0;
    int64_t nodeCount = 0;       // nodes of this tree

    // Nodes of the tree in pre-order, one entry per track for the track-level boxes.
    std::vector<BoxNode*> mdat, stsz, stco, mdhd, stss, stts, mvhd, tkhd, elst, stsd;

    // Empties the ten lists and fills them again from the tree.
    void collectLists();
    // Destroys the tree (reporting progress when enabled) and closes the file.
    void close();
};

struct OpenMovieOptions {
    bool progressEnabled = false;
    ProgressCallback progress;
    // Leaves larger than this are not copied into memory (their bytes are streamed from the
    // file when written), nor any leaf once 256 MiB were copied; mdat payloads never are.
    uint64_t maxLoadedPayload = 64ull << 20;
};

// Opens the file and builds the whole tree. Null (with a reason in *error) when the file cannot
// be opened or its box structure is damaged; nothing stays open then.
std::unique_ptr<sMP4MOVIE> OpenMovieFile(const QString& path, const OpenMovieOptions& options = {},
                                         QString* error = nullptr);
// Tears the tree down (progress when enabled), closes the file and deletes the movie.
void CloseMovieFile(std::unique_ptr<sMP4MOVIE>& movie);

// Process-wide node counters: nodes alive, and the alive count copied at the end of each
// successful open. The joined save resets them before it starts.
int64_t NodesAlive();
int64_t NodeTotal();
void ResetNodeCounters();

// Accessors; empty when the box they need is missing or too short.
struct PictureSize {
    int width = 0;
    int height = 0;
};
// They read the first video track (the first track when none is marked video).
std::optional<PictureSize> GetPictureSize(const sMP4MOVIE& movie);   // its stsd entry
std::optional<uint64_t> GetTotalSamples(const sMP4MOVIE& movie);     // its stts
std::optional<double> GetFrameRate(const sMP4MOVIE& movie);          // samples x mvhd scale / tkhd duration
std::optional<double> GetMovieDurationMs(const sMP4MOVIE& movie);    // first mvhd

// Big-endian helpers for payload bytes; the caller checks the bounds.
inline uint32_t ReadBE32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint64_t ReadBE64(const uint8_t* p)
{
    return (uint64_t{ReadBE32(p)} << 32) | ReadBE32(p + 4);
}
inline void WriteBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void WriteBE64(uint8_t* p, uint64_t v)
{
    WriteBE32(p, static_cast<uint32_t>(v >> 32));
    WriteBE32(p + 4, static_cast<uint32_t>(v));
}

// Duration and timescale of mvhd, mdhd and tkhd payloads, version 0 and 1.
struct HeaderTimes {
    uint32_t timescale = 0;   // mvhd, mdhd only
    uint64_t duration = 0;
};
std::optional<HeaderTimes> ReadMvhdTimes(const BoxNode& mvhd);   // also mdhd
std::optional<uint64_t> ReadTkhdDuration(const BoxNode& tkhd);

// True when the file is a regular file of at least 260 bytes whose bytes 4..7 read "ftyp".
// Never blocks: a FIFO or device under the name is no movie.
bool IsMp4File(const QString& path);

// ---- Direct probes (serialised by FindMutex) ---------------------------------------------
// A probe callback receives the payload of the box it found and the number of bytes that may
// be read there (at most 1 MiB, never past the end of the file).
using BoxCallback = std::function<void(const uint8_t* payload, size_t available)>;

enum class ScanResult { Failed, NotFound, Called };

// Scans the file for pattern, skipping mdat payloads by their size; calls back on the bytes
// that follow the first match. A set cancel flag ends the scan as Failed and is cleared.
ScanResult FindAndCall(const MappedFile& file, const char* pattern, const BoxCallback& callback,
                       std::atomic<bool>* cancel = nullptr);
// Follows moov/trak/mdia/minf/stbl to the first stts and calls back on its payload. Only the
// first track on that path is reached. When trackTimescale is given it receives the timescale
// of the mdhd met on the way (0 when there was none).
ScanResult WalkPathAndCall(const MappedFile& file, const BoxCallback& callback,
                           std::atomic<bool>* cancel = nullptr, uint32_t* trackTimescale = nullptr);
// The movie-duration callback: seconds of an mvhd payload.
std::optional<double> MovieSecondsFromMvhd(const uint8_t* payload, size_t available);
// The frame-duration callback: the mean frame duration in ms of an stts payload, in the track's
// timescale when it is known, else as the movie seconds divided by the sample count.
std::optional<double> FrameDurationFromStts(const uint8_t* payload, size_t available,
                                            uint32_t trackTimescale, double movieSeconds);

// The time-to-sample table of an stts payload: its runs (sample count, sample delta) in order, as
// far as the payload holds them, and whether it holds every entry it declares. The one reader of
// stts: the accessors, the frame-duration probe and the joined save go through it. Empty when the
// payload is shorter than its 8-byte header.
struct SttsTable {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    bool complete = false;
};
std::optional<SttsTable> DecodeStts(const uint8_t* payload, size_t available);

// ---- Conveniences for the catalogue, the playback engine and the command line -------------
std::optional<double> ProbeFrameDurationMs(const QString& path);
std::optional<double> ProbeMovieDurationMs(const QString& path);

struct MovieFacts {
    bool isMp4 = false;
    int width = 0, height = 0;
    uint32_t totalSamples = 0;
    double frameRate = 0;
    double durationMs = 0;
    double frameMs = 0;
};
// Everything `ravir probe` prints; empty when the file cannot be opened or is damaged.
std::optional<MovieFacts> ProbeMovie(const QString& path, QString* error = nullptr);

}  // namespace ravir
