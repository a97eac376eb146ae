#include "catalogue/recording_delete.h"

#include "catalogue/recording_name.h"
#include "shell/hidden_attribute.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

bool exists(const QString& path)
{
    // A dangling link counts as present: its name is taken.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// Renames without ever replacing an existing file: renameat2 with RENAME_NOREPLACE, or, on a
// filesystem that does not support the flag, a check followed by rename(2).
bool renameNoReplace(const QString& from, const QString& to, QString* error)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        if (exists(to)) {
            err = EEXIST;
        } else if (::rename(src.constData(), dst.constData()) == 0) {
            return true;
        } else {
            err = errno;
        }
    }
    if (error)
        *error = QStringLiteral("cannot rename %1 to %2: %3")
                     .arg(from, to, QString::fromLocal8Bit(std::strerror(err)));
    return false;
}

// Hides a file where the filesystem keeps DOS attributes that can be reached; elsewhere (an
// exFAT driver without the FAT ioctls included) there is no attribute to set and nothing to do:
// the deleted forms are told by their names, as the recorder tells them.
bool hide(const QString& path, QString* error)
{
    if (!HasDosAttributes(path))
        return true;
    if (SetHiddenAttribute(path))
        return true;
    if (error)
        *error = QStringLiteral("cannot set the hidden attribute of %1").arg(path);
    return false;
}

// Writes everything the file system of `path` holds for its card to the card (syncfs).
bool syncCard(const QString& path, QString* error)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced && error)
        *error = QStringLiteral("the card did not take the change (%1): %2")
                     .arg(QFile::decodeName(folder), QString::fromLocal8Bit(std::strerror(err)));
    return synced;
}

bool fail(DeleteReport* report, const QString& error)
{
    if (report) {
        report->method = DeleteMethod::None;
        report->moved.clear();
        report->error = error;
    }
    return false;
}

QString withSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// What lies under a path, seen on a descriptor opened with O_PATH: such an open never blocks
// (a FIFO is not opened for reading), needs no read permission and does not follow a symbolic
// link, so the answer is about the name itself.
enum class Entry { Missing, Regular, Folder, Link, Other, Unknown };

Entry entryAt(const QString& path, int* error = nullptr)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error)
            *error = errno;
        return errno == ENOENT ? Entry::Missing : Entry::Unknown;
    }
    struct stat st {};
    const int rc = ::fstat(fd, &st);
    const int err = errno;
    ::close(fd);
    if (rc != 0) {
        if (error)
            *error = err;
        return Entry::Unknown;
    }
    if (S_ISREG(st.st_mode))
        return Entry::Regular;
    if (S_ISDIR(st.st_mode))
        return Entry::Folder;
    if (S_ISLNK(st.st_mode))
        return Entry::Link;
    return Entry::Other;
}

// Why `path` is not a file that a delete may rename or move (empty when it is one): it must be
// a regular file, not a folder, a symbolic link, a FIFO or a device. `what` names the file in
// the message ("the movie", "the telemetry file", ...).
QString notARegularFile(const QString& path, const char* what, bool missingIsFine)
{
    int err = 0;
    switch (entryAt(path, &err)) {
    case Entry::Regular:
        return {};
    case Entry::Missing:
        return missingIsFine ? QString()
                             : QStringLiteral("%1 does not exist: %2").arg(QLatin1String(what), path);
    case Entry::Folder:
        return QStringLiteral("%1 is a folder, not a file: %2").arg(QLatin1String(what), path);
    case Entry::Link:
        return QStringLiteral("%1 is a symbolic link; only the file itself is deleted: %2")
            .arg(QLatin1String(what), path);
    case Entry::Other:
        return QStringLiteral("%1 is not a regular file (a FIFO, socket or device): %2")
            .arg(QLatin1String(what), path);
    case Entry::Unknown:
        break;
    }
    return QStringLiteral("cannot look at %1 %2: %3")
        .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(err)));
}

