#include "windows/main/control_refresh.h"

namespace ravir {

namespace {

static_assert(TransportIndex(Command::kSwitchMap) == kTransportButtonCount - 1);

constexpr size_t at(Command command) { return static_cast<size_t>(TransportIndex(command)); }

}  // namespace

ControlEnables RefreshControls(const ControlState& s)
{
    ControlEnables e;
    auto& t = e.transport;
    if (s.opening) {
        return e;  // everything waits for the open
    }
    if (s.openFailed && !s.taskRunning) {
        t[at(Command::kBrowse)] = true;
        t[at(Command::kDelete)] = s.openError && s.sourceMode != 3;
        e.titleBar = e.browser = e.infoPanel = true;
        return e;
    }
    if (s.nearEndBlocked && !s.taskRunning) {
        // The last frames of a playing recording: nothing until it has ended.
        e.titleBar = e.browser = e.infoPanel = true;
        return e;
    }
    e.titleBar = e.browser = e.infoPanel = !s.taskRunning;
    t[at(Command::kBrowse)] = !s.taskRunning;
    t[at(Command::kCsv)] = s.csvAvailable && s.sourceMode == 1 && !s.taskRunning;
    const bool listEmpty = !s.sourceOpen || s.rows <= 0;
    if (listEmpty) {
        t[at(Command::kStop)] = s.taskRunning;  // stops the task
        return e;
    }
    using Main = ControlState::Main;
    const bool running = s.main != Main::ClosedOrStopped;
    const bool single = s.rows == 1;
    t[at(Command::kStop)] = running || s.taskRunning;
    t[at(Command::kPrevious)] = !single && s.currentIndex != 0;
    t[at(Command::kNext)] = !single && s.currentIndex != s.rows - 1;
    t[at(Command::kPlay)] = s.main == Main::Playing || s.telemetryLoaded;
    t[at(Command::kSlow)] = s.main == Main::Playing && s.rateCode != -2 && s.rateCode != -4;
    t[at(Command::kFastForward)] = s.main == Main::Playing && s.rateCode != 2 && s.rateCode != 4;
    t[at(Command::kStillImage)] = s.telemetryLoaded;
    t[at(Command::kSaveJoined)] = s.sourceMode == 1;
    t[at(Command::kZoom)] = s.telemetryLoaded;
    t[at(Command::kDelete)] = s.sourceMode != 3;
    t[at(Command::kSettings)] = true;
    t[at(Command::kSwitchMap)] = true;
    if (s.taskRunning) {
        // One task at a time; only its stop stays usable.
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = i == at(Command::kStop);
    }
    return e;
}

bool CommandEnabled(const ControlState& s, Command command)
{
    // The previous and next recording may be asked for while one opens (their keys are pressed
    // in a row): the press is kept and carried out, and only the last choice opens.
    if (s.opening && !s.taskRunning &&
        (command == Command::kPrevious || command == Command::kNext)) {
        ControlState settled = s;
        settled.opening = false;
        return RefreshControls(settled).transport[at(command)];
    }
    const ControlEnables e = RefreshControls(s);
    // No default: a command added to Command and not here is a compiler warning.
    switch (command) {
    case Command::kStop:
    case Command::kPrevious:
    case Command::kPlay:
    case Command::kSlow:
    case Command::kFastForward:
    case Command::kNext:
    case Command::kStillImage:
    case Command::kSaveJoined:
    case Command::kZoom:
    case Command::kBrowse:
    case Command::kDelete:
    case Command::kSettings:
    case Command::kCsv:
    case Command::kSwitchMap:
        return e.transport[at(command)];
    case Command::kClose:
    case Command::kMaximise:
    case Command::kMinimise:
    case Command::kThumbnail:
        return e.titleBar;
    case Command::kAspect:
    case Command::kSwitchDisplay:
    case Command::kReport:
    case Command::kEvidence:
        return s.telemetryLoaded && !s.opening && !s.taskRunning && !s.nearEndBlocked &&
               !s.openFailed;
    }
    return false;  // a value that names no command
}

}  // namespace ravir
