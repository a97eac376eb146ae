#include "shell/safe_write.h"

#include <QFile>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

std::atomic<const SafeWriteFaults*> g_faults{nullptr};

// The error a test asked for at `step`, or 0.
int injected(SafeWriteStep step)
{
    const SafeWriteFaults* f = g_faults.load(std::memory_order_acquire);
    return f && f->failAt == step ? f->error : 0;
}

// At most this many bytes of the target's name go into the temporary name, which stays far
// below the 255-byte name limit: "." + prefix + "." + 8 hex digits + ".tmp".
constexpr qsizetype kTempPrefixBytes = 32;
constexpr int kTempAttempts = 100;

// The first bytes of a name, cut before a UTF-8 continuation byte so that no character is
// split.
QByteArray namePrefix(const QByteArray& name)
{
    if (name.size() <= kTempPrefixBytes)
        return name;
    qsizetype end = kTempPrefixBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

unsigned nextTempNumber()
{
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long x = now ^ (static_cast<unsigned long long>(::getpid()) << 32) ^
                           (counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ULL);
    // A final mix (splitmix64) so that names made close together look unrelated.
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return static_cast<unsigned>(x);
}

ssize_t writeOnce(int fd, const char* data, size_t size, bool* interruptedOnce)
{
    const SafeWriteFaults* f = g_faults.load(std::memory_order_acquire);
    if (f) {
        if (f->interrupt && !*interruptedOnce) {
            *interruptedOnce = true;
            errno = EINTR;
            return -1;
        }
        *interruptedOnce = false;
        if (f->failAt == SafeWriteStep::Write) {
            errno = f->error;
            return -1;
        }
        if (f->maxChunk > 0 && size > f->maxChunk)
            size = f->maxChunk;
    }
    return ::write(fd, data, size);
}

bool refusedByFilesystem(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

}  // namespace

const char* SafeWriteStepName(SafeWriteStep step)
{
    switch (step) {
    case SafeWriteStep::None:
        return "";
    case SafeWriteStep::OpenFolder:
        return "open-folder";
    case SafeWriteStep::CreateTemp:
        return "create-temp";
    case SafeWriteStep::Write:
        return "write";
    case SafeWriteStep::Sync:
        return "sync";
    case SafeWriteStep::Close:
        return "close";
    case SafeWriteStep::Exists:
        return "exists";
    case SafeWriteStep::Rename:
        return "rename";
    case SafeWriteStep::SyncFolder:
        return "sync-folder";
    case SafeWriteStep::NotRegular:
        return "not-regular";
    case SafeWriteStep::Cancelled:
        return "cancelled";
    }
    return "";
}

QString SafeWriteError::message() const
{
    const char* what = "";
    switch (step) {
    case SafeWriteStep::None:
        return QString();
    case SafeWriteStep::OpenFolder:
        what = "cannot open the folder";
        break;
    case SafeWriteStep::CreateTemp:
        what = "cannot create a file in the folder";
        break;
    case SafeWriteStep::Write:
        what = "cannot write the file";
        break;
    case SafeWriteStep::Sync:
        what = "cannot flush the file to the disk";
        break;
    case SafeWriteStep::Close:
        what = "cannot close the file";
        break;
    case SafeWriteStep::Exists:
        return QStringLiteral("a file of that name exists");
    case SafeWriteStep::Rename:
        what = "cannot give the file its name";
        break;
    case SafeWriteStep::SyncFolder:
        what = "cannot flush the folder to the disk";
        break;
    case SafeWriteStep::Cancelled:
        return QStringLiteral("cancelled");
    case SafeWriteStep::NotRegular:
        return QStringLiteral("a device, a FIFO or a folder of that name exists and is never replaced");
    }
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in the buffer.
    const char* reason = ::strerror_r(error, buffer, sizeof buffer);
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(reason);
}

SafeWriter::~SafeWriter()
{
    discard();
}

QString SafeWriter::temporaryPath() const
{
    if (temp_.isEmpty())
        return QString();
    return QFile::decodeName(folder_ + '/' + temp_);
}

bool SafeWriter::open(const QString& target, const SafeWriteOptions& options)
{
    discard();
    target_ = target;
    options_ = options;
    written_ = 0;
    committed_ = false;
    error_ = {};

    const QByteArray native = QFile::encodeName(target);
    const qsizetype slash = native.lastIndexOf('/');
    folder_ = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
    name_ = native.mid(slash + 1);
    if (name_.isEmpty() || name_ == "." || name_ == "..") {
        fail(SafeWriteStep::CreateTemp, EISDIR);
        return false;
    }

    if (const int e = injected(SafeWriteStep::OpenFolder)) {
        fail(SafeWriteStep::OpenFolder, e);
        return false;
    }
    dirFd_ = ::open(folder_.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        fail(SafeWriteStep::OpenFolder, errno);
        return false;
    }

    struct stat st {};
    const bool exists = ::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !options_.replace) {
        fail(SafeWriteStep::Exists, EEXIST);
        return false;
    }
    if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        fail(SafeWriteStep::NotRegular, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        return false;
    }

    if (const int e = injected(SafeWriteStep::CreateTemp)) {
        fail(SafeWriteStep::CreateTemp, e);
        return false;
    }
    const QByteArray prefix = '.' + namePrefix(name_) + '.';
    removeStaleTemps(prefix);
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        char number[16];
        std::snprintf(number, sizeof number, "%08x", nextTempNumber());
        const QByteArray temp = prefix + number + ".tmp";
        const int fd = ::openat(dirFd_, temp.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = temp;
            // The lock belongs to the open file, which a second descriptor keeps open after
            // the checked close of fd_ until the rename.
            static_cast<void>(::flock(fd_, LOCK_EX | LOCK_NB));
            lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
            break;
        }
        if (errno != EEXIST && errno != EINTR) {
            fail(SafeWriteStep::CreateTemp, errno);
            return false;
        }
    }
    if (fd_ < 0) {
        fail(SafeWriteStep::CreateTemp, EEXIST);
        return false;
    }
    if (options_.keepMode && exists && S_ISREG(st.st_mode))
        static_cast<void>(::fchmod(fd_, st.st_mode & 07777));  // FAT keeps no modes
    return true;
}

