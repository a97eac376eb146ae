// Fuzz target of the joined save's table merge: the bytes become a movie (through memfd) that is
// joined with itself, laid out and written to /dev/null. Every table of a damaged movie must be
// refused or merged without a read outside its payload.
#include "memory_file.h"

#include "container/movie_join.h"

#include <QString>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MemoryFile file{"fuzz_join", data, size};
    if (!file.ok())
        return 0;
    const QString path = file.path();
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
    return 0;
}
