#include "windows/kit/toggle_button.h"

#include "windows/kit/view_resources.h"

#include <QPainter>
#include <QPen>
#include <QSvgRenderer>

namespace ravir {

CToggleButton::CToggleButton(int commandId, const QString& text, QWidget* parent)
    : QAbstractButton(parent), commandId_(commandId)
{
    EnsureViewResources();
    setCheckable(true);
    setChecked(true);
    setText(text);
    setObjectName(QString::number(commandId));
    setCursor(Qt::PointingHandCursor);
}

void CToggleButton::setImageSize(int pixels)
{
    imageSize_ = std::max(pixels, 1);
    updateGeometry();
    update();
}

QSize CToggleButton::sizeHint() const
{
    const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 8;
    return {imageSize_ + textWidth, std::max(imageSize_, fontMetrics().height())};
}

void CToggleButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int y = (height() - imageSize_) / 2;
    const QRect image(0, std::max(y, 0), imageSize_, imageSize_);
    QSvgRenderer svg(isChecked() ? QStringLiteral(":/views/toggle_on.svg")
                                 : QStringLiteral(":/views/toggle_off.svg"));
    if (!isEnabled())
        p.setOpacity(0.45);
    svg.render(&p, image);
    if (!text().isEmpty()) {
        p.setPen(QColor(0xE0, 0xE6, 0xEC));
        p.drawText(QRect(imageSize_ + 6, 0, width() - imageSize_ - 6, height()),
                   Qt::AlignLeft | Qt::AlignVCenter, text());
    }
    if (hasFocus()) {
        // The keyboard focus: an orange frame around the button.
        p.setOpacity(1.0);
        p.setPen(QPen(QColor(0xEF, 0x81, 0x0F), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void CToggleButton::focusInEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusInEvent(event);
}

void CToggleButton::focusOutEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusOutEvent(event);
}

}  // namespace ravir
