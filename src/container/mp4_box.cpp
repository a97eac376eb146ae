#include "container/mp4_box.h"

#include "container/box_type_trie.h"
#include "shell/regular_file.h"
#include "container/find_mutex.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {

namespace {

std::atomic<int64_t> g_nodesAlive{0};
std::atomic<int64_t> g_nodeTotal{0};

constexpr int kMaxDepth = 48;                  // deeper nesting is kept as opaque data
constexpr int64_t kMaxNodes = 200'000;         // a damaged file must not exhaust memory
constexpr uint64_t kMaxLoadedTotal = 256ull << 20;  // payload bytes copied per tree
constexpr uint64_t kProbeWindow = 1ull << 20;  // window handed to probe callbacks
constexpr uint64_t kScanWindow = 256ull << 10;  // pattern-scan read window

bool plausibleTypeChar(uint8_t c) { return (c >= 0x20 && c <= 0x7E) || c == 0xA9; }

struct Parser {
    const MappedFile& file;
    const BoxTypeTrie& known;
    uint64_t maxLoaded;
    int64_t nodes = 0;
    QString error;
    uint64_t loadedTotal = 0;

    bool fail(const QString& why)
    {
        if (error.isEmpty())
            error = why;
        return false;
    }

    // Fills a child node for the box whose payload lies at [payloadOffset, +payloadSize).
    bool initNode(BoxNode& node, const uint8_t* type4, uint32_t headerSize, uint64_t payloadSize,
                  uint64_t payloadOffset, int depth)
    {
        if (++nodes > kMaxNodes)
            return fail(QStringLiteral("too many boxes"));
        std::memcpy(node.type.data(), type4, 4);
        node.type[4] = '\0';
        node.depth = depth;
        node.sourcePath = file.path();
        node.headerSize = headerSize;
        node.size = node.originalSize = payloadSize;
        node.offset = node.sourceOffset = payloadOffset;
        if (node.is("mdat")) {
            node.isLeaf = true;  // media data is never parsed nor copied
            return true;
        }
        if (payloadSize >= 8 && depth < kMaxDepth) {
            uint8_t head[8];
            if (!file.read(payloadOffset, head, sizeof head))
                return fail(QStringLiteral("read error"));
            if (known.contains(head + 4))
                return true;  // a container
        }
        node.isLeaf = true;
        if (payloadSize <= maxLoaded && loadedTotal + payloadSize <= kMaxLoadedTotal) {
            loadedTotal += payloadSize;
            try {
                node.payload.resize(static_cast<size_t>(payloadSize));
            } catch (const std::bad_alloc&) {
                return fail(QStringLiteral("out of memory"));
            }
            if (payloadSize > 0 && !file.read(payloadOffset, node.payload.data(), node.payload.size()))
                return fail(QStringLiteral("read error"));
            node.payloadLoaded = true;
            node.loadedSize = payloadSize;
        }
        return true;
    }

