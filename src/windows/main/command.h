#pragma once
// The main window's commands: what its buttons, keys, video menu, title bar and the desktop's
// media controls ask for. Every entry point hands one to CdedoradeDlg::DispatchCommand, which
// asks CommandEnabled (control_refresh.h) first. The values are the controls' ids: the 14
// transport buttons are kStop .. kSwitchMap in their order from the left.
#include <QMetaType>

namespace ravir {

enum class Command : int {
    kClose = 14,             // close the window (title bar)
    kMaximise = 15,          // maximise, or restore when maximised (title bar)
    kMinimise = 16,          // minimise (title bar)
    kThumbnail = 17,         // the file list's thumbnails on or off (title bar)
    kStop = 38000,           // back to frame 0, stopped; or stops the running task
    kPrevious = 38001,       // the previous recording
    kPlay = 38002,           // play, or pause while playing
    kSlow = 38003,           // one rate step slower
    kFastForward = 38004,    // one rate step faster
    kNext = 38005,           // the next recording
    kStillImage = 38006,     // the still image of the frame on screen
    kSaveJoined = 38007,     // the joined save of ticked recordings (list command)
    kZoom = 38008,           // zoom mode on the video surface
    kBrowse = 38009,         // open a card, folder or movie
    kDelete = 38010,         // delete ticked recordings (list command)
    kSettings = 38011,       // the settings dialog
    kCsv = 38012,            // the recording list as CSV (list command)
    kSwitchMap = 38013,      // the map window shown or hidden (last transport button)
    kAspect = 38200,         // keep the aspect ratio or stretch (full screen)
    kSwitchDisplay = 38201,  // main or sub camera on the surface (key V)
    kReport = 38202,         // the report picture (Ctrl+R)
    kEvidence = 38203,       // the evidence export (key E)
};

// The command of transport button i (0 .. 13), from the left.
constexpr Command TransportCommand(int i)
{
    return static_cast<Command>(static_cast<int>(Command::kStop) + i);
}

// The transport button of a command, -1 for the commands without one.
constexpr int TransportIndex(Command command)
{
    const int i = static_cast<int>(command) - static_cast<int>(Command::kStop);
    return i >= 0 && command <= Command::kSwitchMap ? i : -1;
}

}  // namespace ravir

Q_DECLARE_METATYPE(ravir::Command)
