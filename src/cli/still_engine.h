#pragma once
// The playback engine the decoding commands (`still`, `report`, `evidence`) take their stills
// with: no window, no sound, the movie open and ready. Built into `ravir-decode` only.
#include "playback/player.h"

#include <QString>
#include <memory>

namespace ravir::cli {

// An engine for camera SLOT with MOVIE open and its first picture ready, or null with `why`
// saying what failed: the engine could not be started, MOVIE is too short to play, or MOVIE
// cannot be opened. mainPlayer is the main camera's engine for a sub camera (as InitPlayer).
std::unique_ptr<Player> OpenStillEngine(const QString& movie, int slot, QString* why,
                                        Player* mainPlayer = nullptr);

// "frame N is beyond the movie (M frames)" when FRAME is not below the engine's frame count,
// else empty.
QString FrameBeyondMovie(long long frame, const Player& player);

}  // namespace ravir::cli
