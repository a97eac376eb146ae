// The join session: inputs opened and held, tracks decoded and merged, the output laid out.
#include "container/movie_join.h"
#include "shell/regular_file.h"

#include "container/join_tables.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {

using namespace joining;

JoinSession::JoinSession() : tracks_(std::make_unique<std::vector<JoinTrack>>()) {}

JoinSession::~JoinSession()
{
    for (auto& m : merged)
        CloseMovieFile(m);
    CloseMovieFile(accumulator);
}

namespace {

bool refuse(JoinSession& join, JoinError error, const QString& path, const QString& why)
{
    join.error = error;
    join.errorPath = path;
    join.errorDetail = path.isEmpty() ? why : QStringLiteral("%1: %2").arg(path, why);
    return false;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The identity of a regular file, found without blocking on anything else (a FIFO).
bool regularFileIdentity(const QString& path, struct stat& st, QString& why)
{
    const RegularFile file = OpenRegularFile(path);
    if (!file.ok())
        return Fail(why, file.why());
    st = file.st;
    return true;
}

// Opens an input and keeps its descriptor for the copy; the same path met twice must be the
// same unchanged file.
bool openForJoin(JoinSession& join, const QString& path, std::unique_ptr<sMP4MOVIE>& movie)
{
    QString why;
    struct stat before {};
    if (!regularFileIdentity(path, before, why))
        return refuse(join, JoinError::OpenFailed, path, why);
    OpenMovieOptions options;
    options.progressEnabled = true;
    options.progress = join.progress;
    movie = OpenMovieFile(path, options, &why);
    if (!movie)
        return refuse(join, JoinError::OpenFailed, path, why);
    struct stat st {};
    if (::fstat(movie->file.fd(), &st) != 0 || st.st_dev != before.st_dev || st.st_ino != before.st_ino)
        return refuse(join, JoinError::InputChanged, path, QStringLiteral("the file was replaced while it was read"));
    for (const WriteSource& s : join.sources) {
        if (s.path == path && !sameFile(s.identity, st))
            return refuse(join, JoinError::InputChanged, path, QStringLiteral("the file changed while it was read"));
    }
    join.sources.push_back({path, movie->file.fd(), st});
    return true;
}

// Media data of a movie: its one top-level mdat that holds any bytes.
const BoxNode* mediaDataOf(const sMP4MOVIE& movie, QString& why)
{
    const BoxNode* found = nullptr;
    for (const BoxNode& top : movie.root.children) {
        if (top.is("moof") || top.is("mfra")) {
            why = QStringLiteral("fragmented movies cannot be joined");
            return nullptr;
        }
        if (!top.is("mdat") || top.originalSize == 0)
            continue;
        if (found) {
            why = QStringLiteral("movies with several media data boxes cannot be joined");
            return nullptr;
        }
        found = &top;
    }
    if (!found)
        why = QStringLiteral("no media data");
    return found;
}

std::vector<BoxNode*> tracksOf(sMP4MOVIE& movie)
{
    for (BoxNode& top : movie.root.children) {
        if (!top.is("moov"))
            continue;
        std::vector<BoxNode*> out;
        for (BoxNode& c : top.children) {
            if (c.is("trak"))
                out.push_back(&c);
            if (c.is("mvex"))
                return {};
        }
        return out;
    }
    return {};
}

int referenceTrack(const std::vector<JoinTrack>& tracks)
{
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (std::memcmp(tracks[i].tables.handler.data(), "vide", 4) == 0)
            return static_cast<int>(i);
    }
    return 0;
}

bool readUdatHolder(const sMP4MOVIE& movie, TelemetryHolder& holder)
{
    for (const BoxNode& top : movie.root.children) {
        if (top.is("udat") && top.payloadLoaded)
            return ReadTelemetryHolderBytes(top.payload.data(), top.payload.size(), holder);
    }
    return false;
}

// Reads a recording's telemetry file into holder; a missing or unreadable one clears the
// session's telemetry (noted, unless no file was named at all).
bool readTelemetry(JoinSession& join, const QString& moviePath, const QString& path, TelemetryHolder& holder)
{
    QString why;
    const TelemetryFileRead read = ReadTelemetryHolderFile(path, holder, &why);
    if (read == TelemetryFileRead::Ok)
        return true;
    if (join.telemetryEnabled && read == TelemetryFileRead::Missing && !path.isEmpty())
        join.missingTelemetry << QStringLiteral("%1 has no telemetry file (%2): no joined telemetry file is written")
                                     .arg(moviePath, path);
    if (join.telemetryEnabled && read == TelemetryFileRead::Unreadable)
        join.notes << QStringLiteral("%1: %2: no joined telemetry file is written").arg(path, why);
    join.telemetryEnabled = false;
    return false;
}

// Checks the first recording's movie header and tracks and decodes them into the session.
bool decodeFirst(JoinSession& join, const QString& path, const BoxNode& media)
{
    sMP4MOVIE& a = *join.accumulator;
    int moovCount = 0;
    for (const BoxNode& top : a.root.children)
        moovCount += top.is("moov") ? 1 : 0;
    if (moovCount != 1 || a.mvhd.size() != 1)
        return refuse(join, JoinError::NotJoinable, path, QStringLiteral("the movie needs exactly one movie header"));
    const auto movieTimes = ReadMvhdTimes(*a.mvhd.front());
    if (!movieTimes || movieTimes->timescale == 0)
        return refuse(join, JoinError::InputDamaged, path, QStringLiteral("damaged movie header"));
    const auto traks = tracksOf(a);
    if (traks.empty())
        return refuse(join, JoinError::NotJoinable, path, QStringLiteral("no track, or a fragmented movie"));
    auto& tracks = join.tracks();
    tracks.clear();
    QString why;
    for (BoxNode* trak : traks) {
        JoinTrack track;
        track.trak = trak;
        if (!DecodeTrack(track, 0, media, movieTimes->timescale, why))
            return refuse(join, JoinError::InputDamaged, path, why);
        tracks.push_back(std::move(track));
    }
    return true;
}

}  // namespace

