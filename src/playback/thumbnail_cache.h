#pragma once
// ThumbnailCache: first-frame pictures of recordings for the file list, made on one worker
// thread and kept in memory, so that scrolling never waits for a decoder. picture() answers at
// once from the cache (a null image while the picture is being made) and queues the movie; the
// most recently asked movie is made first, so that the rows in view come before rows scrolled
// past. ready() tells the window thread when a picture was added.
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ravir {

class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    explicit ThumbnailCache(QSize size, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The picture of the movie, or a null image (queued unless it failed before).
    QImage picture(const QString& moviePath);
    bool failed(const QString& moviePath) const;
    int cachedCount() const;
    QSize pictureSize() const { return size_; }
    // Forgets every queued request (after a refill of the list).
    void dropQueue();

    // The first video frame of a movie scaled into size (aspect kept, centred on black); a null
    // image when the movie has no decodable video.
    static QImage DecodeFirstFrame(const QString& moviePath, QSize size);

Q_SIGNALS:
    void ready(const QString& moviePath);

private:
    void run();

    const QSize size_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<QString> queue_;
    QHash<QString, QImage> done_;  // a null image: the movie failed
    bool stop_ = false;
    std::thread worker_;
    static constexpr int kMaxPictures = 4000;
};

}  // namespace ravir
