#pragma once
// The fuzz input as a file: an anonymous in-memory file reachable by a path, closed when the
// object goes out of scope. Lets the file-based readers see exactly the fuzz bytes.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

class MemoryFile {
public:
    MemoryFile(const char* name, const uint8_t* data, size_t size)
        : fd_(::memfd_create(name, MFD_CLOEXEC))
    {
        size_t done = 0;
        while (fd_ >= 0 && done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
    }
    ~MemoryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }

private:
    int fd_;
};