bool StartJoin(JoinSession& join, const QString& firstMoviePath, const QString& telemetryPath)
{
    if (!openForJoin(join, firstMoviePath, join.accumulator))
        return false;
    QString why;
    const BoxNode* media = mediaDataOf(*join.accumulator, why);
    if (!media)
        return refuse(join, JoinError::NotJoinable, firstMoviePath, why);
    join.mediaData = {media};
    if (!decodeFirst(join, firstMoviePath, *media))
        return false;
    if (join.telemetryEnabled)
        readTelemetry(join, firstMoviePath, telemetryPath, join.telemetry);
    join.udatEnabled = readUdatHolder(*join.accumulator, join.udatTelemetry);
    return true;
}

namespace {

// The added recording's first shown sample starts with the reference track's.
void mergeDecoded(JoinSession& join, std::vector<JoinTrack>& decoded,
                  const std::vector<std::vector<uint32_t>>& entryMaps)
{
    auto& tracks = join.tracks();
    const int ref = referenceTrack(tracks);
    const TrackTables& refTables = tracks[static_cast<size_t>(ref)].tables;
    const long double refStart = static_cast<long double>(refTables.mediaDuration) / refTables.mediaTimescale;
    for (size_t i = 0; i < tracks.size(); ++i) {
        TrackTables& t = tracks[i].tables;
        if (static_cast<int>(i) != ref) {
            const auto wanted = static_cast<int64_t>(std::llround(refStart * t.mediaTimescale))
                + t.editMediaTime - decoded[i].tables.editMediaTime;
            if (wanted > 0)
                AlignEnd(t, static_cast<uint64_t>(wanted));
        }
        const int64_t keepEditTime = t.editMediaTime;
        AppendTrack(t, decoded[i].tables, entryMaps[i]);
        t.editMediaTime = keepEditTime;
    }
}

}  // namespace

bool MergeMovie(JoinSession& join, sMP4MOVIE& added)
{
    const QString path = added.file.path();
    QString why;
    const BoxNode* media = mediaDataOf(added, why);
    if (!media)
        return refuse(join, JoinError::NotJoinable, path, why);
    if (added.mvhd.size() != 1)
        return refuse(join, JoinError::NotJoinable, path, QStringLiteral("the movie needs exactly one movie header"));
    auto& tracks = join.tracks();
    const auto traks = tracksOf(added);
    if (traks.size() != tracks.size())
        return refuse(join, JoinError::NotJoinable, path, QStringLiteral("the recordings have different tracks"));
    const auto addedTimes = ReadMvhdTimes(*added.mvhd.front());
    if (!addedTimes)
        return refuse(join, JoinError::InputDamaged, path, QStringLiteral("damaged movie header"));
    const auto input = static_cast<uint32_t>(join.mediaData.size());
    std::vector<JoinTrack> decoded(traks.size());
    std::vector<std::vector<uint32_t>> entryMaps(traks.size());
    for (size_t i = 0; i < traks.size(); ++i) {
        decoded[i].trak = traks[i];
        if (!DecodeTrack(decoded[i], input, *media, addedTimes->timescale, why))
            return refuse(join, JoinError::InputDamaged, path, why);
        if (!Compatible(tracks[i].tables, decoded[i].tables, entryMaps[i], why))
            return refuse(join, JoinError::NotJoinable, path, why);
    }
    // Nothing is changed before every track has been checked.
    mergeDecoded(join, decoded, entryMaps);
    join.mediaData.push_back(media);
    return true;
}

