// The evidence folder: clips, telemetry span, stills, evidence.json and SHA256SUMS, written
// under a temporary name and renamed when complete. The export holds a lock on its partial
// folder; one that no export holds is what a killed export or a pulled card left, and the next
// export of the same name removes it.
#include "exports/evidence_export.h"

#include "catalogue/recording_name.h"
#include "container/movie_cut.h"
#include "container/telemetry.h"
#include "container/telemetry_holder.h"
#include "container/telemetry_timeline.h"
#include "exports/telemetry_formats.h"
#include "shell/regular_file.h"
#include "shell/safe_write.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {

const char* EvidenceErrorName(EvidenceError error)
{
    switch (error) {
    case EvidenceError::None: return "";
    case EvidenceError::BadRequest: return "bad-request";
    case EvidenceError::OpenFailed: return "open-failed";
    case EvidenceError::OutputExists: return "output-exists";
    case EvidenceError::NoParent: return "no-parent";
    case EvidenceError::InputChanged: return "input-changed";
    case EvidenceError::WriteFailed: return "write-failed";
    case EvidenceError::StillFailed: return "still-failed";
    case EvidenceError::Stopped: return "stopped";
    }
    return "";
}

void FillEvidenceCompanions(EvidenceRequest& request)
{
    if (request.subMovie.isEmpty()) {
        const QString paired = PairedPathOf(request.movie);
        if (!paired.isEmpty() && paired != request.movie && QFileInfo(paired).isFile())
            request.subMovie = paired;
    }
    if (request.telemetry.isEmpty()) {
        QDir card = QFileInfo(request.movie).absoluteDir();
        if (card.cdUp())
            DetectLayout(card.absolutePath());
        const QString telemetry = TelemetryPathOf(request.movie);
        if (!telemetry.isEmpty() && QFileInfo(telemetry).isFile())
            request.telemetry = telemetry;
    }
}

void ProposeEvidenceSpan(int64_t shownFrame, int64_t frameCount, double frameMs, double seconds,
                         int64_t& from, int64_t& to)
{
    const auto around = frameMs > 0 ? static_cast<int64_t>(std::llround(seconds * 1000.0 / frameMs)) : 0;
    const int64_t last = std::max<int64_t>(frameCount - 1, 0);
    const int64_t shown = std::clamp<int64_t>(shownFrame, 0, last);
    from = std::max<int64_t>(0, shown - around);
    to = std::min<int64_t>(last, shown + around);
}

namespace {

// The partial folders of earlier exports of the same name that no export holds: left by an
// export that could not remove its own (the program killed, the card pulled part way and put
// back). Only names of the export's own form (the prefix and six characters of mkdtemp).
void RemoveStalePartials(const QString& parent, const QString& prefix)
{
    const QStringList names = QDir(parent).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!name.startsWith(prefix) || name.size() != prefix.size() + 6)
            continue;
        const QString path = parent + QLatin1Char('/') + name;
        const UniqueFd folder(::open(QFile::encodeName(path).constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.valid() && ::flock(folder.get(), LOCK_EX | LOCK_NB) == 0)
            QDir(path).removeRecursively();
    }
}

QString errnoText(int error) { return ErrnoText(error); }

// The process's umask, read without changing it (umask(2) would, for every thread).
mode_t processUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(mask & 0777);
            }
        }
    }
    return 022;
}

struct Source {
    QString role;
    QString path;
    struct stat before {};
    QByteArray sha256;
};

