#pragma once
// Writing a file so that its name only ever holds a complete file.
//
// The bytes go to a new temporary file in the target's folder (created exclusively, with the
// permissions the umask gives, under a short hidden name that fits the name limit even for a
// target name of 255 bytes). Every write is checked and repeated until all bytes are written;
// the file is optionally flushed to the disk and then closed, and the close is checked. Only
// then does the temporary file take the target's name by a rename, which either replaces an
// existing file or, when replacing is not allowed, fails if a file of that name exists at that
// moment. Any failure, and a writer dropped before its commit, removes the temporary file: the
// target then still holds what it held before, or nothing if it did not exist. A writer holds
// a lock on its temporary file until the rename; one that could not remove its file (the
// program was killed, the card was pulled and put back) leaves it unlocked, and the next write
// of the same target removes it. A symbolic link
// of the target's name is replaced by the new file, never followed. A target that exists and is
// neither a regular file nor a symbolic link (a device, a FIFO, a socket, a folder) is never
// replaced: the write fails with NotRegular before anything is created.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>

namespace ravir {

// The step of a safe write that failed.
enum class SafeWriteStep {
    None,        // no failure
    OpenFolder,  // the target's folder cannot be opened (missing, not a folder, no access)
    CreateTemp,  // the temporary file cannot be created in the folder
    Write,       // a write failed (a full disk, a quota, an I/O error)
    Sync,        // flushing the file to the disk failed
    Close,       // closing the file reported an error
    Exists,      // a file of the target's name exists and replacing was not allowed
    Rename,      // the temporary file could not take the target's name
    SyncFolder,  // the new file is in place but its folder could not be flushed to the disk
    Cancelled,   // the writer was cancelled before its commit
    NotRegular,  // the target exists and is a device, a FIFO, a socket or a folder
};

struct SafeWriteError {
    SafeWriteStep step = SafeWriteStep::None;
    int error = 0;  // the errno of the failing call

    bool failed() const { return step != SafeWriteStep::None; }
    // "cannot write the file: No space left on device"
    QString message() const;
};

// "open-folder", "create-temp", "write", "sync", "close", "exists", "rename", "sync-folder",
// "cancelled", "not-regular", "" for None.
const char* SafeWriteStepName(SafeWriteStep step);

struct SafeWriteOptions {
    bool sync = false;      // flush the file to the disk before the rename, its folder after
    bool replace = true;    // false: never replace an existing file (fails with Exists)
    bool keepMode = false;  // an existing target's permission bits pass to the new file
};

// A streaming safe write: open, write any number of chunks, commit.
class SafeWriter {
public:
    SafeWriter() = default;
    ~SafeWriter();  // cancels an uncommitted write
    SafeWriter(const SafeWriter&) = delete;
    SafeWriter& operator=(const SafeWriter&) = delete;

    // Starts a write of `target` (a path; its folder must exist). False with error() set when
    // the folder cannot be opened or the temporary file cannot be created, or when the target
    // exists and options.replace is false.
    bool open(const QString& target, const SafeWriteOptions& options = {});
    // Appends bytes. The first failure removes the temporary file; every later call fails too.
    bool write(QByteArrayView bytes);
    // Flushes (with options.sync) and closes the temporary file without renaming it, for a
    // caller that places several files one after the other; commit() then only renames. False
    // with error() set on failure (the temporary file is then gone).
    bool finish();
    // Flushes and closes (unless finish() did), then renames. False with error() set on
    // failure; the temporary file is then gone and the target as it was, except after a
    // SyncFolder failure, where the new file is already in place (committed() is true).
    bool commit();
    // Drops the write: the temporary file is removed, the target is untouched.
    void cancel();

    bool isOpen() const { return fd_ >= 0; }
    // The temporary file's descriptor while it is open, for writes the caller makes itself
    // (space reservation, in-kernel copies); such bytes are not counted by written().
    int fd() const { return fd_; }
    bool committed() const { return committed_; }
    const SafeWriteError& error() const { return error_; }
    qint64 written() const { return written_; }
    const QString& target() const { return target_; }
    QString temporaryPath() const;  // empty when no temporary file exists

private:
    void fail(SafeWriteStep step, int error);
    void discard();
    bool rename();
    void removeStaleTemps(const QByteArray& prefix) const;

    QString target_;
    QByteArray folder_;  // native folder of the target
    QByteArray name_;    // native file name of the target
    QByteArray temp_;    // native name of the temporary file in the folder; empty when none
    SafeWriteOptions options_;
    int dirFd_ = -1;
    int fd_ = -1;
    int lockFd_ = -1;  // holds the temporary file's lock from the open to the rename
    qint64 written_ = 0;
    bool committed_ = false;
    SafeWriteError error_;
};

// One-shot form: writes `bytes` as the whole content of `target`. Returns the failure, or an
// error with step None on success.
SafeWriteError SafeWriteFile(const QString& target, QByteArrayView bytes,
                             const SafeWriteOptions& options = {});

// rename(2) that never replaces an existing file: false with errno EEXIST when `to` exists.
// Where the filesystem offers no no-replace rename, a hard link and, failing that, a look
// before the rename take its place.
bool RenameNoReplace(const QString& from, const QString& to);

// For tests: faults injected into every safe write of the process while set. Not for use in
// the program itself.
struct SafeWriteFaults {
    SafeWriteStep failAt = SafeWriteStep::None;  // this step fails with `error`
    int error = 5;                               // EIO
    size_t maxChunk = 0;     // > 0: each write call writes at most this many bytes
    bool interrupt = false;  // each write call is first interrupted (EINTR) once
    bool noReplaceRefused = false;  // the no-replace rename is refused (EINVAL), as on some
                                    // filesystems
    bool linkRefused = false;       // hard links are refused (EPERM), as on FAT
};
void SetSafeWriteFaultsForTesting(const SafeWriteFaults* faults);  // null: none

}  // namespace ravir
