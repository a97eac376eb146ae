#include "playback/video_presenter.h"

#include "playback/mpv_handle.h"
#include "shell/startup_trace.h"

#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLWidget>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

namespace ravir {

// The OpenGL surface: mpv renders each frame into a framebuffer object of the render size,
// which is then blitted into the destination rectangle (turned when asked).
//
// The widget's OpenGL context can only show on screen when it is created after its window is
// shown: the window's compositor shares textures only with contexts made from its own, and a
// context made earlier (for instance by grabbing the widget while hidden) draws into a texture
// the screen never sees (black on screen while grabs look right). So the presenter starts with
// mpv's software renderer and moves to OpenGL in initializeGL, once Qt creates the context for
// the shown window; when that context cannot reach the screen or mpv refuses it, the software
// renderer stays and the OpenGL surface is removed.
class GlVideoView : public QOpenGLWidget {
public:
    explicit GlVideoView(VideoPresenter* owner) : QOpenGLWidget(owner), owner_(owner)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    ~GlVideoView() override
    {
        // The base class destroys the context after this body: its aboutToBeDestroyed must not
        // reach this object any more, whose members are gone by then.
        QObject::disconnect(contextGone_);
        release();
    }

    bool ready() const { return owner_->render_ != nullptr && owner_->renderIsGl_; }

    // Frees the OpenGL render context (the software one is the presenter's to free).
    void release()
    {
        if (!ready() || !context())
            return;
        makeCurrent();
        owner_->freeRenderContext();
        fbo_.reset();
        doneCurrent();
    }

    bool renderFrame()
    {
        if (!ready())
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
        if (!fbo_ || !ready())
            return QImage();
        makeCurrent();
        QImage image = fbo_->toImage().mirrored(false, true);
        doneCurrent();
        return image;
    }

protected:
    void initializeGL() override
    {
        if (ready() || !owner_->handle_)
            return;
        // Without a context shared with the window's compositor nothing drawn here reaches the
        // screen: keep the software renderer.
        if (!context() || !context()->shareContext() ||
            qEnvironmentVariableIsSet("RAVIR_NO_OPENGL_VIDEO")) {
            owner_->dropOpenGL();
            return;
        }
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
        owner_->freeRenderContext();
        mpv_render_context* glRender = nullptr;
        if (mpv_render_context_create(&glRender, owner_->handle_->raw(), params) < 0) {
            owner_->createSoftwareContext();
            owner_->dropOpenGL();
            return;
        }
        owner_->render_ = glRender;
        owner_->renderIsGl_ = true;
        // Moved to another window (full screen in a window of its own, say), the widget gets a
        // new context: mpv's render context goes with the old one, the software renderer
        // stands in, and initializeGL takes over again in the new context.
        contextGone_ = connect(
            context(), &QOpenGLContext::aboutToBeDestroyed, this,
            [this] {
                if (!ready())
                    return;
                release();
                owner_->createSoftwareContext();
            },
            Qt::DirectConnection);
        mpv_render_context_set_update_callback(owner_->render_, &VideoPresenter::onMpvUpdate,
                                               owner_);
        owner_->afterRendererChange();
    }

    void paintGL() override
    {
        QOpenGLExtraFunctions* f = context()->extraFunctions();
        f->glClearColor(0, 0, 0, 1);
        f->glClear(GL_COLOR_BUFFER_BIT);
        if (!ready()) {
            // Still on the software renderer (or leaving OpenGL): its frame, drawn by Qt.
            QPainter painter(this);
            owner_->paintSoftwareFrame(painter);
            return;
        }
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
            owner_->noteFrameShown();
            TraceStartup(StartupStep::FirstFramePresented);
        }
        // The clear above already made the strips around the picture black: a painter (whose
        // begin and end reset the context's whole state) is only needed for the overlay.
        if (owner_->hasOverlay()) {
            QPainter painter(this);
            owner_->paintDecorations(painter);
        }
    }

private:
    VideoPresenter* owner_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    QMetaObject::Connection contextGone_;  // the context's aboutToBeDestroyed, while this lives
};

