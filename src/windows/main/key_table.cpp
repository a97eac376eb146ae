#include "windows/main/key_table.h"

#include "windows/main/main_layout.h"

namespace ravir {

const std::vector<KeyBinding>& KeyTable()
{
    static const std::vector<KeyBinding> table{
        {Qt::Key_Space, false, cmd::kPlay},
        {Qt::Key_Left, false, key_action::kFrameBack},
        {Qt::Key_Right, false, key_action::kFrameForward},
        {Qt::Key_Home, false, cmd::kStop},
        {Qt::Key_PageUp, false, cmd::kPrevious},
        {Qt::Key_PageDown, false, cmd::kNext},
        {Qt::Key_BracketLeft, false, cmd::kSlow},
        {Qt::Key_BracketRight, false, cmd::kFastForward},
        {Qt::Key_F, false, key_action::kFullScreen},
        {Qt::Key_Escape, false, key_action::kEscape},
        {Qt::Key_Z, false, cmd::kZoom},
        {Qt::Key_V, false, cmd::kSwitchDisplay},
        {Qt::Key_M, false, cmd::kSwitchMap},
        {Qt::Key_S, false, cmd::kStillImage},
        {Qt::Key_E, false, cmd::kEvidence},
        {Qt::Key_O, true, cmd::kBrowse},
        {Qt::Key_Delete, false, cmd::kDelete},
        {Qt::Key_J, true, cmd::kSaveJoined},
        {Qt::Key_E, true, cmd::kCsv},
        {Qt::Key_R, true, cmd::kReport},
    };
    return table;
}

int CommandForKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    for (const KeyBinding& b : KeyTable()) {
        if (b.key == key && b.ctrl == ctrl)
            return b.command;
    }
    return 0;
}

QKeySequence KeyForCommand(int command)
{
    for (const KeyBinding& b : KeyTable()) {
        if (b.command == command)
            return b.ctrl ? QKeySequence(Qt::CTRL | static_cast<Qt::Key>(b.key))
                          : QKeySequence(static_cast<Qt::Key>(b.key));
    }
    return {};
}

QString KeyNameForCommand(int command)
{
    return KeyForCommand(command).toString(QKeySequence::PortableText);
}

}  // namespace ravir
