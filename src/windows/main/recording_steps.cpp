#include "windows/main/recording_steps.h"

#include "windows/main/recording_sequencer.h"
#include "windows/main/recording_session.h"

#include <utility>

namespace ravir {

RecordingSteps::RecordingSteps(RecordingSession& session, RecordingSequencer& sequencer,
                               Hooks hooks, QObject* parent)
    : QObject(parent), session_(session), sequencer_(sequencer), hooks_(std::move(hooks))
{
}

void RecordingSteps::go(int delta)
{
    if (hooks_.blocked() || !sequencer_.hasRecording())
        return;
    if (session_.opening()) {
        if (sequencer_.openDelayTimer().isActive())
            step(delta);
        else
            pending_ += delta;
        return;
    }
    if (session_.nearEndBlocked())
        return;
    session_.PauseIfPlaying();
    step(delta);
}

void RecordingSteps::step(int delta)
{
    if (delta > 0) {
        // The next row, after the last one the next folder, after the last folder the current
        // recording again, stopped.
        sequencer_.nextCommand();
    } else if (!sequencer_.previousCommand() && !session_.opening()) {
        hooks_.rewind();
    }
}

void RecordingSteps::applyPending()
{
    if (pending_ == 0)
        return;
    QMetaObject::invokeMethod(this, [this] {
        int steps = std::exchange(pending_, 0);
        if (hooks_.blocked() || !sequencer_.hasRecording())
            return;
        session_.PauseIfPlaying();
        while (steps != 0) {
            const int one = steps > 0 ? 1 : -1;
            step(one);
            steps -= one;
        }
    }, Qt::QueuedConnection);
}

}  // namespace ravir
