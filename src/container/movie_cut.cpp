// A span of frames written as a movie of its own: samples copied as they are, tables cut, an
// edit list that starts on the span's first frame.
#include "container/movie_cut.h"

#include "container/box_tree_writer.h"
#include "container/join_tables.h"
#include "container/mp4_box.h"
#include "shell/regular_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {

using namespace joining;

const char* CutErrorName(CutError error)
{
    switch (error) {
    case CutError::None: return "";
    case CutError::OpenFailed: return "open-failed";
    case CutError::InputDamaged: return "input-damaged";
    case CutError::NotCuttable: return "not-cuttable";
    case CutError::OutOfRange: return "out-of-range";
    case CutError::InputChanged: return "input-changed";
    case CutError::OutputExists: return "output-exists";
    case CutError::WriteFailed: return "write-failed";
    case CutError::Stopped: return "stopped";
    }
    return "";
}

namespace {

// One sample of a track as its tables place it.
struct Sample {
    uint64_t dts = 0;
    int64_t cts = 0;  // dts plus its composition offset
    uint32_t duration = 0;
    uint32_t size = 0;
    uint64_t rel = 0;     // place inside the media data payload
    uint32_t chunk = 0;   // source chunk index
    uint32_t entry = 1;   // sample description
    bool sync = true;
};

// A track of the input: its decoded tables and its samples.
struct CutTrack {
    JoinTrack join;
    std::vector<Sample> samples;
    int64_t first = 0, last = -1;    // samples kept, inclusive; last < first: none
    int64_t editMediaTime = 0;       // media time of the output's edit
    uint64_t editDuration = 0;       // movie units
    bool video = false;
};

bool expandSamples(CutTrack& track, QString& why)
{
    const TrackTables& t = track.join.tables;
    if (t.sampleCount > kMaxTableEntries)
        return Fail(why, QStringLiteral("a track has too many samples"));
    std::vector<Sample>& s = track.samples;
    s.resize(t.sampleCount);
    size_t i = 0;
    uint64_t time = 0;
    for (const Run& run : t.stts) {
        for (uint32_t k = 0; k < run.first && i < s.size(); ++k, ++i) {
            s[i].dts = time;
            s[i].duration = run.second;
            time += run.second;
        }
    }
    i = 0;
    for (const Run& run : t.ctts) {
        for (uint32_t k = 0; k < run.first && i < s.size(); ++k, ++i)
            s[i].cts = static_cast<int64_t>(static_cast<int32_t>(run.second));
    }
    for (Sample& x : s)
        x.cts += static_cast<int64_t>(x.dts);
    if (t.hasStss) {
        for (Sample& x : s)
            x.sync = false;
        for (uint32_t n : t.stss)
            s[n - 1].sync = true;
    }
    // Chunk placement, as CheckChunkExtents walked it.
    uint64_t n = 0;
    for (size_t r = 0; r < t.stsc.size(); ++r) {
        const uint64_t firstChunk = t.stsc[r][0] - 1;
        const uint64_t end = r + 1 < t.stsc.size() ? t.stsc[r + 1][0] - 1 : t.chunks.size();
        for (uint64_t c = firstChunk; c < end; ++c) {
            uint64_t at = t.chunks[c].rel;
            for (uint32_t k = 0; k < t.stsc[r][1] && n < s.size(); ++k, ++n) {
                s[n].size = t.constantSize ? t.constantSize : t.sizes[n];
                s[n].rel = at;
                s[n].chunk = static_cast<uint32_t>(c);
                s[n].entry = t.stsc[r][2];
                at += s[n].size;
            }
        }
    }
    if (n != s.size())
        return Fail(why, QStringLiteral("the sample-to-chunk table and the sample size table disagree"));
    return true;
}

const BoxNode* mediaDataOf(const sMP4MOVIE& movie, QString& why)
{
    const BoxNode* found = nullptr;
    for (const BoxNode& top : movie.root.children) {
        if (top.is("moof") || top.is("mfra")) {
            why = QStringLiteral("fragmented movies cannot be cut");
            return nullptr;
        }
        if (!top.is("mdat") || top.originalSize == 0)
            continue;
        if (found) {
            why = QStringLiteral("movies with several media data boxes cannot be cut");
            return nullptr;
        }
        found = &top;
    }
    if (!found)
        why = QStringLiteral("no media data");
    return found;
}

BoxNode* childOf(BoxNode& node, const char* type)
{
    for (BoxNode& c : node.children) {
        if (c.is(type))
            return &c;
    }
    return nullptr;
}

// The presentation order of the video frames the movie shows: sample indices sorted by
// composition time, from the movie's own edit on.
std::vector<uint32_t> shownFrames(const CutTrack& video)
{
    const TrackTables& t = video.join.tables;
    std::vector<uint32_t> order;
    order.reserve(video.samples.size());
    const int64_t start = t.editMediaTime;
    const int64_t end = t.lastEditDuration >= 0 ? start + t.lastEditDuration : std::numeric_limits<int64_t>::max();
    for (uint32_t i = 0; i < video.samples.size(); ++i) {
        const int64_t c = video.samples[i].cts;
        if (c >= start && c < end)
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return video.samples[a].cts < video.samples[b].cts; });
    return order;
}

