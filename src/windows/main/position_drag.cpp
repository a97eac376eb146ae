#include "windows/main/position_drag.h"

#include "playback/dual_surface.h"
#include "playback/player.h"
#include "windows/main/recording_session.h"

namespace ravir {

PositionDrag::PositionDrag(RecordingSession& session, DualVideoSurface& surface, Hooks hooks,
                           QObject* parent)
    : QObject(parent), session_(session), surface_(surface), hooks_(std::move(hooks))
{
}

void PositionDrag::slider(int phase, int position)
{
    // Nothing while a recording opens or a task runs (the slider is off then).
    if (!session_.ready() || session_.opening() || hooks_.blocked()) {
        held_ = false;
        session_.setThumbHeld(false);
        return;
    }
    Player& main = session_.main();
    switch (phase) {
    case 0:
        // Pressed: silent and held still while the thumb is held; a press off the thumb jumps.
        held_ = true;
        session_.setThumbHeld(true);
        playingBeforeDrag_ = session_.playing();
        main.SetVolume(0);
        session_.PauseIfPlaying();
        if (hooks_.jumped())
            session_.SeekTo(position);
        surface_.update();
        return;
    case 1:
        // Dragged: the views follow the thumb; the cameras are sought once it is let go.
        session_.ShowWhileDragging(position);
        return;
    default: {
        // Released: the seek (kept off the last frames), then play again if it played before.
        const bool playAgain = held_ ? playingBeforeDrag_ : session_.playing();
        held_ = false;
        session_.setThumbHeld(false);
        playingBeforeDrag_ = false;
        session_.PauseIfPlaying();
        session_.SeekTo(position);
        if (playAgain)
            Q_EMIT playRequested();
        surface_.update();
        session_.SetVolume(hooks_.volume());
        Q_EMIT released();
        return;
    }
    }
}

}  // namespace ravir
