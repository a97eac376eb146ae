#pragma once
// Playback statistics for benchmarks: with RAVIR_PLAYBACK_STATS=FILE in the environment the
// viewer measures how late its event loop runs (EventLoopProbe) and, on SIGUSR1 and when the
// window closes, appends a snapshot to FILE: one JSON line per camera player (the engine's
// dropped and late frame counts and where its picture is on screen) and one line with the
// event loop's stall histogram. Every count is cumulative since the start, so that a reader
// takes the difference of two snapshots ("worst_ms" is the worst since the start,
// "recent_worst_ms" the worst since the previous snapshot):
//
//   {"snapshot":1,"reason":"signal","kind":"player","slot":0,"frame_drop_count":0,...}
//   {"snapshot":1,"reason":"signal","kind":"event_loop","interval_ms":5,"buckets":{...},...}
//
// Without the variable nothing is made: no timer, no signal handler, no file.
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace ravir {

// The file RAVIR_PLAYBACK_STATS names (read once); empty when the statistics are off.
QString PlaybackStatsPath();

// How late a periodic timer fired, sorted into buckets of milliseconds:
// <5, 5-10, 10-20, 20-50, 50-100, >100 (a bucket holds its lower bound).
class StallHistogram {
public:
    static constexpr int kBuckets = 6;
    static const char* BucketName(int bucket);
    static int BucketOf(double lateMs);

    void add(double lateMs);
    long long count(int bucket) const { return counts_[static_cast<size_t>(bucket)]; }
    long long samples() const { return samples_; }
    double worstMs() const { return worstMs_; }
    // {"samples":N,"worst_ms":W,"buckets":{"<5":N,"5-10":N,...}}
    QJsonObject toJson() const;

private:
    std::array<long long, kBuckets> counts_{};
    long long samples_ = 0;
    double worstMs_ = 0;
};

// A timer on the thread that makes it, every intervalMs; each time it fires it records how much
// later than asked it came (the time the thread's event loop was busy elsewhere).
class EventLoopProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 5;
    explicit EventLoopProbe(QObject* parent = nullptr, int intervalMs = kIntervalMs);

    void start();
    void stop();
    int intervalMs() const { return intervalMs_; }
    const StallHistogram& histogram() const { return histogram_; }
    // The worst lateness since the previous call (or the start), and a fresh start for it.
    double takeRecentWorstMs();

private:
    void fired();

    QTimer* timer_;
    QElapsedTimer clock_;
    int intervalMs_;
    StallHistogram histogram_;
    double recentWorstMs_ = 0;
};

// Appends the snapshots to the file. The players' lines come from a function of the window
// (the playback layer lies above this one); the event loop's line from the probe, when given.
class PlaybackStatsWriter : public QObject {
    Q_OBJECT
public:
    using PlayerLines = std::function<QList<QJsonObject>()>;
    PlaybackStatsWriter(QString path, PlayerLines players, EventLoopProbe* probe,
                        QObject* parent = nullptr);
    ~PlaybackStatsWriter() override;

    // Appends one snapshot (players, then the event loop), each line tagged with the snapshot's
    // number and the reason; false with nothing appended when the file cannot be written.
    bool write(const QString& reason);
    int snapshots() const { return snapshot_; }
    // From now on SIGUSR1 writes a snapshot (reason "signal") from the event loop. One writer
    // per process listens; false when another does or the handler cannot be set up.
    bool listenForSignal();

private:
    void signalled();

    QString path_;
    PlayerLines players_;
    EventLoopProbe* probe_;
    int snapshot_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ravir