BoxNode leafBox(const char* type, std::vector<uint8_t> payload, int depth, const QString& source)
{
    BoxNode n;
    std::memcpy(n.type.data(), type, 4);
    n.depth = depth;
    n.isLeaf = true;
    n.payloadLoaded = true;
    n.size = n.loadedSize = n.originalSize = payload.size();
    n.payload = std::move(payload);
    n.sourcePath = source;
    return n;
}

bool putDuration(BoxNode& box, size_t v0At, size_t v1At, uint64_t value)
{
    if (!box.payloadLoaded || box.payload.empty())
        return false;
    const bool v1 = box.payload[0] == 1;
    const size_t at = v1 ? v1At : v0At;
    if (box.payload.size() < at + (v1 ? 8 : 4))
        return false;
    if (v1)
        WriteBE64(box.payload.data() + at, value);
    else if (value > std::numeric_limits<uint32_t>::max())
        return false;
    else
        WriteBE32(box.payload.data() + at, static_cast<uint32_t>(value));
    return true;
}

// One edit: the track shows duration (movie units) from mediaTime on.
std::vector<uint8_t> editListPayload(uint64_t duration, int64_t mediaTime)
{
    PayloadWriter w;
    const bool wide = duration > std::numeric_limits<uint32_t>::max()
        || mediaTime > std::numeric_limits<int32_t>::max();
    w.head(wide ? 1 : 0, 1);
    if (wide) {
        w.u64(duration);
        w.u64(static_cast<uint64_t>(mediaTime));
    } else {
        w.u32(static_cast<uint32_t>(duration));
        w.u32(static_cast<uint32_t>(mediaTime));
    }
    w.u32(0x00010000);  // rate 1.0
    return std::move(w.b);
}

void setEditList(JoinTrack& track, uint64_t duration, int64_t mediaTime)
{
    BoxNode& trak = *track.trak;
    BoxNode* edts = childOf(trak, "edts");
    if (!edts) {
        BoxNode box;
        std::memcpy(box.type.data(), "edts", 4);
        box.depth = trak.depth + 1;
        box.sourcePath = trak.sourcePath;
        // after tkhd, where players look for it
        auto at = trak.children.begin();
        while (at != trak.children.end() && !at->is("tkhd"))
            ++at;
        if (at != trak.children.end())
            ++at;
        edts = &*trak.children.insert(at, std::move(box));
    }
    edts->children.clear();
    edts->isLeaf = false;
    edts->trailerSize = 0;
    edts->children.push_back(leafBox("elst", editListPayload(duration, mediaTime), edts->depth + 1, trak.sourcePath));
}

