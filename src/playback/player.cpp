#include "playback/player.h"

#include "container/mp4_box.h"
#include "playback/movie_probe.h"
#include "playback/mpv_handle.h"
#include "playback/video_presenter.h"
#include "shell/safe_write.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QThread>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mpv/client.h>

namespace ravir {

Player::Player(QObject* parent) : MpvPlayerBase(parent) {}

Player::~Player() { ShutdownPlayer(); }

MpvOptions Player::EngineOptions(int slot, bool withPresenter, const PlayerOptions& options)
{
    Options mpvOptions = {
        {"hr-seek", "yes"},  // every seek lands on the exact frame
        {"hr-seek-framedrop", "no"},
        {"audio-display", "no"},
        {"hwdec", "no"},
        {"vo", withPresenter ? "libmpv" : "null"},
    };
    // A frame reaches the presenter at its display time, not up to 50 ms ahead with the render
    // call then waiting for that time: the render runs on the window thread, which never waits.
    if (withPresenter)
        mpvOptions.emplace_back("video-timing-offset", "0");
    if (!options.audioOutput.isEmpty())
        mpvOptions.emplace_back("ao", options.audioOutput);
    // The sub camera is never heard: its sound is not even decoded, so that its pictures run on
    // the system clock and follow a speed change at once (the camera sync's nudges).
    if (slot == 1)
        mpvOptions.emplace_back("aid", "no");
    return engineOptions(mpvOptions);
}

bool Player::InitPlayer(int slot, VideoPresenter* presenter, const QString& fontFace,
                        const PlayerOptions& options, Player* mainPlayer)
{
    return InitPlayer(MpvHandle::start(EngineOptions(slot, presenter != nullptr, options)), slot,
                      presenter, fontFace, options, mainPlayer);
}

bool Player::InitPlayer(MpvEngine engine, int slot, VideoPresenter* presenter,
                        const QString& fontFace, const PlayerOptions& options, Player* mainPlayer)
{
    ShutdownPlayer();
    std::lock_guard lock(state_.telemetry.viewsLock);
    slot_ = slot;
    options_ = options;
    main_ = mainPlayer ? mainPlayer : (slot == 0 ? this : nullptr);
    state_.rateCode = 1;
    state_.aspectMode = 1;
    state_.playState = kNoMovie;
    state_.fontFace = fontFace;
    state_.frameCount = 0;
    setTimeLimits(options_.openWaitMs, options_.seekWaitMs);
    if (!adoptEngine(std::move(engine), presenter))
        return false;
    // The decoder's error messages tell a picture that failed to decode (CaptureFrame).
    mpv_request_log_messages(mpv_->raw(), "error");
    applyVolume();
    state_.initialised = 1;
    state_.telemetry.initialised = true;
    return true;
}

namespace {

// The box check of an open; the movie's timing when it can be opened.
int checkMovie(const QString& path, std::optional<MovieTiming>& timing)
{
    if (!ravir::IsMp4File(path))
        return kOpenFailed;
    timing = ProbeMovieTiming(path);
    if (timing && timing->tooShort)
        return kTooShort;
    return timing ? kOpened : kOpenFailed;
}

}  // namespace

int Player::CheckMovie(const QString& path)
{
    std::optional<MovieTiming> timing;
    return checkMovie(path, timing);
}

void Player::ShutdownPlayer()
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    state_.telemetry.initialised = false;
    if (!mpv_) {
        state_.initialised = 0;
        return;
    }
    CloseMovie();
    StopPrefetch(state_.telemetry);
    FreeTelemetry();
    {
        std::lock_guard lock2(state_.telemetry.loadLock);
        state_.telemetry.prefetch.clear();
        state_.telemetry.allRecordingsTrack.clear();
    }
    destroyEngine();
    state_.initialised = 0;
}

bool Player::IsMp4File(const QString& path)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    return state_.initialised && ravir::IsMp4File(path);
}

