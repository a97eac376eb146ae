// The catalogue scan of a card of 10,000 recordings (main and sub movies of a few kilobytes and
// their telemetry files, groups of up to 200): OpenSource in drive mode plus SelectDefaultItem,
// and CollectAllRecordings, each against `find CARD -type f` over the same card in the same run
// (warm cache). A cold variant drops the kernel's page, directory and inode caches first
// (/proc/sys/vm/drop_caches, as root); where that is not allowed it evicts the card's file pages
// (posix_fadvise DONTNEED, which leaves the directory and inode caches warm) and says so. Peak
// memory is reported as counters.
#include "catalogue/catalogue.h"
#include "samplecard/sample_card.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace ravir;

constexpr int kRecordings = 10000;

// The benchmark card of the given layout, made once and kept in $RAVIR_BENCH_DIR.
QString benchCard(int layout)
{
    const QString dir = qEnvironmentVariable("RAVIR_BENCH_DIR", QStringLiteral("/tmp/ravir-bench"));
    const QString root = QStringLiteral("%1/catalogue-card-%2-L%3").arg(dir).arg(kRecordings).arg(layout);
    const QString done = root + QStringLiteral("/.complete");
    if (QFileInfo::exists(done))
        return root;
    QDir(root).removeRecursively();
    samples::SampleCardOptions o;
    o.layout = layout;
    o.count = kRecordings;
    o.tiny = true;
    std::fprintf(stderr, "making %s ...\n", qPrintable(root));
    QString error;
    if (!samples::WriteSampleCard(root, o, nullptr, &error)) {
        std::fprintf(stderr, "cannot make the card: %s\n", qPrintable(error));
        return {};
    }
    QFile mark(done);
    if (!mark.open(QIODevice::WriteOnly))
        return {};
    return root;
}

long rssKiB(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long value = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0)
            value = std::strtol(line + n + 1, nullptr, 10);
    }
    std::fclose(f);
    return value;
}

void resetPeakRss()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Drops the caches: all of them where allowed, else the card's file pages.
void evictCard(const QString& root)
{
    static const bool dropAll = [] {
        ::sync();
        bool ok = false;
        if (FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
            ok = std::fputs("3", f) >= 0;
            ok = std::fclose(f) == 0 && ok;
        }
        std::fprintf(stderr, "cold runs: %s\n", ok ? "drop_caches (page, dentry and inode caches)"
                                                   : "posix_fadvise DONTNEED (file pages only)");
        return ok;
    }();
    if (dropAll) {
        if (FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
            std::fputs("3", f);
            std::fclose(f);
            return;
        }
    }
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

void BM_OpenSourceDrive(benchmark::State& state)
{
    const QString card = benchCard(static_cast<int>(state.range(0)));
    const bool cold = state.range(1) != 0;
    if (card.isEmpty()) {
        state.SkipWithError("no card");
        return;
    }
    size_t records = 0;
    int items = 0;
    resetPeakRss();
    const long before = rssKiB("VmRSS:");
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evictCard(card);
            state.ResumeTiming();
        }
        Catalogue c;
        c.OpenSource(card, SourceMode::Drive);
        c.SelectDefaultItem();
        records = c.currentRecords().size();
        items = c.tree().count();
        benchmark::DoNotOptimize(records);
    }
    state.counters["tree_items"] = items;
    state.counters["records"] = static_cast<double>(records);
    state.counters["peak_rss_KiB"] = static_cast<double>(rssKiB("VmHWM:"));
    state.counters["rss_growth_KiB"] = static_cast<double>(rssKiB("VmHWM:") - before);
}

