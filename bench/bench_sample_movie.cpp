// The sample movie writer against its peer, the ffmpeg program encoding its own test source with
// the same encoder settings: the difference is the cost of drawing the frames with their
// frame-number band, piping them to ffmpeg and rewriting the container into the recorder's box
// order. Also the small sample card, which the tests make once per build tree.
#include "samplecard/sample_card.h"
#include "samplecard/sample_movie.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kSeconds = 5.0;

void BM_WriteSampleMovie_720p_5s(benchmark::State& state)
{
    QTemporaryDir dir;
    ravir::samples::SampleMovieOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.seconds = kSeconds;
    o.telemetryBlock = QByteArray("QVXDAT") + QByteArray(42, ' ');
    for (auto _ : state) {
        QString error;
        if (!ravir::samples::WriteSampleMovie(dir.filePath("m.MOV"), o, &error))
            state.SkipWithError(qPrintable(error));
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds * 30.0, benchmark::Counter::kIsRate);
}

void BM_FfmpegTestSource_720p_5s(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString size = QStringLiteral("%1x%2").arg(kWidth).arg(kHeight);
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                 QStringLiteral("testsrc2=size=%1:rate=30:duration=%2").arg(size).arg(kSeconds), "-f",
                 "lavfi", "-i", QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(kSeconds),
                 "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-threads", "2",
                 "-g", "30", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "64k", "-ac", "2", "-f",
                 "mov", dir.filePath("peer.mov")});
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            state.SkipWithError("ffmpeg failed");
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds * 30.0, benchmark::Counter::kIsRate);
}

void BM_WriteSmallSampleCard(benchmark::State& state)
{
    QTemporaryDir dir;
    int n = 0;
    for (auto _ : state) {
        QString error;
        const QString root = dir.filePath(QString::number(n++));
        if (!ravir::samples::WriteSampleCard(root, ravir::samples::SmallCardOptions(), nullptr, &error))
            state.SkipWithError(qPrintable(error));
        state.PauseTiming();
        QDir(root).removeRecursively();
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_WriteSampleMovie_720p_5s)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FfmpegTestSource_720p_5s)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WriteSmallSampleCard)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