void Player::engineEvent(const mpv_event& e)
{
    if (e.event_id == MPV_EVENT_LOG_MESSAGE) {
        const auto* message = static_cast<const mpv_event_log_message*>(e.data);
        // The video decoder's own messages; the demuxer's (a read-ahead that meets the end of
        // a file cut short) say nothing of the picture shown.
        if (message && message->log_level <= MPV_LOG_LEVEL_ERROR && message->prefix &&
            (std::strcmp(message->prefix, "vd") == 0 ||
             std::strcmp(message->prefix, "ffmpeg/video") == 0))
            ++decodeErrors_;
    }
}

void Player::endReached()
{
    if (!load_.loaded() || state_.playState != kPlaying)
        return;
    const unsigned generation = ++endGeneration_;
    QTimer::singleShot(200, this, [this, generation] {
        if (generation == endGeneration_ && load_.loaded())
            Q_EMIT presentationEnded();
    });
}

int Player::OpenMovie(const QString& path)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    if (!state_.initialised || !mpv_)
        return kOpenFailed;
    std::optional<MovieTiming> timing;
    if (const int checked = checkMovie(path, timing); checked != kOpened)
        return checked;
    CloseMovie();
    // The current reader starts empty with each movie; loads know the frame duration.
    state_.telemetry.current.clear();
    state_.telemetry.load.frameMs = static_cast<float>(timing->frameMs);

    markDecode();
    if (!startLoad(path))
        return kOpenFailed;
    frameMs_ = timing->frameMs;
    state_.frameCount = timing->frameCount;
    state_.moviePath = path;
    speedTrim_ = 1.0;
    mpv_->setDouble("speed", SpeedForRateCode(state_.rateCode));
    applyVolume();
    if (presenter_) {
        // The frame rate as a fraction in microseconds per frame: 30 fps is 1000000/33333.
        presenter_->setFrameRate(1000000, static_cast<int>(frameMs_ * 1000.0 + 0.5));
        presenter_->setRotate180(state_.rotate180 != 0);
    }
    if (main_ && main_->state_.initialised && main_->GetFrameCount() > 0)
        state_.playState = kStopped;
    return kOpened;
}

void Player::movieReady(QSize nativeSize)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    if (!load_.seeking()) {
        decodeErrorsAtRest_ = decodeErrors_;
        decodeAtRest_ = true;
    }
    if (state_.frameCount <= 0) {
        const double seconds = mpv_->getDouble("duration").value_or(0.0);
        state_.frameCount = static_cast<long long>(seconds * 1000.0 / frameMs_ + 1e-6);
    }
    state_.nativeWidth = nativeSize.width();
    state_.nativeHeight = nativeSize.height();
    if (presenter_) {
        presenter_->setNativeSize(nativeSize);
        applyPlacement(false);
    }
    post([this] { Q_EMIT movieOpened(); });
}

void Player::seekLanded()
{
    decodeErrorsAtRest_ = decodeErrors_;
    decodeAtRest_ = true;
    seekTarget_ = -1;
    const int frame = GetCurrentFrame();
    post([this, frame] {
        if (!load_.seeking())
            Q_EMIT seekDone(frame);
    });
}

int Player::PendingSeekFrame() const { return load_.seeking() ? seekTarget_ : -1; }

void Player::CloseMovie()
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    ++endGeneration_;
    seekTarget_ = -1;
    stopLoad();
    state_.playState = kNoMovie;
    frameMs_ = 0;
    state_.frameCount = 0;
    state_.nativeWidth = 0;
    state_.nativeHeight = 0;
    state_.moviePath.clear();
    if (presenter_) {
        presenter_->clearOverlay();
        presenter_->setNativeSize(QSize());
        presenter_->setFrameRate(0, 0);
    }
}