namespace {

// Whether OpenGL can draw the video: a context can be made and blits framebuffers. Asked of a
// throw-away context, once per process (the answer is the platform's; both cameras' presenters
// and every later attach reuse it).
bool probeOpenGl()
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

bool openGlAvailable()
{
    static const bool available = probeOpenGl();
    return available;
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
    framesShown_ = 0;
    renderedWhenShown_ = 0;
    const bool wantGl = backend_ != Backend::Software && openGlAvailable();
    if (backend_ == Backend::OpenGL && !wantGl) {
        handle_ = nullptr;
        return false;
    }
    // mpv's video output needs a render context before the first movie loads: the software one
    // serves until the OpenGL surface is shown on screen.
    if (!createSoftwareContext()) {
        handle_ = nullptr;
        return false;
    }
    if (wantGl) {
        glView_ = new GlVideoView(this);
        glView_->setGeometry(rect());
        glView_->show();
    }
    return true;
}

bool VideoPresenter::createSoftwareContext()
{
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (!handle_ || mpv_render_context_create(&render_, handle_->raw(), params) < 0) {
        render_ = nullptr;
        return false;
    }
    renderIsGl_ = false;
    mpv_render_context_set_update_callback(render_, &VideoPresenter::onMpvUpdate, this);
    afterRendererChange();
    return true;
}

void VideoPresenter::freeRenderContext()
{
    if (!render_)
        return;
    videoTrack_.clear();
    audioOff_ = false;
    if (handle_) {
        if (char* vid = mpv_get_property_string(handle_->raw(), "vid")) {
            videoTrack_ = vid;
            mpv_free(vid);
        }
        // A movie played without its sound (the sub camera) would end when its video goes:
        // its sound, silent at volume 0, is taken on until the video is back.
        if (char* aid = mpv_get_property_string(handle_->raw(), "aid")) {
            audioOff_ = qstrcmp(aid, "no") == 0;
            mpv_free(aid);
        }
        if (audioOff_ && !videoTrack_.isEmpty() && videoTrack_ != "no")
            mpv_set_property_string(handle_->raw(), "aid", "auto");
        else
            audioOff_ = false;
    }
    mpv_render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_render_context_free(render_);
    render_ = nullptr;
    renderIsGl_ = false;
}

void VideoPresenter::afterRendererChange()
{
    // Freeing the old context while a movie was loaded took its video track off (mpv drops the
    // video when its output goes away): select the track again, then draw the current frame.
    bool numbered = false;
    videoTrack_.toInt(&numbered);
    if (!handle_ || !numbered)
        return;
    mpv_set_property_string(handle_->raw(), "vid", videoTrack_.constData());
    if (audioOff_)
        mpv_set_property_string(handle_->raw(), "aid", "no");
    audioOff_ = false;
    videoTrack_.clear();
    updatePending_.store(true);
    if (!renderQueued_.exchange(true))
        QMetaObject::invokeMethod(this, [this] { serviceRender(); }, Qt::QueuedConnection);
}

void VideoPresenter::dropOpenGL()
{
    if (!glView_)
        return;
    // Removed from the event loop: this runs inside the surface's own initializeGL.
    GlVideoView* view = glView_;
    glView_ = nullptr;
    view->hide();
    view->deleteLater();
    if (!render_)
        createSoftwareContext();
    update();
}

void VideoPresenter::detach()
{
    if (glView_) {
        glView_->release();
        delete glView_;
        glView_ = nullptr;
    }
    freeRenderContext();
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
    if (usesOpenGL()) {
        if (glView_->renderFrame()) {
            ++framesRendered_;
            showNewFrame();
        }
    } else {
        renderSoftware();
    }
}

void VideoPresenter::showNewFrame()
{
    VideoPresenter* other = partner_;
    const bool paired = other && other->usesOpenGL() && usesOpenGL() && isVisible() &&
                        other->isVisible();
    if (!paired) {
        releaseHeldFrame();
        glView_->update();
        return;
    }
    if (other->frameHeld_ || frameHeld_) {
        // The partner's frame waits (or this one waited already): both go on screen now.
        other->releaseHeldFrame();
        releaseHeldFrame();
        glView_->update();
        return;
    }
    frameHeld_ = true;
    if (!holdTimer_) {
        holdTimer_ = new QTimer(this);
        holdTimer_->setSingleShot(true);
        holdTimer_->setTimerType(Qt::PreciseTimer);
        connect(holdTimer_, &QTimer::timeout, this, [this] { releaseHeldFrame(); });
    }
    holdTimer_->start(kPairWaitMs);
}

void VideoPresenter::releaseHeldFrame()
{
    if (!frameHeld_)
        return;
    frameHeld_ = false;
    if (holdTimer_)
        holdTimer_->stop();
    if (glView_)
        glView_->update();
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
    if (!render_ || renderIsGl_)
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
    if (glView_)
        glView_->update();
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
        if (usesOpenGL()) {
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
    image = usesOpenGL() ? glView_->grab() : frame_.copy();
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

void VideoPresenter::paintSoftwareFrame(QPainter& painter)
{
    if (frame_.isNull() || !native_.isValid() || !destSet_) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
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
    noteFrameShown();
    TraceStartup(StartupStep::FirstFramePresented);
    paintDecorations(painter);
}

void VideoPresenter::noteFrameShown()
{
    if (renderedWhenShown_ == framesRendered_)
        return;
    renderedWhenShown_ = framesRendered_;
    ++framesShown_;
}

void VideoPresenter::paintEvent(QPaintEvent*)
{
    if (glView_)
        return;
    QPainter painter(this);
    paintSoftwareFrame(painter);
}

}  // namespace ravir
