#pragma once
// The source watcher: a worker that looks at the watched path every 100 ms and reports once
// when it no longer exists (the card was pulled). After a report the watched path is empty, so
// a second disappearance is reported only after a new source is watched.
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ravir {

class SourceWatcher {
public:
    // Called on the worker thread, once per vanished source. The viewer turns it into a queued
    // call on the UI thread; it must not touch widgets itself.
    using VanishedCallback = std::function<void()>;

    // sourceLost, when given, is set before the callback runs (the catalogue's flag).
    explicit SourceWatcher(VanishedCallback onVanished, std::atomic<bool>* sourceLost = nullptr,
                           std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    ~SourceWatcher();  // stops the worker
    SourceWatcher(const SourceWatcher&) = delete;
    SourceWatcher& operator=(const SourceWatcher&) = delete;

    void start();  // starts the worker (once; later calls do nothing)
    void stop();   // asks the worker to end and waits for it; returns within one poll step

    // The path to watch from now on (empty: nothing).
    void watch(const QString& path);
    QString watchedPath() const;
    bool running() const { return thread_.joinable(); }

private:
    void run();

    VanishedCallback onVanished_;
    std::atomic<bool>* sourceLost_;
    std::chrono::milliseconds interval_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QString path_;       // guarded by mutex_
    bool stop_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace ravir