    // Parses the children of node from its payload. topLevel: node is the file's root.
    bool parseContainer(BoxNode& node, bool topLevel)
    {
        uint64_t pos = node.sourceOffset;
        const uint64_t end = node.sourceOffset + node.originalSize;
        while (pos < end) {
            const uint64_t remaining = end - pos;
            uint8_t head[16] = {};
            const bool haveHeader = remaining >= 8 && file.read(pos, head, 8);
            if (remaining >= 8 && !haveHeader)
                return fail(QStringLiteral("read error"));
            const uint8_t* type = head + 4;
            uint32_t headerSize = 8;
            uint64_t boxSize = 0;
            bool sizeOk = false;
            if (haveHeader) {
                const uint32_t size32 = ReadBE32(head);
                if (size32 == 1) {
                    headerSize = 16;
                    if (remaining >= 16 && file.read(pos + 8, head + 8, 8)) {
                        boxSize = ReadBE64(head + 8);
                        sizeOk = true;
                    }
                } else if (size32 == 0) {
                    boxSize = remaining;  // runs to the end of its container (the file)
                    sizeOk = true;
                } else {
                    boxSize = size32;
                    sizeOk = true;
                }
            }
            const bool knownType = haveHeader && known.contains(type);
            if (!knownType) {
                // At the top level of a file a header whose type reads as text is a box of a
                // type this reader does not know: kept opaque when it fits, an error when its
                // size does not hold together. Anything else is no box.
                const bool opaqueTopLevel = topLevel && haveHeader && plausibleTypeChar(type[0])
                    && plausibleTypeChar(type[1]) && plausibleTypeChar(type[2])
                    && plausibleTypeChar(type[3]);
                if (!opaqueTopLevel) {
                    // No box here: the container's parse ends; the rest is kept as it is.
                    node.isLeaf = true;
                    node.trailerOffset = pos;
                    node.trailerSize = remaining;
                    return true;
                }
            }
            if (!sizeOk)
                return fail(QStringLiteral("box header cut short at offset %1").arg(pos));
            if (boxSize < headerSize)
                return fail(QStringLiteral("box '%1' at offset %2 declares %3 bytes, less than its header")
                                .arg(QString::fromLatin1(reinterpret_cast<const char*>(type), 4))
                                .arg(pos).arg(boxSize));
            if (boxSize > remaining)
                return fail(QStringLiteral("box '%1' at offset %2 runs past its %3")
                                .arg(QString::fromLatin1(reinterpret_cast<const char*>(type), 4))
                                .arg(pos)
                                .arg(topLevel ? QStringLiteral("file") : QStringLiteral("container")));
            BoxNode child;
            if (!initNode(child, type, headerSize, boxSize - headerSize, pos + headerSize,
                          node.depth + 1))
                return false;
            if (!knownType) {
                // Unknown top-level box: opaque, whatever its payload looks like.
                child.isLeaf = true;
            } else if (!child.isLeaf && !parseContainer(child, false)) {
                return false;
            }
            node.children.push_back(std::move(child));
            pos += boxSize;
        }
        return true;
    }
};

void teardown(BoxNode& node, sMP4MOVIE& movie, int64_t reportTotal)
{
    const int64_t alive = --g_nodesAlive;
    if (movie.progressEnabled && movie.progress)
        movie.progress(std::max<int64_t>(0, reportTotal - alive), reportTotal);
    for (BoxNode& child : node.children)
        teardown(child, movie, reportTotal);
    node.children.clear();
    node.children.shrink_to_fit();
    node.payload.clear();
    node.payload.shrink_to_fit();
}

template <class NodeT, class ListT>
void collect(NodeT& node, const char* type, ListT& list)
{
    if (node.is(type))
        list.push_back(&node);
    for (auto& child : node.children)
        collect(child, type, list);
}

const uint8_t* payloadBytes(const BoxNode& node, size_t need)
{
    if (!node.payloadLoaded || node.payload.size() < need)
        return nullptr;
    return node.payload.data();
}

}  // namespace

bool BoxNode::is(const char* fourcc) const { return std::memcmp(type.data(), fourcc, 4) == 0 && type[0] != '\0'; }

QString BoxNode::typeWide() const
{
    return QString::fromLatin1(type.data(), static_cast<qsizetype>(std::strlen(type.data())));
}

uint32_t BoxHeaderSize(const BoxNode& node)
{
    if (node.type[0] == '\0' && node.depth == 0)
        return 0;
    uint64_t content = node.trailerSize;
    if (node.isLeaf && node.children.empty()) {
        content = node.size;
    } else {
        for (const BoxNode& child : node.children)
            content += BoxSize(child);
    }
    return content + 8 > std::numeric_limits<uint32_t>::max() ? 16 : 8;
}

uint64_t BoxSize(const BoxNode& node)
{
    uint64_t content = node.trailerSize;
    if (node.isLeaf && node.children.empty()) {
        content = node.size;
    } else {
        for (const BoxNode& child : node.children)
            content += BoxSize(child);
    }
    if (node.type[0] == '\0' && node.depth == 0)
        return content;  // the root has no header
    return content + (content + 8 > std::numeric_limits<uint32_t>::max() ? 16 : 8);
}

void CollectBoxes(BoxNode& node, const char* type, std::vector<BoxNode*>& list)
{
    collect(node, type, list);
}

void CollectBoxes(const BoxNode& node, const char* type, std::vector<const BoxNode*>& list)
{
    collect(node, type, list);
}

sMP4MOVIE::~sMP4MOVIE() { close(); }