// Why the file name of `path` is not the main movie name of a recording (empty when it is):
// the full 30-character name with camera letter M and the extension ".MOV".
QString notAMainMovieName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (IsMainRecordingName(name) && name.endsWith(QLatin1String(".MOV"))
        && name.size() == kRecordingNameLength)
        return {};
    if (IsRecordingName(name) && name.endsWith(QLatin1String(".MOV")))
        return QStringLiteral("%1 is the sub camera's movie; a recording is deleted by its main "
                              "movie %2")
            .arg(path, PairedPathOf(path));
    return QStringLiteral("not a recording: %1 (a recording is deleted by its main movie, named "
                          "like A___-YYMMDD-HHMMSS-NNNNNNM.MOV)")
        .arg(path);
}

// Puts files that a failed delete moved to the trash back where they were; those that cannot
// go back stay listed.
void putBackFromTrash(std::vector<MovedFile>& moved)
{
    std::vector<MovedFile> stayed;
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        const QFileInfo placed(it->to);
        const QString info = QFileInfo(placed.absolutePath()).absolutePath()
                             + QStringLiteral("/info/") + placed.fileName()
                             + QStringLiteral(".trashinfo");
        if (renameNoReplace(it->to, it->from, nullptr))
            QFile::remove(info);
        else
            stayed.insert(stayed.begin(), *it);
    }
    moved = std::move(stayed);
}

}  // namespace

QString DriveRootOf(const QString& path)
{
    // QStorageInfo needs an existing path; climb to the nearest existing folder.
    QString probe = QFileInfo(path).absoluteFilePath();
    while (!probe.isEmpty() && !QFileInfo::exists(probe)) {
        const QString up = QFileInfo(probe).absolutePath();
        if (up == probe)
            break;
        probe = up;
    }
    const QStorageInfo storage(probe);
    if (!storage.isValid())
        return QString();
    return storage.rootPath();
}

bool IsCardRoot(const QString& root)
{
    if (root.isEmpty())
        return false;
    return DetectLayout(root);
}

bool RecycleDelete(const QString& path, QString* pathInTrash)
{
    if (path.isEmpty() || !exists(path))
        return false;
    const QString source = QFileInfo(path).absoluteFilePath();
    // The home trash lives in the user's data folder; Qt cannot set the trash up when that
    // folder is missing (a fresh account) and then moves the file into "files" under the
    // working directory instead. Make sure the folder exists first.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty())
        QDir().mkpath(dataHome);
    QString trashed;
    if (!QFile::moveToTrash(source, &trashed))
        return false;
    // Only a place in a trash folder counts; anything else is put back.
    const QFileInfo placed(trashed);
    const QFileInfo filesFolder(placed.absolutePath());
    const bool inTrash = placed.isAbsolute() && filesFolder.fileName() == QLatin1String("files")
                         && QFileInfo::exists(filesFolder.absolutePath() + QStringLiteral("/info/")
                                              + placed.fileName() + QStringLiteral(".trashinfo"));
    if (!inTrash) {
        if (placed.exists() && renameNoReplace(placed.absoluteFilePath(), source, nullptr)) {
            const QString info = filesFolder.absolutePath() + QStringLiteral("/info/")
                                 + placed.fileName() + QStringLiteral(".trashinfo");
            QFile::remove(info);
            // The folders Qt made for it, when empty.
            QDir().rmdir(filesFolder.absolutePath() + QStringLiteral("/info"));
            QDir().rmdir(filesFolder.absoluteFilePath());
        }
        return false;
    }
    if (pathInTrash)
        *pathInTrash = trashed;
    return true;
}

bool DeleteByRename(const QString& path, DeleteReport* report)
{
    return DeleteByRename(path, CurrentLayoutIndex(), report);
}

