// Fuzz target of the joined save's table merge: the bytes become a movie (through memfd) that is
// joined with itself, laid out and written to /dev/null. Every table of a damaged movie must be
// refused or merged without a read outside its payload.
#include "container/movie_join.h"

#include <QString>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = ::memfd_create("fuzz_join", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    {
        ravir::JoinSession join;
        if (ravir::StartJoin(join, path) && ravir::AddToJoin(join, path)) {
            const uint64_t total = ravir::PrepareJoinedTree(join);
            if (total > 0 && total < (64u << 20)) {
                const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
                if (sink >= 0) {
                    ravir::WriteBoxTree(join.accumulator->root, sink);
                    ::close(sink);
                }
            }
        }
        ravir::TelemetryHolder holder;
        ravir::ReadTelemetryHolderBytes(data, size, holder);
        ravir::JoinTelemetry(holder, holder);
        (void)ravir::TelemetryFileBytes(holder);
    }
    ::close(fd);
    return 0;
}
