#include "playback/movie_probe.h"

#include "container/mp4_box.h"

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

namespace ravir {
namespace {

struct AvFacts {
    double frameMs = 0;
    double durationMs = 0;
    long long frames = 0;
};

// Reads the container header only (no packets): enough for MOV/MP4, which keep their tables in
// the moov box. noVideo is set when the header was read and holds no video stream.
std::optional<AvFacts> ProbeWithLibav(const QString& path, bool& noVideo)
{
    noVideo = false;
    AVFormatContext* ctx = nullptr;
    const QByteArray name = path.toUtf8();
    if (avformat_open_input(&ctx, name.constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::optional<AvFacts> out;
    const int index = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    noVideo = index == AVERROR_STREAM_NOT_FOUND;
    if (index >= 0) {
        const AVStream* s = ctx->streams[index];
        AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        AvFacts f;
        if (rate.num > 0 && rate.den > 0)
            f.frameMs = 1000.0 * rate.den / rate.num;
        f.frames = s->nb_frames;
        if (s->duration > 0)
            f.durationMs = s->duration * av_q2d(s->time_base) * 1000.0;
        else if (ctx->duration > 0)
            f.durationMs = ctx->duration / 1000.0;
        if (f.frameMs > 0)
            out = f;
    }
    avformat_close_input(&ctx);
    return out;
}

}  // namespace

bool IsTooShortToPlay(double durationMs, double frameMs)
{
    if (durationMs > 2000.0 || frameMs <= 0)
        return false;
    // 15 frames per second, allowing for the rounding of the frame duration.
    return std::fabs(1000.0 / frameMs - 15.0) > 0.01;
}

std::optional<MovieTiming> ProbeMovieTiming(const QString& path)
{
    MovieTiming t;
    const std::optional<double> boxFrameMs = ProbeFrameDurationMs(path);
    const std::optional<double> boxDurationMs = ProbeMovieDurationMs(path);
    bool noVideo = false;
    const std::optional<AvFacts> av = ProbeWithLibav(path, noVideo);
    // A movie without a picture (sound only) is no movie to play.
    if (noVideo)
        return std::nullopt;
    // The direct probe reads the first track; when that is not the video track (sound stored
    // first) its sample duration is no frame duration, and the video stream's rate is used.
    const bool boxIsVideo = !av || std::fabs(av->frameMs - boxFrameMs.value_or(0.0)) <=
                                       0.01 * av->frameMs;
    if (boxFrameMs && *boxFrameMs > 0 && std::isfinite(*boxFrameMs) && boxIsVideo) {
        t.frameMs = *boxFrameMs;
        t.fromBoxes = true;
        t.durationMs = boxDurationMs.value_or(0.0);
        t.tooShort = boxDurationMs && IsTooShortToPlay(*boxDurationMs, *boxFrameMs);
    } else if (av) {
        t.frameMs = av->frameMs;
        t.durationMs = boxDurationMs.value_or(av->durationMs);
        t.tooShort = boxFrameMs && boxDurationMs && IsTooShortToPlay(*boxDurationMs, t.frameMs);
    } else {
        return std::nullopt;
    }
    if (av && av->frames > 0)
        t.frameCount = av->frames;
    else if (t.durationMs > 0)
        t.frameCount = static_cast<long long>(std::floor(t.durationMs / t.frameMs + 1e-6));
    return t;
}

}  // namespace ravir
