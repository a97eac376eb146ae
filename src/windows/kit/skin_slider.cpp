#include "windows/kit/skin_slider.h"

#include "windows/kit/skin_artwork.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ravir {
namespace {
constexpr double kBandUnits = 10.0;
}

CSkinSliderCtrl::Pictures CSkinSliderCtrl::positionPictures()
{
    return {QStringLiteral("position_played"), QStringLiteral("position_remaining"),
            QStringLiteral("position_thumb"), QStringLiteral("position_thumb_pressed")};
}

CSkinSliderCtrl::Pictures CSkinSliderCtrl::volumePictures()
{
    return {QStringLiteral("volume_played"), QStringLiteral("volume_remaining"),
            QStringLiteral("volume_thumb"), QStringLiteral("volume_thumb_pressed")};
}

CSkinSliderCtrl::CSkinSliderCtrl(int id, Pictures pictures, QWidget* parent)
    : QWidget(parent), m_id(id), m_pictures(std::move(pictures))
{
    setObjectName(QStringLiteral("movie slider"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
}

void CSkinSliderCtrl::setTrackGeometry(const QRect& track, const QRect& limit)
{
    QRect area = limit;
    if (area.isEmpty() && parentWidget())
        area = parentWidget()->rect();
    const int band = skin::unit(kBandUnits);
    int left = track.left() - band;
    int right = track.right() + band;
    if (!area.isEmpty()) {
        left = std::max(left, std::min(track.left(), area.left()));
        right = std::min(right, std::max(track.right(), area.right()));
    }
    m_bandLeft = track.left() - left;
    m_bandRight = right - track.right();
    setGeometry(QRect(QPoint(left, track.top()), QPoint(right, track.bottom())));
    redraw();
}

QRect CSkinSliderCtrl::trackRect() const
{
    return {m_bandLeft, 0, std::max(0, width() - m_bandLeft - m_bandRight), height()};
}

void CSkinSliderCtrl::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = std::max(minimum, maximum);
    m_pos = std::clamp(m_pos, m_min, m_max);
    redraw();
}

void CSkinSliderCtrl::setPosition(int position)
{
    const int p = std::clamp(position, m_min, m_max);
    if (p == m_pos)
        return;
    m_pos = p;
    redraw();
    announceValue();
}

void CSkinSliderCtrl::announceValue()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, m_pos);
    QAccessible::updateAccessibility(&event);
}

void CSkinSliderCtrl::moveByUser(int position)
{
    if (!isEnabled() || m_pressed)
        return;
    m_pos = std::clamp(position, m_min, m_max);
    m_jump = true;
    redraw();
    announceValue();
    Q_EMIT pressed(m_id, m_pos);
    Q_EMIT released(m_id, m_pos);
}

void CSkinSliderCtrl::keyPressEvent(QKeyEvent* event)
{
    int delta = 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down: delta = -m_keyStep; break;
    case Qt::Key_Right:
    case Qt::Key_Up: delta = m_keyStep; break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (event->modifiers() & ~(Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const long long target = static_cast<long long>(m_pos) + delta;
    moveByUser(static_cast<int>(std::clamp<long long>(target, m_min, m_max)));
}

void CSkinSliderCtrl::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void CSkinSliderCtrl::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

int CSkinSliderCtrl::thumbWidth() const
{
    return static_cast<int>(skin::designSize(m_pictures.thumb).width() * skin::scale());
}

int CSkinSliderCtrl::thumbX() const
{
    const long long span = static_cast<long long>(m_max) - m_min + 1;
    const int w = trackRect().width();
    const int room = std::max(0, w - thumbWidth());
    return static_cast<int>((static_cast<long long>(m_pos - m_min) * room) / span);
}

bool CSkinSliderCtrl::inBand(int x) const
{
    const QRect t = trackRect();
    const int band = skin::unit(kBandUnits);
    return x >= t.left() - band && x <= t.right() + band;
}

int CSkinSliderCtrl::positionAt(int x) const
{
    const QRect t = trackRect();
    if (t.width() <= 0)
        return m_min;
    const double span = static_cast<double>(m_max) - m_min + 1;
    const double rel = static_cast<double>(x - t.left()) * span / t.width();
    const double p = static_cast<double>(m_min) + std::floor(rel);
    return static_cast<int>(std::clamp(p, static_cast<double>(m_min), static_cast<double>(m_max)));
}

void CSkinSliderCtrl::redraw()
{
    const QRect t = trackRect();
    if (width() <= 0 || height() <= 0) {
        m_buffer = {};
        return;
    }
    QPixmap buffer(size());
    buffer.fill(Qt::transparent);
    if (t.width() > 0) {
        QPainter p(&buffer);
        const double s = skin::scale();
        const int trackH = std::min(height(), static_cast<int>(skin::designSize(m_pictures.played).height() * s));
        const int y = (height() - trackH) / 2;
        const long long span = static_cast<long long>(m_max) - m_min + 1;
        const int split = static_cast<int>(static_cast<long long>(m_pos - m_min) * t.width() / span);
        const QPixmap played = skin::render(m_pictures.played, QSize(t.width(), trackH));
        const QPixmap remaining = skin::render(m_pictures.remaining, QSize(t.width(), trackH));
        if (split > 0)
            p.drawPixmap(QRect(t.left(), y, split, trackH), played, QRect(0, 0, split, trackH));
        if (split < t.width())
            p.drawPixmap(QRect(t.left() + split, y, t.width() - split, trackH), remaining,
                         QRect(split, 0, t.width() - split, trackH));
        const QString& thumbName = m_pressed ? m_pictures.thumbPressed : m_pictures.thumb;
        const QSize thumbSize(thumbWidth(),
                              std::min(height(), static_cast<int>(skin::designSize(thumbName).height() * s)));
        const QPixmap thumb = skin::render(thumbName, thumbSize);
        p.drawPixmap(t.left() + thumbX(), (height() - thumbSize.height()) / 2, thumb);
    }
    m_buffer = buffer;
    update();
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*)
{
    if (m_buffer.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, m_buffer);
    if (hasFocus())
        skin::drawFocusFrame(p, rect());
}

void CSkinSliderCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    redraw();
}

void CSkinSliderCtrl::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled() || event->button() != Qt::LeftButton)
        return;
    const int x = event->position().toPoint().x();
    if (!inBand(x))
        return;
    const QRect t = trackRect();
    const int tx = t.left() + thumbX();
    m_jump = !(x >= tx && x < tx + thumbWidth());
    m_pos = positionAt(x);
    m_pressed = true;
    redraw();
    announceValue();
    Q_EMIT pressed(m_id, m_pos);
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !isEnabled())
        return;
    const int x = event->position().toPoint().x();
    if (!inBand(x))
        return;
    const int p = positionAt(x);
    if (p != m_pos) {
        m_pos = p;
        redraw();
        announceValue();
    }
    Q_EMIT moving(m_id, m_pos);
}

void CSkinSliderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    redraw();
    Q_EMIT released(m_id, m_pos);
}

void CSkinSliderCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_pressed) {
        m_pressed = false;
        redraw();
    }
    QWidget::changeEvent(event);
}

}  // namespace ravir
