#include "playback/camera_sync.h"

#include "playback/placement.h"
#include "playback/player.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

namespace ravir {

CameraSync::CameraSync(QObject* parent) : QObject(parent), syncTimer_(new QTimer(this))
{
    syncTimer_->setInterval(kTickMs);
    connect(syncTimer_, &QTimer::timeout, this, &CameraSync::tick);
}

void CameraSync::setPlayers(Player* main, Player* sub)
{
    if (sub_ && sub_ != sub && sub_->speedTrim() != 1.0)
        sub_->SetSpeedTrim(1.0);
    main_ = main;
    sub_ = sub;
}

void CameraSync::start() { syncTimer_->start(); }

void CameraSync::stop()
{
    syncTimer_->stop();
    if (sub_ && sub_->speedTrim() != 1.0)
        sub_->SetSpeedTrim(1.0);
}

bool CameraSync::isRunning() const { return syncTimer_->isActive(); }

void CameraSync::tick()
{
    if (!main_ || !sub_ || main_ == sub_)
        return;
    const bool playing = main_->state().playState == kPlaying &&
                         sub_->state().playState == kPlaying;
    if (!playing || main_->PendingSeekFrame() >= 0 || sub_->PendingSeekFrame() >= 0) {
        if (!playing && sub_->speedTrim() != 1.0)
            sub_->SetSpeedTrim(1.0);
        return;
    }
    const double mainMs = main_->GetPositionMs();
    const double subMs = sub_->GetPositionMs();
    const double subFrameMs = sub_->GetFrameMs() > 0 ? sub_->GetFrameMs() : main_->GetFrameMs();
    if (mainMs < 0 || subMs < 0 || subFrameMs <= 0)
        return;
    // Past the end of the shorter sub movie there is nothing to follow.
    const double subEndMs = static_cast<double>(sub_->GetFrameCount() - 1) * subFrameMs;
    if (mainMs > subEndMs)
        return;
    const double drift = subMs - mainMs;
    lastDriftMs_ = drift;
    if (!correcting_)
        return;

    const double speed = SpeedForRateCode(main_->state().rateCode);
    if (std::abs(drift) > kReseekFrames * subFrameMs) {
        sub_->SetSpeedTrim(1.0);
        sub_->SeekPlaying(static_cast<int>(mainMs / subFrameMs + 0.5));
        ++reseeks_;
        return;
    }
    double trim = 1.0;
    if (std::abs(drift) > subFrameMs / 2) {
        // Close the gap within about half a second of wall time.
        trim = std::clamp(1.0 - drift / (std::max(0.25, speed) * 500.0), 0.8, 1.25);
    }
    if (std::abs(trim - sub_->speedTrim()) > 0.005 || (trim == 1.0 && sub_->speedTrim() != 1.0)) {
        sub_->SetSpeedTrim(trim);
        if (trim != 1.0)
            ++nudges_;
    }
}

}  // namespace ravir
