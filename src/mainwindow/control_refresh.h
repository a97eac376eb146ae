#pragma once
// Which controls of the main window can be used, from the state of the source, the list, the
// main camera and the tasks. A pure function: the window applies its answer to the buttons after
// every change of state.
#include "mainwindow/main_layout.h"

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
    std::array<bool, kTransportButtonCount> transport{};  // index = command id - 38000
    bool titleBar = false;  // the four title-bar buttons
    bool browser = false;   // folder tree, list and the browser's buttons
    bool infoPanel = false; // the information panel and its buttons
};

ControlEnables RefreshControls(const ControlState& state);

}  // namespace ravir