void sMP4MOVIE::collectLists()
{
    const std::pair<const char*, std::vector<BoxNode*>*> lists[] = {
        {"mdat", &mdat}, {"stsz", &stsz}, {"stco", &stco}, {"mdhd", &mdhd}, {"stss", &stss},
        {"stts", &stts}, {"mvhd", &mvhd}, {"tkhd", &tkhd}, {"elst", &elst}, {"stsd", &stsd},
    };
    for (const auto& [type, list] : lists) {
        list->clear();
        CollectBoxes(root, type, *list);
    }
}

void sMP4MOVIE::close()
{
    for (auto* list : {&mdat, &stsz, &stco, &mdhd, &stss, &stts, &mvhd, &tkhd, &elst, &stsd})
        list->clear();
    file.close();
    fileSize = 0;
    if (nodeCount > 0) {
        const int64_t total = g_nodeTotal.load();
        const auto reportTotal = static_cast<int64_t>(static_cast<double>(total) * 1.1);
        for (BoxNode& child : root.children)
            teardown(child, *this, reportTotal);
        --g_nodesAlive;  // the root
        nodeCount = 0;
    }
    root = BoxNode{};
}

int64_t NodesAlive() { return g_nodesAlive.load(); }
int64_t NodeTotal() { return g_nodeTotal.load(); }
void ResetNodeCounters()
{
    g_nodesAlive = 0;
    g_nodeTotal = 0;
}

std::unique_ptr<sMP4MOVIE> OpenMovieFile(const QString& path, const OpenMovieOptions& options,
                                         QString* error)
{
    auto movie = std::make_unique<sMP4MOVIE>();
    if (!movie->file.open(path)) {
        if (error)
            *error = QStringLiteral("cannot open %1").arg(path);
        return nullptr;
    }
    movie->fileSize = movie->file.size();
    BoxNode& root = movie->root;
    root.sourcePath = path;
    root.size = root.originalSize = movie->fileSize;
    root.depth = 0;

    Parser parser{movie->file, KnownBoxTypes(), options.maxLoadedPayload, 0, {}, 0};
    parser.nodes = 1;  // the root
    const bool ok = parser.parseContainer(root, true);
    if (!ok) {
        if (error)
            *error = parser.error;
        movie->file.close();
        return nullptr;  // the partial tree was never counted
    }
    movie->nodeCount = parser.nodes;
    g_nodesAlive += parser.nodes;
    g_nodeTotal = g_nodesAlive.load();
    movie->collectLists();
    movie->progressEnabled = options.progressEnabled;
    movie->progress = options.progress;
    return movie;
}

void CloseMovieFile(std::unique_ptr<sMP4MOVIE>& movie)
{
    if (movie)
        movie->close();
    movie.reset();
}

namespace {

// The first track whose handler is video; null when there is none.
const BoxNode* firstVideoTrack(const sMP4MOVIE& movie)
{
    for (const BoxNode& top : movie.root.children) {
        if (!top.is("moov"))
            continue;
        for (const BoxNode& trak : top.children) {
            if (!trak.is("trak"))
                continue;
            std::vector<const BoxNode*> handlers;
            CollectBoxes(trak, "hdlr", handlers);
            for (const BoxNode* h : handlers) {
                if (h->depth == trak.depth + 2 && h->payloadLoaded && h->payload.size() >= 12
                    && std::memcmp(h->payload.data() + 8, "vide", 4) == 0)
                    return &trak;
            }
        }
    }
    return nullptr;
}

// The box of the given type in the first video track, else the first of the movie's list.
const BoxNode* trackBox(const sMP4MOVIE& movie, const char* type, const std::vector<BoxNode*>& list)
{
    if (const BoxNode* video = firstVideoTrack(movie)) {
        std::vector<const BoxNode*> found;
        CollectBoxes(*video, type, found);
        if (!found.empty())
            return found.front();
    }
    return list.empty() ? nullptr : list.front();
}

}  // namespace

std::optional<PictureSize> GetPictureSize(const sMP4MOVIE& movie)
{
    const BoxNode* stsd = trackBox(movie, "stsd", movie.stsd);
    const uint8_t* p = stsd ? payloadBytes(*stsd, 44) : nullptr;
    if (!p)
        return std::nullopt;
    return PictureSize{(p[40] << 8) | p[41], (p[42] << 8) | p[43]};
}

