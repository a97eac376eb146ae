#pragma once
// The start-up trace: with RAVIR_TRACE_STARTUP=1 in the environment, the viewer writes one line
// to stderr for each step of its start, the first time the step is reached:
//
//   ravir-viewer: startup    412.3 ms  window shown
//
// The time counts from the start of the process (as the kernel recorded it, to the clock tick,
// so the first line already holds what loading the program's libraries cost). Without the
// variable (or with any other value) nothing is written and a step costs one relaxed load.
#include <QByteArray>

namespace ravir {

// The steps, in the order a normal start reaches them.
enum class StartupStep {
    MainEntered,
    ApplicationMade,
    SkinLoaded,
    WindowShown,
    EnginesReady,
    CardScanned,
    FirstRecordingOpened,
    FirstFramePresented,
    kCount
};

// Whether RAVIR_TRACE_STARTUP asks for the trace (read once).
bool StartupTraceEnabled();

// Marks the step as reached: the first time only, and only when the trace is on.
void TraceStartup(StartupStep step);

// The line TraceStartup writes for a step reached `ms` milliseconds after the process started.
QByteArray StartupTraceLine(StartupStep step, double ms);

// The step's name as the trace writes it ("window shown").
const char* StartupStepName(StartupStep step);

// Milliseconds from the start of this process to now; negative when /proc cannot tell.
double MillisecondsSinceProcessStart();

}  // namespace ravir
