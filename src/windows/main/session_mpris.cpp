#include "windows/main/session_mpris.h"

#include "windows/main/main_layout.h"
#include "windows/main/recording_session.h"
#include "playback/placement.h"
#include "playback/player.h"

#include <algorithm>

namespace ravir {

SessionMpris::SessionMpris(RecordingSession& session, Hooks hooks)
    : m_session(session), m_hooks(std::move(hooks))
{
}

MprisState SessionMpris::mprisState() const
{
    MprisState st;
    if (!m_session.ready())
        return st;
    const double frameUs = static_cast<double>(m_session.main().GetFrameMs()) * 1000.0;
    st.hasMovie = true;
    st.status = m_session.playing() ? MprisState::Status::Playing
                : m_session.playState() == kPaused ? MprisState::Status::Paused
                                                   : MprisState::Status::Stopped;
    st.positionUs = static_cast<qint64>(std::max(0, m_session.shownFrame()) * frameUs);
    st.lengthUs = static_cast<qint64>(static_cast<double>(m_session.frameCount()) * frameUs);
    st.rate = SpeedForRateCode(m_session.rateCode());
    st.volume = m_hooks.volume() / 65535.0;
    st.moviePath = m_session.currentPath();
    st.canGoNext = m_hooks.canGoNext();
    st.canGoPrevious = true;
    return st;
}

void SessionMpris::mprisPlay()
{
    if (!m_session.playing())
        m_hooks.dispatch(cmd::kPlay);
}

void SessionMpris::mprisPause()
{
    if (m_session.playing())
        m_hooks.dispatch(cmd::kPlay);
}

void SessionMpris::mprisStop() { m_hooks.dispatch(cmd::kStop); }
void SessionMpris::mprisNext() { m_hooks.dispatch(cmd::kNext); }
void SessionMpris::mprisPrevious() { m_hooks.dispatch(cmd::kPrevious); }

void SessionMpris::mprisSeek(qint64 positionUs)
{
    const float frameMs = m_session.ready() ? m_session.main().GetFrameMs() : 0.0f;
    if (frameMs <= 0)
        return;
    m_session.SeekTo(static_cast<int>(static_cast<double>(positionUs) / 1000.0 / frameMs));
    m_hooks.seeked();
}

void SessionMpris::mprisSetRate(double rate)
{
    if (!m_session.ready())
        return;
    const double r = NearestMprisRate(rate);
    m_session.SetRate(r <= 0.25 ? -4 : r <= 0.5 ? -2 : r <= 1.0 ? 1 : r <= 2.0 ? 2 : 4);
}

void SessionMpris::mprisSetVolume(double volume)
{
    m_hooks.setVolume(static_cast<int>(std::clamp(volume, 0.0, 1.0) * 65535.0));
}

void SessionMpris::mprisRaise() { m_hooks.raise(); }

}  // namespace ravir
