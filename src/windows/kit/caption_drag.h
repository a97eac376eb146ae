#pragma once
// CaptionDrag: moving a frameless window by a drag on its caption strip. The move starts only
// once the mouse has gone the drag distance with the button down: a window manager that moves a
// window takes the clicks that follow, so a move started at the press would swallow the second
// click of a double-click on the strip. Where the window manager cannot move the window, the
// window follows the mouse itself.
#include <QPoint>
#include <functional>

class QMouseEvent;
class QWidget;

namespace ravir {

class CaptionDrag {
public:
    explicit CaptionDrag(QWidget* window) : window_(window) {}

    // A left press in the caption strip.
    void press(const QMouseEvent* event);
    // A mouse move: true when it belongs to a caption drag (then the event is handled).
    bool move(const QMouseEvent* event);
    // The button came up, or a double-click arrived: no drag.
    void end();
    bool pending() const { return pending_; }
    bool following() const { return following_; }

    // Starts the window manager's move (QWindow::startSystemMove by default); a test stands in
    // for the window manager with its own.
    void setSystemMoveStarter(std::function<bool()> starter) { starter_ = std::move(starter); }

private:
    QWidget* window_;
    std::function<bool()> starter_;
    bool pending_ = false;    // pressed in the strip, not yet moved far enough
    bool following_ = false;  // the window follows the mouse itself
    QPoint pressGlobal_;
    QPoint offset_;
};

}  // namespace ravir
