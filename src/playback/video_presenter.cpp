#include "playback/video_presenter.h"

#include "playback/mpv_handle.h"
#include "shell/startup_trace.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLPaintDevice>
#include <QWindow>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

namespace ravir {

// The OpenGL surface: a native window of its own inside the presenter, with its own context.
// mpv renders each frame into a framebuffer object of the render size, which is then blitted
// into the destination rectangle (turned when asked) and swapped onto that window alone.
//
// A native window rather than an OpenGL widget: a window holding OpenGL widgets is composed whole
// with OpenGL for every frame (every button, the graph and the panel drawn again as a texture),
// which with a software OpenGL costs more than drawing the video itself. In a window of its own
// the frame reaches the screen by itself and the rest of the main window stays on plain raster
// painting. The window takes no input: clicks and the wheel go through to the presenter below.
//
// The context is made with the surface, before any movie loads, so that mpv's renderer never
// changes under a movie; when it cannot be made, or mpv refuses it, the presenter keeps mpv's
// software renderer and has no surface.
class GlVideoView : public QWindow {
public:
    explicit GlVideoView(VideoPresenter* owner) : owner_(owner)
    {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlag(Qt::WindowTransparentForInput);
        // The window thread draws both cameras: a swap never waits for the display's refresh.
        QSurfaceFormat f = QSurfaceFormat::defaultFormat();
        f.setSwapInterval(0);
        setFormat(f);
    }
    ~GlVideoView() override { release(); }

    // Makes the context and mpv's OpenGL renderer; false (nothing made) when either fails.
    bool start()
    {
        if (qEnvironmentVariableIsSet("RAVIR_NO_OPENGL_VIDEO"))
            return false;
        create();
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(requestedFormat());
        // The frame is blitted from mpv's framebuffer onto the window.
        if (!context_->create() || !context_->makeCurrent(this) ||
            (context_->format().majorVersion() < 3 &&
             !context_->hasExtension("GL_EXT_framebuffer_blit"))) {
            context_.reset();
            return false;
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
        const bool made =
            mpv_render_context_create(&owner_->render_, owner_->handle_->raw(), params) >= 0;
        context_->doneCurrent();
        if (!made) {
            owner_->render_ = nullptr;
            context_.reset();
            return false;
        }
        owner_->renderIsGl_ = true;
        mpv_render_context_set_update_callback(owner_->render_, &VideoPresenter::onMpvUpdate,
                                               owner_);
        return true;
    }

    bool ready() const { return context_ && owner_->render_ != nullptr && owner_->renderIsGl_; }

    // Frees mpv's OpenGL renderer and the context.
    void release()
    {
        if (!context_)
            return;
        context_->makeCurrent(this);
        if (ready())
            owner_->freeRenderContext();
        fbo_.reset();
        context_->doneCurrent();
        context_.reset();
    }

    bool renderFrame()
    {
        if (!ready() || !context_->makeCurrent(this))
            return false;
        const QSize size = owner_->renderSize();
        if (!fbo_ || fbo_->size() != size)
            fbo_ = std::make_unique<QOpenGLFramebufferObject>(size);
        mpv_opengl_fbo target{static_cast<int>(fbo_->handle()), size.width(), size.height(), 0};
        int flip = 0;
        mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &target},
                                     {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_render(owner_->render_, params);
        context_->doneCurrent();
        return true;
    }

    // The frame as drawn: mpv wrote its top row first, which toImage() takes for the bottom.
    QImage grab()
    {
        if (!fbo_ || !ready() || !context_->makeCurrent(this))
            return QImage();
        QImage image = fbo_->toImage().mirrored(false, true);
        context_->doneCurrent();
        return image;
    }

    // Puts the last frame on the window, when it is on screen.
    void present()
    {
        if (!isExposed() || !context_ || !context_->makeCurrent(this))
            return;
        QOpenGLExtraFunctions* f = context_->extraFunctions();
        const qreal dpr = devicePixelRatio();
        const QSize pixels = size() * dpr;
        f->glViewport(0, 0, pixels.width(), pixels.height());
        f->glClearColor(0, 0, 0, 1);
        f->glClear(GL_COLOR_BUFFER_BIT);
        const GLuint screen = context_->defaultFramebufferObject();
        if (fbo_ && ready() && owner_->native_.isValid() && owner_->destSet_) {
            const IntRect d = owner_->dest_;
            const QSize s = fbo_->size();
            const NormRect& src = owner_->source_;
            int sx0 = static_cast<int>(src.left * s.width());
            int sx1 = static_cast<int>(src.right * s.width());
            int sy0 = static_cast<int>(src.top * s.height());
            int sy1 = static_cast<int>(src.bottom * s.height());
            // Frame row 0 is the top of the picture; the window's row 0 is its bottom.
            int dx0 = static_cast<int>(d.left * dpr), dx1 = static_cast<int>(d.right * dpr);
            int dy0 = pixels.height() - static_cast<int>(d.top * dpr);
            int dy1 = pixels.height() - static_cast<int>(d.bottom * dpr);
            if (owner_->rotate180_) {
                std::swap(dx0, dx1);
                std::swap(dy0, dy1);
            }
            f->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_->handle());
            f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, screen);
            f->glBlitFramebuffer(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, GL_COLOR_BUFFER_BIT,
                                 GL_LINEAR);
            f->glBindFramebuffer(GL_FRAMEBUFFER, screen);
            owner_->noteFrameShown();
            TraceStartup(StartupStep::FirstFramePresented);
            // The clear above already made the strips around the picture black: a painter is
            // only needed for the overlay.
            if (owner_->hasOverlay()) {
                QOpenGLPaintDevice device(pixels);
                device.setDevicePixelRatio(dpr);
                QPainter painter(&device);
                owner_->paintDecorations(painter);
            }
        }
        context_->swapBuffers(this);
        context_->doneCurrent();
    }

protected:
    // Put on screen at once, not through an update request: a request still pending from an
    // earlier change swallows a later one, and the first picture waited for the next frame.
    void exposeEvent(QExposeEvent*) override { present(); }
    void resizeEvent(QResizeEvent*) override { present(); }

private:
    VideoPresenter* owner_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
};

