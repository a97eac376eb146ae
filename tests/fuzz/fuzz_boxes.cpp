// Fuzz target of the box reader: the bytes become a file (in memory, through memfd), which is
// opened as a movie; then every accessor and both direct probes run over it.
#include "container/mp4_box.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void walk(const ravir::BoxNode& node, uint64_t& sum)
{
    sum += ravir::BoxSize(node) + ravir::BoxHeaderSize(node);
    for (const ravir::BoxNode& child : node.children)
        walk(child, sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = ::memfd_create("fuzz_boxes", MFD_CLOEXEC);
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

    QString error;
    auto movie = ravir::OpenMovieFile(path, {}, &error);
    if (movie) {
        uint64_t sum = 0;
        walk(movie->root, sum);
        (void)ravir::GetPictureSize(*movie);
        (void)ravir::GetTotalSamples(*movie);
        (void)ravir::GetFrameRate(*movie);
        (void)ravir::GetMovieDurationMs(*movie);
        for (const ravir::BoxNode* n : movie->tkhd)
            (void)ravir::ReadTkhdDuration(*n);
        for (const ravir::BoxNode* n : movie->mdhd)
            (void)ravir::ReadMvhdTimes(*n);
        ravir::CloseMovieFile(movie);
    }
    (void)ravir::IsMp4File(path);
    (void)ravir::ProbeMovieDurationMs(path);
    (void)ravir::ProbeFrameDurationMs(path);
    (void)ravir::ProbeMovie(path);
    ::close(fd);
    return 0;
}
