#pragma once
// One movie loaded into an mpv handle and followed through the handle's events: whether the load
// is under way, ready (its first picture decoded) or failed, and the exact seeks asked of it.
// Nothing here waits on libmpv unless asked to: start() and seek() queue their commands and
// return, the owner feeds every event of the handle to onEvent() and learns from its result when
// the movie became ready, failed or finished seeking. waitReady() and waitSeeks() are the bounded
// blocking waits for callers without an event loop (the command line, tests).
//
// Seeks go one at a time: a seek asked for while another is under way waits, and a newer one
// replaces it, so each finished seek is known by the one restart libmpv reports for it. Seeks
// asked for while the movie loads are made once it is ready. Shared by the camera players and
// the preview player.
#include <QString>
#include <optional>

struct mpv_event;

namespace ravir {

class MpvHandle;

class MovieLoad {
public:
    enum class Change { None, Ready, Failed, SeekDone };

    // Loads path paused. False when libmpv refused to queue the load; never waits for it.
    bool start(MpvHandle& mpv, const QString& path);
    // Stops the movie in the handle, if one was loaded, without waiting, and forgets it with its
    // seeks.
    void close(MpvHandle* mpv);
    // Feeds one event of the handle (the owner calls it from its event handler); returns what
    // the event changed. Issues a waiting seek when the one before it finished.
    Change onEvent(MpvHandle& mpv, const mpv_event& event);

    // Asks for a seek to seconds with libmpv's seek flags. False when no movie is loading or
    // loaded.
    bool seek(MpvHandle& mpv, double seconds, const QString& flags = QStringLiteral("absolute+exact"));
    // Gives up the seek under way (it never reported back): the waiting one, if any, is made
    // instead. SeekDone when nothing is left to do.
    Change abandonSeek(MpvHandle& mpv);

    // Bounded waits that handle the events on the calling thread.
    // True when the movie is ready; false when it failed or timeoutMs passed first.
    bool waitReady(MpvHandle& mpv, int timeoutMs);
    // True when every seek asked for has finished on a ready movie within timeoutMs.
    bool waitSeeks(MpvHandle& mpv, int timeoutMs);

    bool loaded() const { return phase_ == Phase::Ready; }
    bool loading() const { return phase_ == Phase::Loading; }
    bool active() const { return phase_ != Phase::Idle; }
    // A seek is under way or waiting.
    bool seeking() const { return inFlight_ || waiting_.has_value(); }
    // Where the latest seek asked for goes, while seeking() holds.
    std::optional<double> seekTarget() const;
    // Identifies the seek under way (0: none); changes with every seek made.
    unsigned long long seekInFlight() const { return inFlight_ ? seekId_ : 0; }
    // Changes with every start and close: notices queued for one movie can tell whether it is
    // still the one open.
    unsigned generation() const { return generation_; }

private:
    enum class Phase { Idle, Loading, Ready };
    struct Request {
        double seconds;
        QString flags;
    };
    bool issue(MpvHandle& mpv, const Request& request);
    Change finishSeek(MpvHandle& mpv);

    Phase phase_ = Phase::Idle;
    unsigned generation_ = 0;
    unsigned long long loadReply_ = 0;  // reply id of the pending loadfile
    long long entryId_ = -1;            // playlist entry of the movie, -1 before the reply
    bool entryStarted_ = false;
    bool fileLoaded_ = false;
    bool inFlight_ = false;
    unsigned long long seekId_ = 0;
    double inFlightTarget_ = 0;
    std::optional<Request> waiting_;
};

}  // namespace ravir
