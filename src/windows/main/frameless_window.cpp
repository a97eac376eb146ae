#include "windows/main/frameless_window.h"

#include "windows/kit/app_scale.h"
#include "shell/ini_keys.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace ravir {
namespace {

const QColor kOutline(0x70, 0x5D, 0xA8);
constexpr int kResizeThrottleMs = 89;      // at most one outline move per 0.0889 s

// The outline shown over the window while the user drags its border: a frame of the outline
// colour around a see-through interior, above every other window.
class ResizeOutline : public QWidget {
public:
    ResizeOutline()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput)
    {
        setObjectName(QStringLiteral("resizeOutline"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int w = std::max(2, Scaled(3));
        p.setPen(QPen(kOutline, w));
        p.drawRect(rect().adjusted(w / 2, w / 2, -(w + 1) / 2, -(w + 1) / 2));
    }
};

// A user resize has ended once the sizes have stopped changing for this long.
int ResizeSettleMs() { return std::max(1, QApplication::doubleClickInterval() / 2); }

QSize SizeForFactors(QSize design, float x, float y)
{
    return {static_cast<int>(static_cast<float>(design.width()) * x),
            static_cast<int>(static_cast<float>(design.height()) * y)};
}

}  // namespace

FramelessWindow::FramelessWindow(QWidget* window) : window_(window), captionDrag_(window)
{
    window_->setMouseTracking(true);  // the border's cursors follow the pointer
    window_->installEventFilter(this);
    applyResizeTimer_.setSingleShot(true);
    connect(&applyResizeTimer_, &QTimer::timeout, this, &FramelessWindow::applyResize);
}

FramelessWindow::~FramelessWindow() { window_->removeEventFilter(this); }

// ---- Size and scale factors ----------------------------------------------------------------

void FramelessWindow::restoreRememberedSize()
{
    if (const QScreen* scr = window_->screen())
        lastWorkArea_ = scr->availableGeometry();
    scaleX_ = static_cast<float>(ReadScale(ini::kScaleX, 1.0));
    scaleY_ = static_cast<float>(ReadScale(ini::kScaleY, 1.0));
    window_->resize(fitFactorsToScreen());
    normalRect_ = window_->geometry();
}

QSize FramelessWindow::fitFactorsToScreen()
{
    const QSize design = DesignSize(LayoutScale());
    const float maxScale = maxEnlargement();
    scaleX_ = std::clamp(scaleX_, 1.0f, maxScale);
    scaleY_ = std::clamp(scaleY_, 1.0f, maxScale);
    if (const QScreen* scr = window_->screen()) {
        const QRect area = scr->availableGeometry();
        scaleX_ = std::min(scaleX_, FittingFactor(area.width(), design.width()));
        scaleY_ = std::min(scaleY_, FittingFactor(area.height(), design.height()));
    }
    window_->setMinimumSize(design);
    window_->setMaximumSize(SizeForFactors(design, maxScale, maxScale));
    return SizeForFactors(design, scaleX_, scaleY_);
}

float FramelessWindow::maxEnlargement() const
{
    const QScreen* scr = window_->screen();
    const float value =
        scr ? MaxEnlargement(scr->geometry().width(), LayoutScale()) : kMaxEnlargementCap;
    return std::max(1.0f, value);
}

void FramelessWindow::rememberFactorsOf(QSize size)
{
    const QSize design = DesignSize(LayoutScale());
    if (design.width() <= 0 || design.height() <= 0)
        return;
    const float maxScale = maxEnlargement();
    scaleX_ = std::min(ScaleFactorFor(size.width(), design.width()), maxScale);
    scaleY_ = std::min(ScaleFactorFor(size.height(), design.height()), maxScale);
    WriteScale(ini::kScaleX, static_cast<double>(scaleX_));
    WriteScale(ini::kScaleY, static_cast<double>(scaleY_));
}

QRect FramelessWindow::clampedNormalRect() const
{
    QRect r = normalRect_;
    const QSize design = DesignSize(LayoutScale());
    if (!r.isValid())
        r = QRect(window_->pos(), design);
    r.setWidth(std::max(r.width(), design.width()));
    r.setHeight(std::max(r.height(), design.height()));
    return r;
}

void FramelessWindow::keepShownPosition()
{
    if (!window_->isMaximized() && !fullScreen_)
        normalRect_.moveTo(window_->pos());
}

void FramelessWindow::shutDown()
{
    if (closed_)
        return;
    if (fullScreen_ || window_->isMaximized() || window_->isMinimized()) {
        changingMode_ = true;
        if (fullScreen_) {
            fullScreen_ = false;
            showHiddenForFullScreen();
        }
        window_->showNormal();
        window_->setGeometry(clampedNormalRect());
        changingMode_ = false;
    }
    // The factors of the normal rectangle, also while the window was maximised or in full
    // screen: that is the size the next start restores.
    rememberFactorsOf(clampedNormalRect().size());
    closed_ = true;
    applyResizeTimer_.stop();
    if (outline_)
        outline_->hide();
}

// ---- Display modes ---------------------------------------------------------------------------

void FramelessWindow::toggleMaximised()
{
    if (fullScreen_ || closed_)
        return;
    changingMode_ = true;
    if (window_->isMaximized()) {
        // Back to the normal rectangle, at least the design size.
        window_->showNormal();
        window_->setGeometry(clampedNormalRect());
    } else {
        if (window_->windowState() == Qt::WindowNoState)
            normalRect_ = window_->geometry();
        window_->showMaximized();
    }
    changingMode_ = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::minimise()
{
    if (closed_)
        return;
    if (window_->windowState() == Qt::WindowNoState && !fullScreen_)
        normalRect_ = window_->geometry();
    window_->showMinimized();
    minimisedByButton_ = true;
}

void FramelessWindow::enterFullScreen(QWidget* keep)
{
    if (fullScreen_ || closed_)
        return;
    changingMode_ = true;
    maximisedBeforeFullScreen_ = window_->isMaximized();
    if (window_->windowState() == Qt::WindowNoState)
        normalRect_ = window_->geometry();
    hiddenForFullScreen_.clear();
    for (QObject* child : window_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w == keep || w->isWindow() || w->isHidden())
            continue;
        hiddenForFullScreen_.emplace_back(w);
        w->hide();
    }
    fullScreen_ = true;
    window_->showFullScreen();
    if (const QScreen* scr = window_->screen())
        window_->setGeometry(scr->geometry());
    if (keep)
        keep->raise();
    changingMode_ = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::leaveFullScreen()
{
    if (!fullScreen_)
        return;
    changingMode_ = true;
    fullScreen_ = false;
    showHiddenForFullScreen();
    if (maximisedBeforeFullScreen_) {
        window_->showMaximized();
    } else {
        window_->showNormal();
        window_->setGeometry(clampedNormalRect());
    }
    changingMode_ = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::showHiddenForFullScreen()
{
    for (const QPointer<QWidget>& w : hiddenForFullScreen_) {
        if (w)
            w->show();
    }
    hiddenForFullScreen_.clear();
}

// ---- The window's events ---------------------------------------------------------------------

bool FramelessWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePress(static_cast<const QMouseEvent*>(event));
    case QEvent::MouseMove:
        return mouseMove(static_cast<const QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return mouseRelease(static_cast<const QMouseEvent*>(event));
    case QEvent::MouseButtonDblClick:
        return mouseDoubleClick(static_cast<const QMouseEvent*>(event));
    case QEvent::Resize:
        // A border drag the window manager carries out ends like the window's own: once the
        // sizes stop changing, the factors are remembered.
        if (systemResize_ && !closed_)
            applyResizeTimer_.start(ResizeSettleMs());
        break;
    case QEvent::Move:
        // Outside the maximised, minimised and full-screen states every move updates the normal
        // rectangle (a late geometry of another state, of another size, does not).
        if (!changingMode_ && window_->windowState() == Qt::WindowNoState && !fullScreen_ &&
            window_->isVisible() && window_->size() == normalRect_.size())
            normalRect_.moveTo(window_->pos());
        break;
    case QEvent::WindowStateChange:
        if (!(window_->windowState() & Qt::WindowMinimized))
            minimisedByButton_ = false;
        Q_EMIT maximisedChanged(window_->isMaximized());
        break;
    case QEvent::Show:
        placeOnScreen(static_cast<const QShowEvent*>(event));
        break;
    default:
        break;
    }
    return false;
}

void FramelessWindow::placeOnScreen(const QShowEvent* event)
{
    // The first time it is shown the window goes where all of it is on its screen's work area
    // (it was sized to fit): a remembered size or a given position never hides its caption.
    if (!placedOnScreen_ && !event->spontaneous() && !window_->isMaximized() &&
        !window_->isFullScreen()) {
        placedOnScreen_ = true;
        if (const QScreen* scr = window_->screen()) {
            const QRect placed = MovedInto(window_->geometry(), scr->availableGeometry());
            if (placed != window_->geometry()) {
                window_->move(placed.topLeft());
                normalRect_ = window_->geometry();
            }
        }
    }
    if (QWindow* w = window_->windowHandle()) {
        connect(w, &QWindow::screenChanged, this, &FramelessWindow::onScreenChanged,
                Qt::UniqueConnection);
        watchScreen(w->screen());
    }
}

bool FramelessWindow::mousePress(const QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || fullScreen_)
        return false;
    systemResize_ = false;  // a new press: an earlier border drag of the window manager is over
    const int zone = HitTestZone(event->position().toPoint(), window_->size(), LayoutScale(),
                                 window_->isMaximized());
    if (zone >= kZoneLeft && zone <= kZoneBottomRight) {
        // The window manager resizes where it can (X11 and Wayland); elsewhere the window
        // draws its outline and resizes itself when the button comes up.
        const Qt::Edges edges = EdgesForZone(zone);
        QWindow* handle = window_->windowHandle();
        if (systemResizeStarter_ ? systemResizeStarter_(edges)
                                  : handle && handle->startSystemResize(edges)) {
            systemResize_ = true;
            return true;
        }
        resizeZone_ = zone;
        resizeStart_ = window_->geometry();
        resizeCursor_ = event->globalPosition().toPoint();
        resizeThrottle_.start();
        if (!outline_)
            outline_ = std::make_unique<ResizeOutline>();
        outline_->setGeometry(resizeStart_);
        outline_->show();
        outline_->raise();
        return true;
    }
    if (zone == kZoneCaption && !window_->isMaximized()) {
        captionDrag_.press(event);  // moves once the mouse goes on, a double-click stays one
        return true;
    }
    return false;
}

bool FramelessWindow::mouseMove(const QMouseEvent* event)
{
    if (resizeZone_ != kZoneNone && (event->buttons() & Qt::LeftButton)) {
        if (resizeThrottle_.elapsed() >= kResizeThrottleMs) {
            resizeThrottle_.restart();
            const QPoint delta = event->globalPosition().toPoint() - resizeCursor_;
            const ClampedResize c = ClampResize(DraggedRect(resizeStart_, resizeZone_, delta),
                                                resizeZone_, LayoutScale(), maxEnlargement());
            outline_->setGeometry(c.rect);
        }
        return true;
    }
    if (captionDrag_.move(event))
        return true;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The window sees the pointer again only once the window manager's drag has ended.
        systemResize_ = false;
        if (!fullScreen_) {
            const int zone = HitTestZone(event->position().toPoint(), window_->size(),
                                         LayoutScale(), window_->isMaximized());
            window_->setCursor(CursorForZone(zone));
        }
    }
    return false;
}

