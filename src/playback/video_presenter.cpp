#include "playback/video_presenter.h"

#include "playback/mpv_handle.h"

#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLWidget>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

namespace ravir {

// The OpenGL surface: mpv renders each frame into a framebuffer object of the render size,
// which is then blitted into the destination rectangle (turned when asked).
class GlVideoView : public QOpenGLWidget {
public:
    explicit GlVideoView(VideoPresenter* owner) : QOpenGLWidget(owner), owner_(owner)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    ~GlVideoView() override { release(); }

    bool ready() const { return owner_->render_ != nullptr; }

    void release()
    {
        if (!owner_->render_ || !context())
            return;
        makeCurrent();
        mpv_render_context_free(owner_->render_);
        owner_->render_ = nullptr;
        fbo_.reset();
        doneCurrent();
    }

    bool renderFrame()
    {
        if (!owner_->render_)
            return false;
        makeCurrent();
        const QSize size = owner_->renderSize();
        if (!fbo_ || fbo_->size() != size)
            fbo_ = std::make_unique<QOpenGLFramebufferObject>(size);
        mpv_opengl_fbo target{static_cast<int>(fbo_->handle()), size.width(), size.height(), 0};
        int flip = 0;
        mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &target},
                                     {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_render(owner_->render_, params);
        doneCurrent();
        return true;
    }

    // The frame as drawn: mpv wrote its top row first, which toImage() takes for the bottom.
    QImage grab()
    {
        if (!fbo_)
            return QImage();
        makeCurrent();
        return fbo_->toImage().mirrored(false, true);
    }

protected:
    void initializeGL() override
    {
        if (owner_->render_ || !owner_->handle_)
            return;
        mpv_opengl_init_params gl{
            [](void*, const char* name) -> void* {
                QOpenGLContext* ctx = QOpenGLContext::currentContext();
                return ctx ? reinterpret_cast<void*>(ctx->getProcAddress(name)) : nullptr;
            },
            nullptr};
        int advanced = 0;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
            {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advanced},
            {MPV_RENDER_PARAM_INVALID, nullptr}};
        if (mpv_render_context_create(&owner_->render_, owner_->handle_->raw(), params) < 0) {
            owner_->render_ = nullptr;
            return;
        }
        mpv_render_context_set_update_callback(owner_->render_, &VideoPresenter::onMpvUpdate,
                                               owner_);
    }

    void paintGL() override
    {
        QOpenGLExtraFunctions* f = context()->extraFunctions();
        f->glClearColor(0, 0, 0, 1);
        f->glClear(GL_COLOR_BUFFER_BIT);
        if (fbo_ && owner_->native_.isValid() && owner_->destSet_) {
            const qreal dpr = devicePixelRatioF();
            const int height = static_cast<int>(this->height() * dpr);
            const IntRect d = owner_->dest_;
            const QSize s = fbo_->size();
            const NormRect& src = owner_->source_;
            int sx0 = static_cast<int>(src.left * s.width());
            int sx1 = static_cast<int>(src.right * s.width());
            int sy0 = static_cast<int>(src.top * s.height());
            int sy1 = static_cast<int>(src.bottom * s.height());
            // Frame row 0 is the top of the picture; the window's row 0 is its bottom.
            int dx0 = static_cast<int>(d.left * dpr), dx1 = static_cast<int>(d.right * dpr);
            int dy0 = height - static_cast<int>(d.top * dpr);
            int dy1 = height - static_cast<int>(d.bottom * dpr);
            if (owner_->rotate180_) {
                std::swap(dx0, dx1);
                std::swap(dy0, dy1);
            }
            f->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_->handle());
            f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
            f->glBlitFramebuffer(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, GL_COLOR_BUFFER_BIT,
                                 GL_LINEAR);
            f->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        }
        QPainter painter(this);
        owner_->paintDecorations(painter);
    }

private:
    VideoPresenter* owner_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
};

namespace {

bool openGlAvailable()
{
    QOpenGLContext probe;
    if (!probe.create())
        return false;
    QOffscreenSurface surface;
    surface.create();
    if (!probe.makeCurrent(&surface))
        return false;
    const bool blit = probe.format().majorVersion() >= 3 ||
                      probe.hasExtension("GL_EXT_framebuffer_blit");
    probe.doneCurrent();
    return blit;
}

}  // namespace

