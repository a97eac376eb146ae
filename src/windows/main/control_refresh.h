#pragma once
// Which controls of the main window can be used, from the state of the source, the list, the
// main camera and the tasks. A pure function: the window applies its answer to the buttons after
// every change of state.
#include "windows/main/command.h"
#include "windows/main/main_layout.h"

#include <array>

namespace ravir {

struct ControlState {
    bool sourceOpen = false;
    int rows = 0;              // rows of the file list
    int currentIndex = -1;     // the current recording's row, -1 none
    enum class Main { ClosedOrStopped, Paused, Playing } main = Main::ClosedOrStopped;
    bool telemetryLoaded = false;  // the current recording is ready (its telemetry loaded)
    int rateCode = 1;
    int sourceMode = 0;        // 1 card, 2 folder, 3 single file
    bool csvAvailable = false; // a card with recordings, no loss or empty export since
    bool opening = false;      // an open is in progress
    bool openFailed = false;   // the last open failed ...
    bool openError = false;    // ... because it could not be opened (not too short)
    bool nearEndBlocked = false;
    bool taskRunning = false;
};

struct ControlEnables {
    std::array<bool, kTransportButtonCount> transport{};  // index = TransportIndex(command)
    bool titleBar = false;  // the four title-bar buttons
    bool browser = false;   // folder tree, list and the browser's buttons
    bool infoPanel = false; // the information panel and its buttons
};

ControlEnables RefreshControls(const ControlState& state);

// Whether `command` may run now, from any entry point (its button, its key, the video
// context menu, the media controls of the desktop, the title bar): the transport commands as
// their buttons, the title-bar commands as the title bar, and the commands without a button
// (aspect, switch display, report, evidence) when the recording is ready and nothing else holds the
// window. The one table that every entry point consults. One exception: while a recording
// opens, previous and next are taken as the list allows (the press is kept for the open).
bool CommandEnabled(const ControlState& state, Command command);

}  // namespace ravir
