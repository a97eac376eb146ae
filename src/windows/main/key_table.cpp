#include "windows/main/key_table.h"

namespace ravir {

const std::vector<KeyBinding>& KeyTable()
{
    static const std::vector<KeyBinding> table{
        {Qt::Key_Space, false, Command::kPlay},
        {Qt::Key_Left, false, KeyAction::kFrameBack},
        {Qt::Key_Right, false, KeyAction::kFrameForward},
        {Qt::Key_Home, false, Command::kStop},
        {Qt::Key_PageUp, false, Command::kPrevious},
        {Qt::Key_PageDown, false, Command::kNext},
        {Qt::Key_BracketLeft, false, Command::kSlow},
        {Qt::Key_BracketRight, false, Command::kFastForward},
        {Qt::Key_F, false, KeyAction::kFullScreen},
        {Qt::Key_Escape, false, KeyAction::kEscape},
        {Qt::Key_Z, false, Command::kZoom},
        {Qt::Key_V, false, Command::kSwitchDisplay},
        {Qt::Key_M, false, Command::kSwitchMap},
        {Qt::Key_S, false, Command::kStillImage},
        {Qt::Key_E, false, Command::kEvidence},
        {Qt::Key_O, true, Command::kBrowse},
        {Qt::Key_Delete, false, Command::kDelete},
        {Qt::Key_J, true, Command::kSaveJoined},
        {Qt::Key_E, true, Command::kCsv},
        {Qt::Key_R, true, Command::kReport},
    };
    return table;
}

std::optional<KeyEffect> EffectOfKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    for (const KeyBinding& b : KeyTable()) {
        if (b.key == key && b.ctrl == ctrl)
            return b.effect;
    }
    return std::nullopt;
}

QKeySequence KeyForCommand(Command command)
{
    for (const KeyBinding& b : KeyTable()) {
        if (b.effect == KeyEffect{command})
            return b.ctrl ? QKeySequence(Qt::CTRL | static_cast<Qt::Key>(b.key))
                          : QKeySequence(static_cast<Qt::Key>(b.key));
    }
    return {};
}

QString KeyNameForCommand(Command command)
{
    return KeyForCommand(command).toString(QKeySequence::PortableText);
}

}  // namespace ravir
