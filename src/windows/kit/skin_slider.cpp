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
    : QWidget(parent), id_(id), pictures_(std::move(pictures))
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
    bandLeft_ = track.left() - left;
    bandRight_ = right - track.right();
    setGeometry(QRect(QPoint(left, track.top()), QPoint(right, track.bottom())));
    redraw();
}

QRect CSkinSliderCtrl::trackRect() const
{
    return {bandLeft_, 0, std::max(0, width() - bandLeft_ - bandRight_), height()};
}

void CSkinSliderCtrl::setRange(int minimum, int maximum)
{
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    pos_ = std::clamp(pos_, min_, max_);
    redraw();
}

void CSkinSliderCtrl::setPosition(int position)
{
    const int p = std::clamp(position, min_, max_);
    if (p == pos_)
        return;
    // While playing the position moves on every frame, but the picture only changes when the
    // end of the played part or the thumb moves by a pixel.
    const int splitBefore = playedWidth();
    const int thumbBefore = thumbX();
    pos_ = p;
    if (buffer_.isNull() || playedWidth() != splitBefore || thumbX() != thumbBefore)
        redraw();
    announceValue();
}

int CSkinSliderCtrl::playedWidth() const
{
    const long long span = static_cast<long long>(max_) - min_ + 1;
    return static_cast<int>(static_cast<long long>(pos_ - min_) * trackRect().width() / span);
}

void CSkinSliderCtrl::announceValue()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, pos_);
    QAccessible::updateAccessibility(&event);
}

void CSkinSliderCtrl::moveByUser(int position)
{
    if (!isEnabled() || pressed_)
        return;
    pos_ = std::clamp(position, min_, max_);
    jump_ = true;
    redraw();
    announceValue();
    Q_EMIT pressed(id_, pos_);
    Q_EMIT released(id_, pos_);
}

void CSkinSliderCtrl::keyPressEvent(QKeyEvent* event)
{
    int delta = 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down: delta = -keyStep_; break;
    case Qt::Key_Right:
    case Qt::Key_Up: delta = keyStep_; break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (event->modifiers() & ~(Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const long long target = static_cast<long long>(pos_) + delta;
    moveByUser(static_cast<int>(std::clamp<long long>(target, min_, max_)));
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
    return static_cast<int>(skin::designSize(pictures_.thumb).width() * skin::scale());
}

int CSkinSliderCtrl::thumbX() const
{
    const long long span = static_cast<long long>(max_) - min_ + 1;
    const int w = trackRect().width();
    const int room = std::max(0, w - thumbWidth());
    return static_cast<int>((static_cast<long long>(pos_ - min_) * room) / span);
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
        return min_;
    const double span = static_cast<double>(max_) - min_ + 1;
    const double rel = static_cast<double>(x - t.left()) * span / t.width();
    const double p = static_cast<double>(min_) + std::floor(rel);
    return static_cast<int>(std::clamp(p, static_cast<double>(min_), static_cast<double>(max_)));
}

void CSkinSliderCtrl::redraw()
{
    const QRect t = trackRect();
    if (width() <= 0 || height() <= 0) {
        buffer_ = {};
        return;
    }
    QPixmap buffer(size());
    buffer.fill(Qt::transparent);
    if (t.width() > 0) {
        QPainter p(&buffer);
        const double s = skin::scale();
        const int trackH = std::min(height(), static_cast<int>(skin::designSize(pictures_.played).height() * s));
        const int y = (height() - trackH) / 2;
        const int split = playedWidth();
        const QPixmap played = skin::render(pictures_.played, QSize(t.width(), trackH));
        const QPixmap remaining = skin::render(pictures_.remaining, QSize(t.width(), trackH));
        if (split > 0)
            p.drawPixmap(QRect(t.left(), y, split, trackH), played, QRect(0, 0, split, trackH));
        if (split < t.width())
            p.drawPixmap(QRect(t.left() + split, y, t.width() - split, trackH), remaining,
                         QRect(split, 0, t.width() - split, trackH));
        const QString& thumbName = pressed_ ? pictures_.thumbPressed : pictures_.thumb;
        const QSize thumbSize(thumbWidth(),
                              std::min(height(), static_cast<int>(skin::designSize(thumbName).height() * s)));
        const QPixmap thumb = skin::render(thumbName, thumbSize);
        p.drawPixmap(t.left() + thumbX(), (height() - thumbSize.height()) / 2, thumb);
    }
    buffer_ = buffer;
    update();
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*)
{
    if (buffer_.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, buffer_);
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
    jump_ = !(x >= tx && x < tx + thumbWidth());
    pos_ = positionAt(x);
    pressed_ = true;
    redraw();
    announceValue();
    Q_EMIT pressed(id_, pos_);
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_ || !isEnabled())
        return;
    const int x = event->position().toPoint().x();
    if (!inBand(x))
        return;
    const int p = positionAt(x);
    if (p != pos_) {
        pos_ = p;
        redraw();
        announceValue();
    }
    Q_EMIT moving(id_, pos_);
}

void CSkinSliderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pressed_ || event->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    redraw();
    Q_EMIT released(id_, pos_);
}

void CSkinSliderCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled() && pressed_) {
        pressed_ = false;
        redraw();
    }
    QWidget::changeEvent(event);
}

}  // namespace ravir
