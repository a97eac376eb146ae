#pragma once
// The viewer's keys: one table that the main window's key handling, the keys shown beside the
// items of the video context menu and the keys named in the transport buttons' tooltips all
// read, so that what is shown is what works.
#include <QKeySequence>
#include <QString>

#include <vector>

namespace ravir {

// Keys that are no command of their own (command ids are positive).
namespace key_action {
inline constexpr int kFullScreen = -1;    // F: full screen on or off
inline constexpr int kFrameBack = -2;     // Left: one frame back
inline constexpr int kFrameForward = -3;  // Right: one frame forward
inline constexpr int kEscape = -4;        // Esc: leave full screen, else zoom mode
}  // namespace key_action

struct KeyBinding {
    int key = 0;        // Qt::Key
    bool ctrl = false;  // with the Control key
    int command = 0;    // a command id or a key_action value
};

// Every key of the window, in the order docs/manual.md ("Keys") lists them.
const std::vector<KeyBinding>& KeyTable();

// The command of a key press (other modifiers than Control are ignored); 0 when the key has none.
int CommandForKey(int key, Qt::KeyboardModifiers modifiers);

// The key of a command (the first one in the table), empty when it has none.
QKeySequence KeyForCommand(int command);

// The key's name for a tooltip ("Space", "Ctrl+O"); empty when the command has none.
QString KeyNameForCommand(int command);

}  // namespace ravir
