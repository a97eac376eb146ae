#include "windows/main/video_zoom_mode.h"

#include "windows/main/recording_session.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace ravir {
namespace {

// The zoom cursor: a magnifier of 32 x 32 scaled units.
QCursor ZoomCursor()
{
    const int size = std::max(16, Scaled(32));
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = size * 0.58;
    const QRectF lens(size * 0.06, size * 0.06, d, d);
    p.setPen(QPen(Qt::black, size / 8.0));
    p.drawEllipse(lens);
    p.drawLine(QPointF(lens.right() - d * 0.12, lens.bottom() - d * 0.12),
               QPointF(size * 0.92, size * 0.92));
    p.setPen(QPen(Qt::white, size / 16.0));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(lens);
    p.drawLine(QPointF(lens.right() - d * 0.12, lens.bottom() - d * 0.12),
               QPointF(size * 0.9, size * 0.9));
    p.drawLine(QPointF(lens.center().x() - d * 0.25, lens.center().y()),
               QPointF(lens.center().x() + d * 0.25, lens.center().y()));
    p.drawLine(QPointF(lens.center().x(), lens.center().y() - d * 0.25),
               QPointF(lens.center().x(), lens.center().y() + d * 0.25));
    p.end();
    return QCursor(pm, static_cast<int>(lens.center().x()), static_cast<int>(lens.center().y()));
}

}  // namespace

VideoZoomMode::VideoZoomMode(RecordingSession& session, std::initializer_list<QWidget*> surfaces,
                             QWidget* hintParent)
    : QObject(hintParent), m_session(session)
{
    for (QWidget* w : surfaces)
        m_surfaces.emplace_back(w);
    m_hint = new QLabel(text(TXT_MSG_ZOOM_MODE), hintParent);
    m_hint->setObjectName(QStringLiteral("zoomNotice"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    m_hint->setAutoFillBackground(true);
    m_hint->hide();
}

void VideoZoomMode::toggle()
{
    m_active = !m_active;
    const QCursor cursor = m_active ? ZoomCursor() : QCursor();
    for (const QPointer<QWidget>& w : m_surfaces) {
        if (!w)
            continue;
        m_active ? w->setCursor(cursor) : w->unsetCursor();
    }
    if (m_active) {
        m_hint->show();
        m_hint->raise();
    } else {
        m_hint->hide();
        reset();
    }
    Q_EMIT activeChanged(m_active);
}

void VideoZoomMode::reset()
{
    m_zoom = VideoZoom{};
    // Magnification 1.0, centred on the middle of the 440-unit picture (9/32 of it high).
    m_session.SetVideoRect(Scaled(440) / 2, Scaled(440) * 9 / 32, 0, 0, 1.0f, true);
}

void VideoZoomMode::click(QPoint point)
{
    if (!m_active || !m_session.ready())
        return;
    m_zoom = ZoomStep(m_zoom, point);
    m_session.SetVideoRect(0, 0, m_zoom.offset.x(), m_zoom.offset.y(), m_zoom.magnification, false);
}

void VideoZoomMode::placeHint(const QRect& rect)
{
    m_hint->setGeometry(rect);
    m_hint->setFont(SharedFont(kFont13));
}

}  // namespace ravir
