#pragma once
// The video presenter: the project's widget that shows the frames of one libmpv handle through
// mpv's render API. It draws with OpenGL when the platform offers it and otherwise with mpv's
// software renderer into a QImage. The picture goes into the destination rectangle set by
// SetVideoPosition; the rest of the widget is black; a text overlay and a half-turn rotation are
// applied on top of the picture.
#include "playback/placement.h"

#include <QImage>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <memory>

struct mpv_handle;
struct mpv_render_context;

namespace ravir {

class MpvHandle;
class GlVideoView;

enum class PresenterStatus { Ok, InvalidArgument, ShutDown, UnsupportedRate };

// Gives the widget (and its parents) a native window of its own, leaving their siblings plain
// widgets drawn into their window's one raster surface.
void NativeWindowAlone(QWidget& widget);
// Raises the widget above its siblings, and its native window (if it has one) above the other
// native windows of its window: QWidget::raise() alone does nothing to the native window of a
// widget that already is its parent's last child, whatever the native order is.
void RaiseWithNativeWindow(QWidget& widget);

class VideoPresenter : public QWidget {
    Q_OBJECT
public:
    enum class Backend { Automatic, Software, OpenGL };
    explicit VideoPresenter(QWidget* parent = nullptr, Backend backend = Backend::Automatic);
    ~VideoPresenter() override;

    // Connects the presenter to a handle created with vo=libmpv; false when no render context
    // could be made. detach() must run before the handle is destroyed.
    bool attach(MpvHandle* handle);
    void detach();
    bool isAttached() const;
    // Frames are drawn through OpenGL, in a native window of the presenter's own.
    bool usesOpenGL() const { return glView_ != nullptr && renderIsGl_; }

    PresenterStatus SetVideoPosition(const NormRect& source, const IntRect& dest);
    PresenterStatus GetVideoPosition(NormRect& source, IntRect& dest) const;
    PresenterStatus GetNativeVideoSize(QSize& size) const;
    PresenterStatus RepaintVideo();
    // The last frame drawn, at the size it was rendered (at most the native size).
    PresenterStatus GetCurrentImage(QImage& image) const;

    // Rate support against the display's refresh rate (see FastestRate).
    PresenterStatus GetFastestRate(bool reverse, bool thinning, float& rate) const;
    PresenterStatus IsRateSupported(bool thinning, float rate, float* nearest) const;

    void setNativeSize(const QSize& size);
    // Frame rate of the open movie as a fraction (0/0 when unknown).
    void setFrameRate(int numerator, int denominator);
    void setRotate180(bool on);
    bool rotate180() const { return rotate180_; }
    // The overlay bitmap and where it goes on the picture; black pixels are transparent.
    void setOverlay(const QImage& bitmap, const NormRect& where);
    void clearOverlay();
    bool hasOverlay() const { return !overlay_.isNull(); }

    // Frames drawn since attach, and of those the ones painted onto the window (for the
    // benchmarks): a frame drawn over before the window was painted never reached the screen.
    long long framesRendered() const { return framesRendered_; }
    long long framesShown() const { return framesShown_; }

    // Draws a pending frame now; the players call it while they wait for the decoder.
    void serviceRender();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class GlVideoView;
    int refreshHz() const;
    static void onMpvUpdate(void* self);
    void renderSoftware();
    QSize renderSize() const;
    void paintDecorations(class QPainter& painter) const;
    void paintSoftwareFrame(class QPainter& painter);
    // The frame into the destination, turned when asked, with the decorations; false (and
    // black) when there is nothing to show.
    bool paintFrame(class QPainter& painter, const QImage& frame) const;
    bool createSoftwareContext();
    void freeRenderContext();

    Backend backend_;
    MpvHandle* handle_ = nullptr;
    mpv_render_context* render_ = nullptr;
    bool renderIsGl_ = false;
    GlVideoView* glView_ = nullptr;  // the OpenGL surface's window, held by glHost_
    QWidget* glHost_ = nullptr;
    std::atomic<bool> updatePending_{false};
    std::atomic<bool> renderQueued_{false};
    QImage frame_;
    QSize native_;
    int frameRateNum_ = 0;
    int frameRateDen_ = 0;
    NormRect source_;
    IntRect dest_;
    bool destSet_ = false;
    bool rotate180_ = false;
    QImage overlay_;
    NormRect overlayWhere_;
    long long framesRendered_ = 0;
    long long framesShown_ = 0;
    long long renderedWhenShown_ = 0;
    void noteFrameShown();
    // Shows a change of the placement, rotation or overlay on screen.
    void refresh();
};

}  // namespace ravir