// The cut tables of the kept samples of one track; chunk places come from the layout.
void cutTables(CutTrack& track)
{
    TrackTables& t = track.join.tables;
    const auto& s = track.samples;
    const auto first = static_cast<size_t>(track.first);
    const auto last = static_cast<size_t>(track.last);
    const bool hadCtts = t.hasCtts;
    std::vector<uint32_t> groups;  // per sample, when the track has sample groups
    if (t.hasSbgp) {
        for (const Run& r : t.sbgp)
            groups.insert(groups.end(), r.first, r.second);
        groups.resize(s.size(), 0);
    }
    TrackTables u;
    u.handler = t.handler;
    u.mediaTimescale = t.mediaTimescale;
    u.stsdHead = t.stsdHead;
    u.sampleEntries = t.sampleEntries;
    u.hasCtts = hadCtts;
    u.cttsVersion = t.cttsVersion;
    u.hasStss = t.hasStss;
    u.constantSize = t.constantSize;
    u.hasSdtp = t.hasSdtp;
    u.hasSbgp = t.hasSbgp;
    u.sbgpVersion = t.sbgpVersion;
    u.groupingType = t.groupingType;
    u.groupingParameter = t.groupingParameter;
    u.hasSgpd = t.hasSgpd;
    u.sgpd = t.sgpd;
    u.sgpdEntryCount = t.sgpdEntryCount;
    for (size_t i = first; i <= last && track.last >= track.first; ++i) {
        AppendRun(u.stts, {1, s[i].duration});
        if (hadCtts)
            AppendRun(u.ctts, {1, static_cast<uint32_t>(static_cast<int32_t>(s[i].cts - static_cast<int64_t>(s[i].dts)))});
        if (t.hasStss && s[i].sync)
            u.stss.push_back(static_cast<uint32_t>(i - first + 1));
        if (!t.constantSize)
            u.sizes.push_back(s[i].size);
        if (t.hasSdtp)
            u.sdtp.push_back(t.sdtp[i]);
        if (t.hasSbgp)
            AppendRun(u.sbgp, {1, groups[i]});
        u.mediaDuration += s[i].duration;
    }
    u.sampleCount = track.last >= track.first ? last - first + 1 : 0;
    t = std::move(u);
}

// A run of kept samples that lie next to each other in one source chunk: one output chunk.
struct Piece {
    size_t track = 0;
    uint64_t sourceRel = 0;
    uint64_t bytes = 0;
    uint32_t samples = 0;
    uint32_t entry = 1;
    uint64_t outRel = 0;
};

class MovieCutter {
public:
    explicit MovieCutter(const MovieCutRequest& r) : r_(r) {}
    MovieCutResult run();

private:
    bool fail(CutError error, const QString& detail)
    {
        result_.ok = false;
        result_.error = error;
        result_.detail = detail;
        return false;
    }
    bool open();
    bool choose();
    bool layOut();
    bool write();

    const MovieCutRequest& r_;
    MovieCutResult result_;
    std::unique_ptr<sMP4MOVIE> movie_;
    struct stat identity_ {};
    const BoxNode* media_ = nullptr;
    BoxNode out_;  // output tree: ftyp, moov, mdat
    std::vector<CutTrack> tracks_;
    std::vector<Piece> pieces_;
    std::vector<BoxNode> pieceNodes_;
    uint32_t movieScale_ = 0;
};