bool AddToJoin(JoinSession& join, const QString& moviePath, const QString& telemetryPath)
{
    std::unique_ptr<sMP4MOVIE> movie;
    if (!openForJoin(join, moviePath, movie))
        return false;
    if (!MergeMovie(join, *movie))
        return false;
    if (join.telemetryEnabled) {
        TelemetryHolder holder;
        if (readTelemetry(join, moviePath, telemetryPath, holder))
            JoinTelemetry(join.telemetry, holder);
    }
    if (join.udatEnabled) {
        TelemetryHolder holder;
        if (readUdatHolder(*movie, holder))
            JoinTelemetry(join.udatTelemetry, holder);
        else
            join.udatEnabled = false;
    }
    join.merged.push_back(std::move(movie));
    return true;
}

namespace {

// The udat telemetry box: the joined blocks, or none when a recording has no block.
void placeUdat(JoinSession& join)
{
    auto& children = join.accumulator->root.children;
    for (size_t i = 0; i < children.size(); ++i) {
        BoxNode& top = children[i];
        if (!top.is("udat"))
            continue;
        if (!join.udatEnabled) {
            children.erase(children.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
        const QByteArray block = TelemetryFileBytes(join.udatTelemetry);
        top.payload.assign(block.begin(), block.end());
        top.payloadLoaded = true;
        top.size = top.loadedSize = top.payload.size();
        top.recordCount = static_cast<int16_t>(std::min<int64_t>(join.udatTelemetry.recordCount, 0x7FFF));
        top.copyLength = join.udatTelemetry.records.size();
        return;
    }
}

// Builds the sample tables until the media data's place (and the offset width) settles.
void layOut(JoinSession& join, BoxNode& media, const std::vector<uint64_t>& inputBase, uint64_t total)
{
    bool wide = false;
    uint64_t payloadAt = 0;
    for (int round = 0; round < 6; ++round) {
        for (JoinTrack& track : join.tracks())
            BuildSampleTable(track, inputBase, payloadAt, wide);
        uint64_t at = 0;
        for (const BoxNode& top : join.accumulator->root.children) {
            if (&top == &media)
                break;
            at += BoxSize(top);
        }
        at += BoxHeaderSize(media);
        const bool needWide = at + total > std::numeric_limits<uint32_t>::max();
        if (at == payloadAt && needWide == wide)
            break;
        payloadAt = at;
        wide = wide || needWide;
    }
}

// Lays out the output (stco or co64, mdat position) and writes the merged tables and durations
// into the accumulator's tree.
bool prepareOutputTree(JoinSession& join, QString& why)
{
    sMP4MOVIE& a = *join.accumulator;
    std::vector<uint64_t> inputBase;
    uint64_t total = 0;
    for (const BoxNode* m : join.mediaData) {
        inputBase.push_back(total);
        total += m->originalSize;
    }
    const BoxNode* first = join.mediaData.front();
    const auto mediaIndex = std::find_if(a.root.children.begin(), a.root.children.end(),
                                         [&](const BoxNode& top) { return &top == first; })
        - a.root.children.begin();
    if (static_cast<size_t>(mediaIndex) == a.root.children.size())
        return Fail(why, QStringLiteral("no media data"));
    a.root.children[static_cast<size_t>(mediaIndex)].appended.assign(join.mediaData.begin() + 1, join.mediaData.end());
    a.root.children[static_cast<size_t>(mediaIndex)].size = total;
    placeUdat(join);
    // Find the media data again (removing the udat box may have moved it).
    BoxNode* media = nullptr;
    for (BoxNode& top : a.root.children) {
        if (top.is("mdat") && top.size == total && top.appended.size() + 1 == join.mediaData.size())
            media = &top;
    }
    if (!media)
        return Fail(why, QStringLiteral("no media data"));
    join.mediaData.front() = media;
    if (!WriteDurations(*a.mvhd.front(), join.tracks(), why))
        return false;
    layOut(join, *media, inputBase, total);
    a.collectLists();
    return true;
}

}  // namespace

uint64_t PrepareJoinedTree(JoinSession& join)
{
    if (!join.accumulator)
        return 0;
    QString why;
    if (!prepareOutputTree(join, why)) {
        refuse(join, JoinError::NotJoinable, {}, why);
        return 0;
    }
    return BoxSize(join.accumulator->root);
}

}  // namespace ravir