std::optional<SttsTable> DecodeStts(const uint8_t* payload, size_t available)
{
    if (!payload || available < 8)
        return std::nullopt;
    const uint64_t count = ReadBE32(payload + 4);
    const uint64_t fit = (available - 8) / 8;
    SttsTable table;
    table.complete = count <= fit;
    table.runs.reserve(std::min(count, fit));
    for (uint64_t i = 0; i < std::min(count, fit); ++i)
        table.runs.emplace_back(ReadBE32(payload + 8 + i * 8), ReadBE32(payload + 12 + i * 8));
    return table;
}

std::optional<uint64_t> GetTotalSamples(const sMP4MOVIE& movie)
{
    const BoxNode* stts = trackBox(movie, "stts", movie.stts);
    const uint8_t* p = stts ? payloadBytes(*stts, 8) : nullptr;
    const auto table = p ? DecodeStts(p, stts->payload.size()) : std::nullopt;
    if (!table)
        return std::nullopt;
    uint64_t total = 0;
    for (const auto& [samples, delta] : table->runs)
        total += samples;
    return total;
}

std::optional<HeaderTimes> ReadMvhdTimes(const BoxNode& box)
{
    const uint8_t* p = payloadBytes(box, 20);
    if (!p)
        return std::nullopt;
    if (p[0] == 1) {
        if (box.payload.size() < 32)
            return std::nullopt;
        return HeaderTimes{ReadBE32(p + 20), ReadBE64(p + 24)};
    }
    return HeaderTimes{ReadBE32(p + 12), ReadBE32(p + 16)};
}

std::optional<uint64_t> ReadTkhdDuration(const BoxNode& tkhd)
{
    const uint8_t* p = payloadBytes(tkhd, 24);
    if (!p)
        return std::nullopt;
    if (p[0] == 1) {
        if (tkhd.payload.size() < 36)
            return std::nullopt;
        return ReadBE64(p + 28);
    }
    return ReadBE32(p + 20);
}

std::optional<double> GetFrameRate(const sMP4MOVIE& movie)
{
    if (movie.mvhd.empty() || movie.tkhd.empty())
        return std::nullopt;
    const auto samples = GetTotalSamples(movie);
    const auto times = ReadMvhdTimes(*movie.mvhd.front());
    const auto duration = ReadTkhdDuration(*trackBox(movie, "tkhd", movie.tkhd));
    if (!samples || !times || !duration || *duration == 0)
        return std::nullopt;
    return static_cast<double>(*samples) * times->timescale / static_cast<double>(*duration);
}

std::optional<double> GetMovieDurationMs(const sMP4MOVIE& movie)
{
    if (movie.mvhd.empty())
        return std::nullopt;
    const auto times = ReadMvhdTimes(*movie.mvhd.front());
    if (!times || times->timescale == 0)
        return std::nullopt;
    return static_cast<double>(times->duration) * 1000.0 / times->timescale;
}

bool IsMp4File(const QString& path)
{
    // Opened without blocking (a FIFO named like a movie is no movie), and only a regular file
    // is read.
    const RegularFile file = OpenRegularFile(path);
    char head[260];
    return file.ok() && PreadAll(file.fd.get(), head, sizeof head, 0)
           && std::memcmp(head + 4, "ftyp", 4) == 0;
}

// ---- Direct probes --------------------------------------------------------------------------

namespace {
// Copies up to kProbeWindow bytes at offset (never past the end of the file) for a callback.
std::vector<uint8_t> probeBytes(const MappedFile& file, uint64_t offset, uint64_t limit)
{
    std::vector<uint8_t> bytes;
    if (offset >= file.size())
        return bytes;
    const uint64_t n = std::min<uint64_t>({kProbeWindow, limit, file.size() - offset});
    bytes.resize(static_cast<size_t>(n));
    if (n > 0 && !file.read(offset, bytes.data(), bytes.size()))
        bytes.clear();
    return bytes;
}
}  // namespace

