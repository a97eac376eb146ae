#pragma once
// Keeps the sub camera's player frame-locked to the main camera's while both play.
//
// Two engines started one after the other, decoding pictures of different sizes on a busy
// machine, drift apart: the sub camera can lag by several frames after a minute, more at x2 and
// x4. On every tick of the play clock the controller compares the presentation times of the two
// players (the sub camera's frame number maps to the main camera's by the ratio of the frame
// durations, so equal times are equal moments) and
//   - within half a sub frame: plays the sub at the plain rate;
//   - beyond it: nudges the sub's speed (at most a fifth slower or a quarter faster) so that the
//     gap closes within about half a second;
//   - beyond kReseekFrames frames (a stall, a seek of the main camera alone): seeks the sub
//     to the main camera's moment while playing.
// Paused, stopped or seeking players are left alone; the window seeks both on those commands.
#include <QObject>

class QTimer;

namespace ravir {

class Player;

class CameraSync : public QObject {
    Q_OBJECT
public:
    static constexpr int kReseekFrames = 8;
    static constexpr int kTickMs = 30;

    explicit CameraSync(QObject* parent = nullptr);

    // Either may be null (no sub camera): the controller then does nothing.
    void setPlayers(Player* main, Player* sub);
    // The controller's own timer (kTickMs); a window with a play clock may call tick() instead.
    void start();
    void stop();
    bool isRunning() const;
    // Turns correction off (the drift is still measured); for comparisons in tests.
    void setCorrecting(bool on) { correcting_ = on; }

    // One comparison and, when needed, one correction.
    void tick();

    // Sub time minus main time at the last tick, in ms (0 before any).
    double lastDriftMs() const { return lastDriftMs_; }
    int reseeks() const { return reseeks_; }
    int nudges() const { return nudges_; }

private:
    Player* main_ = nullptr;
    Player* sub_ = nullptr;
    QTimer* syncTimer_ = nullptr;
    bool correcting_ = true;
    double lastDriftMs_ = 0;
    int reseeks_ = 0;
    int nudges_ = 0;
};

}  // namespace ravir
