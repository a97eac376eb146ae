#include "views/toggle_button_widget.h"

#include "views/view_resources_gui.h"

#include <QPainter>
#include <QPen>
#include <QSvgRenderer>

namespace ravir {

CToggleButton::CToggleButton(int commandId, const QString& text, QWidget* parent)
    : QAbstractButton(parent), m_commandId(commandId)
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
    m_imageSize = std::max(pixels, 1);
    updateGeometry();
    update();
}

QSize CToggleButton::sizeHint() const
{
    const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 8;
    return {m_imageSize + textWidth, std::max(m_imageSize, fontMetrics().height())};
}

void CToggleButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int y = (height() - m_imageSize) / 2;
    const QRect image(0, std::max(y, 0), m_imageSize, m_imageSize);
    QSvgRenderer svg(isChecked() ? QStringLiteral(":/views/toggle_on.svg")
                                 : QStringLiteral(":/views/toggle_off.svg"));
    if (!isEnabled())
        p.setOpacity(0.45);
    svg.render(&p, image);
    if (!text().isEmpty()) {
        p.setPen(QColor(0xE0, 0xE6, 0xEC));
        p.drawText(QRect(m_imageSize + 6, 0, width() - m_imageSize - 6, height()),
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
