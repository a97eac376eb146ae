#include "playback/preview_session.h"

#include "container/mp4_box.h"
#include "playback/movie_probe.h"
#include "playback/mpv_handle.h"
#include "playback/placement.h"
#include "playback/video_presenter.h"

#include <algorithm>

namespace ravir {
namespace {
constexpr int kWaitMs = 3000;
}  // namespace

CMFSession::CMFSession(double uiScale, QObject* parent) : MpvPlayerBase(parent)
{
    window_ = new VideoPresenter(nullptr);
    window_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    const int width = static_cast<int>(220 * uiScale);
    window_->resize(width, width * 9 / 16);
    window_->hide();
    setTimeLimits(kWaitMs, kWaitMs);
}

CMFSession::~CMFSession()
{
    Close();
    destroyEngine();
    delete window_;
}

bool CMFSession::Open(const QString& path)
{
    Close();
    flags_ = 0;
    // The movie's own boxes decide, without waiting for the engine.
    if (!IsMp4File(path))
        return false;
    const std::optional<MovieTiming> timing = ProbeMovieTiming(path);
    if (!timing)
        return false;
    // The recorder's movies carry video and sound; the preview shows the picture only.
    if (!mpv_ && !createEngine({{"aid", "no"}, {"audio", "no"}, {"vo", "libmpv"}}, window_))
        return false;
    if (!startLoad(path))
        return false;
    duration100ns_ = static_cast<int64_t>(timing->durationMs * 1e4);
    flags_ = kOpen | kVideoBranch;
    mpv_->setDouble("speed", 1.0);
    return true;
}

void CMFSession::movieReady(QSize nativeSize)
{
    nativeWidth_ = nativeSize.width();
    nativeHeight_ = nativeSize.height();
    if (duration100ns_ <= 0)
        duration100ns_ = static_cast<int64_t>(mpv_->getDouble("duration").value_or(0.0) * 1e7);
    window_->setNativeSize(nativeSize);
    window_->SetVideoPosition(NormRect{}, IntRect{0, 0, window_->width(), window_->height()});
    post([this] { Q_EMIT ready(); });
}

void CMFSession::seekLanded()
{
    post([this] {
        if (!load_.seeking())
            Q_EMIT seekDone();
    });
}

bool CMFSession::Close()
{
    stopLoad();
    flags_ = 0;
    duration100ns_ = 0;
    nativeWidth_ = nativeHeight_ = 0;
    if (window_)
        window_->setNativeSize(QSize());
    return true;
}

void CMFSession::endReached()
{
    if (!(flags_ & kPlayingFlag))
        return;
    if (flags_ & kLoop) {
        requestSeek(0.0, "absolute");
        mpv_->setFlag("pause", false);
    } else {
        flags_ &= ~(kPlayingFlag | kPausedFlag);
        Q_EMIT presentationEnded();
    }
}

bool CMFSession::Play(bool loop)
{
    if (!(flags_ & kOpen))
        return false;
    if (flags_ & kPausedFlag)
        return true;
    if (mpv_->getFlag("eof-reached").value_or(false))
        requestSeek(0.0, "absolute");
    if (!mpv_->setFlag("pause", false))
        return false;
    flags_ |= kPlayingFlag;
    flags_ &= ~kPausedFlag;
    if (loop)
        flags_ |= kLoop;
    return true;
}

bool CMFSession::Stop()
{
    if (!(flags_ & kPlayingFlag))
        return true;
    mpv_->setFlag("pause", true);
    requestSeek(0.0, "absolute");
    flags_ &= ~(kPlayingFlag | kPausedFlag);
    return true;
}

bool CMFSession::TogglePause()
{
    if (flags_ & kPausedFlag) {
        if (!mpv_->setFlag("pause", false))
            return false;
        flags_ &= ~kPausedFlag;
        return true;
    }
    if (flags_ & kPlayingFlag) {
        if (!mpv_->setFlag("pause", true))
            return false;
        flags_ |= kPausedFlag;
        return true;
    }
    return false;
}

bool CMFSession::seekAndKeepState(int64_t position100ns)
{
    if (!(flags_ & kOpen))
        return false;
    const int64_t target = std::clamp<int64_t>(position100ns, 0, duration100ns_);
    // Stopped and paused players stay where they are; a playing one plays on.
    mpv_->setFlag("pause", (flags_ & kPlayingFlag) == 0 || (flags_ & kPausedFlag) != 0);
    return requestSeek(static_cast<double>(target) / 1e7, "absolute+exact");
}

bool CMFSession::SeekForwardMs(int ms) { return SeekRelative(static_cast<int64_t>(ms) * 10000); }
bool CMFSession::SeekBackMs(int ms) { return SeekRelative(-static_cast<int64_t>(ms) * 10000); }
bool CMFSession::SeekToMs(int ms) { return SeekAbsolute(static_cast<int64_t>(ms) * 10000); }

bool CMFSession::SeekRelative(int64_t delta100ns)
{
    // From where the latest seek goes while it has not landed, else from the picture shown.
    const std::optional<double> pending = load_.seekTarget();
    const int64_t from = pending ? static_cast<int64_t>(*pending * 1e7 + 0.5) : Position100ns();
    return seekAndKeepState(from + delta100ns);
}

bool CMFSession::SeekAbsolute(int64_t position100ns) { return seekAndKeepState(position100ns); }

int64_t CMFSession::Position100ns() const
{
    if (!(flags_ & kOpen))
        return 0;
    return static_cast<int64_t>(enginePosition().value_or(0.0) * 1e7 + 0.5);
}

bool CMFSession::enginePaused() const { return mpv_ && mpv_->getFlag("pause").value_or(true); }

bool CMFSession::SetRate(double rate)
{
    if (!(flags_ & kOpen) || !(rate > 0.0) || rate > 100.0)
        return false;
    return mpv_->setDouble("speed", rate);
}

bool CMFSession::GetNativeVideoSize(int& width, int& height) const
{
    if (!(flags_ & kOpen) || !(flags_ & kVideoBranch) || nativeWidth_ <= 0)
        return false;
    width = nativeWidth_;
    height = nativeHeight_;
    return true;
}

bool CMFSession::SetVideoRect(const QPoint* pos, const QSize* size)
{
    if (!(flags_ & kOpen) || !(flags_ & kVideoBranch) || (!size && nativeWidth_ <= 0))
        return false;
    const QPoint p = pos ? *pos : QPoint(0, 0);
    const QSize s = size ? *size : QSize(nativeWidth_, nativeHeight_);
    return window_->SetVideoPosition(NormRect{}, IntRect{p.x(), p.y(), p.x() + s.width(),
                                                         p.y() + s.height()}) ==
           PresenterStatus::Ok;
}

bool CMFSession::Repaint()
{
    if (!(flags_ & kOpen))
        return false;
    return window_->RepaintVideo() == PresenterStatus::Ok;
}

}  // namespace ravir
