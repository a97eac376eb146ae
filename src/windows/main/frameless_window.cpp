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

const QColor kOutline(0x70, 0x5D, 0xA8);  // COLORREF 0xA85D70
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

FramelessWindow::FramelessWindow(QWidget* window) : m_window(window), m_captionDrag(window)
{
    m_window->setMouseTracking(true);  // the border's cursors follow the pointer
    m_window->installEventFilter(this);
    m_applyResizeTimer.setSingleShot(true);
    connect(&m_applyResizeTimer, &QTimer::timeout, this, &FramelessWindow::applyResize);
}

FramelessWindow::~FramelessWindow() { m_window->removeEventFilter(this); }

// ---- Size and scale factors ----------------------------------------------------------------

void FramelessWindow::restoreRememberedSize()
{
    if (const QScreen* scr = m_window->screen())
        m_lastWorkArea = scr->availableGeometry();
    m_scaleX = static_cast<float>(ReadScale(ini::kScaleX, 1.0));
    m_scaleY = static_cast<float>(ReadScale(ini::kScaleY, 1.0));
    m_window->resize(fitFactorsToScreen());
    m_normalRect = m_window->geometry();
}

QSize FramelessWindow::fitFactorsToScreen()
{
    const QSize design = DesignSize(LayoutScale());
    const float maxScale = maxEnlargement();
    m_scaleX = std::clamp(m_scaleX, 1.0f, maxScale);
    m_scaleY = std::clamp(m_scaleY, 1.0f, maxScale);
    if (const QScreen* scr = m_window->screen()) {
        const QRect area = scr->availableGeometry();
        m_scaleX = std::min(m_scaleX, FittingFactor(area.width(), design.width()));
        m_scaleY = std::min(m_scaleY, FittingFactor(area.height(), design.height()));
    }
    m_window->setMinimumSize(design);
    m_window->setMaximumSize(SizeForFactors(design, maxScale, maxScale));
    return SizeForFactors(design, m_scaleX, m_scaleY);
}

float FramelessWindow::maxEnlargement() const
{
    const QScreen* scr = m_window->screen();
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
    m_scaleX = std::min(ScaleFactorFor(size.width(), design.width()), maxScale);
    m_scaleY = std::min(ScaleFactorFor(size.height(), design.height()), maxScale);
    WriteScale(ini::kScaleX, static_cast<double>(m_scaleX));
    WriteScale(ini::kScaleY, static_cast<double>(m_scaleY));
}

QRect FramelessWindow::clampedNormalRect() const
{
    QRect r = m_normalRect;
    const QSize design = DesignSize(LayoutScale());
    if (!r.isValid())
        r = QRect(m_window->pos(), design);
    r.setWidth(std::max(r.width(), design.width()));
    r.setHeight(std::max(r.height(), design.height()));
    return r;
}

void FramelessWindow::keepShownPosition()
{
    if (!m_window->isMaximized() && !m_fullScreen)
        m_normalRect.moveTo(m_window->pos());
}

void FramelessWindow::shutDown()
{
    if (m_closed)
        return;
    if (m_fullScreen || m_window->isMaximized() || m_window->isMinimized()) {
        m_changingMode = true;
        if (m_fullScreen) {
            m_fullScreen = false;
            showHiddenForFullScreen();
        }
        m_window->showNormal();
        m_window->setGeometry(clampedNormalRect());
        m_changingMode = false;
    }
    // The factors of the normal rectangle, also while the window was maximised or in full
    // screen: that is the size the next start restores.
    rememberFactorsOf(clampedNormalRect().size());
    m_closed = true;
    m_applyResizeTimer.stop();
    if (m_outline)
        m_outline->hide();
}

// ---- Display modes ---------------------------------------------------------------------------

