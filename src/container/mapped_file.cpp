#include "container/mapped_file.h"
#include "shell/regular_file.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ravir {

MappedFile::Window::~Window() { reset(); }

MappedFile::Window::Window(Window&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)),
      mappedLength_(std::exchange(other.mappedLength_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      offset_(std::exchange(other.offset_, 0))
{
}

MappedFile::Window& MappedFile::Window::operator=(Window&& other) noexcept
{
    if (this != &other) {
        reset();
        base_ = std::exchange(other.base_, nullptr);
        mappedLength_ = std::exchange(other.mappedLength_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        offset_ = std::exchange(other.offset_, 0);
    }
    return *this;
}

void MappedFile::Window::reset()
{
    if (base_ != nullptr)
        ::munmap(base_, mappedLength_);
    base_ = nullptr;
    mappedLength_ = 0;
    data_ = nullptr;
    size_ = 0;
    offset_ = 0;
}

MappedFile::~MappedFile() { close(); }

uint64_t MappedFile::granularity()
{
    static const uint64_t page = [] {
        const long p = ::sysconf(_SC_PAGESIZE);
        return p > 0 ? static_cast<uint64_t>(p) : uint64_t{4096};
    }();
    return page;
}

bool MappedFile::open(const QString& path)
{
    close();
    RegularFile file = OpenRegularFile(path);  // a FIFO never blocks
    if (!file.ok())
        return false;
    fd_ = file.fd.release();
    size_ = static_cast<uint64_t>(file.st.st_size);
    path_ = path;
    return true;
}

void MappedFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
    path_.clear();
}

MappedFile::Window MappedFile::map(uint64_t offset, uint64_t length) const
{
    Window w;
    if (fd_ < 0 || offset >= size_ || length == 0)
        return w;
    if (length > size_ - offset)
        length = size_ - offset;
    if (length > static_cast<uint64_t>(SIZE_MAX / 2))
        return w;
    const uint64_t start = offset - offset % granularity();
    const uint64_t adjust = offset - start;
    const auto mapLength = static_cast<size_t>(length + adjust);
    void* base = ::mmap(nullptr, mapLength, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(start));
    if (base == MAP_FAILED)
        return w;
    w.base_ = base;
    w.mappedLength_ = mapLength;
    w.data_ = static_cast<const uint8_t*>(base) + adjust;
    w.size_ = static_cast<size_t>(length);
    w.offset_ = offset;
    return w;
}

bool MappedFile::read(uint64_t offset, void* out, size_t length) const
{
    if (fd_ < 0 || offset > size_ || length > size_ - offset)
        return false;
    auto* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, dst + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace ravir