bool Player::LoadTelemetryForMovie(const QString& moviePath)
{
    if (!state_.initialised)
        return false;
    return ravir::LoadTelemetryForMovie(state_.telemetry, moviePath, frameFacts());
}

PlainFrameFacts Player::frameFacts() const
{
    const long long mainFrames =
        main_ && main_->state_.initialised ? std::min<long long>(main_->GetFrameCount(), INT32_MAX) : 0;
    return PlainFrameFacts(static_cast<int>(mainFrames), frameMs_);
}

void Player::FreeTelemetry() { ravir::FreeTelemetry(state_.telemetry); }

void Player::Play()
{
    if (!load_.loaded() || state_.playState == kPlaying || state_.playState == kNoMovie)
        return;
    ++endGeneration_;
    markDecode();
    mpv_->setFlag("pause", false);
    state_.playState = kPlaying;
}

void Player::Pause()
{
    if (!load_.loaded() || state_.playState == kPaused || state_.playState == kNoMovie)
        return;
    mpv_->setFlag("pause", true);
    state_.playState = kPaused;
}

void Player::Stop()
{
    if (!load_.loaded() || state_.playState == kStopped || state_.playState == kNoMovie)
        return;
    mpv_->setFlag("pause", true);
    state_.playState = kStopped;
}

bool Player::seekTo(int frame)
{
    if (!load_.active() || frameMs_ <= 0)
        return false;
    const long long last = std::max<long long>(0, state_.frameCount - 1);
    const long long target = std::clamp<long long>(frame, 0, last);
    const double seconds = static_cast<double>(target) * frameMs_ / 1000.0;
    ++endGeneration_;
    markDecode();
    if (!requestSeek(seconds))
        return false;
    seekTarget_ = static_cast<int>(target);
    return true;
}

void Player::SeekPlaying(int frame)
{
    if (state_.playState != kPlaying)
        return;
    seekTo(frame);
}

void Player::SeekFrame(int frame)
{
    if (!load_.active())
        return;
    // A seek during playback leaves the player paused, as the picture is; otherwise the engine
    // is paused already.
    if (state_.playState == kPlaying) {
        mpv_->setFlag("pause", true);
        state_.playState = kPaused;
    }
    seekTo(frame);
}

int Player::GetCurrentFrame() const
{
    if (frameMs_ <= 0)
        return -1;
    const std::optional<double> position = enginePosition();
    if (!position)
        return -1;
    const long long frame = FrameAtPosition(*position, frameMs_);
    if (frame < 0)
        return -1;
    return static_cast<int>(std::clamp<long long>(frame, 0, std::max<long long>(0, state_.frameCount - 1)));
}

void Player::SetHardwareDecode(int on)
{
    state_.hardwareDecode = on;
    if (mpv_)
        mpv_->setProperty("hwdec", on ? "auto-safe" : "no");
}

bool Player::SetRate(int rateCode)
{
    if (!mpv_)
        return false;
    state_.rateCode = MapRateCode(rateCode, state_.rateCode);
    const double speed = SpeedForRateCode(state_.rateCode);
    speedTrim_ = 1.0;
    applyVolume();
    // Above x2 the decoder may skip frames so that the picture keeps pace with the clock.
    mpv_->setProperty("framedrop", speed > 2.0 ? "decoder+vo" : "vo");
    return mpv_->setDouble("speed", speed);
}

bool Player::SetSpeedTrim(double factor)
{
    if (!mpv_)
        return false;
    speedTrim_ = std::clamp(factor, 0.5, 2.0);
    return mpv_->setDouble("speed", SpeedForRateCode(state_.rateCode) * speedTrim_);
}

double Player::GetPositionMs() const
{
    const std::optional<double> position = enginePosition();
    return position && *position >= 0 ? *position * 1000.0 : -1.0;
}

bool Player::SetSlowMode(float on)
{
    // Not used by the viewer: slow mode is x0.5.
    return SetRate(on != 0.0f ? -2 : 1);
}

