#pragma once
// The joined save's temporary files: created exclusively under a short hidden name in the folder
// of the final file (so that any final name up to the system's limit works), written, flushed,
// then renamed to the final name with or without replacing a file there. Removed when not
// committed.
#include <QString>
#include <sys/stat.h>

namespace ravir {

class JoinTempFile {
public:
    JoinTempFile() = default;
    ~JoinTempFile() { discard(); }
    JoinTempFile(const JoinTempFile&) = delete;
    JoinTempFile& operator=(const JoinTempFile&) = delete;

    // False with errno set when no file can be created in the folder of finalPath.
    bool create(const QString& finalPath);
    int fd() const { return fd_; }
    const QString& path() const { return path_; }
    // Flushes to disk when sync is set, then closes; false when either fails.
    bool finish(bool sync);
    // Renames the file to finalPath; without replace an existing file there is never touched
    // (false, errno EEXIST). False with errno set on failure; the temporary file then stays.
    bool commit(const QString& finalPath, bool replace);
    // Closes and removes the temporary file (nothing after a commit).
    void discard();

private:
    QString path_;
    int fd_ = -1;
};

// rename(2) that never replaces an existing file: false with errno EEXIST when `to` exists.
bool RenameNoReplace(const QString& from, const QString& to);

}  // namespace ravir
