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
    explicit CaptionDrag(QWidget* window) : m_window(window) {}

    // A left press in the caption strip.
    void press(const QMouseEvent* event);
    // A mouse move: true when it belongs to a caption drag (then the event is handled).
    bool move(const QMouseEvent* event);
    // The button came up, or a double-click arrived: no drag.
    void end();
    bool pending() const { return m_pending; }
    bool following() const { return m_following; }

    // Starts the window manager's move (QWindow::startSystemMove by default); a test stands in
    // for the window manager with its own.
    void setSystemMoveStarter(std::function<bool()> starter) { m_starter = std::move(starter); }

private:
    QWidget* m_window;
    std::function<bool()> m_starter;
    bool m_pending = false;    // pressed in the strip, not yet moved far enough
    bool m_following = false;  // the window follows the mouse itself
    QPoint m_pressGlobal;
    QPoint m_offset;
};

}  // namespace ravir