bool SafeWriter::write(QByteArrayView bytes)
{
    if (fd_ < 0) {
        if (!error_.failed())
            error_ = {SafeWriteStep::Write, EBADF};
        return false;
    }
    const char* data = bytes.data();
    auto left = static_cast<size_t>(bytes.size());
    bool interrupted = false;
    while (left > 0) {
        const ssize_t n = writeOnce(fd_, data, left, &interrupted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(SafeWriteStep::Write, errno);
            return false;
        }
        if (n == 0) {  // no progress: treated as a full disk
            fail(SafeWriteStep::Write, ENOSPC);
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        written_ += n;
    }
    return true;
}

bool SafeWriter::finish()
{
    if (fd_ < 0) {
        if (!error_.failed())
            error_ = {SafeWriteStep::Close, EBADF};
        return false;
    }
    if (options_.sync) {
        int e = injected(SafeWriteStep::Sync);
        if (!e && ::fdatasync(fd_) != 0)
            e = errno;
        if (e) {
            fail(SafeWriteStep::Sync, e);
            return false;
        }
    }
    int e = injected(SafeWriteStep::Close);
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR; only a real error counts.
    if (::close(fd) != 0 && errno != EINTR && !e)
        e = errno;
    if (e) {
        fail(SafeWriteStep::Close, e);
        return false;
    }
    return true;
}

bool SafeWriter::commit()
{
    if (fd_ >= 0 && !finish())
        return false;
    if (temp_.isEmpty()) {
        if (!error_.failed())
            error_ = {SafeWriteStep::Close, EBADF};
        return false;
    }
    if (!rename())
        return false;
    temp_.clear();
    committed_ = true;

    if (options_.sync) {
        int e = injected(SafeWriteStep::SyncFolder);
        // A folder that cannot be read cannot be flushed; that is no failure of the write.
        const int folderFd = e ? -1 : ::openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) {
            if (::fsync(folderFd) != 0 && errno != EINVAL && errno != EROFS)
                e = errno;
            ::close(folderFd);
        }
        if (e) {
            error_ = {SafeWriteStep::SyncFolder, e};
            discard();
            return false;
        }
    }
    discard();  // closes the folder
    return true;
}

