// Whole-process time of `ravir scan CARD` and `ravir list CARD` on a card of 10,000 recordings
// (main and sub movies of a few kilobytes and their telemetry files, as bench_catalogue makes it
// and in the same place), against `find CARD -type f` over the same card in the same run, warm
// cache: what a script pays for one look at a full card, start-up and JSON output included.
// Each run forks and execs the program with its output on /dev/null; wall time and the child's
// CPU time (user + system, all threads). Nothing is asserted; the ratios are printed at the end.
#include "bench_process.h"
#include "samplecard/sample_card.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <string>

namespace {

using namespace ravir;
using ravir::bench::timeProgram;

constexpr int kRecordings = 10000;
const std::string kRavir = RAVIR_EXE;

// The card of bench_catalogue (layout 0), made once and kept in $RAVIR_BENCH_DIR.
std::string benchCard()
{
    static const std::string card = [] {
        const QString dir =
            qEnvironmentVariable("RAVIR_BENCH_DIR", QStringLiteral("/tmp/ravir-bench"));
        const QString root = QStringLiteral("%1/catalogue-card-%2-L0").arg(dir).arg(kRecordings);
        const QString done = root + QStringLiteral("/.complete");
        if (QFileInfo::exists(done))
            return root.toStdString();
        QDir(root).removeRecursively();
        samples::SampleCardOptions o;
        o.layout = 0;
        o.count = kRecordings;
        o.tiny = true;
        std::fprintf(stderr, "making %s ...\n", qPrintable(root));
        QString error;
        if (!samples::WriteSampleCard(root, o, nullptr, &error)) {
            std::fprintf(stderr, "cannot make the card: %s\n", qPrintable(error));
            return std::string();
        }
        QFile mark(done);
        if (!mark.open(QIODevice::WriteOnly))
            return std::string();
        return root.toStdString();
    }();
    return card;
}

void BM_FindTypeF(benchmark::State& state)
{
    const std::string find = QStandardPaths::findExecutable("find").toStdString();
    if (benchCard().empty())
        return state.SkipWithError("no card");
    timeProgram(state, "find CARD -type f", {find, benchCard(), "-type", "f"});
}
void BM_RavirScan(benchmark::State& state)
{
    if (benchCard().empty())
        return state.SkipWithError("no card");
    timeProgram(state, "ravir scan CARD", {kRavir, "scan", benchCard()});
}
void BM_RavirList(benchmark::State& state)
{
    if (benchCard().empty())
        return state.SkipWithError("no card");
    timeProgram(state, "ravir list CARD", {kRavir, "list", benchCard()});
}

BENCHMARK(BM_FindTypeF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_RavirScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_RavirList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ravir::bench::printAgainst("find CARD -type f");
    return 0;
}
