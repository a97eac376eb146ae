#include "windows/map/map_window.h"

#include "windows/main/main_layout.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace ravir {
namespace {
const QColor kBackground(0x3F, 0x3F, 0x3F);
const QColor kFrame(0xCF, 0xCF, 0xCF);
const QColor kLogoBack(0x26, 0x28, 0x2C);
const QColor kAccent(0x2E, 0x8B, 0xD8);
const QColor kNotice(0xF0, 0xA0, 0x30);

// The product mark: a road running into the distance inside a rounded lens.
void drawMark(QPainter& p, const QRectF& r)
{
    const qreal d = std::min(r.width(), r.height());
    const QRectF lens(r.center().x() - d / 2, r.center().y() - d / 2, d, d);
    p.setPen(QPen(kAccent, std::max<qreal>(1.0, d / 24)));
    p.setBrush(QColor(0x1A, 0x1C, 0x20));
    p.drawRoundedRect(lens, d / 5, d / 5);
    QPainterPath road;
    road.moveTo(lens.left() + d * 0.18, lens.bottom() - d * 0.12);
    road.lineTo(lens.center().x() - d * 0.04, lens.top() + d * 0.32);
    road.lineTo(lens.center().x() + d * 0.04, lens.top() + d * 0.32);
    road.lineTo(lens.right() - d * 0.18, lens.bottom() - d * 0.12);
    road.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5A, 0x5E, 0x66));
    p.drawPath(road);
    p.setPen(QPen(Qt::white, std::max<qreal>(1.0, d / 40), Qt::DashLine));
    p.drawLine(QPointF(lens.center().x(), lens.bottom() - d * 0.14),
               QPointF(lens.center().x(), lens.top() + d * 0.34));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(lens.center().x(), lens.top() + d * 0.24), d * 0.06, d * 0.06);
}
}  // namespace

CLogoDlg::CLogoDlg(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CLogoDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLogoDlg::setNoInternet(bool on)
{
    if (noInternet_ == on)
        return;
    noInternet_ = on;
    update();
}

void CLogoDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    p.fillRect(r, kLogoBack);
    const qreal h = r.height();
    const QRectF markArea(r.left(), r.top() + h * 0.12, r.width(), h * 0.42);
    drawMark(p, markArea);
    QFont f = font();
    f.setPixelSize(std::max(8, static_cast<int>(h * 0.075)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    const QRectF nameArea(r.left(), markArea.bottom() + h * 0.04, r.width(), h * 0.12);
    p.drawText(nameArea, Qt::AlignCenter, QStringLiteral("Ravir viewer"));
    if (noInternet_) {
        // The "no connection" sign: a globe crossed out.
        const qreal d = h * 0.16;
        const QRectF globe(r.center().x() - d / 2, nameArea.bottom() + h * 0.05, d, d);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kNotice, std::max<qreal>(1.0, d / 14)));
        p.drawEllipse(globe);
        p.drawEllipse(globe.adjusted(d * 0.3, 0, -d * 0.3, 0));
        p.drawLine(QPointF(globe.left(), globe.center().y()), QPointF(globe.right(), globe.center().y()));
        p.setPen(QPen(kNotice, std::max<qreal>(1.5, d / 8), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(globe.topLeft(), globe.bottomRight());
    }
    // One-pixel frame.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x5A, 0x5A, 0x5A));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

CMovieDialog::CMovieDialog(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("CMovieDialog"));
    setWindowTitle(text(TXT_MAP));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    logo_ = new CLogoDlg(this);
    LayOut();
}

void CMovieDialog::setMapWidget(QWidget* map)
{
    map_ = map;
    if (map) {
        map->setParent(this);
        map->setGeometry(DetachedMapArea(size(), LayoutScale()));
    }
}

void CMovieDialog::LayOut()
{
    const QSize s = DetachedWindowSize(LayoutScale());
    if (!s.isEmpty())
        setFixedSize(s);
    setFont(SharedFont(kFont10));
    const QRect area = DetachedMapArea(size(), LayoutScale());
    logo_->setGeometry(area);
    if (map_)
        map_->setGeometry(area);
}

void CMovieDialog::showMapOrPlaceholder(bool map, bool placeholder, bool noInternet)
{
    if (map_)
        map_->setVisible(map);
    logo_->setNoInternet(noInternet);
    logo_->setVisible(placeholder);
}

void CMovieDialog::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(Qt::white);
    p.setFont(SharedFont(kFont10));
    const QRect strip(Scaled(6), 0, width() - Scaled(12), Scaled(20));
    p.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
    p.setPen(kFrame);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    Q_EMIT painted();
}

void CMovieDialog::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect area = DetachedMapArea(size(), LayoutScale());
    logo_->setGeometry(area);
    if (map_)
        map_->setGeometry(area);
}

bool CMovieDialog::inCaption(QPoint p) const
{
    return p.y() >= 0 && p.y() < Scaled(20) && p.x() >= 0 && p.x() < width();
}

void CMovieDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && inCaption(event->position().toPoint())) {
        captionDrag_.press(event);  // moves once the mouse goes on, a double-click stays one
        return;
    }
    QWidget::mousePressEvent(event);
}

void CMovieDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (captionDrag_.move(event))
        return;
    QWidget::mouseMoveEvent(event);
}

void CMovieDialog::mouseReleaseEvent(QMouseEvent* event)
{
    captionDrag_.end();
    QWidget::mouseReleaseEvent(event);
}

void CMovieDialog::mouseDoubleClickEvent(QMouseEvent* event)
{
    captionDrag_.end();
    if (inCaption(event->position().toPoint())) {
        Q_EMIT placeBesideMainRequested();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace ravir
