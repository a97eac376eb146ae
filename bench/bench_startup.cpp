// Whole-process time of `ravir` commands that do no work (`--version`, `help`), against
// `qtpaths6 --version`, a Qt Core program of the same Qt, in the same run: what a script pays for
// every call of `ravir` before the command itself starts. Each iteration forks, execs the program
// with stdout and stderr on /dev/null and waits for it; wall time and the child's CPU time (user +
// system) per run. Also `ravir-decode --version` where it is built: the start of the part that
// `still` and `report` run in. Nothing is asserted; the ratios are printed at the end.
#include "bench_process.h"

#include <QStandardPaths>
#include <QString>
#include <cstdio>
#include <string>

namespace {

using ravir::bench::timeProgram;

const std::string kRavir = RAVIR_EXE;
const std::string kDecode = RAVIR_DECODE_EXE;

void BM_QtpathsVersion(benchmark::State& state)
{
    const std::string qtpaths = QStandardPaths::findExecutable("qtpaths6").toStdString();
    timeProgram(state, "qtpaths6 --version", {qtpaths, "--version"});
}
void BM_RavirVersion(benchmark::State& state)
{
    timeProgram(state, "ravir --version", {kRavir, "--version"});
}
void BM_RavirHelp(benchmark::State& state) { timeProgram(state, "ravir help", {kRavir, "help"}); }
void BM_RavirDecodeVersion(benchmark::State& state)
{
    timeProgram(state, "ravir-decode --version", {kDecode, "--version"});
}

BENCHMARK(BM_QtpathsVersion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_RavirVersion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_RavirHelp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_RavirDecodeVersion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ravir::bench::printAgainst("qtpaths6 --version");
    return 0;
}