bool DeleteByRename(const QString& path, int layout, DeleteReport* report)
{
    if (report)
        *report = DeleteReport{};
    if (layout < 0 || layout > 1)
        return fail(report, QStringLiteral("no such card layout: %1").arg(layout));
    const FolderKindRow* rows = kFolderKindTable[layout];

    // The folder that holds the layout folders (the card root) when the file lies directly in
    // one of them; otherwise the file's own folder, where its deleted forms stay.
    const QFileInfo file(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString parent = file.absolutePath();
    const QFileInfo parentInfo(parent);
    const QString parentName = parentInfo.fileName();
    bool inLayoutFolder = false;
    QString base = parent;
    if (parentInfo.isDir() && QFileInfo(parentInfo.absolutePath()).isDir()) {
        for (int row = 0; row < 4; ++row) {
            if (parentName == QLatin1String(rows[row].folder)) {
                inLayoutFolder = true;
                base = parentInfo.absolutePath();
                break;
            }
        }
    }

    const QString name = file.fileName();
    if (const QString why = notAMainMovieName(path); !why.isEmpty())
        return fail(report, why);
    const QString stem = name.left(25);
    const RecordingKind kind = KindOf(name);
    const int first =
        (kind == RecordingKind::Parking || kind == RecordingKind::ParkingImpact) ? 2 : 0;

    struct Step {
        QString live, deleted;
        bool isMovie;
    };
    std::vector<Step> steps;
    for (int row = first; row < first + 2; ++row) {
        const FolderKindRow& r = rows[row];
        QString prefix = withSeparator(base);
        if (inLayoutFolder)
            prefix += QLatin1String(r.folder) + QLatin1Char('/');
        prefix += stem + QLatin1Char(r.typeLetter) + QLatin1Char('.');
        steps.push_back({prefix + QLatin1String(r.liveExtension),
                         prefix + QLatin1String(r.deletedExtension), row == first});
    }

    // Every check before the first change. The movie renamed is the file given, never another
    // one found by its stem (a recording in the movie folder of another kind).
    const Step& movie = steps[0];
    if (movie.live != file.absoluteFilePath())
        return fail(report, QStringLiteral("%1 is not in the movie folder of its kind (%2)")
                                .arg(path, QFileInfo(movie.live).absolutePath()));
    if (const QString why = notARegularFile(movie.live, "the movie", false); !why.isEmpty())
        return fail(report, why);
    if (exists(movie.deleted))
        return fail(report,
                    QStringLiteral("the deleted name is already taken: %1").arg(movie.deleted));
    std::vector<Step> todo{movie};
    const Step& data = steps[1];
    if (const QString why = notARegularFile(data.live, "the telemetry file", true); !why.isEmpty())
        return fail(report, why);
    if (exists(data.live)) {
        if (exists(data.deleted))
            return fail(report, QStringLiteral("the deleted name is already taken: %1")
                                    .arg(data.deleted));
        todo.push_back(data);
    }

    // Rename, then hide; undo the renames made so far when anything fails.
    QString error;
    std::vector<const Step*> done;
    auto rollBack = [&]() {
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            renameNoReplace((*it)->deleted, (*it)->live, nullptr);
        return fail(report, error);
    };
    for (const Step& step : todo) {
        if (!renameNoReplace(step.live, step.deleted, &error))
            return rollBack();
        done.push_back(&step);
    }
    // The telemetry file first: a recorder card keeps its live telemetry files hidden anyway,
    // so if the movie then cannot be hidden, undoing the renames restores the card as it was.
    for (auto it = todo.rbegin(); it != todo.rend(); ++it) {
        if (!hide(it->deleted, &error))
            return rollBack();
    }
    // On the card before it counts as deleted: a card pulled right after must hold what the
    // report says. A card that does not take the change gets the renames undone (as far as it
    // still takes anything).
    if (!syncCard(todo.front().deleted, &error)) {
        rollBack();
        syncCard(todo.front().live, nullptr);
        return false;
    }

    if (report) {
        report->method = DeleteMethod::Rename;
        for (const Step& step : todo)
            report->moved.push_back({step.live, step.deleted});
    }
    return true;
}

bool DeleteRecording(const QString& path, const QString& probeRoot, DeleteReport* report)
{
    if (report)
        *report = DeleteReport{};
    const QString movie = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Only a recording is deleted: an existing regular file under a main movie name. Anything
    // else (a folder, the card itself, a sub camera's movie, another file) is refused.
    if (const QString why = notARegularFile(movie, "the movie", false); !why.isEmpty())
        return fail(report, why);
    if (const QString why = notAMainMovieName(movie); !why.isEmpty())
        return fail(report, why);

    const QString root = probeRoot.isEmpty() ? DriveRootOf(movie) : probeRoot;
    if (IsCardRoot(root))
        return DeleteByRename(movie, CurrentLayoutIndex(), report);

    // Not on a card: the movie, the other camera's movie and the telemetry file go to the
    // desktop's trash. Every companion is checked before the first one moves.
    QStringList files{movie};
    for (const auto& [companion, what] : {std::pair{PairedPathOf(movie), "the other camera's movie"},
                                          std::pair{TelemetryPathOf(movie), "the telemetry file"}}) {
        if (const QString why = notARegularFile(companion, what, true); !why.isEmpty())
            return fail(report, why);
        if (exists(companion))
            files << companion;
    }
    std::vector<MovedFile> moved;
    for (const QString& f : files) {
        QString trashed;
        if (!RecycleDelete(f, &trashed)) {
            // Half a recording in the trash is no delete: put back what went.
            putBackFromTrash(moved);
            if (report) {
                report->method = moved.empty() ? DeleteMethod::None : DeleteMethod::Trash;
                report->moved = moved;
                report->error = QStringLiteral("cannot move to the trash: %1").arg(f);
            }
            return false;
        }
        moved.push_back({f, trashed});
    }
    if (report) {
        report->method = DeleteMethod::Trash;
        report->moved = std::move(moved);
    }
    return true;
}

DeleteTaskResult RunDeleteTask(const QStringList& chosen, const DeleteTaskOptions& options)
{
    DeleteTaskResult result;
    if (options.sourceLost) {
        result.status = DeleteTaskStatus::SourceLost;
        return result;
    }
    const int total = static_cast<int>(chosen.size());
    int done = 0;
    for (int i = total - 1; i >= 0; --i) {
        if ((options.running && !options.running->load())
            || (options.stop && options.stop->load())) {
            result.status = DeleteTaskStatus::Stopped;
            return result;
        }
        if (options.beforeDelete)
            options.beforeDelete(chosen[i]);
        DeleteReport report;
        const bool ok = DeleteRecording(chosen[i], options.probeRoot, &report);
        result.reports.push_back(report);
        if (!ok) {
            result.status = DeleteTaskStatus::Failed;
            result.failedIndex = i;
            return result;
        }
        result.deleted.push_back(i);
        ++done;
        if (options.progress)
            options.progress(done, total);
    }
    result.status = DeleteTaskStatus::Completed;
    return result;
}

DeleteTaskResult RunDeleteTask(const RecordList& chosen, const DeleteTaskOptions& options)
{
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(chosen.size()));
    for (const RecordingRecord& r : chosen)
        paths << r.path;
    return RunDeleteTask(paths, options);
}

