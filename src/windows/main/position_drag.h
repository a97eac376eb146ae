#pragma once
// The position slider's thumb: pressed, the picture silent and held still (a press off the
// thumb jumps there); dragged, the views follow the thumb; let go, both cameras are sought (kept
// off the last frames) and play goes on if it played before. Nothing while a recording opens or
// a task runs.
#include <QObject>

#include <functional>

namespace ravir {

class DualVideoSurface;
class RecordingSession;

class PositionDrag : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> blocked;  // a task runs or the window is shut down
        std::function<bool()> jumped;   // the press was off the thumb
        std::function<int()> volume;    // the volume to play at again
    };
    PositionDrag(RecordingSession& session, DualVideoSurface& surface, Hooks hooks,
                 QObject* parent = nullptr);

    void slider(int phase, int position);  // 0 pressed, 1 moving, 2 released

Q_SIGNALS:
    void playRequested();  // played before the press: play again
    void released();       // the drag is over: the controls follow

private:
    RecordingSession& session_;
    DualVideoSurface& surface_;
    Hooks hooks_;
    bool held_ = false;              // the thumb is held
    bool playingBeforeDrag_ = false;
};

}  // namespace ravir
