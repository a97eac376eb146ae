// The start-up trace: a line per step, once, and only when RAVIR_TRACE_STARTUP=1 asks for it.
#include "shell/startup_trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace ravir {
namespace {

// Runs the steps in a child process (the switch is read once per process) with the variable set
// to value (nullptr: unset), and returns what the child wrote to stderr.
std::string traceOf(const char* value, std::initializer_list<StartupStep> steps)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        if (value)
            ::setenv("RAVIR_TRACE_STARTUP", value, 1);
        else
            ::unsetenv("RAVIR_TRACE_STARTUP");
        for (const StartupStep step : steps)
            TraceStartup(step);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

size_t countOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(StartupTraceTest, WritesOnlyWhenAskedFor)
{
    const struct {
        const char* value;
        bool written;
    } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"yes", false}, {"1", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        const std::string out =
            traceOf(c.value, {StartupStep::MainEntered, StartupStep::WindowShown});
        if (!c.written) {
            EXPECT_EQ(out, "");
            continue;
        }
        EXPECT_EQ(countOf(out, "\n"), 2u) << out;
        EXPECT_EQ(countOf(out, "ms  main entered\n"), 1u) << out;
        EXPECT_EQ(countOf(out, "ms  window shown\n"), 1u) << out;
        EXPECT_LT(out.find("main entered"), out.find("window shown"));
    }
}

TEST(StartupTraceTest, EachStepIsWrittenOnce)
{
    const std::string out = traceOf("1", {StartupStep::FirstFramePresented, StartupStep::CardScanned,
                                          StartupStep::FirstFramePresented, StartupStep::kCount});
    EXPECT_EQ(countOf(out, "first frame presented"), 1u) << out;
    EXPECT_EQ(countOf(out, "card scanned"), 1u) << out;
    EXPECT_EQ(countOf(out, "\n"), 2u) << out;
}

TEST(StartupTraceTest, LineHoldsTheTimeAndTheStep)
{
    EXPECT_EQ(StartupTraceLine(StartupStep::SkinLoaded, 12.34),
              QByteArray("ravir-viewer: startup     12.3 ms  skin loaded\n"));
    EXPECT_EQ(StartupTraceLine(StartupStep::FirstRecordingOpened, 2048),
              QByteArray("ravir-viewer: startup   2048.0 ms  first recording opened\n"));
    const StartupStep all[] = {StartupStep::MainEntered, StartupStep::ApplicationMade,
                               StartupStep::SkinLoaded, StartupStep::WindowShown,
                               StartupStep::EnginesReady, StartupStep::CardScanned,
                               StartupStep::FirstRecordingOpened,
                               StartupStep::FirstFramePresented};
    std::set<std::string> names;
    for (const StartupStep step : all)
        names.insert(StartupStepName(step));
    EXPECT_EQ(names.size(), std::size(all));
    EXPECT_EQ(names.count("?"), 0u);
}

TEST(StartupTraceTest, TimeCountsFromTheProcessStart)
{
    // This test program has been running for a while, and not for hours.
    const double ms = MillisecondsSinceProcessStart();
    EXPECT_GT(ms, 0.0);
    EXPECT_LT(ms, 3.6e6);
    EXPECT_GE(MillisecondsSinceProcessStart(), ms);
}

}  // namespace
}  // namespace ravir
