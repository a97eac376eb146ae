// Fuzz target of the box reader: the bytes become a file (in memory, through memfd), which is
// opened as a movie; then every accessor and both direct probes run over it.
#include "memory_file.h"

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
    const MemoryFile file{"fuzz_boxes", data, size};
    if (!file.ok())
        return 0;
    const QString path = file.path();

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
    return 0;
}
