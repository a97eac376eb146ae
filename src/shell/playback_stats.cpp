#include "shell/playback_stats.h"

#include <QFile>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace ravir {
namespace {

// The self-pipe SIGUSR1 writes to; the writer that listens reads it on its event loop.
int g_signalPipe[2] = {-1, -1};
std::atomic<bool> g_listening{false};
struct sigaction g_previousAction {};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);  // full pipe: one is pending
    errno = saved;
}

}  // namespace

QString PlaybackStatsPath()
{
    static const QString path = qEnvironmentVariable("RAVIR_PLAYBACK_STATS");
    return path;
}

const char* StallHistogram::BucketName(int bucket)
{
    static const char* const names[kBuckets] = {"<5", "5-10", "10-20", "20-50", "50-100", ">100"};
    return bucket >= 0 && bucket < kBuckets ? names[bucket] : "?";
}

int StallHistogram::BucketOf(double lateMs)
{
    static const double upper[kBuckets - 1] = {5, 10, 20, 50, 100};
    int bucket = 0;
    while (bucket < kBuckets - 1 && lateMs >= upper[bucket])
        ++bucket;
    return bucket;
}

void StallHistogram::add(double lateMs)
{
    lateMs = std::max(lateMs, 0.0);
    ++counts_[static_cast<size_t>(BucketOf(lateMs))];
    ++samples_;
    worstMs_ = std::max(worstMs_, lateMs);
}

QJsonObject StallHistogram::toJson() const
{
    QJsonObject buckets;
    for (int b = 0; b < kBuckets; ++b)
        buckets.insert(QLatin1String(BucketName(b)), count(b));
    return QJsonObject{{QStringLiteral("samples"), samples_},
                       {QStringLiteral("worst_ms"), worstMs_},
                       {QStringLiteral("buckets"), buckets}};
}

EventLoopProbe::EventLoopProbe(QObject* parent, int intervalMs)
    : QObject(parent), timer_(new QTimer(this)), intervalMs_(std::max(intervalMs, 1))
{
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(intervalMs_);
    connect(timer_, &QTimer::timeout, this, &EventLoopProbe::fired);
}

void EventLoopProbe::start()
{
    clock_.start();
    timer_->start();
}

void EventLoopProbe::stop() { timer_->stop(); }

void EventLoopProbe::fired()
{
    const qint64 ns = clock_.nsecsElapsed();
    clock_.start();
    const double lateMs = std::max(static_cast<double>(ns) / 1e6 - intervalMs_, 0.0);
    histogram_.add(lateMs);
    recentWorstMs_ = std::max(recentWorstMs_, lateMs);
}

double EventLoopProbe::takeRecentWorstMs() { return std::exchange(recentWorstMs_, 0.0); }

PlaybackStatsWriter::PlaybackStatsWriter(QString path, PlayerLines players,
                                         EventLoopProbe* probe, QObject* parent)
    : QObject(parent), path_(std::move(path)), players_(std::move(players)), probe_(probe)
{
}

PlaybackStatsWriter::~PlaybackStatsWriter()
{
    if (!notifier_)
        return;
    // The handler goes before the pipe it writes to.
    ::sigaction(SIGUSR1, &g_previousAction, nullptr);
    delete notifier_;
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
    g_listening = false;
}

bool PlaybackStatsWriter::write(const QString& reason)
{
    const int number = snapshot_ + 1;
    QList<QJsonObject> lines = players_ ? players_() : QList<QJsonObject>{};
    for (QJsonObject& line : lines)
        line.insert(QStringLiteral("kind"), QStringLiteral("player"));
    if (probe_) {
        QJsonObject loop = probe_->histogram().toJson();
        loop.insert(QStringLiteral("kind"), QStringLiteral("event_loop"));
        loop.insert(QStringLiteral("interval_ms"), probe_->intervalMs());
        loop.insert(QStringLiteral("recent_worst_ms"), probe_->takeRecentWorstMs());
        lines.append(loop);
    }
    QByteArray text;
    for (QJsonObject& line : lines) {
        line.insert(QStringLiteral("snapshot"), number);
        line.insert(QStringLiteral("reason"), reason);
        text += QJsonDocument(line).toJson(QJsonDocument::Compact);
        text += '\n';
    }
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // A snapshot is appended whole or not at all: a short write is cut off again.
    const qint64 before = file.size();
    if (file.write(text) != text.size() || !file.flush()) {
        file.resize(before);
        return false;
    }
    snapshot_ = number;
    return true;
}

bool PlaybackStatsWriter::listenForSignal()
{
    if (notifier_)
        return true;
    if (g_listening.exchange(true))
        return false;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_listening = false;
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGUSR1, &action, &g_previousAction) != 0) {
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
        g_listening = false;
        return false;
    }
    notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PlaybackStatsWriter::signalled);
    return true;
}

void PlaybackStatsWriter::signalled()
{
    char buffer[64];
    while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    write(QStringLiteral("signal"));
}

}  // namespace ravir
