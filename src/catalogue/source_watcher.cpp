#include "catalogue/source_watcher.h"

#include <QFile>

#include <sys/stat.h>

namespace ravir {

SourceWatcher::SourceWatcher(VanishedCallback onVanished, std::atomic<bool>* sourceLost,
                             std::chrono::milliseconds interval)
    : onVanished_(std::move(onVanished)), sourceLost_(sourceLost), interval_(interval)
{
}

SourceWatcher::~SourceWatcher() { stop(); }

void SourceWatcher::start()
{
    std::lock_guard lock(mutex_);
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void SourceWatcher::stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void SourceWatcher::watch(const QString& path)
{
    std::lock_guard lock(mutex_);
    path_ = path;
}

QString SourceWatcher::watchedPath() const
{
    std::lock_guard lock(mutex_);
    return path_;
}

void SourceWatcher::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const QString path = path_;
        if (!path.isEmpty()) {
            lock.unlock();
            struct stat st {};
            const bool exists = ::stat(QFile::encodeName(path).constData(), &st) == 0;
            lock.lock();
            // Report only if the same path is still watched (a new source may have come).
            if (!exists && !stop_ && path_ == path) {
                path_.clear();
                if (sourceLost_)
                    sourceLost_->store(true);
                lock.unlock();
                if (onVanished_)
                    onVanished_();
                lock.lock();
            }
        }
        wake_.wait_for(lock, interval_, [this] { return stop_; });
    }
}

}  // namespace ravir
