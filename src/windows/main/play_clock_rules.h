#pragma once
// The rules of the play clock and of seeking near the end of a recording, as plain functions of
// frame numbers: the 30 ms clock and the seeks of the main window follow them.
#include <algorithm>

namespace ravir {

// Frames before the end in which a playing recording takes no command: 20 at x1 and slower, 40
// at x2, 80 at x4.
inline int NearEndMargin(int rateCode)
{
    return rateCode == 4 ? 80 : (rateCode == 2 ? 40 : 20);
}

// A playing (or otherwise not stopped and not paused) main camera within the margin of the end
// blocks the transport; a frame count of 0 never blocks.
inline bool NearEndBlocked(bool stoppedOrPaused, int frame, long long frameCount, int rateCode)
{
    if (stoppedOrPaused || frameCount <= 0)
        return false;
    return static_cast<long long>(frame) + NearEndMargin(rateCode) >= frameCount;
}

// The frame a seek to target sends the engine: never within the margin of the end (sliderMax is
// the frame count once the recording is set up), never below 0.
inline int EngineSeekFrame(int target, int sliderMax, int rateCode)
{
    return std::max(0, std::min(target, sliderMax - NearEndMargin(rateCode)));
}

// The frame the views show for a target: the last frame at most, the slider's minimum at least.
inline int ViewFrame(int target, int sliderMin, int sliderMax)
{
    return std::max(std::min(target, sliderMax - 1), sliderMin);
}

// After a seek the views keep the target until the engine's frame comes within the window
// (pending - d, pending + d), d = frame count / 1000 + 30; true when frame may be shown.
inline bool PendingWindowAccepts(int frame, int pending, long long frameCount)
{
    if (pending < 0)
        return true;
    const long long d = frameCount / 1000 + 30;
    return frame > pending - d && frame < pending + d;
}

// The stall watch: a playing frame that has not moved for more than this many ticks (about a
// second) is nudged: pause, seek one frame back, play.
constexpr int kStallTicks = 30;

// After a pause the engine may still show a frame or two: for this many ticks (about a third of
// a second) the views follow the engine's frame until it rests.
constexpr int kSettleTicks = 10;

}  // namespace ravir