class EvidenceWriter {
public:
    explicit EvidenceWriter(const EvidenceRequest& r) : r_(r) {}
    EvidenceResult run();

private:
    bool fail(EvidenceError error, const QString& detail)
    {
        result_.ok = false;
        result_.error = error;
        result_.detail = detail;
        return false;
    }
    bool stopped()
    {
        if (!r_.stop || !r_.stop->load())
            return false;
        return fail(EvidenceError::Stopped, QStringLiteral("stopped"));
    }
    void report(double fraction)
    {
        if (r_.progress)
            r_.progress(static_cast<int64_t>(std::clamp(fraction, 0.0, 1.0) * 1000.0), 1000);
    }
    bool prepare();
    bool cutClips();
    bool cutTelemetry();
    bool drawStills();
    bool hashSources();
    bool writeJson();
    bool writeSums();
    bool commit();
    bool writeFile(const QString& name, const QByteArray& bytes);
    bool hashFile(const QString& path, QByteArray& digest, bool asSource);
    bool cutError(const MovieCutResult& cut);

    const EvidenceRequest& r_;
    EvidenceResult result_;
    QString parent_, temp_;
    UniqueFd tempLock_;  // held on the partial folder while this export writes it
    std::vector<Source> sources_;
    QString mainClip_, subClip_;
    MovieCutResult mainCut_, subCut_;
    int64_t subShown_ = -1;
    MovieFrames subFrames_;
    TelemetryReader telemetry_;  // the whole recording's, indexed by main camera frame
    bool haveTelemetry_ = false;
    QString telemetryFile_;
    int64_t firstRecord_ = 0, lastRecord_ = -1;
    QStringList stills_;
    QJsonArray stillList_;
};

bool EvidenceWriter::cutError(const MovieCutResult& cut)
{
    switch (cut.error) {
    case CutError::Stopped: return fail(EvidenceError::Stopped, QStringLiteral("stopped"));
    case CutError::OutOfRange: return fail(EvidenceError::BadRequest, cut.detail);
    case CutError::InputChanged: return fail(EvidenceError::InputChanged, cut.detail);
    case CutError::WriteFailed:
    case CutError::OutputExists: return fail(EvidenceError::WriteFailed, cut.detail);
    default: return fail(EvidenceError::OpenFailed, cut.detail);
    }
}