bool MovieCutter::open()
{
    const QString& path = r_.input;
    const RegularFile file = OpenRegularFile(path);
    if (!file.ok())
        return fail(CutError::OpenFailed, QStringLiteral("%1: %2").arg(path, file.why()));
    QString why;
    movie_ = OpenMovieFile(path, {}, &why);
    if (!movie_)
        return fail(CutError::OpenFailed, QStringLiteral("%1: %2").arg(path, why));
    if (::fstat(movie_->file.fd(), &identity_) != 0 || identity_.st_dev != file.st.st_dev
        || identity_.st_ino != file.st.st_ino)
        return fail(CutError::InputChanged, QStringLiteral("%1: the file was replaced while it was read").arg(path));
    media_ = mediaDataOf(*movie_, why);
    if (!media_)
        return fail(CutError::NotCuttable, QStringLiteral("%1: %2").arg(path, why));
    const BoxNode* ftyp = nullptr;
    const BoxNode* moov = nullptr;
    for (const BoxNode& top : movie_->root.children) {
        if (top.is("ftyp") && !ftyp)
            ftyp = &top;
        if (top.is("moov")) {
            if (moov)
                return fail(CutError::NotCuttable, QStringLiteral("%1: several movie boxes").arg(path));
            moov = &top;
        }
    }
    if (!moov)
        return fail(CutError::NotCuttable, QStringLiteral("%1: no movie box").arg(path));
    if (ftyp)
        out_.children.push_back(*ftyp);
    out_.children.push_back(*moov);
    BoxNode& outMoov = out_.children.back();
    BoxNode* mvhd = childOf(outMoov, "mvhd");
    const auto times = mvhd ? ReadMvhdTimes(*mvhd) : std::nullopt;
    if (!times || times->timescale == 0)
        return fail(CutError::InputDamaged, QStringLiteral("%1: damaged movie header").arg(path));
    movieScale_ = times->timescale;
    for (BoxNode& c : outMoov.children) {
        if (c.is("mvex"))
            return fail(CutError::NotCuttable, QStringLiteral("%1: fragmented movies cannot be cut").arg(path));
        if (!c.is("trak"))
            continue;
        CutTrack track;
        track.join.trak = &c;
        if (!DecodeTrack(track.join, 0, *media_, movieScale_, why) || !expandSamples(track, why))
            return fail(CutError::InputDamaged, QStringLiteral("%1: %2").arg(path, why));
        track.video = std::memcmp(track.join.tables.handler.data(), "vide", 4) == 0;
        tracks_.push_back(std::move(track));
    }
    return true;
}

// The samples of every track that the span needs, and the edits that show the span.
bool MovieCutter::choose()
{
    const auto ref = std::find_if(tracks_.begin(), tracks_.end(), [](const CutTrack& t) { return t.video; });
    if (ref == tracks_.end())
        return fail(CutError::NotCuttable, QStringLiteral("%1: no video track").arg(r_.input));
    CutTrack& video = *ref;
    const std::vector<uint32_t> order = shownFrames(video);
    result_.frameCount = static_cast<int64_t>(order.size());
    if (r_.fromFrame < 0 || r_.toFrame < r_.fromFrame || r_.toFrame >= result_.frameCount)
        return fail(CutError::OutOfRange, QStringLiteral("%1: frames %2 to %3 are not within its %4 frames")
                                              .arg(r_.input).arg(r_.fromFrame).arg(r_.toFrame).arg(result_.frameCount));
    const auto& s = video.samples;
    const TrackTables& vt = video.join.tables;
    uint32_t lowest = order[static_cast<size_t>(r_.fromFrame)], highest = lowest;
    for (int64_t f = r_.fromFrame; f <= r_.toFrame; ++f) {
        lowest = std::min(lowest, order[static_cast<size_t>(f)]);
        highest = std::max(highest, order[static_cast<size_t>(f)]);
    }
    int64_t key = lowest;
    while (key > 0 && !s[static_cast<size_t>(key)].sync)
        --key;
    if (!s[static_cast<size_t>(key)].sync)
        return fail(CutError::InputDamaged, QStringLiteral("%1: no key frame before frame %2").arg(r_.input).arg(r_.fromFrame));
    video.first = key;
    video.last = highest;
    const Sample& from = s[order[static_cast<size_t>(r_.fromFrame)]];
    const Sample& to = s[order[static_cast<size_t>(r_.toFrame)]];
    const int64_t spanStart = from.cts;
    const int64_t spanEnd = to.cts + std::max<uint32_t>(to.duration, 1);
    video.editMediaTime = spanStart - static_cast<int64_t>(s[static_cast<size_t>(key)].dts);
    const long double scale = vt.mediaTimescale;
    const long double t0 = (spanStart - vt.editMediaTime) / scale;
    const long double t1 = (spanEnd - vt.editMediaTime) / scale;
    result_.fromSeconds = static_cast<double>(t0);
    result_.toSeconds = static_cast<double>(t1);
    result_.firstKeptSample = video.first;
    result_.lastKeptSample = video.last;
    const auto movieDuration = static_cast<uint64_t>(std::llround((t1 - t0) * movieScale_));
    video.editDuration = movieDuration;
    for (CutTrack& track : tracks_) {
        if (&track == &video)
            continue;
        const TrackTables& t = track.join.tables;
        const auto& u = track.samples;
        const auto start = static_cast<int64_t>(std::llround(t0 * t.mediaTimescale)) + t.editMediaTime;
        const auto end = static_cast<int64_t>(std::llround(t1 * t.mediaTimescale)) + t.editMediaTime;
        int64_t first = -1, last = -1;
        for (size_t i = 0; i < u.size(); ++i) {
            const int64_t b = u[i].cts, e = u[i].cts + u[i].duration;
            if (e > start && b < end) {
                if (first < 0)
                    first = static_cast<int64_t>(i);
                last = static_cast<int64_t>(i);
            }
        }
        if (first < 0)
            continue;  // nothing of this track in the span: it is left out
        if (first > 0)
            --first;  // one sample of pre-roll for decoders that overlap frames (AAC)
        track.first = first;
        track.last = last;
        track.editMediaTime = std::max<int64_t>(0, start - static_cast<int64_t>(u[static_cast<size_t>(first)].dts));
        const int64_t shown = std::min<int64_t>(end, u[static_cast<size_t>(last)].cts + u[static_cast<size_t>(last)].duration)
            - std::max<int64_t>(start, u[static_cast<size_t>(first)].cts);
        track.editDuration = static_cast<uint64_t>(std::llround(static_cast<long double>(std::max<int64_t>(shown, 0))
                                                                * movieScale_ / t.mediaTimescale));
    }
    return true;
}