RecordList DeletedRecords(const RecordList& chosen, const DeleteTaskResult& result)
{
    RecordList deleted;
    for (int index : result.deleted) {
        if (index >= 0 && static_cast<size_t>(index) < chosen.size())
            deleted.push_back(chosen[static_cast<size_t>(index)]);
    }
    return deleted;
}

void RemoveDeletedRecords(const RecordList& deleted, const std::vector<RecordList*>& lists)
{
    for (RecordList* list : lists) {
        if (!list)
            continue;
        if (!deleted.empty())
            RemoveByName(*list, deleted);
        RenumberRows(*list);
    }
}

QString DeleteMethodName(DeleteMethod method)
{
    switch (method) {
    case DeleteMethod::Rename:
        return QStringLiteral("rename");
    case DeleteMethod::Trash:
        return QStringLiteral("trash");
    case DeleteMethod::None:
        break;
    }
    return QStringLiteral("none");
}

QString DeleteTaskStatusName(DeleteTaskStatus status)
{
    switch (status) {
    case DeleteTaskStatus::Completed:
        return QStringLiteral("completed");
    case DeleteTaskStatus::SourceLost:
        return QStringLiteral("source_lost");
    case DeleteTaskStatus::Failed:
        return QStringLiteral("failed");
    case DeleteTaskStatus::Stopped:
        return QStringLiteral("stopped");
    }
    return QString();
}

}  // namespace ravir
