#include "windows/kit/caption_drag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace ravir {

void CaptionDrag::press(const QMouseEvent* event)
{
    pending_ = true;
    following_ = false;
    pressGlobal_ = event->globalPosition().toPoint();
}

bool CaptionDrag::move(const QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        end();
        return false;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (pending_) {
        if ((global - pressGlobal_).manhattanLength() < QApplication::startDragDistance())
            return true;
        pending_ = false;
        QWindow* handle = window_->windowHandle();
        if (starter_ ? starter_() : handle && handle->startSystemMove())
            return true;
        // The window keeps the point that was pressed under the mouse.
        following_ = true;
        offset_ = pressGlobal_ - window_->frameGeometry().topLeft();
    }
    if (!following_)
        return false;
    window_->move(global - offset_);
    return true;
}

void CaptionDrag::end()
{
    pending_ = false;
    following_ = false;
}

}  // namespace ravir
