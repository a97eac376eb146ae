#include "playback/thumbnail_cache.h"

#include <QPainter>
#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace ravir {

ThumbnailCache::ThumbnailCache(QSize size, QObject* parent) : QObject(parent), size_(size)
{
    worker_ = std::thread([this] { run(); });
}

ThumbnailCache::~ThumbnailCache()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

QImage ThumbnailCache::picture(const QString& moviePath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = done_.constFind(moviePath);
    if (it != done_.constEnd())
        return *it;
    // Newest first; a request already queued moves to the front.
    for (auto q = queue_.begin(); q != queue_.end(); ++q)
        if (*q == moviePath) {
            queue_.erase(q);
            break;
        }
    queue_.push_front(moviePath);
    wake_.notify_one();
    return {};
}

bool ThumbnailCache::failed(const QString& moviePath) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = done_.constFind(moviePath);
    return it != done_.constEnd() && it->isNull();
}

int ThumbnailCache::cachedCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(done_.size());
}

void ThumbnailCache::dropQueue()
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

void ThumbnailCache::run()
{
    for (;;) {
        QString path;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            path = queue_.front();
            queue_.pop_front();
            if (done_.contains(path))
                continue;
        }
        const QImage image = DecodeFirstFrame(path, size_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (done_.size() >= kMaxPictures)
                done_.clear();  // a new source: start over rather than grow without bound
            done_.insert(path, image);
        }
        QMetaObject::invokeMethod(this, [this, path] { Q_EMIT ready(path); },
                                  Qt::QueuedConnection);
    }
}

QImage ThumbnailCache::DecodeFirstFrame(const QString& moviePath, QSize size)
{
    if (size.isEmpty())
        return {};
    const QByteArray name = QFile::encodeName(moviePath);
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, name.constData(), nullptr, nullptr) < 0)
        return {};
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        rawFormat, [](AVFormatContext* c) { avformat_close_input(&c); });
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return {};
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return {};
    const AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return {};
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return {};
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return {};
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    if (!packet || !frame)
        return {};
    bool got = false;
    int packets = 0;
    bool flushing = false;
    while (!got && packets < 600) {
        if (!flushing) {
            const int r = av_read_frame(format.get(), packet.get());
            if (r < 0) {
                flushing = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                ++packets;
                if (packet->stream_index == index)
                    avcodec_send_packet(decoder.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
        const int r = avcodec_receive_frame(decoder.get(), frame.get());
        if (r == 0)
            got = true;
        else if (flushing && r != AVERROR(EAGAIN))
            break;
    }
    if (!got || frame->width <= 0 || frame->height <= 0)
        return {};
    // Fit the frame into size, aspect kept.
    QSize fit(frame->width, frame->height);
    fit.scale(size, Qt::KeepAspectRatio);
    fit = fit.expandedTo(QSize(1, 1));
    SwsContext* sws = sws_getContext(frame->width, frame->height,
                                     static_cast<AVPixelFormat>(frame->format), fit.width(),
                                     fit.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
    if (!sws)
        return {};
    QImage scaled(fit, QImage::Format_RGB32);
    uint8_t* dst[4] = {scaled.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(scaled.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    sws_freeContext(sws);
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter p(&out);
    p.drawImage((size.width() - fit.width()) / 2, (size.height() - fit.height()) / 2, scaled);
    return out;
}

}  // namespace ravir
