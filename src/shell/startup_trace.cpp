#include "shell/startup_trace.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace ravir {
namespace {

// The process's start in CLOCK_BOOTTIME nanoseconds: field 22 of /proc/self/stat, in clock ticks
// since boot. -1 when it cannot be read.
long long processStartNs()
{
    FILE* f = std::fopen("/proc/self/stat", "re");
    if (!f)
        return -1;
    char buffer[1024];
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = 0;
    // The command name (field 2) is in parentheses and may hold spaces: count from its end.
    const char* p = std::strrchr(buffer, ')');
    if (!p)
        return -1;
    int field = 2;
    while (*p && field < 22) {
        if (*p++ == ' ')
            ++field;
    }
    char* end = nullptr;
    const unsigned long long ticks = std::strtoull(p, &end, 10);
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    if (end == p || perSecond <= 0)
        return -1;
    return static_cast<long long>(ticks) * (1000000000LL / perSecond);
}

std::array<std::atomic<bool>, static_cast<size_t>(StartupStep::kCount)> g_reached{};

}  // namespace

bool StartupTraceEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("RAVIR_TRACE_STARTUP");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

const char* StartupStepName(StartupStep step)
{
    switch (step) {
    case StartupStep::MainEntered:
        return "main entered";
    case StartupStep::ApplicationMade:
        return "application made";
    case StartupStep::SkinLoaded:
        return "skin loaded";
    case StartupStep::WindowShown:
        return "window shown";
    case StartupStep::EnginesReady:
        return "engines ready";
    case StartupStep::CardScanned:
        return "card scanned";
    case StartupStep::FirstRecordingOpened:
        return "first recording opened";
    case StartupStep::FirstFramePresented:
        return "first frame presented";
    case StartupStep::kCount:
        break;
    }
    return "?";
}

double MillisecondsSinceProcessStart()
{
    static const long long start = processStartNs();
    timespec now {};
    if (start < 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const long long nowNs = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return static_cast<double>(nowNs - start) / 1e6;
}

QByteArray StartupTraceLine(StartupStep step, double ms)
{
    char line[128];
    std::snprintf(line, sizeof line, "ravir-viewer: startup %8.1f ms  %s\n", ms, StartupStepName(step));
    return QByteArray(line);
}

void TraceStartup(StartupStep step)
{
    if (!StartupTraceEnabled() || step >= StartupStep::kCount)
        return;
    if (g_reached[static_cast<size_t>(step)].exchange(true))
        return;
    const QByteArray line = StartupTraceLine(step, MillisecondsSinceProcessStart());
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

}  // namespace ravir