ScanResult FindAndCall(const MappedFile& file, const char* pattern, const BoxCallback& callback,
                       std::atomic<bool>* cancel)
{
    std::lock_guard lock(FindMutex());
    const size_t patternLength = std::strlen(pattern);
    const uint64_t size = file.size();
    if (patternLength == 0 || !file.isOpen())
        return ScanResult::Failed;
    // The file is read in windows that overlap the next one, so that a match (or an "mdat"
    // test) that starts in a window lies wholly inside it. Reads rather than a mapping: a file
    // that shrinks or a card pulled during the scan gives a read error, not a fault.
    const size_t overlap = std::max<size_t>(4, patternLength);
    std::vector<uint8_t> window(kScanWindow + overlap);
    uint64_t pos = 0;
    while (pos < size) {
        if (cancel && cancel->exchange(false))
            return ScanResult::Failed;
        const auto length = static_cast<size_t>(std::min<uint64_t>(window.size(), size - pos));
        if (!file.read(pos, window.data(), length))
            return ScanResult::Failed;
        const uint8_t* base = window.data();
        const size_t stepEnd = std::min<size_t>(length, kScanWindow);  // starts tested here
        auto find = [&](const char* needle, size_t needleLength, size_t until) {
            const void* hit = ::memmem(base, until, needle, needleLength);
            const size_t at = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - base) : SIZE_MAX;
            return at < stepEnd ? at : SIZE_MAX;
        };
        // The first media data box ends the part of the window worth searching for the pattern.
        const size_t mdatAt = find("mdat", 4, length);
        const size_t matchUntil =
            mdatAt == SIZE_MAX ? length : std::min(length, mdatAt + patternLength - 1);
        const size_t matchAt = find(pattern, patternLength, matchUntil);
        if (matchAt == SIZE_MAX && mdatAt == SIZE_MAX) {
            pos += stepEnd;
            continue;
        }
        if (mdatAt < matchAt) {
            // Skip the media data by the size of its box.
            const uint64_t typeAt = pos + mdatAt;
            if (typeAt < 4) {
                pos = typeAt + 1;
                continue;
            }
            const uint64_t boxStart = typeAt - 4;
            uint8_t head[16];
            if (!file.read(boxStart, head, 8))
                return ScanResult::Failed;
            const uint32_t size32 = ReadBE32(head);
            uint64_t boxSize = size32;
            if (size32 == 0)
                return ScanResult::NotFound;  // media data up to the end of the file
            if (size32 == 1) {
                if (!file.read(boxStart + 8, head + 8, 8))
                    return ScanResult::Failed;
                boxSize = ReadBE64(head + 8);
                if (boxSize < 16)
                    return ScanResult::Failed;
            } else if (size32 < 8) {
                return ScanResult::Failed;
            }
            if (boxSize > size - boxStart)
                return ScanResult::Failed;
            pos = boxStart + boxSize;
            continue;
        }
        const std::vector<uint8_t> payload = probeBytes(file, pos + matchAt + patternLength, kProbeWindow);
        if (callback)
            callback(payload.empty() ? nullptr : payload.data(), payload.size());
        return ScanResult::Called;
    }
    return ScanResult::NotFound;
}

ScanResult WalkPathAndCall(const MappedFile& file, const BoxCallback& callback,
                           std::atomic<bool>* cancel, uint32_t* trackTimescale)
{
    std::lock_guard lock(FindMutex());
    if (trackTimescale)
        *trackTimescale = 0;
    if (!file.isOpen())
        return ScanResult::Failed;
    const uint64_t size = file.size();
    uint64_t pos = 0;
    int expected = 0;
    while (pos < size && size - pos >= 8) {
        if (cancel && cancel->exchange(false))
            return ScanResult::Failed;
        uint8_t head[16];
        if (!file.read(pos, head, 8))
            return ScanResult::Failed;
        const uint32_t size32 = ReadBE32(head);
        uint32_t headerSize = 8;
        uint64_t boxSize = size32;
        if (size32 == 1) {
            if (!file.read(pos + 8, head + 8, 8))
                return ScanResult::Failed;
            headerSize = 16;
            boxSize = ReadBE64(head + 8);
        } else if (size32 == 0) {
            boxSize = size - pos;
        }
        if (boxSize < headerSize)
            return ScanResult::Failed;
        if (std::memcmp(head + 4, kBoxTypeTable[expected], 4) == 0) {
            if (expected == kBoxTypePathLength - 1) {
                const std::vector<uint8_t> payload = probeBytes(file, pos + headerSize, boxSize - headerSize);
                if (callback)
                    callback(payload.empty() ? nullptr : payload.data(), payload.size());
                return ScanResult::Called;
            }
            pos += headerSize;
            ++expected;
            continue;
        }
        if (trackTimescale && expected == 3 && std::memcmp(head + 4, "mdhd", 4) == 0
            && boxSize >= headerSize + 24) {
            uint8_t mdhd[24];
            if (file.read(pos + headerSize, mdhd, sizeof mdhd))
                *trackTimescale = ReadBE32(mdhd + (mdhd[0] == 1 ? 20 : 12));
        }
        if (boxSize > size - pos)
            break;  // the box runs past the end of the file: nothing more to walk
        pos += boxSize;
    }
    return ScanResult::NotFound;
}

