#include "container/box_tree_writer.h"
#include "shell/regular_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ravir {

namespace {

constexpr uint64_t kPiece = 32ull << 20;

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool sameIdentity(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

bool BoxTreeWriter::stopped()
{
    if (!stop || !stop->load())
        return false;
    fault_ = Fault::Stopped;
    error_ = QStringLiteral("stopped");
    return true;
}

bool BoxTreeWriter::failInput(Fault fault, const QString& path, const QString& text)
{
    fault_ = fault;
    input_ = path;
    error_ = QStringLiteral("%1: %2").arg(path, text);
    return false;
}

bool BoxTreeWriter::failOutput(int error)
{
    fault_ = Fault::Output;
    error_ = errnoText(error);
    return false;
}

bool BoxTreeWriter::writeAll(int fd, const void* data, size_t length)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, p, length);
        if (n < 0 && errno == EINTR) {
            if (stopped())
                return false;
            continue;
        }
        if (n <= 0)
            return failOutput(n < 0 ? errno : ENOSPC);
        p += n;
        length -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

// Copies length bytes at offset of the source to the output's current position: from the held
// descriptor of that source, or from the file opened by path (never blocking on a FIFO).
bool BoxTreeWriter::copyRange(int out, const QString& sourcePath, uint64_t offset, uint64_t length)
{
    if (sources) {
        for (const WriteSource& s : *sources) {
            if (s.path != sourcePath)
                continue;
            struct stat now {};
            if (::fstat(s.fd, &now) != 0 || !sameIdentity(now, s.identity))
                return failInput(Fault::InputChanged, sourcePath,
                                 QStringLiteral("the file changed while it was being joined"));
            return copyFrom(s.fd, out, sourcePath, offset, length);
        }
        return failInput(Fault::Input, sourcePath, QStringLiteral("not an input of this join"));
    }
    const RegularFile in = OpenRegularFile(sourcePath);
    if (!in.ok())
        return failInput(Fault::Input, sourcePath, in.why());
    return copyFrom(in.fd.get(), out, sourcePath, offset, length);
}

bool BoxTreeWriter::copyFrom(int in, int out, const QString& sourcePath, uint64_t offset, uint64_t length)
{
    struct stat st {};
    if (::fstat(in, &st) != 0 || static_cast<uint64_t>(st.st_size) < offset + length)
        return failInput(Fault::Input, sourcePath, QStringLiteral("shorter than its boxes say"));
    bool kernelCopy = true;
    std::vector<uint8_t> buffer;
    auto inOff = static_cast<off_t>(offset);
    uint64_t left = length;
    while (left > 0) {
        if (stopped())
            return false;
        const size_t piece = static_cast<size_t>(std::min(left, kPiece));
        ssize_t n;
        if (kernelCopy) {
            n = ::copy_file_range(in, &inOff, out, nullptr, piece, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                          || errno == EBADF || errno == EPERM)) {
                kernelCopy = false;
                continue;
            }
            if (n > 0)
                written_ += static_cast<uint64_t>(n);
        } else {
            if (buffer.empty())
                buffer.resize(static_cast<size_t>(std::min<uint64_t>(kPiece, std::max<uint64_t>(length, 1))));
            n = ::pread(in, buffer.data(), std::min(piece, buffer.size()), inOff);
            if (n > 0) {
                inOff += n;
                if (!writeAll(out, buffer.data(), static_cast<size_t>(n)))
                    return false;
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return failInput(Fault::Input, sourcePath, QStringLiteral("ended early"));
        if (n < 0)
            return errno == ENOSPC || errno == EDQUOT || errno == EFBIG || !kernelCopy
                ? failOutput(errno)
                : failInput(Fault::Input, sourcePath, errnoText(errno));
        left -= static_cast<uint64_t>(n);
        if (progress)
            progress(written_);
    }
    return true;
}

bool BoxTreeWriter::writeLeaf(const BoxNode& node, int fd)
{
    if (node.payloadLoaded)
        return node.payload.empty() || writeAll(fd, node.payload.data(), node.payload.size());
    uint64_t total = node.originalSize;
    for (const BoxNode* more : node.appended)
        total += more->originalSize;
    if (total != node.size) {
        fault_ = Fault::Output;
        error_ = QStringLiteral("box sizes do not add up");
        return false;
    }
    if (node.originalSize > 0 && !copyRange(fd, node.sourcePath, node.sourceOffset, node.originalSize))
        return false;
    for (const BoxNode* more : node.appended) {
        if (more->originalSize > 0 && !copyRange(fd, more->sourcePath, more->sourceOffset, more->originalSize))
            return false;
    }
    return true;
}

bool BoxTreeWriter::write(const BoxNode& node, int fd)
{
    const bool isRoot = node.type[0] == '\0' && node.depth == 0;
    if (!isRoot) {
        uint8_t head[16];
        const uint64_t size = BoxSize(node);
        const bool large = BoxHeaderSize(node) == 16;
        WriteBE32(head, large ? 1 : static_cast<uint32_t>(size));
        std::memcpy(head + 4, node.type.data(), 4);
        if (large)
            WriteBE64(head + 8, size);
        if (!writeAll(fd, head, large ? 16 : 8))
            return false;
    }
    if (node.isLeaf && node.children.empty())
        return writeLeaf(node, fd);
    for (const BoxNode& child : node.children) {
        if (!write(child, fd))
            return false;
    }
    return node.trailerSize == 0 || copyRange(fd, node.sourcePath, node.trailerOffset, node.trailerSize);
}

bool WriteBoxTree(const BoxNode& node, int fd, std::atomic<bool>* stop)
{
    BoxTreeWriter writer;
    writer.stop = stop;
    return writer.write(node, fd);
}

}  // namespace ravir
