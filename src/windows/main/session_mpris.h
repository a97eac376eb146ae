#pragma once
// The desktop's media controls over the recording session: what they show is read from the
// session, and what they ask for goes down the window's one command path, so that a command the
// window's buttons forbid is refused here too.
#include "windows/main/command.h"
#include "windows/main/mpris_service.h"

#include <functional>

namespace ravir {

class RecordingSession;

class SessionMpris : public MprisTarget {
public:
    struct Hooks {
        std::function<void(Command command)> dispatch;  // the window's command path
        std::function<int()> volume;                // 0 .. 65535
        std::function<void(int volume)> setVolume;
        std::function<void()> raise;
        std::function<bool()> canGoNext;            // a row after the playing one
        std::function<void()> seeked;               // the position jumped
    };
    SessionMpris(RecordingSession& session, Hooks hooks);

    MprisState mprisState() const override;
    void mprisPlay() override;
    void mprisPause() override;
    void mprisStop() override;
    void mprisNext() override;
    void mprisPrevious() override;
    void mprisSeek(qint64 positionUs) override;
    void mprisSetRate(double rate) override;
    void mprisSetVolume(double volume) override;
    void mprisRaise() override;

private:
    RecordingSession& session_;
    Hooks hooks_;
};

}  // namespace ravir
