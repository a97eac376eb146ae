// LoadTelemetryFile of a full 2760-record telemetry file, against a plain in-memory copy of the
// same bytes (the floor for anything that looks at every byte once) and against reading the file
// into memory. Prints the ratios at the end.
#include "container/telemetry.h"
#include "samplecard/telemetry_block.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace ravir;

const QString& fullBlockFile()
{
    static const QString path = [] {
        const QString dir =
            qEnvironmentVariable("RAVIR_BENCH_DIR", QStringLiteral("/tmp/ravir-bench"));
        QDir().mkpath(dir);
        const QString p = dir + "/A___-240501-120000-001000D.ADA";
        samples::TelemetryOptions o;
        o.records = samples::kTelemetryMaxRecords;
        o.start = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
        o.impactAt = 900;
        o.manualAt = 1500;
        o.outageFrom = 2000;
        o.outageTo = 2100;
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        f.write(samples::MakeTelemetryBlock(o));
        return p;
    }();
    return path;
}

QByteArray fileBytes()
{
    QFile f(fullBlockFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void BM_LoadTelemetryFile(benchmark::State& state)
{
    TelemetryReader reader;
    for (auto _ : state) {
        if (!LoadTelemetryFile(reader, fullBlockFile())) {
            state.SkipWithError("LoadTelemetryFile failed");
            return;
        }
        benchmark::DoNotOptimize(reader.gps.data());
    }
    state.counters["records"] = static_cast<double>(reader.gps.size());
    state.SetBytesProcessed(state.iterations() * QFileInfo(fullBlockFile()).size());
}

void BM_DecodeInMemory(benchmark::State& state)
{
    const QByteArray bytes = fileBytes();
    TelemetryReader reader;
    for (auto _ : state) {
        DecodeTelemetryBytes(bytes, false, reader);
        benchmark::DoNotOptimize(reader.gps.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_CopyInMemory(benchmark::State& state)
{
    const QByteArray bytes = fileBytes();
    std::vector<char> copy(static_cast<size_t>(bytes.size()));
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.constData(), copy.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_ReadFileIntoMemory(benchmark::State& state)
{
    for (auto _ : state) {
        QFile f(fullBlockFile());
        if (!f.open(QIODevice::ReadOnly)) {
            state.SkipWithError("open failed");
            return;
        }
        const QByteArray bytes = f.readAll();
        benchmark::DoNotOptimize(bytes.constData());
    }
}

BENCHMARK(BM_LoadTelemetryFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeInMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyInMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFileIntoMemory)->Unit(benchmark::kMicrosecond);

// Keeps the time per iteration of every run for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.iterations > 0 && r.run_type == Run::RT_Iteration) {
                const auto n = static_cast<double>(r.iterations);
                wallNs[r.benchmark_name()] = r.real_accumulated_time * 1e9 / n;
                cpuNs[r.benchmark_name()] = r.cpu_accumulated_time * 1e9 / n;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> wallNs;  // per iteration
    std::map<std::string, double> cpuNs;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (fullBlockFile().isEmpty()) {
        std::fprintf(stderr, "bench_telemetry: cannot write the telemetry file\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* a, const char* b) {
        const auto& w = reporter.wallNs;
        const auto& c = reporter.cpuNs;
        if (w.count(a) && w.count(b) && w.at(b) > 0 && c.at(b) > 0)
            std::printf("%-22s / %-22s = %7.1f wall, %7.1f cpu\n", a, b, w.at(a) / w.at(b),
                        c.at(a) / c.at(b));
    };
    std::printf("\nratios of the time per file:\n");
    ratio("BM_LoadTelemetryFile", "BM_CopyInMemory");
    ratio("BM_DecodeInMemory", "BM_CopyInMemory");
    ratio("BM_LoadTelemetryFile", "BM_ReadFileIntoMemory");
    benchmark::Shutdown();
    return 0;
}
