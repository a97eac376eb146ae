#include "playback/mpv_player_base.h"

#include "playback/mpv_handle.h"
#include "playback/video_presenter.h"

#include <QTimer>
#include <algorithm>
#include <mpv/client.h>

namespace ravir {
namespace {

constexpr unsigned long long kObserveEof = 1;

}  // namespace

MpvPlayerBase::MpvPlayerBase(QObject* parent) : QObject(parent)
{
    openTimer_ = new QTimer(this);
    openTimer_->setSingleShot(true);
    connect(openTimer_, &QTimer::timeout, this, [this] {
        if (load_.loading())
            failLoad();
    });
    seekTimer_ = new QTimer(this);
    connect(seekTimer_, &QTimer::timeout, this, &MpvPlayerBase::checkSeek);
}

MpvPlayerBase::~MpvPlayerBase()
{
    // The derived class has closed its movie; what is left is the engine itself.
    load_.close(nullptr);
    destroyEngine();
}

MpvPlayerBase::Options MpvPlayerBase::engineOptions(const Options& extra)
{
    // What every player of the program asks of the engine besides MpvHandle's base: no terminal,
    // on-screen controls or web loaders; an engine that waits paused and idle for the program's
    // commands, keeps the last picture at the end, and leaves the placement of the picture and
    // any side files (subtitles, sound) alone.
    Options options = {
        {"terminal", "no"},
        {"ytdl", "no"},
        {"input-vo-keyboard", "no"},
        {"osc", "no"},
        {"osd-level", "0"},
        {"idle", "yes"},
        {"pause", "yes"},
        {"keep-open", "yes"},
        {"keepaspect", "no"},
        {"sub-auto", "no"},
        {"audio-file-auto", "no"},
    };
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
}

bool MpvPlayerBase::createEngine(const Options& extra, VideoPresenter* presenter)
{
    destroyEngine();
    return adoptEngine(MpvHandle::start(engineOptions(extra)), presenter);
}

bool MpvPlayerBase::adoptEngine(MpvEngine engine, VideoPresenter* presenter)
{
    destroyEngine();
    auto* mpv = new MpvHandle(this);
    if (!mpv->adopt(std::move(engine)) || (presenter && !presenter->attach(mpv))) {
        delete mpv;
        return false;
    }
    mpv_ = mpv;
    mpv_->setEventHandler([this](const mpv_event& e) { handleEvent(e); });
    mpv_->observe("eof-reached", MPV_FORMAT_FLAG, kObserveEof);
    if (presenter) {
        presenter_ = presenter;
        // Waits for the engine keep the presenter's rendering going.
        mpv_->setWakeHook([this] {
            if (presenter_)
                presenter_->serviceRender();
        });
    }
    return true;
}

void MpvPlayerBase::destroyEngine()
{
    if (presenter_)
        presenter_->detach();
    presenter_ = nullptr;
    delete mpv_;
    mpv_ = nullptr;
}

void MpvPlayerBase::setTimeLimits(int openMs, int seekMs)
{
    openMs_ = std::max(1, openMs);
    seekMs_ = std::max(1, seekMs);
}

bool MpvPlayerBase::startLoad(const QString& path)
{
    if (!mpv_ || !load_.start(*mpv_, path))
        return false;
    openTimer_->start(openMs_);
    return true;
}

bool MpvPlayerBase::requestSeek(double seconds, const QString& flags)
{
    if (!mpv_ || !load_.seek(*mpv_, seconds, flags))
        return false;
    // Seeks asked for during the load are watched from the moment it is ready.
    if (load_.loaded())
        watchSeeks();
    return true;
}

void MpvPlayerBase::stopLoad()
{
    openTimer_->stop();
    seekTimer_->stop();
    load_.close(mpv_);
}

std::optional<double> MpvPlayerBase::enginePosition() const
{
    if (!mpv_ || !load_.loaded())
        return std::nullopt;
    return mpv_->getDouble("time-pos");
}

bool MpvPlayerBase::WaitForReady(int timeoutMs)
{
    if (!mpv_ || !load_.active())
        return false;
    return load_.loaded() || load_.waitReady(*mpv_, timeoutMs);
}

bool MpvPlayerBase::WaitSeekDone(int timeoutMs)
{
    if (!mpv_ || !load_.active())
        return false;
    return load_.waitSeeks(*mpv_, timeoutMs);
}

void MpvPlayerBase::handleEvent(const mpv_event& e)
{
    switch (load_.onEvent(*mpv_, e)) {
    case MovieLoad::Change::Ready:
        onReady();
        break;
    case MovieLoad::Change::Failed:
        failLoad();
        break;
    case MovieLoad::Change::SeekDone:
        onSeekDone();
        break;
    case MovieLoad::Change::None:
        break;
    }
    engineEvent(e);
    if (e.event_id == MPV_EVENT_PROPERTY_CHANGE) {
        const auto* p = static_cast<const mpv_event_property*>(e.data);
        if (e.reply_userdata == kObserveEof && p && p->format == MPV_FORMAT_FLAG &&
            *static_cast<int*>(p->data))
            endReached();
    }
}

void MpvPlayerBase::onReady()
{
    openTimer_->stop();
    const long long width = mpv_->getInt("width").value_or(0);
    const long long height = mpv_->getInt("height").value_or(0);
    if (width <= 0 || height <= 0) {
        // Sound only, or a picture the decoder cannot show.
        failLoad();
        return;
    }
    movieReady(QSize(static_cast<int>(width), static_cast<int>(height)));
    // A seek asked for during the load has been made now.
    if (load_.loaded() && load_.seeking())
        watchSeeks();
}

void MpvPlayerBase::failLoad()
{
    closeMovie();
    post([this] { Q_EMIT openFailed(); });
}

void MpvPlayerBase::onSeekDone()
{
    seekTimer_->stop();
    seekLanded();
}

void MpvPlayerBase::watchSeeks()
{
    if (seekTimer_->isActive())
        return;
    watchedSeek_ = 0;
    seekTimer_->start(seekMs_);
}

void MpvPlayerBase::checkSeek()
{
    // Runs every seek time limit while seeks are under way: one that has not landed since the
    // last look is given up, so that a damaged movie cannot hold the seeks after it.
    if (!load_.seeking()) {
        seekTimer_->stop();
        return;
    }
    const unsigned long long current = load_.seekInFlight();
    if (current != 0 && current == watchedSeek_ &&
        load_.abandonSeek(*mpv_) == MovieLoad::Change::SeekDone) {
        onSeekDone();
        return;
    }
    watchedSeek_ = load_.seekInFlight();
}

}  // namespace ravir