VideoPresenter::VideoPresenter(QWidget* parent, Backend backend)
    : QWidget(parent), backend_(backend)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
}

VideoPresenter::~VideoPresenter() { detach(); }

bool VideoPresenter::attach(MpvHandle* handle)
{
    detach();
    if (!handle || !handle->isValid())
        return false;
    handle_ = handle;
    framesRendered_ = 0;
    const bool wantGl = backend_ == Backend::OpenGL ||
                        (backend_ == Backend::Automatic && openGlAvailable());
    if (wantGl) {
        glView_ = new GlVideoView(this);
        glView_->setGeometry(rect());
        glView_->show();
        // Creates the GL context (and with it the render context) even while hidden, so that
        // the video output exists before the first movie opens.
        glView_->grabFramebuffer();
        if (glView_->ready())
            return true;
        delete glView_;
        glView_ = nullptr;
        if (backend_ == Backend::OpenGL) {
            handle_ = nullptr;
            return false;
        }
    }
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&render_, handle_->raw(), params) < 0) {
        render_ = nullptr;
        handle_ = nullptr;
        return false;
    }
    mpv_render_context_set_update_callback(render_, &VideoPresenter::onMpvUpdate, this);
    return true;
}

void VideoPresenter::detach()
{
    if (glView_) {
        glView_->release();
        delete glView_;
        glView_ = nullptr;
    }
    if (render_) {
        mpv_render_context_set_update_callback(render_, nullptr, nullptr);
        mpv_render_context_free(render_);
        render_ = nullptr;
    }
    handle_ = nullptr;
    frame_ = QImage();
    update();
}

bool VideoPresenter::isAttached() const { return render_ != nullptr; }

void VideoPresenter::onMpvUpdate(void* self)
{
    // On a libmpv thread: only note the update and queue the drawing on the widget's thread.
    auto* me = static_cast<VideoPresenter*>(self);
    me->updatePending_.store(true);
    if (!me->renderQueued_.exchange(true))
        QMetaObject::invokeMethod(me, [me] { me->serviceRender(); }, Qt::QueuedConnection);
}

void VideoPresenter::serviceRender()
{
    renderQueued_.store(false);
    if (!render_ || !updatePending_.exchange(false))
        return;
    const uint64_t flags = mpv_render_context_update(render_);
    if (!(flags & MPV_RENDER_UPDATE_FRAME))
        return;
    if (glView_) {
        if (glView_->renderFrame()) {
            ++framesRendered_;
            glView_->update();
        }
    } else {
        renderSoftware();
    }
}

QSize VideoPresenter::renderSize() const
{
    QSize size = native_.isValid() ? native_ : this->size();
    if (destSet_ && native_.isValid()) {
        // No more pixels than the destination shows, never more than the video has.
        const double fw = std::max(0.01, source_.right - source_.left);
        const double fh = std::max(0.01, source_.bottom - source_.top);
        const int wantW = static_cast<int>(dest_.width() / fw + 0.5);
        const int wantH = static_cast<int>(dest_.height() / fh + 0.5);
        size = QSize(std::clamp(wantW, 2, native_.width()), std::clamp(wantH, 2, native_.height()));
    }
    return size.expandedTo(QSize(2, 2));
}

void VideoPresenter::renderSoftware()
{
    if (!render_)
        return;
    const QSize size = renderSize();
    if (frame_.size() != size)
        frame_ = QImage(size, QImage::Format_RGB32);
    int dims[2] = {size.width(), size.height()};
    size_t stride = static_cast<size_t>(frame_.bytesPerLine());
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, dims},
                                 {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
                                 {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                 {MPV_RENDER_PARAM_SW_POINTER, frame_.bits()},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_render(render_, params) >= 0)
        ++framesRendered_;
    update();
}

PresenterStatus VideoPresenter::SetVideoPosition(const NormRect& source, const IntRect& dest)
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    if (!IsValidVideoPosition(source, dest))
        return PresenterStatus::InvalidArgument;
    source_ = source;
    if (!destSet_ || !(dest == dest_)) {
        dest_ = dest;
        destSet_ = true;
        RepaintVideo();
    }
    return PresenterStatus::Ok;
}

