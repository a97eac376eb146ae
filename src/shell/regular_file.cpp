#include "shell/regular_file.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ravir {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

QString RegularFile::why() const
{
    if (ok())
        return {};
    return notRegular ? QStringLiteral("not a regular file") : ErrnoText(error);
}

RegularFile OpenRegularFileAt(int dirFd, const char* name)
{
    RegularFile file;
    int fd;
    do {
        fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        file.error = errno;
        return file;
    }
    UniqueFd held(fd);
    if (::fstat(fd, &file.st) != 0) {
        file.error = errno;
        return file;
    }
    if (!S_ISREG(file.st.st_mode) || file.st.st_size < 0) {
        file.notRegular = true;
        return file;
    }
    file.fd = std::move(held);
    return file;
}

RegularFile OpenRegularFile(const QString& path)
{
    if (path.isEmpty()) {
        RegularFile file;
        file.error = ENOENT;
        return file;
    }
    return OpenRegularFileAt(AT_FDCWD, QFile::encodeName(path).constData());
}

bool PreadAll(int fd, void* out, size_t length, uint64_t offset, int* error)
{
    auto* p = static_cast<char*>(out);
    while (length > 0) {
        const ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (error)
                *error = n < 0 ? errno : 0;
            return false;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

QString ErrnoText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

}  // namespace ravir
