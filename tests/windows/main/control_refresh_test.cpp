// The control refresh: which buttons a user can press, state by state.
#include "windows/main/control_refresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ravir;

namespace {

// The enabled transport buttons as a string of 14 '0'/'1', button 38000 first.
std::string pattern(const ControlEnables& e)
{
    std::string out;
    for (bool on : e.transport)
        out += on ? '1' : '0';
    return out;
}

ControlState cardWithRows(int rows, int current)
{
    ControlState s;
    s.sourceOpen = true;
    s.rows = rows;
    s.currentIndex = current;
    s.sourceMode = 1;
    s.csvAvailable = true;
    return s;
}

}  // namespace

TEST(ControlRefresh, TransportButtonsFollowTheListAndTheMainCamera)
{
    using Main = ControlState::Main;
    //                                         first prev play slow fast next still join zoom browse delete settings csv map
    ControlState empty = cardWithRows(0, -1);
    empty.csvAvailable = false;
    EXPECT_EQ(pattern(RefreshControls(empty)), "00000000010000");

    ControlState stopped = cardWithRows(3, 1);
    stopped.telemetryLoaded = true;
    EXPECT_EQ(pattern(RefreshControls(stopped)), "01100111111111");
    stopped.telemetryLoaded = false;  // not ready: no play, still or zoom
    EXPECT_EQ(pattern(RefreshControls(stopped)), "01000101011111");

    ControlState paused = cardWithRows(3, 0);  // first row: no previous
    paused.main = Main::Paused;
    paused.telemetryLoaded = true;
    EXPECT_EQ(pattern(RefreshControls(paused)), "10100111111111");

    ControlState playing = cardWithRows(3, 2);  // last row: no next
    playing.main = Main::Playing;
    playing.telemetryLoaded = true;
    playing.rateCode = 1;
    EXPECT_EQ(pattern(RefreshControls(playing)), "11111011111111");
    playing.rateCode = 4;  // fastest: no faster
    EXPECT_EQ(pattern(RefreshControls(playing)), "11110011111111");
    playing.rateCode = -2;  // slowest: no slower
    EXPECT_EQ(pattern(RefreshControls(playing)), "11101011111111");

    // One row: neither previous nor next. A folder source: no joined save, no CSV; a single
    // file: no delete either.
    ControlState single = cardWithRows(1, 0);
    single.sourceMode = 3;
    single.csvAvailable = false;
    single.telemetryLoaded = true;
    EXPECT_EQ(pattern(RefreshControls(single)), "00100010110101");
    ControlState folder = cardWithRows(2, 0);
    folder.sourceMode = 2;
    EXPECT_EQ(pattern(RefreshControls(folder)), "00000100011101");
}

TEST(ControlRefresh, OpeningFailuresTasksAndTheLastFramesLockTheRightControls)
{
    ControlState s = cardWithRows(3, 1);
    s.telemetryLoaded = true;

    ControlState opening = s;
    opening.opening = true;
    ControlEnables e = RefreshControls(opening);
    EXPECT_EQ(pattern(e), "00000000000000");
    EXPECT_FALSE(e.titleBar || e.browser || e.infoPanel);

    ControlState failed = s;
    failed.openFailed = true;
    failed.openError = true;
    e = RefreshControls(failed);
    EXPECT_EQ(pattern(e), "00000000011000");  // browse and delete
    EXPECT_TRUE(e.titleBar && e.browser);
    failed.openError = false;  // too short: browse only
    EXPECT_EQ(pattern(RefreshControls(failed)), "00000000010000");

    ControlState nearEnd = s;
    nearEnd.main = ControlState::Main::Playing;
    nearEnd.nearEndBlocked = true;
    EXPECT_EQ(pattern(RefreshControls(nearEnd)), "00000000000000");

    // A task: only its stop button; the browser, the panel and the title bar wait.
    ControlState task = s;
    task.taskRunning = true;
    e = RefreshControls(task);
    EXPECT_EQ(pattern(e), "10000000000000");
    EXPECT_FALSE(e.titleBar || e.browser || e.infoPanel);
    task.rows = 0;  // a deletion that emptied the list still has its stop
    EXPECT_EQ(pattern(RefreshControls(task)), "10000000000000");
}

// The one table every entry point consults: each command, in each state, is allowed exactly
// when its control is usable (transport buttons, title bar), and the commands without a button
// only when the recording is ready and nothing holds the window.
TEST(ControlRefresh, EveryCommandFollowsItsControlInEveryState)
{
    using Main = ControlState::Main;
    std::vector<ControlState> states;
    for (int mode : {1, 2, 3})
        for (Main main : {Main::ClosedOrStopped, Main::Paused, Main::Playing})
            for (int flags = 0; flags < 32; ++flags) {
                ControlState s = cardWithRows(flags & 1 ? 1 : 3, 1 - (flags & 1));
                s.sourceMode = mode;
                s.csvAvailable = mode == 1;
                s.main = main;
                s.telemetryLoaded = flags & 2;
                s.taskRunning = flags & 4;
                s.opening = flags & 8;
                s.nearEndBlocked = flags & 16;
                states.push_back(s);
            }
    for (const ControlState& s : states) {
        const ControlEnables e = RefreshControls(s);
        ControlState settled = s;
        settled.opening = false;
        for (int i = 0; i < kTransportButtonCount; ++i) {
            const Command id = TransportCommand(i);
            // Previous and next are kept while a recording opens, as the list allows.
            const bool kept =
                s.opening && !s.taskRunning && (id == Command::kPrevious || id == Command::kNext);
            const ControlEnables& table = kept ? RefreshControls(settled) : e;
            EXPECT_EQ(CommandEnabled(s, id), table.transport[static_cast<size_t>(i)]) << i;
        }
        for (Command id : {Command::kClose, Command::kMaximise, Command::kMinimise, Command::kThumbnail})
            EXPECT_EQ(CommandEnabled(s, id), e.titleBar) << static_cast<int>(id);
        const bool free = s.telemetryLoaded && !s.opening && !s.taskRunning && !s.nearEndBlocked;
        for (Command id : {Command::kAspect, Command::kSwitchDisplay, Command::kReport, Command::kEvidence})
            EXPECT_EQ(CommandEnabled(s, id), free) << static_cast<int>(id);
        // An id of a skinned control that runs no command (the position slider's).
        EXPECT_FALSE(CommandEnabled(s, static_cast<Command>(38100)));
    }
    // The cases that went wrong from the keys: delete on a single file, the joined save and the
    // CSV export on a folder.
    ControlState single = cardWithRows(1, 0);
    single.sourceMode = 3;
    single.telemetryLoaded = true;
    EXPECT_FALSE(CommandEnabled(single, Command::kDelete));
    ControlState folder = cardWithRows(3, 0);
    folder.sourceMode = 2;
    folder.csvAvailable = true;
    EXPECT_FALSE(CommandEnabled(folder, Command::kSaveJoined));
    EXPECT_FALSE(CommandEnabled(folder, Command::kCsv));
}