PresenterStatus VideoPresenter::GetVideoPosition(NormRect& source, IntRect& dest) const
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    source = source_;
    dest = dest_;
    return PresenterStatus::Ok;
}

PresenterStatus VideoPresenter::GetNativeVideoSize(QSize& size) const
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    size = native_;
    return PresenterStatus::Ok;
}

PresenterStatus VideoPresenter::RepaintVideo()
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    if (native_.isValid()) {
        if (glView_) {
            glView_->renderFrame();
            glView_->update();
        } else {
            renderSoftware();
        }
    }
    update();
    return PresenterStatus::Ok;
}

PresenterStatus VideoPresenter::GetCurrentImage(QImage& image) const
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    image = glView_ ? glView_->grab() : frame_.copy();
    return image.isNull() ? PresenterStatus::InvalidArgument : PresenterStatus::Ok;
}

int VideoPresenter::refreshHz() const
{
    const QScreen* s = screen();
    return s ? static_cast<int>(s->refreshRate() + 0.5) : 0;
}

PresenterStatus VideoPresenter::GetFastestRate(bool reverse, bool thinning, float& rate) const
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    rate = FastestRate(thinning, refreshHz(), frameRateNum_, frameRateDen_, reverse);
    return PresenterStatus::Ok;
}

PresenterStatus VideoPresenter::IsRateSupported(bool thinning, float rate, float* nearest) const
{
    if (!handle_)
        return PresenterStatus::ShutDown;
    return ravir::IsRateSupported(thinning, rate, refreshHz(), frameRateNum_, frameRateDen_,
                                  nearest)
               ? PresenterStatus::Ok
               : PresenterStatus::UnsupportedRate;
}

void VideoPresenter::setFrameRate(int numerator, int denominator)
{
    frameRateNum_ = numerator;
    frameRateDen_ = denominator;
}

void VideoPresenter::setNativeSize(const QSize& size)
{
    native_ = size;
    if (!size.isValid())
        frame_ = QImage();
    update();
}

void VideoPresenter::setRotate180(bool on)
{
    if (rotate180_ == on)
        return;
    rotate180_ = on;
    if (glView_)
        glView_->update();
    update();
}

void VideoPresenter::setOverlay(const QImage& bitmap, const NormRect& where)
{
    overlay_ = bitmap;
    overlayWhere_ = where;
    if (glView_)
        glView_->update();
    update();
}

void VideoPresenter::clearOverlay()
{
    overlay_ = QImage();
    if (glView_)
        glView_->update();
    update();
}

void VideoPresenter::resizeEvent(QResizeEvent* event)
{
    if (glView_)
        glView_->setGeometry(QRect(QPoint(0, 0), event->size()));
    QWidget::resizeEvent(event);
}

void VideoPresenter::paintDecorations(QPainter& painter)
{
    if (!native_.isValid() || !destSet_) {
        if (!glView_)
            painter.fillRect(rect(), Qt::black);
        return;
    }
    for (const IntRect& strip : BlackStrips(width(), height(), dest_)) {
        if (strip.width() > 0 && strip.height() > 0)
            painter.fillRect(QRect(strip.left, strip.top, strip.width(), strip.height()), Qt::black);
    }
    if (!overlay_.isNull()) {
        const IntRect o = MapToDest(overlayWhere_, dest_);
        painter.drawImage(QRect(o.left, o.top, o.width(), o.height()), overlay_);
    }
}

void VideoPresenter::paintEvent(QPaintEvent*)
{
    if (glView_)
        return;
    QPainter painter(this);
    if (!frame_.isNull() && native_.isValid() && destSet_) {
        const QRect target(dest_.left, dest_.top, dest_.width(), dest_.height());
        const QRectF source(source_.left * frame_.width(), source_.top * frame_.height(),
                            (source_.right - source_.left) * frame_.width(),
                            (source_.bottom - source_.top) * frame_.height());
        painter.save();
        if (rotate180_) {
            const QPointF centre = QRectF(target).center();
            painter.translate(centre);
            painter.rotate(180);
            painter.translate(-centre);
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(target), frame_, source);
        painter.restore();
    } else if (!destSet_ || !native_.isValid()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    paintDecorations(painter);
}

}  // namespace ravir
