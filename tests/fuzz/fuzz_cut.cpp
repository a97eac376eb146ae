// Fuzz target of the evidence cut: the bytes become a movie (through memfd) whose frames are cut
// twice, a short span inside it and the whole of it, into a temporary folder. Damaged sample
// tables must be refused or cut without a read outside the file; a cut reported as written must
// read back with the span's frame count and, unless ffprobe refuses the input itself, open in
// ffprobe (which must be installed: its absence is a failure, not a skip).
#include "ffprobe_check.h"
#include "memory_file.h"

#include "container/movie_cut.h"

#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::requireFfprobe("fuzz_cut");
    const MemoryFile file{"fuzz_cut", data, size};
    if (!file.ok())
        return 0;
    const QString path = file.path();
    const ravir::MovieFrames frames = ravir::ReadMovieFrames(path);
    const auto count = static_cast<int64_t>(frames.startSeconds.size());
    if (!frames.ok || count == 0)
        return 0;
    const int64_t from = static_cast<int64_t>(size % static_cast<size_t>(count));
    const std::pair<int64_t, int64_t> spans[] = {{from, std::min(count - 1, from + 7)}, {0, count - 1}};
    for (const auto& [first, last] : spans) {
        ravir::MovieCutRequest request;
        request.input = path;
        request.output = QString::fromStdString(fuzz::outputFolder("fuzz_cut") + "/cut.MOV");
        request.fromFrame = first;
        request.toFrame = last;
        request.syncToDisk = false;
        const ravir::MovieCutResult result = ravir::CutMovie(request);
        const std::string out = request.output.toStdString();
        if (result.ok) {
            const ravir::MovieFrames back = ravir::ReadMovieFrames(request.output);
            if (!back.ok || static_cast<int64_t>(back.startSeconds.size()) != last - first + 1) {
                std::fprintf(stderr, "fuzz_cut: frames %lld..%lld cut, %zu read back\n", static_cast<long long>(first),
                             static_cast<long long>(last), back.startSeconds.size());
                std::abort();
            }
            const int status = fuzz::ffprobe(out);
            const std::string input = "/proc/" + std::to_string(::getpid()) + path.toStdString().substr(10);
            if (status != 0 && fuzz::ffprobe(input) == 0) {
                std::fprintf(stderr, "fuzz_cut: the cut reported success but ffprobe fails on the output (%d)\n",
                             status);
                std::abort();
            }
        }
        ::unlink(out.c_str());
    }
    return 0;
}
