#include "container/join_temp_file.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace ravir {

bool JoinTempFile::create(const QString& finalPath)
{
    discard();
    const QString folder = QFileInfo(finalPath).absolutePath();
    static std::atomic<int> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = QStringLiteral("%1/.ravir-join-%2-%3.tmp").arg(folder).arg(::getpid()).arg(counter++);
        fd_ = ::open(QFile::encodeName(candidate).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            path_ = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool JoinTempFile::finish(bool sync)
{
    bool ok = true;
    if (fd_ >= 0) {
        if (sync && ::fdatasync(fd_) != 0)
            ok = false;
        if (::close(fd_) != 0)
            ok = false;
        fd_ = -1;
    }
    return ok;
}

bool JoinTempFile::commit(const QString& finalPath, bool replace)
{
    const bool ok = replace ? ::rename(QFile::encodeName(path_).constData(), QFile::encodeName(finalPath).constData()) == 0
                            : RenameNoReplace(path_, finalPath);
    if (ok)
        path_.clear();
    return ok;
}

void JoinTempFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!path_.isEmpty()) {
        const int saved = errno;
        ::unlink(QFile::encodeName(path_).constData());
        errno = saved;
    }
    path_.clear();
}

bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray src = QFile::encodeName(from), dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // No RENAME_NOREPLACE on this filesystem: a hard link fails on an existing name too.
    if (::link(src.constData(), dst.constData()) == 0) {
        ::unlink(src.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat st {};
    if (::lstat(dst.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(src.constData(), dst.constData()) == 0;
}

}  // namespace ravir