void NativeWindowAlone(QWidget& widget)
{
    // By default Qt makes every sibling of a native widget native too, and the siblings' later
    // children (hidden dialogs included, which then show up to screen readers as windows). The
    // parents do become native: a native window under plain parents is not moved when they are.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    widget.setAttribute(Qt::WA_NativeWindow);
}

void RaiseWithNativeWindow(QWidget& widget)
{
    widget.raise();
    if (QWindow* native = widget.windowHandle())
        native->raise();
}

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
    // mpv's video output needs a render context before the first movie loads: OpenGL when the
    // surface can be made, mpv's software renderer otherwise.
    if (backend_ != Backend::Software) {
        auto* view = new GlVideoView(this);
        if (view->start()) {
            glView_ = view;
            glHost_ = QWidget::createWindowContainer(glView_, this);
            // A native container, and with it a native presenter: the surface stays inside the
            // presenter's window and stacks as the presenter does, with the other camera's (the
            // inset) and with the busy bar. A plain container hangs it on the top-level window.
            NativeWindowAlone(*glHost_);
            glHost_->setAttribute(Qt::WA_TransparentForMouseEvents);
            glHost_->setGeometry(rect());
            glHost_->show();
            return true;
        }
        delete view;
        if (backend_ == Backend::OpenGL) {
            handle_ = nullptr;
            return false;
        }
    }
    if (!createSoftwareContext()) {
        handle_ = nullptr;
        return false;
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
    return true;
}

void VideoPresenter::freeRenderContext()
{
    if (!render_)
        return;
    if (handle_) {
        // The player keeps its movie when its presenter goes. A movie played without its sound
        // (the sub camera) would end when its video goes: its sound, silent at volume 0, is
        // taken on.
        QByteArray videoTrack;
        bool audioOff = false;
        if (char* vid = mpv_get_property_string(handle_->raw(), "vid")) {
            videoTrack = vid;
            mpv_free(vid);
        }
        if (char* aid = mpv_get_property_string(handle_->raw(), "aid")) {
            audioOff = qstrcmp(aid, "no") == 0;
            mpv_free(aid);
        }
        if (audioOff && !videoTrack.isEmpty() && videoTrack != "no")
            mpv_set_property_string(handle_->raw(), "aid", "auto");
    }
    mpv_render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_render_context_free(render_);
    render_ = nullptr;
    renderIsGl_ = false;
}

void VideoPresenter::detach()
{
    if (glView_) {
        glView_->release();
        delete glHost_;  // and the surface it holds
        glView_ = nullptr;
        glHost_ = nullptr;
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
            glView_->present();
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
        if (usesOpenGL())
            glView_->renderFrame();
        else
            renderSoftware();
    }
    refresh();
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
    refresh();
}

void VideoPresenter::setRotate180(bool on)
{
    if (rotate180_ == on)
        return;
    rotate180_ = on;
    refresh();
}

void VideoPresenter::setOverlay(const QImage& bitmap, const NormRect& where)
{
    overlay_ = bitmap;
    overlayWhere_ = where;
    refresh();
}

void VideoPresenter::clearOverlay()
{
    overlay_ = QImage();
    refresh();
}

void VideoPresenter::refresh()
{
    // The OpenGL surface covers the widget, whose own painting only serves grab().
    if (glView_)
        glView_->present();
    else
        update();
}

void VideoPresenter::resizeEvent(QResizeEvent* event)
{
    if (glHost_)
        glHost_->setGeometry(QRect(QPoint(0, 0), event->size()));
    QWidget::resizeEvent(event);
}

void VideoPresenter::paintDecorations(QPainter& painter) const
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
    if (paintFrame(painter, frame_)) {
        noteFrameShown();
        TraceStartup(StartupStep::FirstFramePresented);
    }
}

bool VideoPresenter::paintFrame(QPainter& painter, const QImage& frame) const
{
    if (frame.isNull() || !native_.isValid() || !destSet_) {
        painter.fillRect(rect(), Qt::black);
        return false;
    }
    const QRect target(dest_.left, dest_.top, dest_.width(), dest_.height());
    const QRectF source(source_.left * frame.width(), source_.top * frame.height(),
                        (source_.right - source_.left) * frame.width(),
                        (source_.bottom - source_.top) * frame.height());
    painter.save();
    if (rotate180_) {
        const QPointF centre = QRectF(target).center();
        painter.translate(centre);
        painter.rotate(180);
        painter.translate(-centre);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(target), frame, source);
    painter.restore();
    paintDecorations(painter);
    return true;
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
    QPainter painter(this);
    if (usesOpenGL()) {
        // On screen the surface's own window covers this; a picture of the window taken with
        // grab() (the report's, a screenshot) sees only this, so the frame is read back for it.
        // This paints on a resize or a move of the picture, never per frame.
        paintFrame(painter, glView_->grab());
        return;
    }
    paintSoftwareFrame(painter);
}

}  // namespace ravir
