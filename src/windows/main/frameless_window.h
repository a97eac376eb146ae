#pragma once
// FramelessWindow: what a top-level window without a system frame needs to behave as a window.
// The 6-unit border resizes it (through the window manager where the platform offers it, else
// with an outline window of its own while the button is down), the caption strip moves it and a
// double-click there maximises or restores it, and the scale factors it ends up with are
// written to SCALEX/SCALEY. It keeps the display modes (normal, maximised, minimised, full
// screen) with the normal rectangle that every mode returns to, and follows the window to
// other monitors and work areas.
//
// A helper owned by the window (a member of it) rather than a base class: it watches the
// window's events through an event filter, so that the window keeps its own event handlers for
// its content and the helper knows nothing of that content. What belongs to the content is left
// to the owner through signals, which are delivered at once: layoutNeeded() once the helper has
// maximised, restored, resized by its outline, or entered or left full screen, and rescaled()
// once a change of monitor gave new fonts and a new layout scale.
#include "windows/kit/caption_drag.h"
#include "windows/main/main_layout.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QEvent;
class QMouseEvent;
class QScreen;
class QShowEvent;
class QWidget;

namespace ravir {

class FramelessWindow : public QObject {
    Q_OBJECT
public:
    explicit FramelessWindow(QWidget* window);
    ~FramelessWindow() override;

    // The window's size from the remembered factors (values of 0 or less are ignored): at least
    // the design size, at most the largest enlargement of the screen and never more than the
    // screen's work area holds, so that the caption and the title-bar buttons are on the screen
    // (and the factors written back are ones the window can have). Called once, before the
    // first show; the result is the normal rectangle.
    void restoreRememberedSize();
    // The normal rectangle takes the position the window was shown at (after the window manager
    // placed it).
    void keepShownPosition();
    // Back to the normal rectangle, its factors written; afterwards nothing changes the window
    // any more. Safe to call more than once.
    void shutDown();

    float scaleX() const { return scaleX_; }
    float scaleY() const { return scaleY_; }
    float maxEnlargement() const;
    QRect normalRect() const { return normalRect_; }
    bool isFullScreen() const { return fullScreen_; }
    bool minimisedByButton() const { return minimisedByButton_; }

    // Maximise, or restore to the normal rectangle when maximised; refused in full screen.
    void toggleMaximised();
    void minimise();
    // Full screen: every child but `keep` is hidden and `keep` covers the monitor; leaving
    // shows them again and returns to the maximised or normal window it came from.
    void enterFullScreen(QWidget* keep);
    void leaveFullScreen();

    // The window manager's move and border drag (QWindow::startSystemMove / startSystemResize
    // by default); a test stands in for the window manager with its own.
    CaptionDrag& captionDrag() { return captionDrag_; }
    void setSystemResizeStarter(std::function<bool(Qt::Edges)> starter)
    {
        systemResizeStarter_ = std::move(starter);
    }

Q_SIGNALS:
    void layoutNeeded();
    void rescaled();                   // fonts and layout scale of another monitor or work area
    void maximisedChanged(bool maximised);
    void resizeApplied();              // SCALEX and SCALEY written after a user resize

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mousePress(const QMouseEvent* event);
    bool mouseMove(const QMouseEvent* event);
    bool mouseRelease(const QMouseEvent* event);
    bool mouseDoubleClick(const QMouseEvent* event);
    void placeOnScreen(const QShowEvent* event);
    void applyResize();
    // The monitor under the window changed or its work area did: fonts, scale and size anew.
    void monitorCheck();
    void watchScreen(QScreen* screen);
    void onScreenChanged(QScreen* screen);
    // Keeps the scale factors between 1 and the largest enlargement and lowers them so that the
    // window fits in its screen's work area; sets the window's size limits and returns the size
    // the factors give.
    QSize fitFactorsToScreen();
    // The factors of a window size, written to SCALEX and SCALEY.
    void rememberFactorsOf(QSize size);
    // The normal rectangle, at least the design size.
    QRect clampedNormalRect() const;
    void showHiddenForFullScreen();

    QWidget* window_;
    bool closed_ = false;
    float scaleX_ = 1.0f;
    float scaleY_ = 1.0f;
    bool placedOnScreen_ = false;  // the first show moved the window onto its screen

    // Display modes.
    QRect normalRect_;
    bool fullScreen_ = false;
    bool maximisedBeforeFullScreen_ = false;
    bool minimisedByButton_ = false;
    bool changingMode_ = false;
    std::vector<QPointer<QWidget>> hiddenForFullScreen_;
    QRect lastWorkArea_;
    QPointer<QScreen> watchedScreen_;

    // Move and resize by the window itself.
    int resizeZone_ = kZoneNone;
    QRect resizeStart_;
    QPoint resizeCursor_;
    QElapsedTimer resizeThrottle_;
    std::unique_ptr<QWidget> outline_;
    bool systemResize_ = false;  // the window manager carries out a border drag
    std::function<bool(Qt::Edges)> systemResizeStarter_;
    CaptionDrag captionDrag_;
    QTimer applyResizeTimer_;  // the end of a user resize: remember the scale factors
};

}  // namespace ravir