bool SafeWriter::rename()
{
    if (const int e = injected(SafeWriteStep::Rename)) {
        fail(SafeWriteStep::Rename, e);
        return false;
    }
    if (options_.replace) {
        // Looked at again just before the rename: a device or FIFO put there meanwhile stays.
        struct stat st {};
        if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            fail(SafeWriteStep::NotRegular, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
            return false;
        }
        if (::renameat(dirFd_, temp_.constData(), dirFd_, name_.constData()) != 0) {
            fail(SafeWriteStep::Rename, errno);
            return false;
        }
        return true;
    }
    const SafeWriteFaults* f = g_faults.load(std::memory_order_acquire);
    int rc = -1;
    if (f && f->noReplaceRefused)
        errno = EINVAL;
    else
        rc = ::renameat2(dirFd_, temp_.constData(), dirFd_, name_.constData(), RENAME_NOREPLACE);
    if (rc == 0)
        return true;
    if (errno == EEXIST) {
        fail(SafeWriteStep::Exists, EEXIST);
        return false;
    }
    if (!refusedByFilesystem(errno)) {
        fail(SafeWriteStep::Rename, errno);
        return false;
    }
    // The filesystem has no no-replace rename: a hard link fails just as surely on an existing
    // name; the temporary name is then removed.
    if (f && f->linkRefused)
        errno = EPERM;
    else
        rc = ::linkat(dirFd_, temp_.constData(), dirFd_, name_.constData(), 0);
    if (rc == 0) {
        ::unlinkat(dirFd_, temp_.constData(), 0);
        return true;
    }
    if (errno == EEXIST) {
        fail(SafeWriteStep::Exists, EEXIST);
        return false;
    }
    if (errno != EPERM && errno != EMLINK && !refusedByFilesystem(errno)) {
        fail(SafeWriteStep::Rename, errno);
        return false;
    }
    // Neither (FAT without the no-replace rename): look, then rename. Only a file made in the
    // moment between the two can still be replaced.
    struct stat st {};
    if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        fail(SafeWriteStep::Exists, EEXIST);
        return false;
    }
    if (::renameat(dirFd_, temp_.constData(), dirFd_, name_.constData()) != 0) {
        fail(SafeWriteStep::Rename, errno);
        return false;
    }
    return true;
}

// Removes the temporary files of this target that no writer holds: names of the writer's own
// form (the prefix, 8 hex digits, ".tmp"), regular files, whose lock can be taken at once.
void SafeWriter::removeStaleTemps(const QByteArray& prefix) const
{
    const int listFd = ::openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const QByteArray rest = name.mid(prefix.size());
        if (!name.startsWith(prefix) || rest.size() != 12 || !rest.endsWith(".tmp"))
            continue;
        bool hex = true;
        for (qsizetype i = 0; i < 8 && hex; ++i)
            hex = std::isxdigit(static_cast<unsigned char>(rest[i])) != 0;
        if (!hex)
            continue;
        const int fd = ::openat(dirFd_, name.constData(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd_, name.constData(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

void SafeWriter::cancel()
{
    if (fd_ >= 0 || !temp_.isEmpty())
        error_ = {SafeWriteStep::Cancelled, ECANCELED};
    discard();
}

void SafeWriter::fail(SafeWriteStep step, int error)
{
    error_ = {step, error};
    discard();
}

void SafeWriter::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        if (dirFd_ >= 0)
            ::unlinkat(dirFd_, temp_.constData(), 0);
        temp_.clear();
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    if (dirFd_ >= 0) {
        ::close(dirFd_);
        dirFd_ = -1;
    }
}

SafeWriteError SafeWriteFile(const QString& target, QByteArrayView bytes,
                             const SafeWriteOptions& options)
{
    SafeWriter writer;
    if (writer.open(target, options) && writer.write(bytes))
        writer.commit();
    return writer.error();
}

void SetSafeWriteFaultsForTesting(const SafeWriteFaults* faults)
{
    g_faults.store(faults, std::memory_order_release);
}

bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray src = QFile::encodeName(from), dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!refusedByFilesystem(errno))
        return false;
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
