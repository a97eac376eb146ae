// Whole-process time of `ravir` commands that do no work (`--version`, `help`), against
// `qtpaths6 --version`, a Qt Core program of the same Qt, in the same run: what a script pays for
// every call of `ravir` before the command itself starts. Each iteration forks, execs the program
// with stdout and stderr on /dev/null and waits for it; wall time and the child's CPU time (user +
// system) per run. Also `ravir-decode --version` where it is built: the start of the part that
// `still` and `report` run in. Nothing is asserted; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <QStandardPaths>
#include <QString>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct PerRun {
    double wallMs = 0;
    double cpuMs = 0;
};
std::map<std::string, PerRun> g_runs;

// Runs argv once with its output on /dev/null; the child's user + system time in ms, or a
// negative value when it could not run or did not exit with 0.
double runOnce(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void timeProgram(benchmark::State& state, const std::string& label,
                 const std::vector<std::string>& argv)
{
    if (argv.front().empty() || ::access(argv.front().c_str(), X_OK) != 0) {
        state.SkipWithError(("not found: " + label).c_str());
        return;
    }
    if (runOnce(argv) < 0) {  // also loads the libraries into the page cache
        state.SkipWithError((label + " failed").c_str());
        return;
    }
    double cpuMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double used = runOnce(argv);
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                      .count();
        if (used < 0) {
            state.SkipWithError((label + " failed").c_str());
            return;
        }
        cpuMs += used;
    }
    const double n = static_cast<double>(state.iterations());
    g_runs[label] = PerRun{wallMs / n, cpuMs / n};
    state.counters["child_cpu_ms"] = cpuMs / n;
}

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
    const auto peer = g_runs.find("qtpaths6 --version");
    if (peer == g_runs.end() || peer->second.wallMs <= 0 || peer->second.cpuMs <= 0)
        return 0;
    std::printf("\nper run, against qtpaths6 --version (%.1f ms wall, %.1f ms CPU):\n",
                peer->second.wallMs, peer->second.cpuMs);
    for (const auto& [label, run] : g_runs) {
        if (label != peer->first)
            std::printf("%-24s %6.1f ms wall, %6.1f ms CPU: wall %4.2f x, CPU %4.2f x\n",
                        label.c_str(), run.wallMs, run.cpuMs, run.wallMs / peer->second.wallMs,
                        run.cpuMs / peer->second.cpuMs);
    }
    return 0;
}