// Output chunks in the order of the input's media data, the tables cut, the headers set.
bool MovieCutter::layOut()
{
    BoxNode& moov = out_.children.back();
    // Tracks with nothing kept leave the movie.
    for (size_t i = 0; i < tracks_.size(); ++i) {
        CutTrack& track = tracks_[i];
        if (track.last < track.first)
            continue;
        const auto& s = track.samples;
        for (auto k = static_cast<size_t>(track.first); k <= static_cast<size_t>(track.last); ++k) {
            Piece* open = pieces_.empty() || pieces_.back().track != i ? nullptr : &pieces_.back();
            if (open && s[k].chunk == s[k - 1].chunk && s[k].entry == open->entry
                && s[k].rel == open->sourceRel + open->bytes) {
                open->bytes += s[k].size;
                ++open->samples;
            } else {
                pieces_.push_back({i, s[k].rel, s[k].size, 1, s[k].entry, 0});
            }
        }
    }
    std::vector<size_t> byPlace(pieces_.size());
    for (size_t i = 0; i < byPlace.size(); ++i)
        byPlace[i] = i;
    std::stable_sort(byPlace.begin(), byPlace.end(),
                     [&](size_t a, size_t b) { return pieces_[a].sourceRel < pieces_[b].sourceRel; });
    uint64_t total = 0;
    for (size_t i : byPlace) {
        pieces_[i].outRel = total;
        total += pieces_[i].bytes;
        const uint64_t from = media_->sourceOffset + pieces_[i].sourceRel;
        if (!pieceNodes_.empty() && pieceNodes_.back().sourceOffset + pieceNodes_.back().originalSize == from) {
            pieceNodes_.back().originalSize += pieces_[i].bytes;
        } else {
            BoxNode n;
            n.sourcePath = media_->sourcePath;
            n.sourceOffset = from;
            n.originalSize = pieces_[i].bytes;
            pieceNodes_.push_back(std::move(n));
        }
    }
    uint64_t longest = 0;
    for (size_t i = 0; i < tracks_.size(); ++i) {
        CutTrack& track = tracks_[i];
        if (track.last < track.first)
            continue;
        cutTables(track);
        TrackTables& t = track.join.tables;
        uint32_t chunkNo = 0;
        for (const Piece& p : pieces_) {
            if (p.track != i)
                continue;
            ++chunkNo;
            t.chunks.push_back({0, p.outRel});
            if (t.stsc.empty() || t.stsc.back()[1] != p.samples || t.stsc.back()[2] != p.entry)
                t.stsc.push_back({chunkNo, p.samples, p.entry});
        }
        if (!putDuration(*track.join.mdhd, 16, 24, t.mediaDuration)
            || !putDuration(*track.join.tkhd, 20, 28, track.editDuration))
            return fail(CutError::InputDamaged, QStringLiteral("%1: damaged track header").arg(r_.input));
        setEditList(track.join, track.editDuration, track.editMediaTime);  // moves the trak's children
        longest = std::max(longest, track.editDuration);
    }
    BoxNode* mvhd = childOf(moov, "mvhd");
    if (!mvhd || !putDuration(*mvhd, 16, 24, longest))
        return fail(CutError::InputDamaged, QStringLiteral("%1: damaged movie header").arg(r_.input));
    // The tracks that keep nothing are removed (their pointers are not used after this).
    std::vector<BoxNode> kept;
    for (BoxNode& c : moov.children) {
        const auto owner = std::find_if(tracks_.begin(), tracks_.end(), [&](const CutTrack& t) { return t.join.trak == &c; });
        if (owner == tracks_.end() || owner->last >= owner->first)
            kept.push_back(c);
    }
    // Build the tables on the kept copies: find each kept track's new place by order.
    moov.children = std::move(kept);
    std::vector<CutTrack*> live;
    for (CutTrack& t : tracks_) {
        if (t.last >= t.first)
            live.push_back(&t);
    }
    size_t n = 0;
    for (BoxNode& c : moov.children) {
        if (!c.is("trak") || n >= live.size())
            continue;
        JoinTrack& j = live[n++]->join;
        j.trak = &c;
        BoxNode* mdia = childOf(c, "mdia");
        BoxNode* minf = mdia ? childOf(*mdia, "minf") : nullptr;
        j.stbl = minf ? childOf(*minf, "stbl") : nullptr;
        if (!j.stbl)
            return fail(CutError::InputDamaged, QStringLiteral("%1: a track lacks its sample tables").arg(r_.input));
    }
    BoxNode mdat;
    std::memcpy(mdat.type.data(), "mdat", 4);
    mdat.depth = 1;
    mdat.isLeaf = true;
    mdat.sourcePath = media_->sourcePath;
    mdat.size = total;
    out_.children.push_back(std::move(mdat));
    for (const BoxNode& p : pieceNodes_)
        out_.children.back().appended.push_back(&p);
    bool wide = false;
    uint64_t payloadAt = 0;
    for (int round = 0; round < 6; ++round) {
        for (CutTrack* t : live)
            BuildSampleTable(t->join, {0}, payloadAt, wide);
        uint64_t at = 0;
        for (size_t i = 0; i + 1 < out_.children.size(); ++i)
            at += BoxSize(out_.children[i]);
        at += BoxHeaderSize(out_.children.back());
        const bool needWide = at + total > std::numeric_limits<uint32_t>::max();
        if (at == payloadAt && needWide == wide)
            return true;
        payloadAt = at;
        wide = wide || needWide;
    }
    return fail(CutError::WriteFailed, QStringLiteral("the output's layout does not settle"));
}