void Player::SetVolume(int volume)
{
    state_.volume = std::clamp(volume, 0, 65535);
    applyVolume();
}

void Player::applyVolume()
{
    if (!mpv_)
        return;
    // The sub camera (slot 1) is always silent; the main camera is heard at x1 only.
    const double volume =
        slot_ == 0 && state_.rateCode == 1 ? state_.volume * 100.0 / 65535.0 : 0.0;
    mpv_->setDouble("volume", volume);
}

long long Player::GetFrameCount() const { return load_.active() ? state_.frameCount : 0; }

bool Player::GetVideoSize(int& width, int& height) const
{
    if (!load_.loaded() || state_.nativeWidth <= 0)
        return false;
    width = state_.nativeWidth;
    height = state_.nativeHeight;
    return true;
}

QSize Player::clientSize() const { return presenter_ ? presenter_->size() : QSize(); }

bool Player::applyPlacement(bool repaint)
{
    if (!presenter_)
        return true;
    PlacementInput in;
    const QSize client = clientSize();
    in.clientWidth = client.width();
    in.clientHeight = client.height();
    in.centreX = state_.zoomCentreX;
    in.centreY = state_.zoomCentreY;
    in.offsetX = state_.offsetX;
    in.offsetY = state_.offsetY;
    in.zoom = state_.zoom;
    in.aspectMode = state_.aspectMode;
    in.nativeWidth = state_.nativeWidth;
    in.nativeHeight = state_.nativeHeight;
    const std::optional<IntRect> dest = ComputeDestinationRect(in);
    if (!dest)
        return false;
    state_.destination = *dest;
    if (presenter_->SetVideoPosition(NormRect{}, *dest) != PresenterStatus::Ok)
        return false;
    if (state_.playState != kNoMovie || repaint)
        presenter_->RepaintVideo();
    else
        applyVolume();
    return true;
}

bool Player::SetVideoRect(int centreX, int centreY, int offsetX, int offsetY, float zoom,
                          bool repaint)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    state_.zoomCentreX = centreX;
    state_.zoomCentreY = centreY;
    state_.offsetX = offsetX;
    state_.offsetY = offsetY;
    state_.zoom = zoom;
    return applyPlacement(repaint);
}

bool Player::SetAspectMode(int mode)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    const int previous = state_.aspectMode;
    state_.aspectMode = mode;
    if (!applyPlacement(true)) {
        state_.aspectMode = previous;
        return false;
    }
    return true;
}

bool Player::SetRotate180(bool on)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    state_.rotate180 = on ? 1 : 0;
    if (presenter_)
        presenter_->setRotate180(on);
    return true;
}

bool Player::Relayout()
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    return applyPlacement(true);
}

void Player::Repaint()
{
    if (presenter_)
        presenter_->RepaintVideo();
}

bool Player::DrawOverlayText(const QString& text)
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    state_.overlayText = text;
    if (!presenter_)
        return true;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QImage bitmap(kOverlayWidth, kOverlayHeight, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);  // black of the colour key: shows the picture
    if (!text.isEmpty()) {
        QPainter painter(&bitmap);
        QFont font;
        font.setFamilies({state_.fontFace.isEmpty() ? QStringLiteral("メイリオ") : state_.fontFace,
                          QStringLiteral("Noto Sans CJK JP")});
        font.setPointSize(42);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(0, 255, 0));
        painter.drawText(bitmap.rect(), Qt::TextWordWrap, text);
    }
    const QSize client = clientSize();
    presenter_->setOverlay(bitmap, OverlayRect(client.width(), client.height(), state_.nativeWidth,
                                               state_.nativeHeight, state_.aspectMode));
    return true;
}

void Player::ClearOverlay()
{
    std::lock_guard lock(state_.telemetry.viewsLock);
    state_.overlayText.clear();
    if (presenter_)
        presenter_->clearOverlay();
}