void FramelessWindow::toggleMaximised()
{
    if (m_fullScreen || m_closed)
        return;
    m_changingMode = true;
    if (m_window->isMaximized()) {
        // Back to the normal rectangle, at least the design size.
        m_window->showNormal();
        m_window->setGeometry(clampedNormalRect());
    } else {
        if (m_window->windowState() == Qt::WindowNoState)
            m_normalRect = m_window->geometry();
        m_window->showMaximized();
    }
    m_changingMode = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::minimise()
{
    if (m_closed)
        return;
    if (m_window->windowState() == Qt::WindowNoState && !m_fullScreen)
        m_normalRect = m_window->geometry();
    m_window->showMinimized();
    m_minimisedByButton = true;
}

void FramelessWindow::enterFullScreen(QWidget* keep)
{
    if (m_fullScreen || m_closed)
        return;
    m_changingMode = true;
    m_maximisedBeforeFullScreen = m_window->isMaximized();
    if (m_window->windowState() == Qt::WindowNoState)
        m_normalRect = m_window->geometry();
    m_hiddenForFullScreen.clear();
    for (QObject* child : m_window->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w == keep || w->isWindow() || w->isHidden())
            continue;
        m_hiddenForFullScreen.emplace_back(w);
        w->hide();
    }
    m_fullScreen = true;
    m_window->showFullScreen();
    if (const QScreen* scr = m_window->screen())
        m_window->setGeometry(scr->geometry());
    if (keep)
        keep->raise();
    m_changingMode = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::leaveFullScreen()
{
    if (!m_fullScreen)
        return;
    m_changingMode = true;
    m_fullScreen = false;
    showHiddenForFullScreen();
    if (m_maximisedBeforeFullScreen) {
        m_window->showMaximized();
    } else {
        m_window->showNormal();
        m_window->setGeometry(clampedNormalRect());
    }
    m_changingMode = false;
    Q_EMIT layoutNeeded();
}

void FramelessWindow::showHiddenForFullScreen()
{
    for (const QPointer<QWidget>& w : m_hiddenForFullScreen) {
        if (w)
            w->show();
    }
    m_hiddenForFullScreen.clear();
}

// ---- The window's events ---------------------------------------------------------------------

bool FramelessWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
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
        if (m_systemResize && !m_closed)
            m_applyResizeTimer.start(ResizeSettleMs());
        break;
    case QEvent::Move:
        // Outside the maximised, minimised and full-screen states every move updates the normal
        // rectangle (a late geometry of another state, of another size, does not).
        if (!m_changingMode && m_window->windowState() == Qt::WindowNoState && !m_fullScreen &&
            m_window->isVisible() && m_window->size() == m_normalRect.size())
            m_normalRect.moveTo(m_window->pos());
        break;
    case QEvent::WindowStateChange:
        if (!(m_window->windowState() & Qt::WindowMinimized))
            m_minimisedByButton = false;
        Q_EMIT maximisedChanged(m_window->isMaximized());
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
    if (!m_placedOnScreen && !event->spontaneous() && !m_window->isMaximized() &&
        !m_window->isFullScreen()) {
        m_placedOnScreen = true;
        if (const QScreen* scr = m_window->screen()) {
            const QRect placed = MovedInto(m_window->geometry(), scr->availableGeometry());
            if (placed != m_window->geometry()) {
                m_window->move(placed.topLeft());
                m_normalRect = m_window->geometry();
            }
        }
    }
    if (QWindow* w = m_window->windowHandle()) {
        connect(w, &QWindow::screenChanged, this, &FramelessWindow::onScreenChanged,
                Qt::UniqueConnection);
        watchScreen(w->screen());
    }
}

bool FramelessWindow::mousePress(const QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_fullScreen)
        return false;
    m_systemResize = false;  // a new press: an earlier border drag of the window manager is over
    const int zone = HitTestZone(event->position().toPoint(), m_window->size(), LayoutScale(),
                                 m_window->isMaximized());
    if (zone >= kZoneLeft && zone <= kZoneBottomRight) {
        // The window manager resizes where it can (X11 and Wayland); elsewhere the window
        // draws its outline and resizes itself when the button comes up.
        const Qt::Edges edges = EdgesForZone(zone);
        QWindow* handle = m_window->windowHandle();
        if (m_systemResizeStarter ? m_systemResizeStarter(edges)
                                  : handle && handle->startSystemResize(edges)) {
            m_systemResize = true;
            return true;
        }
        m_resizeZone = zone;
        m_resizeStart = m_window->geometry();
        m_resizeCursor = event->globalPosition().toPoint();
        m_resizeThrottle.start();
        if (!m_outline)
            m_outline = std::make_unique<ResizeOutline>();
        m_outline->setGeometry(m_resizeStart);
        m_outline->show();
        m_outline->raise();
        return true;
    }
    if (zone == kZoneCaption && !m_window->isMaximized()) {
        m_captionDrag.press(event);  // moves once the mouse goes on, a double-click stays one
        return true;
    }
    return false;
}

