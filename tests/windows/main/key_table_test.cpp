// The window's key table against its users: every row is the one its key press finds (no key
// shadowed by an earlier row), a command's key is the one shown in tooltips and the video menu,
// and every command a key or a menu item reaches may run when the window is free and waits
// while a task runs (only the stop stays).
#include "windows/main/control_refresh.h"
#include "windows/main/key_table.h"
#include "windows/main/movie_menu.h"
#include "playback/player.h"

#include <gtest/gtest.h>

#include <set>

using namespace ravir;

TEST(KeyTable, EveryKeyFindsItsRowAndEveryReachableCommandFollowsTheControlTable)
{
    std::set<Command> reachable;
    for (const KeyBinding& b : KeyTable()) {
        SCOPED_TRACE(QKeySequence(b.key).toString().toStdString() + (b.ctrl ? " with Ctrl" : ""));
        const Qt::KeyboardModifiers mods = b.ctrl ? Qt::ControlModifier : Qt::NoModifier;
        EXPECT_EQ(EffectOfKey(b.key, mods), b.effect);
        EXPECT_EQ(EffectOfKey(b.key, mods | Qt::ShiftModifier | Qt::AltModifier), b.effect);
        if (const Command* command = std::get_if<Command>(&b.effect)) {
            const QKeySequence expected = b.ctrl ? QKeySequence(Qt::CTRL | Qt::Key(b.key)) : QKeySequence(b.key);
            EXPECT_EQ(KeyForCommand(*command), expected);
            reachable.insert(*command);
        }
    }
    for (int state : {kNoMovie, kStopped, kPaused, kPlaying})
        for (bool fullScreen : {false, true})
            for (const MovieMenuItem& item : MovieMenuItems(state, 1, fullScreen, true))
                if (item.command)
                    reachable.insert(*item.command);

    ControlState free;  // a card of 3 recordings, the middle one playing, nothing else going on
    free.sourceOpen = true;
    free.rows = 3;
    free.currentIndex = 1;
    free.main = ControlState::Main::Playing;
    free.telemetryLoaded = true;
    free.sourceMode = 1;
    free.csvAvailable = true;
    ControlState busy = free;
    busy.taskRunning = true;
    for (Command command : reachable) {
        SCOPED_TRACE(static_cast<int>(command));
        EXPECT_TRUE(CommandEnabled(free, command));
        EXPECT_EQ(CommandEnabled(busy, command), command == Command::kStop);
    }
}
