#pragma once
// Deleting recordings. On the recorder's card a recording is deleted the way the recorder itself
// understands: its movie and its telemetry file are renamed to their deleted forms (extensions
// DMY and TDA of the folder table) and hidden, so the recorder can reuse the space. Anywhere else
// the movie, the other camera's movie and the telemetry file go to the desktop's trash.
//
// The delete task (the background task behind the viewer's delete command) runs the chosen
// recordings from the last to the first, stops at the first failure and reports progress; the
// window parts (the selection dialog, stopping playback, the messages) belong to its caller.
#include "catalogue/recording_record.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace ravir {

// How one recording was deleted.
enum class DeleteMethod {
    None,    // nothing was done (the operation failed before changing anything)
    Rename,  // card: renamed to the deleted forms and hidden
    Trash,   // elsewhere: moved to the desktop's trash
};

// One file that a delete moved: its live path and where it went (its deleted name on the card,
// or its place in the trash's files folder).
struct MovedFile {
    QString from;
    QString to;
};

// What a delete did. On failure `moved` is empty for the card form (every rename is undone);
// in the trash form it lists what stayed in the trash because it could not be put back.
struct DeleteReport {
    DeleteMethod method = DeleteMethod::None;
    std::vector<MovedFile> moved;
    QString error;  // why it failed, in English (for the command line and logs)
};

// The root of the drive that holds `path`: the mount point of its filesystem. Empty when the
// path's filesystem cannot be found (a path that does not exist is looked up by its nearest
// existing folder).
QString DriveRootOf(const QString& path);

// Probes `root` for the card layout folders as DetectLayout does (which also sets the current
// layout index) and returns whether `root` is a card: a movie folder of either layout, or only a
// parking folder, directly under it.
bool IsCardRoot(const QString& root);

// Moves one file to the desktop's trash (freedesktop trash, with its .trashinfo). False for an
// empty path, a file that does not exist or a trash that refuses it. *pathInTrash receives the
// file's new path.
bool RecycleDelete(const QString& path, QString* pathInTrash = nullptr);

// The card-side delete of the recording whose main movie is `path`, with the folder table of
// `layout` (0 or 1; the one-argument form uses the current layout index). The movie row and the
// data row of the recording's folder pair (parking rows for parking kinds, continuous rows
// otherwise) are renamed from their live forms (MOV, ADA) to their deleted forms (DMY, TDA) and
// hidden. True when the movie now bears its deleted name, and so does its telemetry file if it
// had one.
//
// Every check is made before the first rename: `path` must be a main movie name (the full
// 30-character name, camera letter M, ".MOV"), an existing regular file (not a folder, link,
// FIFO or device), and the movie of its kind's folder pair, so that the file renamed is `path`
// itself; its deleted name must be free; a telemetry file that does not exist is nothing to
// delete, one that is not a regular file or whose deleted name is taken fails the delete before
// anything is renamed. If a rename or the hidden attribute still fails, the renames already
// made are undone, so the recording is never left half deleted.
bool DeleteByRename(const QString& path, int layout, DeleteReport* report = nullptr);
bool DeleteByRename(const QString& path, DeleteReport* report = nullptr);

// Deletes one recording as the viewer does. Only a recording is deleted: `path` must be an
// existing regular file under a main movie name; anything else (a folder, a sub camera's movie,
// a missing file, any other name) is refused with nothing changed. The drive root
// (DriveRootOf(path), or `probeRoot` when given) is probed for the card layouts; on a card the
// recording is deleted with DeleteByRename. Otherwise the movie, its paired movie and its
// telemetry file (those that exist; each must be a regular file) go to the trash; if one
// cannot go, those already moved are put back. The report lists exactly what moved.
bool DeleteRecording(const QString& path, const QString& probeRoot = QString(),
                     DeleteReport* report = nullptr);

// ---- the delete task --------------------------------------------------------------------

enum class DeleteTaskStatus {
    Completed,   // every chosen recording was deleted
    SourceLost,  // the source was gone before the task began; nothing was deleted
    Failed,      // a recording could not be deleted; the ones deleted before it stay deleted
    Stopped,     // the running flag was cleared; the ones deleted before stay deleted
};

struct DeleteTaskOptions {
    QString probeRoot;        // card probe root; empty: the drive of each path
    bool sourceLost = false;  // the file browser's source-lost flag when the task began
    // The task goes on while this flag is set (tested before each recording); null: always.
    const std::atomic<bool>* running = nullptr;
    // The task ends before the next recording once this flag is set (a stop request, such as
    // Ctrl-C of the command line); null: never.
    const std::atomic<bool>* stop = nullptr;
    // Called before each recording is deleted (the viewer stops playback of the open one).
    std::function<void(const QString& path)> beforeDelete;
    // Called after each deleted recording with (recordings done, total).
    std::function<void(int done, int total)> progress;
};

struct DeleteTaskResult {
    DeleteTaskStatus status = DeleteTaskStatus::Completed;
    std::vector<int> deleted;  // indexes into the chosen list, in the order deleted
    int failedIndex = -1;      // the recording that could not be deleted, or -1
    std::vector<DeleteReport> reports;  // one per recording tried, in the order tried
};

// Deletes the chosen recordings (movie paths, in list order) from the last to the first with
// DeleteRecording.
DeleteTaskResult RunDeleteTask(const QStringList& chosen, const DeleteTaskOptions& options);

// The same over records (the chosen records in list order; their paths are deleted).
DeleteTaskResult RunDeleteTask(const RecordList& chosen, const DeleteTaskOptions& options);

// The chosen records the task deleted, in the order deleted.
RecordList DeletedRecords(const RecordList& chosen, const DeleteTaskResult& result);

// After a delete task: removes the deleted records by file name (RemoveByName) from each list
// and renumbers every list's rows to their indexes. Also after a task that failed or was
// stopped part way, so that no list keeps a record of a recording that is gone.
void RemoveDeletedRecords(const RecordList& deleted, const std::vector<RecordList*>& lists);

QString DeleteMethodName(DeleteMethod method);          // "none", "rename", "trash"
QString DeleteTaskStatusName(DeleteTaskStatus status);  // "completed", "source_lost", ...

}  // namespace ravir