bool FramelessWindow::mouseMove(const QMouseEvent* event)
{
    if (m_resizeZone != kZoneNone && (event->buttons() & Qt::LeftButton)) {
        if (m_resizeThrottle.elapsed() >= kResizeThrottleMs) {
            m_resizeThrottle.restart();
            const QPoint delta = event->globalPosition().toPoint() - m_resizeCursor;
            const ClampedResize c = ClampResize(DraggedRect(m_resizeStart, m_resizeZone, delta),
                                                m_resizeZone, LayoutScale(), maxEnlargement());
            m_outline->setGeometry(c.rect);
        }
        return true;
    }
    if (m_captionDrag.move(event))
        return true;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The window sees the pointer again only once the window manager's drag has ended.
        m_systemResize = false;
        if (!m_fullScreen) {
            const int zone = HitTestZone(event->position().toPoint(), m_window->size(),
                                         LayoutScale(), m_window->isMaximized());
            m_window->setCursor(CursorForZone(zone));
        }
    }
    return false;
}

bool FramelessWindow::mouseRelease(const QMouseEvent* event)
{
    if (m_resizeZone != kZoneNone && event->button() == Qt::LeftButton) {
        const QPoint delta = event->globalPosition().toPoint() - m_resizeCursor;
        const ClampedResize c = ClampResize(DraggedRect(m_resizeStart, m_resizeZone, delta),
                                            m_resizeZone, LayoutScale(), maxEnlargement());
        m_window->setGeometry(c.rect);
        if (m_outline)
            m_outline->hide();
        m_resizeZone = kZoneNone;
        Q_EMIT layoutNeeded();
        m_applyResizeTimer.start(ResizeSettleMs());
        return true;
    }
    m_captionDrag.end();
    return false;
}

bool FramelessWindow::mouseDoubleClick(const QMouseEvent* event)
{
    m_captionDrag.end();
    if (!m_fullScreen && HitTestZone(event->position().toPoint(), m_window->size(), LayoutScale(),
                                     m_window->isMaximized()) == kZoneCaption) {
        toggleMaximised();
        return true;
    }
    return false;
}

void FramelessWindow::applyResize()
{
    // A drag of the window manager may pause longer than the settle time and go on: it stays a
    // drag, and every later size is applied too, until the pointer is back in the window.
    if (m_closed)
        return;
    if (!m_window->isMaximized() && !m_fullScreen && !m_window->isMinimized()) {
        rememberFactorsOf(m_window->size());
        m_normalRect = m_window->geometry();
        Q_EMIT resizeApplied();
    }
    monitorCheck();
}

// ---- Monitors ----------------------------------------------------------------------------------

void FramelessWindow::watchScreen(QScreen* scr)
{
    if (m_watchedScreen == scr)
        return;
    if (m_watchedScreen)
        disconnect(m_watchedScreen, nullptr, this, nullptr);
    m_watchedScreen = scr;
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
    if (m_resizeZone != kZoneNone || m_applyResizeTimer.isActive())
        return;
    QMetaObject::invokeMethod(this, &FramelessWindow::monitorCheck, Qt::QueuedConnection);
}

void FramelessWindow::monitorCheck()
{
    const QScreen* scr = m_window->screen();
    if (!scr || m_closed)
        return;
    const QRect area = scr->availableGeometry();
    if (area == m_lastWorkArea)
        return;
    m_lastWorkArea = area;
    // New fonts recompute the layout scale; the window keeps its factors at its position.
    if (!ComputeScalesAndFonts(m_window))
        return;
    m_changingMode = true;
    const QSize sized = fitFactorsToScreen();
    m_normalRect.setSize(sized);
    if (!m_fullScreen && !m_window->isMaximized())
        m_window->resize(sized);
    m_changingMode = false;
    Q_EMIT rescaled();
}

}  // namespace ravir
