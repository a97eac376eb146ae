#include "catalogue/source_watcher.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

namespace ravir {

SourceWatcher::SourceWatcher(VanishedCallback onVanished, std::atomic<bool>* sourceLost,
                             std::chrono::milliseconds interval, QString mountInfo)
    : onVanished_(std::move(onVanished)), sourceLost_(sourceLost), interval_(interval),
      mountInfo_(std::move(mountInfo))
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
    Origin origin;
    struct stat st {};
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0) {
        origin.known = true;
        origin.device = st.st_dev;
        // The mount table names real folders: the mount point of the path with its links
        // resolved.
        const QString mount = MountPointOf(QFileInfo(path).canonicalFilePath());
        QStringList mounts;
        if (!mount.isEmpty() && mount != QLatin1String("/") && ReadMountPoints(mountInfo_, &mounts) &&
            mounts.contains(mount))
            origin.mountPoint = mount;
    }
    std::lock_guard lock(mutex_);
    path_ = path;
    origin_ = origin;
}

bool SourceWatcher::gone(const QString& path, const Origin& origin) const
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return true;
    if (origin.known && st.st_dev != origin.device)
        return true;
    // A table that cannot be read says nothing.
    QStringList mounts;
    return !origin.mountPoint.isEmpty() && ReadMountPoints(mountInfo_, &mounts) &&
           !mounts.contains(origin.mountPoint);
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
        const Origin origin = origin_;
        if (!path.isEmpty()) {
            lock.unlock();
            const bool vanished = gone(path, origin);
            lock.lock();
            // Report only if the same path is still watched (a new source may have come).
            if (vanished && !stop_ && path_ == path) {
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
