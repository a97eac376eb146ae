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
    : QObject(hintParent), session_(session)
{
    for (QWidget* w : surfaces)
        surfaces_.emplace_back(w);
    hint_ = new QLabel(text(TXT_MSG_ZOOM_MODE), hintParent);
    hint_->setObjectName(QStringLiteral("zoomNotice"));
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setAutoFillBackground(true);
    hint_->hide();
}

void VideoZoomMode::toggle()
{
    active_ = !active_;
    const QCursor cursor = active_ ? ZoomCursor() : QCursor();
    for (const QPointer<QWidget>& w : surfaces_) {
        if (!w)
            continue;
        active_ ? w->setCursor(cursor) : w->unsetCursor();
    }
    if (active_) {
        hint_->show();
        hint_->raise();
    } else {
        hint_->hide();
        reset();
    }
    Q_EMIT activeChanged(active_);
}

void VideoZoomMode::reset()
{
    zoom_ = VideoZoom{};
    // Magnification 1.0, centred on the middle of the 440-unit picture (9/32 of it high).
    session_.SetVideoRect(Scaled(440) / 2, Scaled(440) * 9 / 32, 0, 0, 1.0f, true);
}

void VideoZoomMode::click(QPoint point)
{
    if (!active_ || !session_.ready())
        return;
    zoom_ = ZoomStep(zoom_, point);
    session_.SetVideoRect(0, 0, zoom_.offset.x(), zoom_.offset.y(), zoom_.magnification, false);
}

void VideoZoomMode::placeHint(const QRect& rect)
{
    hint_->setGeometry(rect);
    hint_->setFont(SharedFont(kFont13));
}

}  // namespace ravir
