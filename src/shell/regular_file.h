#pragma once
// Opening and reading a user's file without ever being held by it.
//
// Files on a card are opened with O_NONBLOCK (a FIFO named like a recording has no writer and
// would otherwise hold the caller for ever) and kept only when the opened descriptor is a
// regular file; the check is made on the descriptor, so a name swapped between a check and the
// open cannot slip through. Reads retry on EINTR and fail on a short read.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

namespace ravir {

// A descriptor owned by its holder and closed when the holder goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// A regular file opened for reading, or why it could not be.
struct RegularFile {
    UniqueFd fd;
    struct stat st {};
    int error = 0;            // errno of the failed open or fstat; 0 otherwise
    bool notRegular = false;  // opened, but a FIFO, a device, a folder, ...

    bool ok() const { return fd.valid(); }
    bool missing() const { return error == ENOENT; }
    // Empty when ok; else "not a regular file" or the system's text for the error.
    QString why() const;
};

// path relative to dirFd (AT_FDCWD for a path of the process's own).
RegularFile OpenRegularFileAt(int dirFd, const char* name);
RegularFile OpenRegularFile(const QString& path);

// Reads exactly length bytes at offset. False on an error (*error = errno) or a short read
// (*error = 0).
bool PreadAll(int fd, void* out, size_t length, uint64_t offset, int* error = nullptr);

// The system's text for an errno value.
QString ErrnoText(int error);

}  // namespace ravir