bool EvidenceWriter::prepare()
{
    if (r_.fromFrame < 0 || r_.toFrame < r_.fromFrame || r_.shownFrame < 0)
        return fail(EvidenceError::BadRequest, QStringLiteral("frames %1 to %2 are no span").arg(r_.fromFrame).arg(r_.toFrame));
    const QFileInfo out(r_.outDir);
    if (out.fileName().isEmpty())
        return fail(EvidenceError::BadRequest, QStringLiteral("%1: no folder name").arg(r_.outDir));
    struct stat st {};
    if (::lstat(QFile::encodeName(out.absoluteFilePath()).constData(), &st) == 0)
        return fail(EvidenceError::OutputExists, QStringLiteral("%1 exists").arg(r_.outDir));
    parent_ = out.absolutePath();
    if (!QFileInfo(parent_).isDir())
        return fail(EvidenceError::NoParent, QStringLiteral("%1: no such folder").arg(parent_));
    for (const auto& [role, path] : {std::pair{QStringLiteral("main"), r_.movie},
                                     std::pair{QStringLiteral("sub"), r_.subMovie},
                                     std::pair{QStringLiteral("telemetry"), r_.telemetry}}) {
        if (path.isEmpty())
            continue;
        const RegularFile file = OpenRegularFile(path);
        if (!file.ok())
            return fail(EvidenceError::OpenFailed, QStringLiteral("%1: %2").arg(path, file.why()));
        sources_.push_back({role, QFileInfo(path).absoluteFilePath(), file.st, {}});
    }
    const QString partialPrefix = QStringLiteral(".") + out.fileName().left(64) + QStringLiteral(".partial-");
    RemoveStalePartials(parent_, partialPrefix);
    QByteArray pattern = QFile::encodeName(parent_ + QLatin1Char('/') + partialPrefix + QStringLiteral("XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return fail(EvidenceError::WriteFailed, QStringLiteral("%1: %2").arg(parent_, errnoText(errno)));
    temp_ = QFile::decodeName(pattern);
    tempLock_ = UniqueFd(::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (tempLock_.valid())
        static_cast<void>(::flock(tempLock_.get(), LOCK_EX | LOCK_NB));
    // mkdtemp makes the folder private; the finished folder gets the mode any new folder gets.
    ::chmod(pattern.constData(), 0777 & ~processUmask());
    return true;
}

bool EvidenceWriter::cutClips()
{
    MovieCutRequest cut;
    cut.input = r_.movie;
    cut.output = temp_ + QLatin1Char('/') + QFileInfo(r_.movie).fileName();
    cut.fromFrame = r_.fromFrame;
    cut.toFrame = r_.toFrame;
    cut.stop = r_.stop;
    cut.syncToDisk = r_.syncToDisk;
    const double share = r_.subMovie.isEmpty() ? 0.6 : 0.3;
    cut.progress = [&](uint64_t done, uint64_t total) { report(0.05 + share * static_cast<double>(done) / std::max<uint64_t>(total, 1)); };
    mainCut_ = CutMovie(cut);
    if (!mainCut_.ok)
        return cutError(mainCut_);
    if (r_.shownFrame >= mainCut_.frameCount)
        return fail(EvidenceError::BadRequest, QStringLiteral("frame %1 is beyond the movie (%2 frames)").arg(r_.shownFrame).arg(mainCut_.frameCount));
    mainClip_ = QFileInfo(cut.output).fileName();
    result_.fromSeconds = mainCut_.fromSeconds;
    result_.toSeconds = mainCut_.toSeconds;
    if (r_.subMovie.isEmpty())
        return true;
    subFrames_ = ReadMovieFrames(r_.subMovie);
    if (!subFrames_.ok)
        return fail(EvidenceError::OpenFailed, QStringLiteral("%1: %2").arg(r_.subMovie, subFrames_.why));
    int64_t from = 0, to = 0;
    if (!FramesOfTimes(subFrames_, mainCut_.fromSeconds, mainCut_.toSeconds, from, to))
        return fail(EvidenceError::BadRequest, QStringLiteral("%1: no frame in the span").arg(r_.subMovie));
    cut.input = r_.subMovie;
    cut.output = temp_ + QLatin1Char('/') + QFileInfo(r_.subMovie).fileName();
    if (QFileInfo(cut.output).fileName() == mainClip_)
        cut.output = temp_ + QStringLiteral("/sub_") + QFileInfo(r_.subMovie).fileName();
    cut.fromFrame = from;
    cut.toFrame = to;
    cut.progress = [&](uint64_t done, uint64_t total) { report(0.35 + 0.3 * static_cast<double>(done) / std::max<uint64_t>(total, 1)); };
    subCut_ = CutMovie(cut);
    if (!subCut_.ok)
        return cutError(subCut_);
    subClip_ = QFileInfo(cut.output).fileName();
    result_.subFrom = from;
    result_.subTo = to;
    return true;
}

bool EvidenceWriter::writeFile(const QString& name, const QByteArray& bytes)
{
    SafeWriteOptions options;
    options.sync = r_.syncToDisk;
    const SafeWriteError e = SafeWriteFile(temp_ + QLatin1Char('/') + name, bytes, options);
    if (e.failed())
        return fail(EvidenceError::WriteFailed, QStringLiteral("%1: %2").arg(name, e.message()));
    return true;
}

// The telemetry block cut to the span's records, and its GPX and CSV forms.
bool EvidenceWriter::cutTelemetry()
{
    if (r_.telemetry.isEmpty())
        return true;
    TelemetryHolder holder;
    QString why;
    if (ReadTelemetryHolderFile(r_.telemetry, holder, &why) != TelemetryFileRead::Ok)
        return fail(EvidenceError::OpenFailed, QStringLiteral("%1: %2").arg(r_.telemetry, why));
    const bool timeLapse = IsTimeLapseTelemetryName(r_.telemetry);
    if (!LoadTelemetryFile(telemetry_, r_.telemetry))
        return fail(EvidenceError::OpenFailed, QStringLiteral("%1: the telemetry could not be read").arg(r_.telemetry));
    const double interval = timeLapse ? kTelemetryTimeLapseIntervalMs : kTelemetryIntervalMs;
    const MovieFrames frames = ReadMovieFrames(r_.movie);
    const double movieFrameMs = frames.ok && !frames.startSeconds.empty()
        ? 1000.0 * frames.endSeconds / static_cast<double>(frames.startSeconds.size()) : 0.0;
    haveTelemetry_ = movieFrameMs > 0
        && BuildFrameIndex(telemetry_, PlainFrameFacts(static_cast<int>(frames.startSeconds.size()), movieFrameMs));
    const auto count = holder.recordCount;
    firstRecord_ = std::clamp<int64_t>(static_cast<int64_t>(std::floor(mainCut_.fromSeconds * 1000.0 / interval + 1e-6)), 0, count);
    lastRecord_ = std::clamp<int64_t>(static_cast<int64_t>(std::ceil(mainCut_.toSeconds * 1000.0 / interval - 1e-6)) - 1,
                                      firstRecord_ - 1, count - 1);
    TelemetryHolder cut;
    cut.header = holder.header;
    cut.recordCount = lastRecord_ - firstRecord_ + 1;
    cut.records.assign(holder.records.begin() + firstRecord_ * kTelemetryRecordBytes,
                       holder.records.begin() + (lastRecord_ + 1) * kTelemetryRecordBytes);
    const QByteArray block = TelemetryFileBytes(cut);
    telemetryFile_ = QFileInfo(r_.telemetry).fileName();
    if (!writeFile(telemetryFile_, block))
        return false;
    TelemetryReader span;
    DecodeTelemetryBytes(QByteArrayView(block), timeLapse, span);
    const QString base = QFileInfo(mainClip_).completeBaseName();
    return writeFile(base + QStringLiteral(".gpx"), TelemetryGpx(span, base))
        && writeFile(base + QStringLiteral(".csv"), TelemetryCsv(span));
}

bool EvidenceWriter::drawStills()
{
    if (!r_.still)
        return true;
    struct Shot {
        QString camera, which, movie;
        int64_t frame;
    };
    std::vector<Shot> shots{{"main", "first", r_.movie, r_.fromFrame},
                            {"main", "last", r_.movie, r_.toFrame},
                            {"main", "shown", r_.movie, r_.shownFrame}};
    if (!r_.subMovie.isEmpty()) {
        int64_t shownFrom = 0, shownTo = 0;
        const int64_t lastSub = static_cast<int64_t>(subFrames_.startSeconds.size()) - 1;
        // the sub camera's frame at the shown frame's time
        const MovieFrames main = ReadMovieFrames(r_.movie);
        int64_t subShown = std::clamp<int64_t>(r_.shownFrame, 0, lastSub);
        if (main.ok && r_.shownFrame < static_cast<int64_t>(main.startSeconds.size())) {
            const double at = main.startSeconds[static_cast<size_t>(r_.shownFrame)];
            if (FramesOfTimes(subFrames_, at, at + 1e-3, shownFrom, shownTo))
                subShown = shownFrom;
        }
        subShown_ = subShown;
        shots.push_back({"sub", "first", r_.subMovie, result_.subFrom});
        shots.push_back({"sub", "last", r_.subMovie, result_.subTo});
        shots.push_back({"sub", "shown", r_.subMovie, subShown});
    }
    for (size_t i = 0; i < shots.size(); ++i) {
        if (stopped())
            return false;
        const Shot& s = shots[i];
        const QString name = QStringLiteral("still_%1_%2_frame%3.jpg").arg(s.camera, s.which).arg(s.frame, 6, 10, QLatin1Char('0'));
        QString why;
        if (!r_.still(s.movie, s.frame, temp_ + QLatin1Char('/') + name, &why))
            return fail(EvidenceError::StillFailed, QStringLiteral("%1, frame %2: %3").arg(s.movie).arg(s.frame).arg(why));
        QJsonObject o;
        o["file"] = name;
        o["camera"] = s.camera;
        o["which"] = s.which;
        o["frame"] = static_cast<qint64>(s.frame);
        stillList_.append(o);
        report(0.7 + 0.15 * static_cast<double>(i + 1) / static_cast<double>(shots.size()));
    }
    return true;
}

bool EvidenceWriter::hashFile(const QString& path, QByteArray& digest, bool asSource)
{
    const RegularFile file = OpenRegularFile(path);
    if (!file.ok())
        return fail(asSource ? EvidenceError::OpenFailed : EvidenceError::WriteFailed,
                    QStringLiteral("%1: %2").arg(path, file.why()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> buffer(1 << 20);
    uint64_t at = 0;
    for (;;) {
        if (stopped())
            return false;
        const ssize_t n = ::pread(file.fd.get(), buffer.data(), buffer.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(asSource ? EvidenceError::OpenFailed : EvidenceError::WriteFailed,
                        QStringLiteral("%1: %2").arg(path, errnoText(errno)));
        if (n == 0)
            break;
        hash.addData(QByteArrayView(buffer.data(), n));
        at += static_cast<uint64_t>(n);
    }
    digest = hash.result().toHex();
    return true;
}

bool EvidenceWriter::hashSources()
{
    for (Source& s : sources_) {
        if (!hashFile(s.path, s.sha256, true))
            return false;
        struct stat now {};
        if (::stat(QFile::encodeName(s.path).constData(), &now) != 0 || now.st_size != s.before.st_size
            || now.st_mtim.tv_sec != s.before.st_mtim.tv_sec || now.st_mtim.tv_nsec != s.before.st_mtim.tv_nsec)
            return fail(EvidenceError::InputChanged, QStringLiteral("%1: the file changed while it was read").arg(s.path));
    }
    report(0.9);
    return true;
}

QString isoTime(const struct timespec& t)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000)
        .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
        .toString(Qt::ISODateWithMs);
}

bool EvidenceWriter::writeJson()
{
    QJsonObject root;
    QJsonArray sources;
    for (const Source& s : sources_) {
        QJsonObject o;
        o["role"] = s.role;
        o["path"] = s.path;
        o["size"] = static_cast<qint64>(s.before.st_size);
        o["modified"] = isoTime(s.before.st_mtim);
        o["sha256"] = QString::fromLatin1(s.sha256);
        sources.append(o);
    }
    root["sources"] = sources;
    QJsonObject span;
    span["from_frame"] = static_cast<qint64>(r_.fromFrame);
    span["to_frame"] = static_cast<qint64>(r_.toFrame);
    span["shown_frame"] = static_cast<qint64>(r_.shownFrame);
    span["frames"] = static_cast<qint64>(r_.toFrame - r_.fromFrame + 1);
    span["from_seconds"] = mainCut_.fromSeconds;
    span["to_seconds"] = mainCut_.toSeconds;
    if (result_.subFrom >= 0) {
        span["sub_from_frame"] = static_cast<qint64>(result_.subFrom);
        span["sub_to_frame"] = static_cast<qint64>(result_.subTo);
        span["sub_shown_frame"] = static_cast<qint64>(subShown_);
    }
    const auto gpsAt = [&](int64_t frame) -> const GpsSample* {
        if (!haveTelemetry_)
            return nullptr;
        const AccelSample* a = telemetry_.sampleAtFrame(frame);
        return a ? telemetry_.gpsOf(*a) : nullptr;
    };
    if (const GpsSample* g = gpsAt(r_.fromFrame))
        span["from_local_time"] = IsoLocalTime(*g);
    if (const GpsSample* g = gpsAt(r_.toFrame))
        span["to_local_time"] = IsoLocalTime(*g);
    root["span"] = span;
    QJsonObject clips;
    clips["main"] = mainClip_;
    if (!subClip_.isEmpty())
        clips["sub"] = subClip_;
    root["clips"] = clips;
    if (!telemetryFile_.isEmpty()) {
        QJsonObject t;
        t["block"] = telemetryFile_;
        t["first_record"] = static_cast<qint64>(firstRecord_);
        t["records"] = static_cast<qint64>(lastRecord_ - firstRecord_ + 1);
        root["telemetry"] = t;
    }
    root["stills"] = stillList_;
    QJsonObject recorder;
    if (!r_.telemetry.isEmpty()) {
        const QString number = ReadRecorderNumber(r_.telemetry);
        if (!number.isEmpty())
            recorder["number"] = number;
        if (telemetry_.header.kind != 0)
            recorder["firmware"] = telemetry_.header.firmwareVersion();
    }
    root["recorder"] = recorder;
    QJsonObject fix;
    if (const GpsSample* g = gpsAt(r_.shownFrame)) {
        fix["usable"] = IsUsableFix(*g);
        if (IsUsableFix(*g)) {
            fix["lat"] = g->latitude;
            fix["lon"] = g->longitude;
            if (g->speed != kNoSpeed)
                fix["speed_kmh"] = g->speed;
        }
        fix["local_time"] = IsoLocalTime(*g);
        fix["record"] = g->index;
    } else {
        fix["usable"] = false;
    }
    root["gps_fix"] = fix;
    QJsonObject program;
    program["name"] = QStringLiteral("ravir");
    program["version"] = QStringLiteral(RAVIR_VERSION);
    root["program"] = program;
    root["written"] = QDateTime::currentDateTime().toString(Qt::ISODate);
    return writeFile(QStringLiteral("evidence.json"), QJsonDocument(root).toJson(QJsonDocument::Indented));
}

bool EvidenceWriter::writeSums()
{
    QStringList names = QDir(temp_).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QByteArray sums;
    for (const QString& name : names) {
        QByteArray digest;
        if (!hashFile(temp_ + QLatin1Char('/') + name, digest, false))
            return false;
        sums += digest + "  " + QFile::encodeName(name) + '\n';
    }
    result_.files = names << QStringLiteral("SHA256SUMS");
    return writeFile(QStringLiteral("SHA256SUMS"), sums);
}

bool EvidenceWriter::commit()
{
    if (stopped())
        return false;
    if (r_.syncToDisk) {
        const int dir = ::open(QFile::encodeName(temp_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 || ::fsync(dir) != 0) {
            const int e = errno;
            if (dir >= 0)
                ::close(dir);
            return fail(EvidenceError::WriteFailed, QStringLiteral("%1: %2").arg(temp_, errnoText(e)));
        }
        ::close(dir);
    }
    const QString target = QFileInfo(r_.outDir).absoluteFilePath();
    if (::renameat2(AT_FDCWD, QFile::encodeName(temp_).constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                    RENAME_NOREPLACE) != 0) {
        const int e = errno;
        return fail(e == EEXIST || e == ENOTEMPTY ? EvidenceError::OutputExists : EvidenceError::WriteFailed,
                    QStringLiteral("%1: %2").arg(target, errnoText(e)));
    }
    temp_.clear();
    result_.folder = target;
    if (r_.syncToDisk) {
        const int dir = ::open(QFile::encodeName(parent_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

EvidenceResult EvidenceWriter::run()
{
    report(0);
    const bool ok = prepare() && !stopped() && cutClips() && !stopped() && cutTelemetry() && !stopped()
        && drawStills() && hashSources() && writeJson() && writeSums() && commit();
    if (!ok && !temp_.isEmpty())
        QDir(temp_).removeRecursively();
    result_.ok = ok;
    if (ok)
        report(1);
    return result_;
}

}  // namespace

EvidenceResult WriteEvidence(const EvidenceRequest& request)
{
    EvidenceWriter writer(request);
    return writer.run();
}

}  // namespace ravir
