#include "windows/main/control_refresh.h"

namespace ravir {

namespace {

constexpr size_t at(int id) { return static_cast<size_t>(id - cmd::kFirst); }

}  // namespace

ControlEnables RefreshControls(const ControlState& s)
{
    ControlEnables e;
    auto& t = e.transport;
    if (s.opening) {
        return e;  // everything waits for the open
    }
    if (s.openFailed && !s.taskRunning) {
        t[at(cmd::kBrowse)] = true;
        t[at(cmd::kDelete)] = s.openError && s.sourceMode != 3;
        e.titleBar = e.browser = e.infoPanel = true;
        return e;
    }
    if (s.nearEndBlocked && !s.taskRunning) {
        // The last frames of a playing recording: nothing until it has ended.
        e.titleBar = e.browser = e.infoPanel = true;
        return e;
    }
    e.titleBar = e.browser = e.infoPanel = !s.taskRunning;
    t[at(cmd::kBrowse)] = !s.taskRunning;
    t[at(cmd::kCsv)] = s.csvAvailable && s.sourceMode == 1 && !s.taskRunning;
    const bool listEmpty = !s.sourceOpen || s.rows <= 0;
    if (listEmpty) {
        t[at(cmd::kStop)] = s.taskRunning;  // stops the task
        return e;
    }
    using Main = ControlState::Main;
    const bool running = s.main != Main::ClosedOrStopped;
    const bool single = s.rows == 1;
    t[at(cmd::kStop)] = running || s.taskRunning;
    t[at(cmd::kPrevious)] = !single && s.currentIndex != 0;
    t[at(cmd::kNext)] = !single && s.currentIndex != s.rows - 1;
    t[at(cmd::kPlay)] = s.main == Main::Playing || s.telemetryLoaded;
    t[at(cmd::kSlow)] = s.main == Main::Playing && s.rateCode != -2 && s.rateCode != -4;
    t[at(cmd::kFastForward)] = s.main == Main::Playing && s.rateCode != 2 && s.rateCode != 4;
    t[at(cmd::kStillImage)] = s.telemetryLoaded;
    t[at(cmd::kSaveJoined)] = s.sourceMode == 1;
    t[at(cmd::kZoom)] = s.telemetryLoaded;
    t[at(cmd::kDelete)] = s.sourceMode != 3;
    t[at(cmd::kSettings)] = true;
    t[at(cmd::kSwitchMap)] = true;
    if (s.taskRunning) {
        // One task at a time; only its stop stays usable.
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = i == at(cmd::kStop);
    }
    return e;
}

bool CommandEnabled(const ControlState& s, int id)
{
    // The previous and next recording may be asked for while one opens (their keys are pressed
    // in a row): the press is kept and carried out, and only the last choice opens.
    if (s.opening && !s.taskRunning && (id == cmd::kPrevious || id == cmd::kNext)) {
        ControlState settled = s;
        settled.opening = false;
        return RefreshControls(settled).transport[at(id)];
    }
    const ControlEnables e = RefreshControls(s);
    if (id >= cmd::kFirst && id < cmd::kFirst + kTransportButtonCount)
        return e.transport[at(id)];
    switch (id) {
    case cmd::kClose:
    case cmd::kMaximise:
    case cmd::kMinimise:
    case cmd::kThumbnail:
        return e.titleBar;
    case cmd::kAspect:
    case cmd::kSwitchDisplay:
    case cmd::kReport:
    case cmd::kEvidence:
        return s.telemetryLoaded && !s.opening && !s.taskRunning && !s.nearEndBlocked &&
               !s.openFailed;
    default:
        return false;
    }
}

}  // namespace ravir
