#pragma once
// The previous and next commands over the file list's recordings. Every press counts while a
// recording opens: before its open delay has run out the list moves on at once (only the last
// row chosen is opened); once the movies are being opened the press is kept and carried out as
// soon as that open has come to an end (applyPending()).
#include <QObject>

#include <functional>

namespace ravir {

class RecordingSequencer;
class RecordingSession;

class RecordingSteps : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> blocked;  // the window is shut down or a task runs
        std::function<void()> rewind;   // previous on the first recording: back to its start
    };
    RecordingSteps(RecordingSession& session, RecordingSequencer& sequencer, Hooks hooks,
                   QObject* parent = nullptr);

    void go(int delta);     // the previous (-1) or next (+1) row of the file list
    // The presses kept meanwhile, carried out from the event loop (the open that just ended
    // finishes its own handling first).
    void applyPending();
    bool pending() const { return pending_ != 0; }
    void clear() { pending_ = 0; }

private:
    void step(int delta);   // the sequencer's step to the previous or next recording

    RecordingSession& session_;
    RecordingSequencer& sequencer_;
    Hooks hooks_;
    int pending_ = 0;
};

}  // namespace ravir
