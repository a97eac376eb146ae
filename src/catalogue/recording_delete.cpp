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

// Hides a file where the filesystem keeps DOS attributes; elsewhere there is no attribute to
// set and nothing to do.
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
    const QFileInfo file(path);
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
    if (name.size() < 25)
        return fail(report, QStringLiteral("not a recording name: %1").arg(name));
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

    // Every check before the first change.
    const Step& movie = steps[0];
    if (!exists(movie.live))
        return fail(report, QStringLiteral("the movie does not exist: %1").arg(movie.live));
    if (exists(movie.deleted))
        return fail(report,
                    QStringLiteral("the deleted name is already taken: %1").arg(movie.deleted));
    std::vector<Step> todo{movie};
    const Step& data = steps[1];
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
    const QString movie = QFileInfo(path).absoluteFilePath();
    const QString root = probeRoot.isEmpty() ? DriveRootOf(movie) : probeRoot;
    if (IsCardRoot(root) && IsRecordingName(movie))
        return DeleteByRename(movie, CurrentLayoutIndex(), report);

    // Not on a card: the desktop's trash.
    QStringList files;
    if (exists(movie))
        files << movie;
    if (IsMainRecordingName(movie)) {
        const QString paired = PairedPathOf(movie);
        if (exists(paired))
            files << paired;
        const QString telemetry = TelemetryPathOf(movie);
        if (exists(telemetry))
            files << telemetry;
    }
    bool ok = true;
    QStringList failed;
    for (const QString& f : files) {
        QString trashed;
        if (RecycleDelete(f, &trashed)) {
            if (report)
                report->moved.push_back({f, trashed});
        } else {
            ok = false;
            failed << f;
        }
    }
    if (report) {
        report->method = report->moved.empty() ? DeleteMethod::None : DeleteMethod::Trash;
        if (!ok)
            report->error = QStringLiteral("cannot move to the trash: %1")
                                .arg(failed.join(QStringLiteral(", ")));
    }
    return ok;
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
        if (options.running && !options.running->load()) {
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
