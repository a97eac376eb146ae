#include "playback/preview_session.h"

#include "container/mp4_box.h"
#include "playback/movie_probe.h"
#include "playback/mpv_handle.h"
#include "playback/placement.h"
#include "playback/video_presenter.h"

#include <QTimer>
#include <algorithm>
#include <mpv/client.h>

namespace ravir {
namespace {
constexpr unsigned long long kObserveEof = 1;
constexpr int kWaitMs = 3000;
}  // namespace

CMFSession::CMFSession(double uiScale, QObject* parent) : QObject(parent)
{
    window_ = new VideoPresenter(nullptr);
    window_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    const int width = static_cast<int>(220 * uiScale);
    window_->resize(width, width * 9 / 16);
    window_->hide();
    seekTimer_ = new QTimer(this);
    connect(seekTimer_, &QTimer::timeout, this, &CMFSession::checkSeek);
    openTimer_ = new QTimer(this);
    openTimer_->setSingleShot(true);
    connect(openTimer_, &QTimer::timeout, this, [this] {
        if (load_.loading()) {
            Close();
            post([this] { Q_EMIT openFailed(); });
        }
    });
}

bool CMFSession::requestSeek(double seconds, const QString& flags)
{
    if (!load_.seek(*mpv_, seconds, flags))
        return false;
    if (!seekTimer_->isActive()) {
        watchedSeek_ = 0;
        seekTimer_->start(kWaitMs);
    }
    return true;
}

void CMFSession::checkSeek()
{
    // A seek that has not landed since the last look is given up, so that a damaged movie
    // cannot hold the seeks after it.
    if (!load_.seeking()) {
        seekTimer_->stop();
        return;
    }
    const unsigned long long current = load_.seekInFlight();
    if (current != 0 && current == watchedSeek_ &&
        load_.abandonSeek(*mpv_) == MovieLoad::Change::SeekDone) {
        seekTimer_->stop();
        post([this] { Q_EMIT seekDone(); });
        return;
    }
    watchedSeek_ = load_.seekInFlight();
}

template <class Fn>
void CMFSession::post(Fn emit)
{
    const unsigned generation = load_.generation();
    QMetaObject::invokeMethod(
        this,
        [this, generation, emit] {
            if (generation == load_.generation())
                emit();
        },
        Qt::QueuedConnection);
}

CMFSession::~CMFSession()
{
    Close();
    if (window_)
        window_->detach();
    delete mpv_;
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
    if (!mpv_) {
        mpv_ = new MpvHandle(this);
        // The recorder's movies carry video and sound; the preview shows the picture only.
        const bool created = mpv_->create({{"config", "no"},
                                           {"terminal", "no"},
                                           {"load-scripts", "no"},
                                           {"ytdl", "no"},
                                           {"input-default-bindings", "no"},
                                           {"osc", "no"},
                                           {"osd-level", "0"},
                                           {"idle", "yes"},
                                           {"pause", "yes"},
                                           {"keep-open", "yes"},
                                           {"keepaspect", "no"},
                                           {"aid", "no"},
                                           {"audio", "no"},
                                           {"sub-auto", "no"},
                                           {"audio-file-auto", "no"},
                                           {"vo", "libmpv"}});
        if (!created || !window_->attach(mpv_)) {
            delete mpv_;
            mpv_ = nullptr;
            return false;
        }
        mpv_->setEventHandler([this](const mpv_event& e) { handleEvent(e); });
        mpv_->observe("eof-reached", MPV_FORMAT_FLAG, kObserveEof);
        mpv_->setWakeHook([this] { window_->serviceRender(); });
    }
    if (!load_.start(*mpv_, path))
        return false;
    openTimer_->start(kWaitMs);
    duration100ns_ = static_cast<int64_t>(timing->durationMs * 1e4);
    volume_ = 1.0;
    balance_ = 0.0;
    flags_ = kOpen | kVideoBranch;
    mpv_->setDouble("speed", 1.0);
    return true;
}

void CMFSession::onReady()
{
    openTimer_->stop();
    const long long w = mpv_->getInt("width").value_or(0);
    const long long h = mpv_->getInt("height").value_or(0);
    if (w <= 0 || h <= 0) {
        Close();
        post([this] { Q_EMIT openFailed(); });
        return;
    }
    nativeWidth_ = static_cast<int>(w);
    nativeHeight_ = static_cast<int>(h);
    if (duration100ns_ <= 0)
        duration100ns_ = static_cast<int64_t>(mpv_->getDouble("duration").value_or(0.0) * 1e7);
    window_->setNativeSize(QSize(nativeWidth_, nativeHeight_));
    window_->SetVideoPosition(NormRect{}, IntRect{0, 0, window_->width(), window_->height()});
    post([this] { Q_EMIT ready(); });
}

bool CMFSession::WaitForReady(int timeoutMs)
{
    if (!mpv_ || !load_.active())
        return false;
    return load_.loaded() || load_.waitReady(*mpv_, timeoutMs);
}

bool CMFSession::WaitSeekDone(int timeoutMs)
{
    if (!mpv_ || !load_.active())
        return false;
    return load_.waitSeeks(*mpv_, timeoutMs);
}

bool CMFSession::Close()
{
    if (openTimer_)
        openTimer_->stop();
    if (seekTimer_)
        seekTimer_->stop();
    load_.close(mpv_);
    flags_ = 0;
    duration100ns_ = 0;
    nativeWidth_ = nativeHeight_ = 0;
    if (window_)
        window_->setNativeSize(QSize());
    return true;
}

void CMFSession::handleEvent(const mpv_event& e)
{
    switch (load_.onEvent(*mpv_, e)) {
    case MovieLoad::Change::Ready:
        onReady();
        break;
    case MovieLoad::Change::Failed:
        Close();
        post([this] { Q_EMIT openFailed(); });
        break;
    case MovieLoad::Change::SeekDone:
        seekTimer_->stop();
        post([this] {
            if (!load_.seeking())
                Q_EMIT seekDone();
        });
        break;
    case MovieLoad::Change::None:
        break;
    }
    if (e.event_id != MPV_EVENT_PROPERTY_CHANGE)
        return;
    const auto* p = static_cast<const mpv_event_property*>(e.data);
    if (e.reply_userdata != kObserveEof || !p || p->format != MPV_FORMAT_FLAG ||
        !*static_cast<int*>(p->data) || !(flags_ & kPlayingFlag))
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
    if (!mpv_ || !(flags_ & kOpen))
        return 0;
    return static_cast<int64_t>(mpv_->getDouble("time-pos").value_or(0.0) * 1e7 + 0.5);
}

bool CMFSession::enginePaused() const { return mpv_ && mpv_->getFlag("pause").value_or(true); }

bool CMFSession::SetRate(double rate)
{
    if (!(flags_ & kOpen) || !(rate > 0.0) || rate > 100.0)
        return false;
    return mpv_->setDouble("speed", rate);
}

bool CMFSession::SetVolume(int volume)
{
    if (!(flags_ & kOpen) || !(flags_ & kAudioBranch))
        return false;
    volume_ = volume / 1000.0;
    return true;
}

bool CMFSession::SetBalance(int balance)
{
    if (!(flags_ & kOpen) || !(flags_ & kAudioBranch))
        return false;
    balance_ = balance / 1000.0;
    return true;
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