bool MovieCutter::write()
{
    const QByteArray target = QFile::encodeName(r_.output);
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(errno == EEXIST ? CutError::OutputExists : CutError::WriteFailed,
                    QStringLiteral("%1: %2").arg(r_.output, ErrnoText(errno)));
    const std::vector<WriteSource> sources{{r_.input, movie_->file.fd(), identity_}};
    BoxTreeWriter writer;
    writer.stop = r_.stop;
    writer.sources = &sources;
    const uint64_t total = BoxSize(out_);
    if (r_.progress)
        writer.progress = [&](uint64_t done) { r_.progress(done, total); };
    bool ok = writer.write(out_, fd);
    int error = 0;
    if (ok && r_.syncToDisk && ::fsync(fd) != 0) {
        ok = false;
        error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        result_.bytes = total;
        return true;
    }
    ::unlink(target.constData());
    switch (writer.fault()) {
    case BoxTreeWriter::Fault::Stopped: return fail(CutError::Stopped, QStringLiteral("stopped"));
    case BoxTreeWriter::Fault::InputChanged: return fail(CutError::InputChanged, writer.error());
    case BoxTreeWriter::Fault::Input: return fail(CutError::InputDamaged, writer.error());
    case BoxTreeWriter::Fault::Output:
        return fail(CutError::WriteFailed, QStringLiteral("%1: %2").arg(r_.output, writer.error()));
    case BoxTreeWriter::Fault::None: break;
    }
    return fail(CutError::WriteFailed, QStringLiteral("%1: %2").arg(r_.output, ErrnoText(error)));
}

