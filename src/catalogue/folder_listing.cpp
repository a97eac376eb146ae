#include "catalogue/folder_listing.h"

#include "container/telemetry.h"
#include "shell/hidden_attribute.h"
#include "shell/regular_file.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

int openAt(int dirFd, const char* name, int flags)
{
    int fd;
    do {
        fd = ::openat(dirFd, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The DOS hidden attribute of an entry: 1 or 0, -1 where there is none or it cannot be read.
int dosHidden(int dirFd, const char* name)
{
    const UniqueFd fd(openAt(dirFd, name, kReadFlags));
    return DosHiddenAttribute(fd.get());
}

bool isAscii(const char* s, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
    }
    return true;
}

}  // namespace

void SkipList::add(SkippedEntry entry)
{
    QByteArray key = entry.path;
    key += '\0';
    key += QByteArray::number(static_cast<int>(entry.reason));
    if (keys_.insert(key).second)
        entries_.push_back(std::move(entry));
}

void SkipList::clear()
{
    entries_.clear();
    keys_.clear();
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QByteArray NativePath(const QString& folder, const QByteArray& nativeName)
{
    QByteArray path = QFile::encodeName(folder);
    if (!path.endsWith('/'))
        path += '/';
    return path + nativeName;
}

FolderListing ListFolder(const QString& folder, SkipList* skipped)
{
    FolderListing out;
    out.folder = folder;
    if (folder.isEmpty()) {
        out.error = ENOENT;
        return out;
    }
    const int fd = openAt(AT_FDCWD, QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.error = errno;
        return out;
    }
    struct stat self {};
    if (::fstat(fd, &self) != 0) {
        out.error = errno;
        ::close(fd);
        return out;
    }
    out.device = self.st_dev;
    out.inode = self.st_ino;
    // DOS attributes that can be read: on FAT, and on exFAT only where the kernel's driver
    // answers the FAT ioctls (asked once of the folder, not of every file).
    const bool dos = DosHiddenAttribute(fd) >= 0;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        out.error = errno;
        ::close(fd);
        return out;
    }
    const int dirFd = ::dirfd(dir);
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const char* raw = d->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        const size_t length = std::strlen(raw);
        bool isDir = d->d_type == DT_DIR;
        bool isRegular = d->d_type == DT_REG;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            struct stat st {};
            if (::fstatat(dirFd, raw, &st, 0) != 0) {
                if (skipped && raw[0] != '.')
                    skipped->add({NativePath(folder, QByteArray(raw, static_cast<qsizetype>(length))),
                                  SkipReason::BrokenLink, errno});
                continue;
            }
            isDir = S_ISDIR(st.st_mode);
            isRegular = S_ISREG(st.st_mode);
        }
        // Hidden entries: a folder may be another filesystem's mount point, so folders are
        // always asked; files only where the filesystem keeps DOS attributes.
        bool hidden = raw[0] == '.';
        if (dos || isDir) {
            const int dosMark = dosHidden(dirFd, raw);
            if (dosMark >= 0)
                hidden = dosMark == 1;
        }
        if (hidden)
            continue;
        FolderEntry entry;
        entry.nativeName = QByteArray(raw, static_cast<qsizetype>(length));
        if (isAscii(raw, length)) {
            entry.name = QString::fromLatin1(raw, static_cast<qsizetype>(length));
        } else {
            entry.name = QFile::decodeName(entry.nativeName);
            if (QFile::encodeName(entry.name) != entry.nativeName) {
                // Not valid UTF-8: no QString path reaches the entry again, so it is refused
                // by name rather than listed under a path that names another file.
                if (skipped)
                    skipped->add({NativePath(folder, entry.nativeName), SkipReason::UndecodableName, 0});
                continue;
            }
        }
        entry.isDir = isDir;
        entry.isRegular = isRegular;
        entry.isLink = d->d_type == DT_LNK;
        entry.facts = ParseFileName(entry.name);
        out.entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return out;
}

MovieProbe ProbeMovie(int dirFd, const char* name, bool withSize)
{
    MovieProbe probe;
    const UniqueFd fd(openAt(dirFd, name, kReadFlags));
    if (fd.get() < 0) {
        probe.error = errno;
        probe.result = errno == ENOENT || errno == ENOTDIR ? MovieProbe::Result::Missing
                                                           : MovieProbe::Result::Unreadable;
        return probe;
    }
    if (withSize) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) {
            probe.error = errno;
            probe.result = MovieProbe::Result::Unreadable;
            return probe;
        }
        if (!S_ISREG(st.st_mode)) {
            probe.result = MovieProbe::Result::NotRegular;
            return probe;
        }
        probe.size = static_cast<uint64_t>(st.st_size);
        probe.sized = true;
    }
    // O_NONBLOCK means nothing for a regular file, so the descriptor is read as it is; a pipe
    // or socket fails the positioned read at once.
    char head[260];
    if (probe.sized && probe.size < sizeof head) {
        probe.result = MovieProbe::Result::NotMp4;
        return probe;
    }
    int error = 0;
    if (!PreadAll(fd.get(), head, sizeof head, 0, &error)) {
        probe.error = error;
        probe.result = error == ESPIPE ? MovieProbe::Result::NotRegular
                       : error         ? MovieProbe::Result::Unreadable
                                       : MovieProbe::Result::NotMp4;
        if (probe.result != MovieProbe::Result::Unreadable)
            probe.error = 0;
        return probe;
    }
    probe.result = std::memcmp(head + 4, "ftyp", 4) == 0 ? MovieProbe::Result::Accepted
                                                         : MovieProbe::Result::NotMp4;
    return probe;
}

