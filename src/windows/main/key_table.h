#pragma once
// The viewer's keys: one table that the main window's key handling, the keys shown beside the
// items of the video context menu and the keys named in the transport buttons' tooltips all
// read, so that what is shown is what works.
#include "windows/main/command.h"

#include <QKeySequence>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace ravir {

// Keys that run no command of the window's command table.
enum class KeyAction {
    kFullScreen,    // F: full screen on or off
    kFrameBack,     // Left: one frame back
    kFrameForward,  // Right: one frame forward
    kEscape,        // Esc: leave full screen, else zoom mode
};

// What a key does: one of the window's commands, or one of the key-only actions.
using KeyEffect = std::variant<Command, KeyAction>;

struct KeyBinding {
    int key = 0;        // Qt::Key
    bool ctrl = false;  // with the Control key
    KeyEffect effect;
};

// Every key of the window, in the order docs/manual.md ("Keys") lists them.
const std::vector<KeyBinding>& KeyTable();

// What a key press does (other modifiers than Control are ignored); nothing when the key is
// none of the window's.
std::optional<KeyEffect> EffectOfKey(int key, Qt::KeyboardModifiers modifiers);

// The key of a command (the first one in the table), empty when it has none.
QKeySequence KeyForCommand(Command command);

// The key's name for a tooltip ("Space", "Ctrl+O"); empty when the command has none.
QString KeyNameForCommand(Command command);

}  // namespace ravir
