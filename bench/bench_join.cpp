// The joined save of ten one-minute 1080p recordings (about 12 Mbit/s, audio, telemetry),
// against `cat` of the same files (the copy limit of this disk) and `ffmpeg -f concat -c copy`
// (the usual tool), in the same run. Wall time; peak_rss_kib is the growth of the resident
// set's high-water mark (for cat and ffmpeg: the child's maximum resident set).
#include "bench_data.h"
#include "catalogue/joined_save_paths.h"
#include "container/movie_join.h"
#include "samplecard/recorder_layout.h"

#include <QProcess>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

using namespace ravir;

constexpr int kRecordings = 10;

// One high-rate recording made by ffmpeg, in the recorder's box order, copied ten times into a
// card folder with telemetry files.
const QStringList& recordings()
{
    static const QStringList list = [] {
        QStringList out;
        const QString card = bench::benchDir() + QStringLiteral("/join-card");
        const QString movies = card + QStringLiteral("/Normal");
        const QString data = card + QStringLiteral("/_NData");
        QDir().mkpath(movies);
        QDir().mkpath(data);
        const QString master = bench::benchDir() + QStringLiteral("/minute-12mbit.MOV");
        if (QFileInfo(master).size() == 0) {
            const QString raw = bench::benchDir() + QStringLiteral("/minute-12mbit-raw.mov");
            std::fprintf(stderr, "making %s ...\n", qPrintable(master));
            QProcess ff;
            ff.start(QStringLiteral("ffmpeg"),
                     {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30",
                      "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", "60", "-vf",
                      "noise=alls=12:allf=t", "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "12M",
                      "-maxrate", "12M", "-bufsize", "6M", "-g", "30", "-pix_fmt", "yuv420p", "-c:a", "aac",
                      "-b:a", "128k", "-threads", "2", "-f", "mov", raw});
            ff.waitForFinished(-1);
            samples::TelemetryOptions t;
            t.records = 600;
            t.start = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
            QString error;
            if (!samples::RewriteRecorderLayout(raw, master, samples::MakeTelemetryBlock(t), &error)) {
                std::fprintf(stderr, "cannot make the recording: %s\n", qPrintable(error));
                return out;
            }
            QFile::remove(raw);
        }
        samples::TelemetryOptions t;
        t.records = 600;
        t.start = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
        const QByteArray block = samples::MakeTelemetryBlock(t);
        for (int i = 0; i < kRecordings; ++i) {
            const QString stem = QStringLiteral("A___-240501-12%1-%2")
                                     .arg(i, 2, 10, QLatin1Char('0'))
                                     .arg(1000 + i, 6, 10, QLatin1Char('0'));
            const QString movie = movies + "/" + stem + "M.MOV";
            if (QFileInfo(movie).size() != QFileInfo(master).size()) {
                QFile::remove(movie);
                QFile::copy(master, movie);
            }
            QFile ada(data + "/" + stem + "D.ADA");
            if (ada.open(QIODevice::WriteOnly | QIODevice::Truncate))
                ada.write(block);
            out << movie;
        }
        return out;
    }();
    return list;
}

uint64_t totalSize()
{
    uint64_t n = 0;
    for (const QString& f : recordings())
        n += static_cast<uint64_t>(QFileInfo(f).size());
    return n;
}

QString outputPath(const char* name) { return bench::benchDir() + "/join-out/" + name; }

// Runs a shell command; returns the child's maximum resident set in KiB.
long runChild(const QString& command)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.toLocal8Bit().constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

void report(benchmark::State& state, long peakKiB)
{
    state.counters["peak_rss_kib"] = static_cast<double>(peakKiB);
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(totalSize()) / 1e6 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void joinOnce(benchmark::State& state, bool sync)
{
    if (recordings().size() != kRecordings) {
        state.SkipWithError("no input recordings");
        return;
    }
    QDir().mkpath(bench::benchDir() + "/join-out/Normal");
    const QString out = bench::benchDir() + "/join-out/Normal/A___-240501-129999-009999M.MOV";
    bench::resetPeakRss();
    const long before = bench::rssKiB("VmRSS:");
    for (auto _ : state) {
        QFile::remove(out);
        JoinRequest request = MakeJoinRequest(recordings(), out);
        QFile::remove(request.telemetryPath);
        request.syncToDisk = sync;
        const JoinResult result = SaveJoinedMovie(request);
        if (!result.ok) {
            state.SkipWithError(qPrintable(result.detail));
            return;
        }
    }
    report(state, bench::rssKiB("VmHWM:") - before);
}

void BM_JoinedSave(benchmark::State& state) { joinOnce(state, false); }
void BM_JoinedSave_Synced(benchmark::State& state) { joinOnce(state, true); }

void BM_Cat(benchmark::State& state)
{
    QDir().mkpath(bench::benchDir() + "/join-out");
    QString command = QStringLiteral("cat");
    for (const QString& f : recordings())
        command += " '" + f + "'";
    command += " > '" + outputPath("cat.MOV") + "'";
    long peak = 0;
    for (auto _ : state)
        peak = std::max(peak, runChild(command));
    report(state, peak);
}

void BM_Cat_Synced(benchmark::State& state)
{
    QString command = QStringLiteral("cat");
    for (const QString& f : recordings())
        command += " '" + f + "'";
    command += " > '" + outputPath("cat.MOV") + "' && sync '" + outputPath("cat.MOV") + "'";
    long peak = 0;
    for (auto _ : state)
        peak = std::max(peak, runChild(command));
    report(state, peak);
}

void BM_FfmpegConcat(benchmark::State& state)
{
    const QString list = outputPath("concat.txt");
    QDir().mkpath(bench::benchDir() + "/join-out");
    QFile f(list);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (const QString& r : recordings())
            f.write(("file '" + r + "'\n").toLocal8Bit());
        f.close();
    }
    const QString command = QStringLiteral("ffmpeg -nostdin -v error -y -f concat -safe 0 -i '%1' -map 0 -c copy -f mov '%2'")
                                .arg(list, outputPath("ffmpeg.MOV"));
    long peak = 0;
    for (auto _ : state)
        peak = std::max(peak, runChild(command));
    report(state, peak);
}

BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_JoinedSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FfmpegConcat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Cat_Synced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_JoinedSave_Synced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
