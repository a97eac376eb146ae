// The recording list CSV of a 2,000-recording card, against reading the same telemetry headers,
// box models and file sizes alone in the same run, so that the export's own cost (rows,
// encoding, writing) is visible. Prints the time per row of both and their ratio.
#include "bench_data.h"
#include "catalogue/catalogue.h"
#include "container/mp4_box.h"
#include "container/telemetry.h"
#include "exports/recording_csv.h"
#include "samplecard/sample_card.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

using namespace ravir;

constexpr int kRecordings = 2000;

// The card and its recordings, made once and kept in the benchmark folder.
const QStringList& recordings()
{
    static const QStringList list = [] {
        const QString root = bench::benchDir() + QStringLiteral("/csv-card-%1").arg(kRecordings);
        samples::SampleCardOptions options;
        options.count = kRecordings;
        options.tiny = true;
        const QString stamp = root + QStringLiteral("/.made");
        const QString fingerprint = samples::OptionsFingerprint(options);
        QFile stampFile(stamp);
        if (!(stampFile.open(QIODevice::ReadOnly) && stampFile.readAll() == fingerprint.toUtf8())) {
            std::fprintf(stderr, "making the %d-recording card in %s ...\n", kRecordings,
                         qPrintable(root));
            QDir(root).removeRecursively();
            QString error;
            if (!samples::WriteSampleCard(root, options, nullptr, &error)) {
                std::fprintf(stderr, "cannot make the card: %s\n", qPrintable(error));
                return QStringList();
            }
            QFile out(stamp);
            if (out.open(QIODevice::WriteOnly))
                out.write(fingerprint.toUtf8());
        }
        Catalogue catalogue;
        catalogue.OpenSource(root, SourceMode::Drive);
        QStringList paths;
        for (const RecordingRecord& r : catalogue.CollectAllRecordings())
            paths << r.path;
        std::fprintf(stderr, "%lld recordings on the card\n", static_cast<long long>(paths.size()));
        return paths;
    }();
    return list;
}

// Wall and CPU nanoseconds per row of the last run of each benchmark, for the ratios printed at
// the end (the machine is shared, so the CPU time is the steadier figure).
struct PerRow {
    double wallNs = 0;
    double cpuNs = 0;
};
PerRow g_export;
PerRow g_read;

double cpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <class Fn>
void perRow(benchmark::State& state, PerRow& perRowOut, Fn fn)
{
    const QStringList& list = recordings();
    if (list.isEmpty()) {
        state.SkipWithError("no card");
        return;
    }
    fn(list);  // warm the page cache
    double wallNs = 0;
    double cpuNs = 0;
    long long rows = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuNow();
        fn(list);
        cpuNs += cpuNow() - cpuStart;
        wallNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                      .count();
        rows += list.size();
    }
    if (rows > 0)
        perRowOut = PerRow{wallNs / static_cast<double>(rows), cpuNs / static_cast<double>(rows)};
    state.counters["us_per_row"] = perRowOut.wallNs / 1000.0;
    state.counters["cpu_us_per_row"] = perRowOut.cpuNs / 1000.0;
    state.SetItemsProcessed(rows);
}

void exportCsv(benchmark::State& state, CsvEncoding encoding, PerRow& result)
{
    QTemporaryDir out;
    CsvExportOptions options;
    options.folder = out.path();
    options.encoding = encoding;
    options.rtcColumn = true;
    options.confirmOverwrite = [](const QString&) { return true; };
    perRow(state, result, [&](const QStringList& list) {
        const CsvExportResult r = ExportRecordingCsv(list, options);
        if (r.status != CsvExportStatus::Written)
            state.SkipWithError("export failed");
        benchmark::DoNotOptimize(r.rows);
    });
}

void BM_CsvExport_Cp932(benchmark::State& state)
{
    exportCsv(state, CsvEncoding::Cp932, g_export);
}

void BM_CsvExport_Utf8(benchmark::State& state)
{
    PerRow ignored;
    exportCsv(state, CsvEncoding::Utf8, ignored);
}

// The peer: the same reads without rows, encoding or writing.
void BM_ReadHeadersAndBoxModels(benchmark::State& state)
{
    perRow(state, g_read, [&](const QStringList& list) {
        for (const QString& path : list) {
            TelemetryHeader header;
            benchmark::DoNotOptimize(ReadTelemetryHeader(TelemetryPathOf(path), header));
            benchmark::DoNotOptimize(ProbeMovie(path));
            benchmark::DoNotOptimize(QFileInfo(path).size());
        }
    });
}

BENCHMARK(BM_CsvExport_Cp932)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvExport_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHeadersAndBoxModels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_export.wallNs > 0 && g_read.wallNs > 0 && g_read.cpuNs > 0) {
        std::printf("CSV export (CP932): %.1f us/row wall, %.1f us/row CPU\n"
                    "headers + box models alone: %.1f us/row wall, %.1f us/row CPU\n"
                    "ratio export / reads alone: %.2f wall, %.2f CPU\n",
                    g_export.wallNs / 1000.0, g_export.cpuNs / 1000.0, g_read.wallNs / 1000.0,
                    g_read.cpuNs / 1000.0, g_export.wallNs / g_read.wallNs,
                    g_export.cpuNs / g_read.cpuNs);
    }
    return 0;
}