bool FramelessWindow::mouseRelease(const QMouseEvent* event)
{
    if (resizeZone_ != kZoneNone && event->button() == Qt::LeftButton) {
        const QPoint delta = event->globalPosition().toPoint() - resizeCursor_;
        const ClampedResize c = ClampResize(DraggedRect(resizeStart_, resizeZone_, delta),
                                            resizeZone_, LayoutScale(), maxEnlargement());
        window_->setGeometry(c.rect);
        if (outline_)
            outline_->hide();
        resizeZone_ = kZoneNone;
        Q_EMIT layoutNeeded();
        applyResizeTimer_.start(ResizeSettleMs());
        return true;
    }
    captionDrag_.end();
    return false;
}

bool FramelessWindow::mouseDoubleClick(const QMouseEvent* event)
{
    captionDrag_.end();
    if (!fullScreen_ && HitTestZone(event->position().toPoint(), window_->size(), LayoutScale(),
                                     window_->isMaximized()) == kZoneCaption) {
        toggleMaximised();
        return true;
    }
    return false;
}

void FramelessWindow::applyResize()
{
    // A drag of the window manager may pause longer than the settle time and go on: it stays a
    // drag, and every later size is applied too, until the pointer is back in the window.
    if (closed_)
        return;
    if (!window_->isMaximized() && !fullScreen_ && !window_->isMinimized()) {
        rememberFactorsOf(window_->size());
        normalRect_ = window_->geometry();
        Q_EMIT resizeApplied();
    }
    monitorCheck();
}

