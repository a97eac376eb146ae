#include "windows/kit/caption_drag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace ravir {

void CaptionDrag::press(const QMouseEvent* event)
{
    m_pending = true;
    m_following = false;
    m_pressGlobal = event->globalPosition().toPoint();
}

bool CaptionDrag::move(const QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        end();
        return false;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (m_pending) {
        if ((global - m_pressGlobal).manhattanLength() < QApplication::startDragDistance())
            return true;
        m_pending = false;
        QWindow* handle = m_window->windowHandle();
        if (m_starter ? m_starter() : handle && handle->startSystemMove())
            return true;
        // The window keeps the point that was pressed under the mouse.
        m_following = true;
        m_offset = m_pressGlobal - m_window->frameGeometry().topLeft();
    }
    if (!m_following)
        return false;
    m_window->move(global - m_offset);
    return true;
}

void CaptionDrag::end()
{
    m_pending = false;
    m_following = false;
}

}  // namespace ravir
