#include "cli/still_engine.h"

namespace ravir::cli {

std::unique_ptr<Player> OpenStillEngine(const QString& movie, int slot, QString* why,
                                        Player* mainPlayer)
{
    PlayerOptions options;
    options.audioOutput = "null";
    auto player = std::make_unique<Player>();
    if (!player->InitPlayer(slot, nullptr, QString(), options,
                            mainPlayer ? mainPlayer : player.get())) {
        *why = QStringLiteral("the playback engine could not be started");
        return nullptr;
    }
    switch (player->OpenMovie(movie)) {
    case kOpened:
        if (player->WaitForReady(options.openWaitMs))
            return player;
        break;
    case kTooShort:
        *why = QStringLiteral("%1: too short to play").arg(movie);
        return nullptr;
    default:
        break;
    }
    *why = QStringLiteral("%1: cannot be opened").arg(movie);
    return nullptr;
}

QString FrameBeyondMovie(long long frame, const Player& player)
{
    const long long frames = player.GetFrameCount();
    return frame < frames ? QString()
                          : QStringLiteral("frame %1 is beyond the movie (%2 frames)").arg(frame).arg(frames);
}

}  // namespace ravir::cli