// ---- Monitors ----------------------------------------------------------------------------------

void FramelessWindow::watchScreen(QScreen* scr)
{
    if (watchedScreen_ == scr)
        return;
    if (watchedScreen_)
        disconnect(watchedScreen_, nullptr, this, nullptr);
    watchedScreen_ = scr;
    if (scr) {
        connect(scr, &QScreen::availableGeometryChanged, this, &FramelessWindow::monitorCheck,
                Qt::QueuedConnection);
    }
}

void FramelessWindow::onScreenChanged(QScreen* scr)
{
    watchScreen(scr);
    // Checked once the move or resize that changed the screen is over: a user resize checks
    // after it wrote its factors, anything else from the event loop.
    if (resizeZone_ != kZoneNone || applyResizeTimer_.isActive())
        return;
    QMetaObject::invokeMethod(this, &FramelessWindow::monitorCheck, Qt::QueuedConnection);
}

void FramelessWindow::monitorCheck()
{
    const QScreen* scr = window_->screen();
    if (!scr || closed_)
        return;
    const QRect area = scr->availableGeometry();
    if (area == lastWorkArea_)
        return;
    lastWorkArea_ = area;
    // New fonts recompute the layout scale; the window keeps its factors at its position.
    if (!ComputeScalesAndFonts(window_))
        return;
    changingMode_ = true;
    const QSize sized = fitFactorsToScreen();
    normalRect_.setSize(sized);
    if (!fullScreen_ && !window_->isMaximized())
        window_->resize(sized);
    changingMode_ = false;
    Q_EMIT rescaled();
}

}  // namespace ravir