std::optional<double> MovieSecondsFromMvhd(const uint8_t* payload, size_t available)
{
    if (!payload || available < 20)
        return std::nullopt;
    uint32_t timescale;
    uint64_t duration;
    if (payload[0] == 1) {
        if (available < 32)
            return std::nullopt;
        timescale = ReadBE32(payload + 20);
        duration = ReadBE64(payload + 24);
    } else {
        timescale = ReadBE32(payload + 12);
        duration = ReadBE32(payload + 16);
    }
    if (timescale == 0)
        return std::nullopt;
    return static_cast<double>(duration) / timescale;
}

std::optional<double> FrameDurationFromStts(const uint8_t* payload, size_t available,
                                            uint32_t trackTimescale, double movieSeconds)
{
    const auto table = DecodeStts(payload, available);
    if (!table)
        return std::nullopt;
    uint64_t samples = 0;
    double ticks = 0;
    for (const auto& [n, delta] : table->runs) {
        samples += n;
        ticks += static_cast<double>(n) * delta;
    }
    if (samples == 0)
        return std::nullopt;
    if (trackTimescale > 0 && ticks > 0)
        return 1000.0 * ticks / static_cast<double>(samples) / trackTimescale;
    if (movieSeconds > 0)
        return 1000.0 / (static_cast<double>(samples) / movieSeconds);
    return std::nullopt;
}

std::optional<double> ProbeMovieDurationMs(const QString& path)
{
    MappedFile file;
    if (!file.open(path))
        return std::nullopt;
    std::optional<double> seconds;
    FindAndCall(file, "mvhd", [&](const uint8_t* p, size_t n) { seconds = MovieSecondsFromMvhd(p, n); });
    if (!seconds)
        return std::nullopt;
    return *seconds * 1000.0;
}

std::optional<double> ProbeFrameDurationMs(const QString& path)
{
    MappedFile file;
    if (!file.open(path))
        return std::nullopt;
    std::optional<double> seconds;
    FindAndCall(file, "mvhd", [&](const uint8_t* p, size_t n) { seconds = MovieSecondsFromMvhd(p, n); });
    uint32_t timescale = 0;
    // The timescale is known only after the walk; keep the stts bytes until then.
    std::vector<uint8_t> stts;
    WalkPathAndCall(file, [&](const uint8_t* p, size_t n) { if (p) stts.assign(p, p + n); },
                    nullptr, &timescale);
    if (stts.empty())
        return std::nullopt;
    return FrameDurationFromStts(stts.data(), stts.size(), timescale, seconds.value_or(0.0));
}

std::optional<MovieFacts> ProbeMovie(const QString& path, QString* error)
{
    auto movie = OpenMovieFile(path, {}, error);
    if (!movie)
        return std::nullopt;
    MovieFacts facts;
    facts.isMp4 = IsMp4File(path);
    if (const auto picture = GetPictureSize(*movie)) {
        facts.width = picture->width;
        facts.height = picture->height;
    }
    if (const auto samples = GetTotalSamples(*movie))
        facts.totalSamples = static_cast<uint32_t>(std::min<uint64_t>(*samples, UINT32_MAX));
    facts.frameRate = GetFrameRate(*movie).value_or(0.0);
    facts.durationMs = GetMovieDurationMs(*movie).value_or(0.0);
    CloseMovieFile(movie);
    facts.frameMs = ProbeFrameDurationMs(path).value_or(0.0);
    return facts;
}

}  // namespace ravir
