#pragma once
// One movie loaded into an mpv handle and followed through the handle's events: whether mpv
// started, loaded (its first picture ready) or failed to load it, and how many playback restarts
// (finished seeks) it has reported since. Shared by the camera players and the preview player.
#include <QString>

struct mpv_event;

namespace ravir {

class MpvHandle;

class MovieLoad {
public:
    // Loads path paused and waits at most timeoutMs until its first picture is ready or the
    // load failed. On failure or time-out the handle is stopped and false returned.
    bool open(MpvHandle& mpv, const QString& path, int timeoutMs);
    // Stops the movie in the handle, if one was loaded, and forgets it.
    void close(MpvHandle* mpv);
    // Feeds one event of the handle; the owner calls it from its event handler.
    void onEvent(const mpv_event& event);
    // Waits at most timeoutMs for a restart after `before` (a finished seek); false when the
    // time ran out or the movie is gone.
    bool waitForRestart(MpvHandle& mpv, long long before, int timeoutMs);

    bool loaded() const { return loaded_; }
    bool active() const { return entryId_ >= 0; }
    long long restarts() const { return restarts_; }

private:
    long long entryId_ = -1;
    bool entryStarted_ = false;
    bool loaded_ = false;
    bool failed_ = false;
    long long restarts_ = 0;
    long long restartsAtLoad_ = 0;
};

}  // namespace ravir