MovieCutResult MovieCutter::run()
{
    if (r_.stop && r_.stop->load()) {
        fail(CutError::Stopped, QStringLiteral("stopped"));
        return result_;
    }
    if (open() && choose() && layOut() && write())
        result_.ok = true;
    CloseMovieFile(movie_);
    return result_;
}

}  // namespace

MovieCutResult CutMovie(const MovieCutRequest& request)
{
    MovieCutter cutter(request);
    return cutter.run();
}

MovieFrames ReadMovieFrames(const QString& path)
{
    MovieFrames out;
    QString why;
    auto movie = OpenMovieFile(path, {}, &why);
    if (!movie) {
        out.why = why;
        return out;
    }
    const BoxNode* media = mediaDataOf(*movie, why);
    BoxNode* moov = nullptr;
    for (BoxNode& top : movie->root.children)
        moov = top.is("moov") ? &top : moov;
    BoxNode* mvhd = moov ? childOf(*moov, "mvhd") : nullptr;
    const auto times = mvhd ? ReadMvhdTimes(*mvhd) : std::nullopt;
    if (!media || !times || times->timescale == 0) {
        out.why = why.isEmpty() ? QStringLiteral("damaged movie header") : why;
        CloseMovieFile(movie);
        return out;
    }
    for (BoxNode& c : moov->children) {
        CutTrack track;
        track.join.trak = &c;
        if (!c.is("trak") || !DecodeTrack(track.join, 0, *media, times->timescale, why) || !expandSamples(track, why))
            continue;
        if (std::memcmp(track.join.tables.handler.data(), "vide", 4) != 0)
            continue;
        const auto& s = track.samples;
        const TrackTables& t = track.join.tables;
        for (uint32_t i : shownFrames(track)) {
            out.startSeconds.push_back(static_cast<double>(s[i].cts - t.editMediaTime) / t.mediaTimescale);
            out.endSeconds = std::max(out.endSeconds,
                                      static_cast<double>(s[i].cts + s[i].duration - t.editMediaTime) / t.mediaTimescale);
        }
        out.ok = !out.startSeconds.empty();
        break;
    }
    if (!out.ok && out.why.isEmpty())
        out.why = why.isEmpty() ? QStringLiteral("no video frames") : why;
    CloseMovieFile(movie);
    return out;
}

bool FramesOfTimes(const MovieFrames& frames, double fromSeconds, double toSeconds, int64_t& from, int64_t& to)
{
    const auto& s = frames.startSeconds;
    if (s.empty())
        return false;
    const double half = s.size() > 1 ? (frames.endSeconds - s.front()) / static_cast<double>(s.size()) / 2 : 0.0005;
    from = -1;
    to = -1;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= fromSeconds - half && s[i] < toSeconds - half) {
            if (from < 0)
                from = static_cast<int64_t>(i);
            to = static_cast<int64_t>(i);
        }
    }
    return from >= 0;
}

}  // namespace ravir