void BM_CollectAllRecordings(benchmark::State& state)
{
    const QString card = benchCard(static_cast<int>(state.range(0)));
    const bool cold = state.range(1) != 0;
    if (card.isEmpty()) {
        state.SkipWithError("no card");
        return;
    }
    Catalogue c;
    c.OpenSource(card, SourceMode::Drive);
    c.SelectDefaultItem();
    size_t records = 0;
    resetPeakRss();
    const long before = rssKiB("VmRSS:");
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evictCard(card);
            state.ResumeTiming();
        }
        records = c.CollectAllRecordings().size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["peak_rss_KiB"] = static_cast<double>(rssKiB("VmHWM:"));
    state.counters["rss_growth_KiB"] = static_cast<double>(rssKiB("VmHWM:") - before);
}

// The peer: `find CARD -type f` (a directory walk with a stat per entry where d_type is not
// enough), output discarded.
void BM_FindTypeF(benchmark::State& state)
{
    const QString card = benchCard(static_cast<int>(state.range(0)));
    const bool cold = state.range(1) != 0;
    if (card.isEmpty()) {
        state.SkipWithError("no card");
        return;
    }
    const std::string command = "find '" + card.toStdString() + "' -type f > /dev/null";
    // The CPU time of the find processes (user + system), which a loaded machine does not
    // stretch the way it stretches wall time.
    const auto childCpu = [] {
        rusage u {};
        ::getrusage(RUSAGE_CHILDREN, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
               + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = childCpu();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evictCard(card);
            state.ResumeTiming();
        }
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("find failed");
            return;
        }
    }
    state.counters["find_cpu_ms"] =
        (childCpu() - cpuBefore) * 1e3 / static_cast<double>(state.iterations());
}

void Args(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"layout", "cold"});
    for (int layout : {0, 1})
        for (int cold : {0, 1})
            b->Args({layout, cold});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(1.0);
}

BENCHMARK(BM_OpenSourceDrive)->Apply(Args);
BENCHMARK(BM_CollectAllRecordings)->Apply(Args);
BENCHMARK(BM_FindTypeF)->Apply(Args);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.iterations > 0 && r.run_type == Run::RT_Iteration) {
                const double n = static_cast<double>(r.iterations);
                nsPerIteration[r.benchmark_name()] = r.real_accumulated_time * 1e9 / n;
                const auto findCpu = r.counters.find("find_cpu_ms");
                cpuNsPerIteration[r.benchmark_name()] = findCpu != r.counters.end()
                                                            ? findCpu->second.value * 1e6
                                                            : r.cpu_accumulated_time * 1e9 / n;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerIteration;
    std::map<std::string, double> cpuNsPerIteration;  // user + system time
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& t = reporter.nsPerIteration;
    const auto& cpu = reporter.cpuNsPerIteration;
    // A run's name is "NAME/layout:L/cold:C/..." (the rest depends on the options).
    const auto lookup = [](const std::map<std::string, double>& m, const std::string& prefix) {
        for (const auto& [name, value] : m) {
            if (name.rfind(prefix + "/", 0) == 0 && value > 0)
                return value;
        }
        return 0.0;
    };
    std::printf("\nratios against find CARD -type f (same card, same cache state; cpu: user +"
                " system time of all threads):\n");
    for (const char* layout : {"0", "1"}) {
        for (const char* cold : {"0", "1"}) {
            const std::string suffix = std::string("/layout:") + layout + "/cold:" + cold;
            const double peer = lookup(t, "BM_FindTypeF" + suffix);
            const double peerCpu = lookup(cpu, "BM_FindTypeF" + suffix);
            if (peer <= 0 || peerCpu <= 0)
                continue;
            for (const char* name : {"BM_OpenSourceDrive", "BM_CollectAllRecordings"}) {
                const double wall = lookup(t, name + suffix);
                const double used = lookup(cpu, name + suffix);
                if (wall > 0 && used > 0)
                    std::printf("%-24s layout %s %-4s: %8.1f ms, find %7.1f ms: wall %5.1f x find,"
                                " cpu %5.1f x find\n",
                                name, layout, *cold == '1' ? "cold" : "warm", wall / 1e6, peer / 1e6,
                                wall / peer, used / peerCpu);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
