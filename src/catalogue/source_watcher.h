#pragma once
// The source watcher: a worker that looks at the watched path every 100 ms and reports once
// when the card it lies on was pulled: the path no longer exists, the path now lies on another
// device than when watching began (the card's mount-point folder stayed behind), or the mount
// point it lay on is no longer in the mount table. The mount table counts only when the mount
// point was listed there when watching began and is not the root; a folder on the system disk
// is therefore reported only when it goes. After a report the watched path is empty, so a second
// disappearance is reported only after a new source is watched.
#include "catalogue/mount_table.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <sys/types.h>

namespace ravir {

class SourceWatcher {
public:
    // Called on the worker thread, once per vanished source. The viewer turns it into a queued
    // call on the UI thread; it must not touch widgets itself.
    using VanishedCallback = std::function<void()>;

    // sourceLost, when given, is set before the callback runs (the catalogue's flag).
    // mountInfo is the mount table read at each poll (the kernel's, or a file a test writes).
    explicit SourceWatcher(VanishedCallback onVanished, std::atomic<bool>* sourceLost = nullptr,
                           std::chrono::milliseconds interval = std::chrono::milliseconds(100),
                           QString mountInfo = QString::fromLatin1(kMountInfoPath));
    ~SourceWatcher();  // stops the worker
    SourceWatcher(const SourceWatcher&) = delete;
    SourceWatcher& operator=(const SourceWatcher&) = delete;

    void start();  // starts the worker (once; later calls do nothing)
    void stop();   // asks the worker to end and waits for it; returns within one poll step

    // The path to watch from now on (empty: nothing). Its device and mount point are noted
    // here, on the caller's thread.
    void watch(const QString& path);
    QString watchedPath() const;
    bool running() const { return thread_.joinable(); }

private:
    // What was seen of the watched path when watching began.
    struct Origin {
        bool known = false;      // the path could be read then
        dev_t device = 0;
        QString mountPoint;      // listed in the mount table then (and not "/"); else empty
    };
    void run();
    // Why the watched path counts as gone now; false while it is there as it was.
    bool gone(const QString& path, const Origin& origin) const;

    VanishedCallback onVanished_;
    std::atomic<bool>* sourceLost_;
    std::chrono::milliseconds interval_;
    const QString mountInfo_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QString path_;       // guarded by mutex_
    Origin origin_;      // guarded by mutex_
    bool stop_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace ravir
