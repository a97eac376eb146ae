#pragma once
// The playback statistics of the window (shell/playback_stats.h), made only when
// RAVIR_PLAYBACK_STATS names a file: the event-loop probe on the window thread, and a snapshot
// of both camera players on SIGUSR1 and at shutdown. Each player's line holds the engine's
// counts and where its picture is on the screen, so that a benchmark can read both pictures
// from a capture of the screen.
#include <QJsonObject>
#include <QObject>
#include <QString>

namespace ravir {

class DualVideoSurface;
class EventLoopProbe;
class PlaybackStatsWriter;
class RecordingSession;

class WindowPlaybackStats : public QObject {
    Q_OBJECT
public:
    // Null, and nothing made, when the statistics are off.
    static WindowPlaybackStats* startIfAsked(RecordingSession& session, DualVideoSurface& surface,
                                             QObject* parent);
    WindowPlaybackStats(QString path, RecordingSession& session, DualVideoSurface& surface,
                        QObject* parent);

    // Appends a snapshot now (the shutdown's, before the players go).
    bool write(const QString& reason);
    // The line of one slot, or an empty object when that slot has no player.
    QJsonObject playerLine(int slot) const;

private:
    RecordingSession& session_;
    DualVideoSurface& surface_;
    EventLoopProbe* probe_;
    PlaybackStatsWriter* writer_;
};

}  // namespace ravir
