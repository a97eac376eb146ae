#include "windows/main/window_playback_stats.h"

#include "playback/dual_surface.h"
#include "playback/player.h"
#include "shell/playback_stats.h"
#include "windows/main/recording_session.h"

#include <QFileInfo>
#include <QJsonArray>

#include <utility>

namespace ravir {

WindowPlaybackStats* WindowPlaybackStats::startIfAsked(RecordingSession& session,
                                                       DualVideoSurface& surface, QObject* parent)
{
    const QString path = PlaybackStatsPath();
    return path.isEmpty() ? nullptr : new WindowPlaybackStats(path, session, surface, parent);
}

WindowPlaybackStats::WindowPlaybackStats(QString path, RecordingSession& session,
                                         DualVideoSurface& surface, QObject* parent)
    : QObject(parent), session_(session), surface_(surface), probe_(new EventLoopProbe(this))
{
    writer_ = new PlaybackStatsWriter(
        std::move(path),
        [this] {
            QList<QJsonObject> lines;
            for (int slot = 0; slot < 2; ++slot) {
                QJsonObject line = playerLine(slot);
                if (!line.isEmpty())
                    lines.append(line);
            }
            return lines;
        },
        probe_, this);
    writer_->listenForSignal();
    probe_->start();
}

bool WindowPlaybackStats::write(const QString& reason) { return writer_->write(reason); }

QJsonObject WindowPlaybackStats::playerLine(int slot) const
{
    Player* player = session_.slotReady(slot) ? session_.player(slot) : nullptr;
    if (!player)
        return {};
    const Player::FrameCounts counts = player->frameCounts();
    QJsonObject line{{QStringLiteral("slot"), slot},
                     {QStringLiteral("camera"), slot == 0 ? QStringLiteral("main") : QStringLiteral("sub")},
                     {QStringLiteral("movie"), QFileInfo(player->state().moviePath).fileName()},
                     {QStringLiteral("frame_drop_count"), counts.outputDropped},
                     {QStringLiteral("decoder_frame_drop_count"), counts.decoderDropped},
                     {QStringLiteral("vo_delayed_frame_count"), counts.late}};
    // Where the picture is on the screen, in device pixels: its place in the presenter, which
    // covers its area of the surface (null while the view hides it).
    VideoPresenter* presenter = slot == 0 ? surface_.mainPresenter() : surface_.subPresenter();
    // The frames the presenter drew, and those of them that were painted onto the window.
    line.insert(QStringLiteral("frames_rendered"), presenter ? presenter->framesRendered() : -1);
    line.insert(QStringLiteral("frames_shown"), presenter ? presenter->framesShown() : -1);
    const QRect area = slot == 0 ? surface_.mainArea() : surface_.subArea();
    const IntRect& dest = player->state().destination;
    if (presenter && !area.isNull() && dest.width() > 0 && dest.height() > 0) {
        const double dpr = presenter->devicePixelRatioF();
        const QPoint topLeft = presenter->mapToGlobal(QPoint(dest.left, dest.top));
        line.insert(QStringLiteral("picture"),
                    QJsonArray{qRound(topLeft.x() * dpr), qRound(topLeft.y() * dpr),
                               qRound(dest.width() * dpr), qRound(dest.height() * dpr)});
    } else {
        line.insert(QStringLiteral("picture"), QJsonValue());
    }
    return line;
}

}  // namespace ravir