namespace {

// The picture the engine holds now, at the movie's own size; null when there is none.
QImage GrabEngineFrame(MpvHandle& mpv)
{
    const char* argv[] = {"screenshot-raw", "video", nullptr};
    mpv_node result;
    if (mpv_command_ret(mpv.raw(), argv, &result) < 0)
        return {};
    QImage image;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        long long w = 0, h = 0, stride = 0;
        QByteArray format;
        const mpv_byte_array* data = nullptr;
        for (int i = 0; i < result.u.list->num; ++i) {
            const char* key = result.u.list->keys[i];
            const mpv_node& v = result.u.list->values[i];
            if (std::strcmp(key, "w") == 0 && v.format == MPV_FORMAT_INT64)
                w = v.u.int64;
            else if (std::strcmp(key, "h") == 0 && v.format == MPV_FORMAT_INT64)
                h = v.u.int64;
            else if (std::strcmp(key, "stride") == 0 && v.format == MPV_FORMAT_INT64)
                stride = v.u.int64;
            else if (std::strcmp(key, "format") == 0 && v.format == MPV_FORMAT_STRING)
                format = v.u.string;
            else if (std::strcmp(key, "data") == 0 && v.format == MPV_FORMAT_BYTE_ARRAY)
                data = v.u.ba;
        }
        QImage::Format qtFormat = QImage::Format_Invalid;
        if (format == "bgr0" || format == "bgra")
            qtFormat = QImage::Format_RGB32;
        else if (format == "rgb0" || format == "rgba")
            qtFormat = QImage::Format_RGBX8888;
        if (data && w > 0 && h > 0 && stride >= w * 4 && qtFormat != QImage::Format_Invalid &&
            static_cast<long long>(data->size) >= stride * h) {
            image = QImage(static_cast<const uchar*>(data->data), static_cast<int>(w),
                           static_cast<int>(h), static_cast<qsizetype>(stride), qtFormat)
                        .copy();
        }
    }
    mpv_free_node_contents(&result);
    return image;
}

}  // namespace

bool SaveStill(const QImage& image, const QString& path, QString* why)
{
    // Encoded in memory, then written through the safe writer: the file's name only ever holds
    // a complete still, and a failure leaves what was there before. A name ending in ".png"
    // gets a PNG, any other a JPEG.
    const bool png = path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, png ? "png" : "jpeg");
    if (!png)
        writer.setQuality(92);
    if (image.isNull() || !writer.write(image.convertToFormat(QImage::Format_RGB888))) {
        if (why)
            *why = png ? QStringLiteral("the still could not be encoded as PNG")
                       : QStringLiteral("the still could not be encoded as JPEG");
        return false;
    }
    const SafeWriteError error = SafeWriteFile(path, encoded, {.sync = true});
    if (error.failed()) {
        if (why)
            *why = error.message();
        return false;
    }
    return true;
}

bool Player::SaveCurrentFrame(const QString& path)
{
    if (!load_.loaded() || !mpv_)
        return false;
    const QImage image = GrabEngineFrame(*mpv_);
    return !image.isNull() && SaveStill(image, path);
}

