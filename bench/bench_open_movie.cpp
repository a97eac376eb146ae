// OpenMovieFile of a one-minute 1080p recording and of a sparse file beyond 4 GiB, against
// libavformat's avformat_open_input + avformat_find_stream_info on the same files.
// Counters: peak_rss_kib is the growth of the resident set's high-water mark during the run.
#include "bench_data.h"

#include <benchmark/benchmark.h>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using namespace ravir;

const QString& minute()
{
    static const QString path = bench::minuteRecording(0);
    return path;
}
const QString& sparse()
{
    static const QString path = minute().isEmpty() ? QString() : bench::sparseBeyond4GiB(minute());
    return path;
}

template <class Fn>
void measure(benchmark::State& state, const QString& path, Fn fn)
{
    if (path.isEmpty()) {
        state.SkipWithError("no input file");
        return;
    }
    fn();  // warm the page cache
    bench::resetPeakRss();
    const long before = bench::rssKiB("VmRSS:");
    for (auto _ : state)
        fn();
    state.counters["peak_rss_kib"] = static_cast<double>(bench::rssKiB("VmHWM:") - before);
}

void openTree(benchmark::State& state, const QString& path)
{
    measure(state, path, [&] {
        auto movie = OpenMovieFile(path);
        if (!movie) {
            state.SkipWithError("OpenMovieFile failed");
            return;
        }
        benchmark::DoNotOptimize(GetTotalSamples(*movie));
        CloseMovieFile(movie);
    });
}

void openLibav(benchmark::State& state, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    measure(state, path, [&] {
        AVFormatContext* ctx = nullptr;
        if (avformat_open_input(&ctx, native.constData(), nullptr, nullptr) != 0) {
            state.SkipWithError("avformat_open_input failed");
            return;
        }
        avformat_find_stream_info(ctx, nullptr);
        benchmark::DoNotOptimize(ctx->nb_streams);
        avformat_close_input(&ctx);
    });
}

void probeDurations(benchmark::State& state, const QString& path)
{
    measure(state, path, [&] {
        benchmark::DoNotOptimize(ProbeMovieDurationMs(path));
        benchmark::DoNotOptimize(ProbeFrameDurationMs(path));
    });
}

void BM_OpenMovieFile_Minute1080p(benchmark::State& s) { openTree(s, minute()); }
void BM_Libavformat_Minute1080p(benchmark::State& s) { openLibav(s, minute()); }
void BM_DirectProbes_Minute1080p(benchmark::State& s) { probeDurations(s, minute()); }
void BM_OpenMovieFile_Sparse4GiB(benchmark::State& s) { openTree(s, sparse()); }
void BM_Libavformat_Sparse4GiB(benchmark::State& s) { openLibav(s, sparse()); }
void BM_DirectProbes_Sparse4GiB(benchmark::State& s) { probeDurations(s, sparse()); }

BENCHMARK(BM_OpenMovieFile_Minute1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libavformat_Minute1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectProbes_Minute1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenMovieFile_Sparse4GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libavformat_Sparse4GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectProbes_Sparse4GiB)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
