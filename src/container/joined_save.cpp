// The joined save as one task: outputs checked, inputs joined, both outputs written under
// temporary names and committed in an order that a failure can undo.
#include "container/movie_join.h"
#include "shell/hidden_attribute.h"
#include "shell/safe_write.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ravir {

namespace {

QString errnoText(int error = errno) { return QString::fromLocal8Bit(std::strerror(error)); }
QByteArray native(const QString& path) { return QFile::encodeName(path); }

// One save: the request, the result being filled, and what must be undone on failure.
class JoinedSave {
public:
    explicit JoinedSave(const JoinRequest& request) : r_(request) {}
    JoinResult run();

private:
    bool failWith(JoinError error, const QString& path, const QString& detail);
    bool stopped();
    bool checkOutputs();
    bool checkSpace();
    bool joinInputs();
    bool checkIdentities();
    bool writeMovie();
    bool writeTelemetry();
    bool commit();
    void report(double fraction);

    const JoinRequest& r_;
    JoinResult result_;
    JoinSession join_;
    SafeWriter movieTemp_, telemetryTemp_;
    QString createdFolder_;  // removed again on failure
};

bool JoinedSave::failWith(JoinError error, const QString& path, const QString& detail)
{
    result_.ok = false;
    result_.error = error;
    result_.path = path;
    result_.detail = detail;
    return false;
}

bool JoinedSave::stopped()
{
    if (!r_.stop || !r_.stop->load())
        return false;
    failWith(JoinError::Stopped, {}, QStringLiteral("stopped"));
    return true;
}

void JoinedSave::report(double fraction)
{
    if (r_.progress)
        r_.progress(static_cast<int64_t>(fraction * 1000.0), 1000);
}

// An existing output is replaced only when the caller allows it, and only when it is a file.
bool JoinedSave::checkOutputs()
{
    struct stat st {};
    if (::lstat(native(r_.outputPath).constData(), &st) == 0) {
        if (!r_.replaceOutput)
            return failWith(JoinError::OutputExists, r_.outputPath, QStringLiteral("%1 exists").arg(r_.outputPath));
        if (::stat(native(r_.outputPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return failWith(JoinError::OutputExists, r_.outputPath,
                            QStringLiteral("%1 exists and is not a regular file").arg(r_.outputPath));
    }
    if (r_.telemetryPath.isEmpty())
        return true;
    const QFileInfo movie(r_.outputPath), telemetry(r_.telemetryPath);
    if (movie.absolutePath() == telemetry.absolutePath()
        && movie.fileName().compare(telemetry.fileName(), Qt::CaseInsensitive) == 0)
        return failWith(JoinError::OutputIsInput, r_.outputPath,
                        QStringLiteral("the movie and its telemetry file would be the same file %1").arg(r_.outputPath));
    if (::lstat(native(r_.telemetryPath).constData(), &st) == 0) {
        if (!r_.replaceTelemetry)
            return failWith(JoinError::TelemetryExists, r_.telemetryPath,
                            QStringLiteral("%1 exists").arg(r_.telemetryPath));
        if (!S_ISREG(st.st_mode))
            return failWith(JoinError::TelemetryExists, r_.telemetryPath,
                            QStringLiteral("%1 exists and is not a regular file").arg(r_.telemetryPath));
    }
    const QString folder = telemetry.absolutePath();
    if (!QFileInfo(folder).isDir() && QFileInfo(r_.telemetryFolderToCreate).absoluteFilePath() != folder)
        return failWith(JoinError::WriteFailed, r_.telemetryPath, QStringLiteral("%1: no such folder").arg(folder));
    return true;
}

// Free space by the estimate, before anything is opened.
bool JoinedSave::checkSpace()
{
    uint64_t needed = r_.neededBytes;
    if (needed == 0) {
        for (const JoinInput& input : r_.inputs) {
            for (const QString& f : {input.movie, input.telemetry}) {
                struct stat st {};
                if (!f.isEmpty() && ::stat(native(f).constData(), &st) == 0 && S_ISREG(st.st_mode))
                    needed += static_cast<uint64_t>(st.st_size);
            }
        }
    }
    const QString folder = QFileInfo(r_.outputPath).absolutePath();
    struct statvfs vfs {};
    if (::statvfs(native(folder).constData(), &vfs) != 0)
        return failWith(JoinError::WriteFailed, folder, QStringLiteral("cannot reach the folder %1").arg(folder));
    const uint64_t freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (needed >= freeBytes)
        return failWith(JoinError::NoSpace, folder, QStringLiteral("%1 bytes needed, %2 free").arg(needed).arg(freeBytes));
    return true;
}

// Progress: merging counts for the first half, writing for the second.
bool JoinedSave::joinInputs()
{
    const auto n = static_cast<int>(r_.inputs.size());
    ResetNodeCounters();
    join_.stop = r_.stop;
    if (r_.telemetryPath.isEmpty())
        join_.telemetryEnabled = false;
    if (!StartJoin(join_, r_.inputs.front().movie, r_.inputs.front().telemetry))
        return failWith(join_.error, join_.errorPath, join_.errorDetail);
    report(0.5 / n);
    for (int i = 1; i < n; ++i) {
        if (stopped())
            return false;
        if (!AddToJoin(join_, r_.inputs[static_cast<size_t>(i)].movie, r_.inputs[static_cast<size_t>(i)].telemetry))
            return failWith(join_.error, join_.errorPath, join_.errorDetail);
        report(0.5 * (i + 1) / n);
    }
    // A missing telemetry file is worth a word only when another recording has one.
    result_.notes = join_.notes;
    const bool anyTelemetry = std::any_of(r_.inputs.begin(), r_.inputs.end(), [](const JoinInput& input) {
        struct stat st {};
        return !input.telemetry.isEmpty() && ::lstat(native(input.telemetry).constData(), &st) == 0;
    });
    if (anyTelemetry)
        result_.notes += join_.missingTelemetry;
    return !stopped();
}

// No output may be one of the inputs (their movies or telemetry files), whatever the spelling.
bool JoinedSave::checkIdentities()
{
    std::vector<std::pair<dev_t, ino_t>> inputs;
    for (const WriteSource& s : join_.sources)
        inputs.emplace_back(s.identity.st_dev, s.identity.st_ino);
    for (const JoinInput& input : r_.inputs) {
        struct stat st {};
        if (!input.telemetry.isEmpty() && ::stat(native(input.telemetry).constData(), &st) == 0)
            inputs.emplace_back(st.st_dev, st.st_ino);
    }
    struct stat movie {};
    const bool movieExists = ::stat(native(r_.outputPath).constData(), &movie) == 0;
    for (const QString* outPath : {&r_.outputPath, &r_.telemetryPath}) {
        const QString& out = *outPath;
        struct stat st {};
        if (out.isEmpty() || ::stat(native(out).constData(), &st) != 0)
            continue;
        const auto id = std::make_pair(st.st_dev, st.st_ino);
        if (std::find(inputs.begin(), inputs.end(), id) != inputs.end())
            return failWith(JoinError::OutputIsInput, out, QStringLiteral("%1 is one of the files being joined").arg(out));
        if (outPath != &r_.outputPath && movieExists && movie.st_dev == st.st_dev && movie.st_ino == st.st_ino)
            return failWith(JoinError::OutputIsInput, out,
                            QStringLiteral("the movie and its telemetry file would be the same file %1").arg(out));
    }
    return true;
}


bool JoinedSave::writeMovie()
{
    const uint64_t total = PrepareJoinedTree(join_);
    if (total == 0)
        return failWith(join_.error, join_.errorPath, join_.errorDetail);
    if (!movieTemp_.open(r_.outputPath, {.sync = r_.syncToDisk, .replace = r_.replaceOutput})) {
        if (movieTemp_.error().step == SafeWriteStep::Exists)
            return failWith(JoinError::OutputExists, r_.outputPath, r_.outputPath);
        const QString folder = QFileInfo(r_.outputPath).absolutePath();
        return failWith(JoinError::WriteFailed, folder,
                        QStringLiteral("cannot create a file in %1: %2").arg(folder, errnoText(movieTemp_.error().error)));
    }
    // Reserve the space first so that a full disk fails at once.
    if (::fallocate(movieTemp_.fd(), 0, 0, static_cast<off_t>(total)) != 0
        && (errno == ENOSPC || errno == EFBIG || errno == EDQUOT))
        return failWith(JoinError::NoSpace, r_.outputPath, errnoText());
    BoxTreeWriter writer;
    writer.stop = r_.stop;
    writer.sources = &join_.sources;
    writer.progress = [&](uint64_t done) {
        report(0.5 + 0.5 * static_cast<double>(done) / static_cast<double>(std::max<uint64_t>(total, 1)));
    };
    const bool ok = writer.write(join_.accumulator->root, movieTemp_.fd());
    if (!ok) {
        switch (writer.fault()) {
        case BoxTreeWriter::Fault::Stopped: return failWith(JoinError::Stopped, {}, writer.error());
        case BoxTreeWriter::Fault::Input: return failWith(JoinError::InputDamaged, writer.faultyInput(), writer.error());
        case BoxTreeWriter::Fault::InputChanged:
            return failWith(JoinError::InputChanged, writer.faultyInput(), writer.error());
        default: return failWith(JoinError::WriteFailed, r_.outputPath, writer.error());
        }
    }
    if (writer.written() != total)
        return failWith(JoinError::WriteFailed, r_.outputPath, QStringLiteral("the sizes do not add up"));
    if (!movieTemp_.finish())
        return failWith(JoinError::WriteFailed, r_.outputPath, errnoText(movieTemp_.error().error));
    return true;
}

// The telemetry file's folder is created only when the caller named it (and removed again when
// the save fails).
bool JoinedSave::writeTelemetry()
{
    const QString folder = QFileInfo(r_.telemetryPath).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (::mkdir(native(folder).constData(), 0755) != 0)
            return failWith(JoinError::WriteFailed, folder, QStringLiteral("cannot create %1: %2").arg(folder, errnoText()));
        createdFolder_ = folder;
    }
    if (!telemetryTemp_.open(r_.telemetryPath, {.sync = r_.syncToDisk, .replace = r_.replaceTelemetry})) {
        if (telemetryTemp_.error().step == SafeWriteStep::Exists)
            return failWith(JoinError::TelemetryExists, r_.telemetryPath, r_.telemetryPath);
        return failWith(JoinError::WriteFailed, folder,
                        QStringLiteral("cannot create a file in %1: %2").arg(folder, errnoText(telemetryTemp_.error().error)));
    }
    if (!telemetryTemp_.write(TelemetryFileBytes(join_.telemetry)) || !telemetryTemp_.finish())
        return failWith(JoinError::WriteFailed, r_.telemetryPath, errnoText(telemetryTemp_.error().error));
    SetHiddenAttribute(telemetryTemp_.temporaryPath());
    return true;
}

// The telemetry file takes its name first, never replacing a file unless allowed (a replaced
// one is kept aside until the movie is in place); then the movie. When the movie's rename fails
// the telemetry step is undone, so that the old files are all there as before.
bool JoinedSave::commit()
{
    // An existing telemetry file that the caller agreed to replace waits under a temporary name
    // until the movie is in place; dropping `aside` then removes it.
    SafeWriter aside;
    QString asidePath;
    const bool telemetry = join_.telemetryEnabled;
    if (telemetry && r_.replaceTelemetry && QFileInfo::exists(r_.telemetryPath)) {
        if (!aside.open(r_.telemetryPath) || !aside.finish()
            || ::rename(native(r_.telemetryPath).constData(), native(aside.temporaryPath()).constData()) != 0)
            return failWith(JoinError::WriteFailed, r_.telemetryPath,
                            QStringLiteral("%1: %2").arg(r_.telemetryPath, errnoText()));
        asidePath = aside.temporaryPath();
    }
    const auto putBack = [&] {
        if (!asidePath.isEmpty())
            RenameNoReplace(asidePath, r_.telemetryPath);
    };
    if (telemetry && !telemetryTemp_.commit() && !telemetryTemp_.committed()) {
        putBack();
        const SafeWriteError e = telemetryTemp_.error();
        return failWith(e.step == SafeWriteStep::Exists ? JoinError::TelemetryExists : JoinError::WriteFailed,
                        r_.telemetryPath, QStringLiteral("%1: %2").arg(r_.telemetryPath, errnoText(e.error)));
    }
    // A folder that could not be flushed after the rename still holds the complete new file.
    if (!movieTemp_.commit() && !movieTemp_.committed()) {
        const SafeWriteError e = movieTemp_.error();
        if (telemetry) {
            ::unlink(native(r_.telemetryPath).constData());
            putBack();
        }
        return failWith(e.step == SafeWriteStep::Exists ? JoinError::OutputExists : JoinError::WriteFailed,
                        r_.outputPath, QStringLiteral("%1: %2").arg(r_.outputPath, errnoText(e.error)));
    }
    result_.telemetryPath = telemetry ? r_.telemetryPath : QString();
    return true;
}

JoinResult JoinedSave::run()
{
    if (r_.inputs.empty())
        return result_;
    const bool ok = checkOutputs() && checkSpace() && joinInputs() && checkIdentities() && !stopped() && writeMovie()
        && (!join_.telemetryEnabled || writeTelemetry()) && !stopped() && commit();
    if (!ok) {
        movieTemp_.cancel();
        telemetryTemp_.cancel();
        if (!createdFolder_.isEmpty())
            ::rmdir(native(createdFolder_).constData());
        return result_;
    }
    // Closing the merged movies tears their trees down (progress moves).
    for (auto& m : join_.merged)
        CloseMovieFile(m);
    join_.merged.clear();
    report(1.0);
    result_.ok = true;
    return result_;
}

}  // namespace

JoinResult SaveJoinedMovie(const JoinRequest& request)
{
    JoinedSave save(request);
    return save.run();
}

}  // namespace ravir
