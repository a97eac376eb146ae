#include "windows/main/session_mpris.h"

#include "windows/main/recording_session.h"
#include "playback/placement.h"
#include "playback/player.h"

#include <algorithm>

namespace ravir {

SessionMpris::SessionMpris(RecordingSession& session, Hooks hooks)
    : session_(session), hooks_(std::move(hooks))
{
}

MprisState SessionMpris::mprisState() const
{
    MprisState st;
    if (!session_.ready())
        return st;
    const double frameUs = static_cast<double>(session_.main().GetFrameMs()) * 1000.0;
    st.hasMovie = true;
    st.status = session_.playing() ? MprisState::Status::Playing
                : session_.playState() == kPaused ? MprisState::Status::Paused
                                                   : MprisState::Status::Stopped;
    st.positionUs = static_cast<qint64>(std::max(0, session_.shownFrame()) * frameUs);
    st.lengthUs = static_cast<qint64>(static_cast<double>(session_.frameCount()) * frameUs);
    st.rate = SpeedForRateCode(session_.rateCode());
    st.volume = hooks_.volume() / 65535.0;
    st.moviePath = session_.currentPath();
    st.canGoNext = hooks_.canGoNext();
    st.canGoPrevious = true;
    return st;
}

void SessionMpris::mprisPlay()
{
    if (!session_.playing())
        hooks_.dispatch(Command::kPlay);
}

void SessionMpris::mprisPause()
{
    if (session_.playing())
        hooks_.dispatch(Command::kPlay);
}

void SessionMpris::mprisStop() { hooks_.dispatch(Command::kStop); }
void SessionMpris::mprisNext() { hooks_.dispatch(Command::kNext); }
void SessionMpris::mprisPrevious() { hooks_.dispatch(Command::kPrevious); }

void SessionMpris::mprisSeek(qint64 positionUs)
{
    const float frameMs = session_.ready() ? session_.main().GetFrameMs() : 0.0f;
    if (frameMs <= 0)
        return;
    session_.SeekTo(static_cast<int>(static_cast<double>(positionUs) / 1000.0 / frameMs));
    hooks_.seeked();
}

void SessionMpris::mprisSetRate(double rate)
{
    if (!session_.ready())
        return;
    const double r = NearestMprisRate(rate);
    session_.SetRate(r <= 0.25 ? -4 : r <= 0.5 ? -2 : r <= 1.0 ? 1 : r <= 2.0 ? 2 : 4);
}

void SessionMpris::mprisSetVolume(double volume)
{
    hooks_.setVolume(static_cast<int>(std::clamp(volume, 0.0, 1.0) * 65535.0));
}

void SessionMpris::mprisRaise() { hooks_.raise(); }

}  // namespace ravir
