#pragma once
// Whole-process timing for the benchmarks that run a program (ravir, find, qtpaths6): each run
// forks, execs the program with stdin, stdout and stderr on /dev/null and waits for it; the
// wall time and the child's CPU time (user + system, its threads included) per run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ravir::bench {

struct PerRun {
    double wallMs = 0;
    double cpuMs = 0;
};

// The figures of every program timed so far, by label.
inline std::map<std::string, PerRun>& processRuns()
{
    static std::map<std::string, PerRun> runs;
    return runs;
}

// Runs argv once with its output on /dev/null; the child's user + system time in ms, or a
// negative value when it could not run or did not exit with 0.
inline double runProcessOnce(const std::vector<std::string>& argv)
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

// Times argv over the benchmark's iterations (after one untimed run that warms the page cache)
// and keeps the per-run figures under label.
inline void timeProgram(benchmark::State& state, const std::string& label,
                        const std::vector<std::string>& argv)
{
    if (argv.front().empty() || ::access(argv.front().c_str(), X_OK) != 0) {
        state.SkipWithError(("not found: " + label).c_str());
        return;
    }
    if (runProcessOnce(argv) < 0) {
        state.SkipWithError((label + " failed").c_str());
        return;
    }
    double cpuMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double used = runProcessOnce(argv);
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                      .count();
        if (used < 0) {
            state.SkipWithError((label + " failed").c_str());
            return;
        }
        cpuMs += used;
    }
    const double n = static_cast<double>(state.iterations());
    processRuns()[label] = PerRun{wallMs / n, cpuMs / n};
    state.counters["child_cpu_ms"] = cpuMs / n;
}

// Prints every timed program against the peer's figures (wall and CPU ratios).
inline void printAgainst(const std::string& peerLabel)
{
    const auto& runs = processRuns();
    const auto peer = runs.find(peerLabel);
    if (peer == runs.end() || peer->second.wallMs <= 0 || peer->second.cpuMs <= 0)
        return;
    std::printf("\nper run, against %s (%.1f ms wall, %.1f ms CPU):\n", peerLabel.c_str(),
                peer->second.wallMs, peer->second.cpuMs);
    for (const auto& [label, run] : runs) {
        if (label != peer->first)
            std::printf("%-28s %7.1f ms wall, %7.1f ms CPU: wall %5.2f x, CPU %5.2f x\n",
                        label.c_str(), run.wallMs, run.cpuMs, run.wallMs / peer->second.wallMs,
                        run.cpuMs / peer->second.cpuMs);
    }
}

}  // namespace ravir::bench