QImage Player::CaptureFrame(int frame, QString* why)
{
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return QImage();
    };
    if (!mpv_ || !load_.loaded() || frameMs_ <= 0)
        return refuse(QStringLiteral("no movie is ready"));
    // Messages and seek results already queued count.
    mpv_->drain();
    if (!load_.loaded())
        return refuse(QStringLiteral("the movie could not be played on"));
    if (load_.seeking())
        return refuse(QString("the seek to frame %1 has not landed").arg(frame));
    if (frame < 0 || frame >= state_.frameCount)
        return refuse(QString("frame %1 is beyond the movie").arg(frame));
    // The engine's own position, not clamped to the movie: a seek that ran into the end of the
    // data lands past the last frame.
    auto shownFrame = [this]() -> long long {
        const std::optional<double> position = mpv_->getDouble("time-pos");
        return position ? FrameAtPosition(*position, frameMs_) : -1;
    };
    const long long shown = shownFrame();
    if (shown != frame)
        return refuse(shown < 0 ? QString("the engine reports no position for frame %1")
                                      .arg(frame)
                                : QString("the engine shows frame %1, not frame %2 (the movie's "
                                          "data may end before it)")
                                      .arg(shown)
                                      .arg(frame));
    if (mpv_->getFlag("eof-reached").value_or(false) && frame != state_.frameCount - 1)
        return refuse(QString("the movie's data ends before frame %1").arg(frame));
    if (decodeFailedSinceMark())
        return refuse(QString("frame %1 could not be decoded (the movie is damaged or cut "
                              "short)").arg(frame));
    if (!mpv_->getString("video-frame-info"))
        return refuse(QString("no picture was decoded for frame %1").arg(frame));
    QImage image = GrabEngineFrame(*mpv_);
    if (image.isNull())
        return refuse(QString("the picture of frame %1 could not be read from the engine")
                          .arg(frame));
    // The engine hands the sought picture to its output a moment after the seek has landed (on
    // a loaded machine, after a seek into damaged data, the previous picture can still be
    // there): the picture counts once two grabs a moment apart agree.
    for (int tries = 0;; ++tries) {
        QThread::msleep(25);
        mpv_->drain();
        QImage again = GrabEngineFrame(*mpv_);
        if (again == image)
            break;
        if (again.isNull() || tries == 8)
            return refuse(QString("the picture of frame %1 did not settle").arg(frame));
        image = std::move(again);
    }
    // Nothing moved while the picture was taken.
    mpv_->drain();
    if (load_.seeking() || !load_.loaded() || shownFrame() != frame ||
        decodeFailedSinceMark())
        return refuse(QString("frame %1 could not be decoded (the movie is damaged or cut "
                              "short)").arg(frame));
    return image;
}

QImage Player::SeekAndCaptureFrame(int frame, QString* why)
{
    if (!load_.active()) {
        if (why)
            *why = QStringLiteral("no movie is open");
        return {};
    }
    SeekFrame(frame);
    if (!WaitSeekDone(options_.seekWaitMs)) {
        if (why)
            *why = QString("the seek to frame %1 did not land").arg(frame);
        return {};
    }
    return CaptureFrame(frame, why);
}

bool Player::SaveFrame(int frame, const QString& path, QString* why)
{
    const QImage image = CaptureFrame(frame, why);
    return !image.isNull() && SaveStill(image, path, why);
}

VideoPresenter* Player::presenter() const { return presenter_.data(); }

double Player::engineVolume() const
{
    return mpv_ ? mpv_->getDouble("volume").value_or(-1.0) : -1.0;
}

double Player::engineSpeed() const { return mpv_ ? mpv_->getDouble("speed").value_or(0.0) : 0.0; }

long long Player::droppedFrames() const
{
    const FrameCounts counts = frameCounts();
    return std::max(0LL, counts.outputDropped) + std::max(0LL, counts.decoderDropped);
}

Player::FrameCounts Player::frameCounts() const
{
    FrameCounts c;
    if (!mpv_ || !IsReady())
        return c;
    c.outputDropped = mpv_->getInt("frame-drop-count").value_or(-1);
    c.decoderDropped = mpv_->getInt("decoder-frame-drop-count").value_or(-1);
    c.late = mpv_->getInt("vo-delayed-frame-count").value_or(-1);
    return c;
}

void LockAllMovieData(Player* slot0, Player* slot1)
{
    if (slot0)
        slot0->lockMovieData();
    if (slot1)
        slot1->lockMovieData();
}

void UnlockAllMovieData(Player* slot0, Player* slot1)
{
    if (slot0)
        slot0->unlockMovieData();
    if (slot1)
        slot1->unlockMovieData();
}

}  // namespace ravir