bool SkipOfProbe(const MovieProbe& probe, const QByteArray& path, SkippedEntry& out)
{
    switch (probe.result) {
    case MovieProbe::Result::Accepted:
    case MovieProbe::Result::Missing:
        return false;
    case MovieProbe::Result::NotMp4:
        out = {path, SkipReason::NotMp4, 0};
        return true;
    case MovieProbe::Result::NotRegular:
        out = {path, SkipReason::NotRegularFile, 0};
        return true;
    case MovieProbe::Result::Unreadable:
        out = {path, SkipReason::Unreadable, probe.error};
        return true;
    }
    return false;
}

CompanionProbe StatCompanion(int dirFd, const char* name)
{
    CompanionProbe probe;
    struct stat st {};
    if (dirFd == -1 || ::fstatat(dirFd, name, &st, 0) != 0) {
        const int error = dirFd == -1 ? ENOENT : errno;
        if (error != ENOENT && error != ENOTDIR) {
            probe.hasProblem = true;
            probe.problem = error == ELOOP ? SkipReason::BrokenLink : SkipReason::Unreadable;
            probe.error = error;
        }
        return probe;
    }
    if (!S_ISREG(st.st_mode)) {
        probe.hasProblem = !S_ISDIR(st.st_mode);
        probe.problem = SkipReason::NotRegularFile;
        return probe;
    }
    probe.present = true;
    probe.size = static_cast<uint64_t>(st.st_size);
    return probe;
}

CompanionProbe ProbeTelemetry(int dirFd, const char* name, bool readHeader, bool timeLapse)
{
    CompanionProbe probe;
    if (dirFd == -1)
        return probe;
    const UniqueFd fd(openAt(dirFd, name, kReadFlags));
    if (fd.get() < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            probe.hasProblem = true;
            probe.problem = errno == ELOOP ? SkipReason::BrokenLink : SkipReason::Unreadable;
            probe.error = errno;
        }
        return probe;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        probe.hasProblem = !S_ISDIR(st.st_mode);
        probe.problem = SkipReason::NotRegularFile;
        return probe;
    }
    probe.present = true;
    probe.size = static_cast<uint64_t>(st.st_size);
    if (readHeader) {
        TelemetryHeader header;
        if (ReadTelemetryHeaderFd(fd.get(), probe.size, timeLapse, header)) {
            probe.headerRead = true;
            probe.trigger = header.trigger;
        }
    }
    return probe;
}

QByteArray ReadTelemetryBytes(const QString& path, uint64_t limit)
{
    const RegularFile file = OpenRegularFile(path);
    if (!file.ok())
        return {};
    QByteArray bytes(static_cast<qsizetype>(std::min<uint64_t>(static_cast<uint64_t>(file.st.st_size), limit)),
                     Qt::Uninitialized);
    if (!PreadAll(file.fd.get(), bytes.data(), static_cast<size_t>(bytes.size()), 0))
        return {};
    return bytes;
}

bool IsReadableRegularFile(int dirFd, const char* name)
{
    return OpenRegularFileAt(dirFd, name).ok();
}

DirFds::~DirFds()
{
    for (const auto& [folder, fd] : fds_) {
        if (fd >= 0)
            ::close(fd);
    }
}

int DirFds::get(const QString& folder)
{
    const auto found = fds_.find(folder);
    if (found != fds_.end())
        return found->second;
    const int fd = openAt(AT_FDCWD, QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    fds_.emplace(folder, fd);
    return fd;
}

int DirFds::find(const QString& folder) const
{
    const auto found = fds_.find(folder);
    return found == fds_.end() ? -2 : found->second;
}

void ParallelFor(size_t count, const std::function<void(size_t)>& work)
{
    constexpr size_t kPerThread = 16;
    constexpr size_t kMaxThreads = 8;
    const size_t threads = std::min(kMaxThreads, count / kPerThread);
    if (threads <= 1) {
        for (size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            work(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& t : pool)
        t.join();
}

}  // namespace ravir
