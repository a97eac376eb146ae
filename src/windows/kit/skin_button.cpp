#include "windows/kit/skin_button.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QAccessible>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace ravir {

CSkinButton::CSkinButton(QWidget* parent, int commandId) : QAbstractButton(parent), commandId_(commandId)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover, false);
    connect(this, &QAbstractButton::clicked, this, [this] { Q_EMIT command(commandId_); });
}

void CSkinButton::setImage(const QString& strip, const QString& tooltip)
{
    image_[0] = strip;
    tooltip_[0] = tooltip;
    applyTooltip();
    update();
}

void CSkinButton::setAlternateImage(const QString& strip, const QString& tooltip)
{
    image_[1] = strip;
    tooltip_[1] = tooltip;
    applyTooltip();
    update();
}

void CSkinButton::setAlternate(bool on)
{
    if (alternate_ == on)
        return;
    alternate_ = on;
    applyTooltip();
    update();
}

void CSkinButton::setCommandName(const QString& name, const QString& alternateName)
{
    name_[0] = name;
    name_[1] = alternateName;
    applyTooltip();
}

void CSkinButton::setKeyName(const QString& key)
{
    key_ = key;
    applyTooltip();
}

void CSkinButton::applyTooltip()
{
    const bool alternate = alternate_ && !image_[1].isEmpty();
    const QString& tip = alternate ? tooltip_[1] : tooltip_[0];
    if (!tip.isEmpty() || !tooltip_[0].isEmpty())
        setToolTip(tip);
    // The accessible name: the command's, else the text drawn on the button (Qt reads it),
    // else the tooltip.
    QString name = alternate && !name_[1].isEmpty() ? name_[1] : name_[0];
    if (name.isEmpty() && text().isEmpty())
        name = tip;
    if (name != accessibleName())
        setAccessibleName(name);
    const QString description = key_.isEmpty() ? QString() : ravir::text(TXT_ACC_KEY_FMT).arg(key_);
    if (description != accessibleDescription())
        setAccessibleDescription(description);
}

void CSkinButton::setPressedLook(bool on)
{
    if (pressedLook_ == on)
        return;
    pressedLook_ = on;
    update();
    if (toggleSwitch_ && QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void CSkinButton::setNoDraw(bool on)
{
    noDraw_ = on;
    update();
}

void CSkinButton::setTextAlignment(Qt::Alignment alignment)
{
    textAlignment_ = alignment;
    update();
}

int CSkinButton::imageIndex() const
{
    if (!isEnabled())
        return 3;
    if (isDown() || isChecked() || pressedLook_)
        return 2;
    if (hover_)
        return 1;
    return 0;
}

QColor CSkinButton::textColor() const
{
    if (!isEnabled() || isDown() || (pressedLook_ && !isChecked()))
        return skin::kTextGrey;
    return skin::kTextWhite;
}

QSize CSkinButton::sizeHint() const
{
    return {skin::unit(32), skin::unit(32)};
}

void CSkinButton::paintEvent(QPaintEvent*)
{
    if (noDraw_)
        return;
    QPainter p(this);
    const QPixmap image = skin::stripImage(currentImage(), 4, imageIndex(), size());
    if (!image.isNull())
        p.drawPixmap(0, 0, image);
    const QString label = text().left(259);
    if (!label.isEmpty()) {
        p.setFont(SharedFont(kFont9));
        p.setPen(textColor());
        p.drawText(rect(), static_cast<int>(textAlignment_) | Qt::TextSingleLine, label);
    }
    if (hasFocus())
        skin::drawFocusFrame(p, rect());
}

void CSkinButton::focusInEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusInEvent(event);
}

void CSkinButton::focusOutEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusOutEvent(event);
}

void CSkinButton::enterEvent(QEnterEvent* event)
{
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event)
{
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != hover_) {
        hover_ = inside;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

// ---- CSkinCheckButton ----

CSkinCheckButton::CSkinCheckButton(const QString& label, QWidget* parent) : QAbstractButton(parent)
{
    setText(label);
    setCheckable(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
}

void CSkinCheckButton::setNoDraw(bool on)
{
    noDraw_ = on;
    update();
}

QRect CSkinCheckButton::boxRect() const
{
    return {0, skin::unit(4), skin::unit(12), skin::unit(12)};
}

int CSkinCheckButton::imageIndex() const
{
    if (!isEnabled())
        return 3;
    if (isDown() || isChecked())
        return 2;
    if (hover_)
        return 1;
    return 0;
}

QSize CSkinCheckButton::sizeHint() const
{
    const QFontMetrics fm(SharedFont(kFont10));
    return {skin::unit(16) + fm.horizontalAdvance(text()) + skin::unit(4), skin::unit(20)};
}

int CSkinCheckButton::textRoom() const
{
    return std::max(0, width() - skin::unit(16));
}

bool CSkinCheckButton::textElided() const
{
    return QFontMetrics(SharedFont(kFont10)).horizontalAdvance(text()) > textRoom();
}

QString CSkinCheckButton::shownText() const
{
    if (!textElided())
        return text();
    return QFontMetrics(SharedFont(kFont10)).elidedText(text(), Qt::ElideRight, textRoom());
}

void CSkinCheckButton::applyElisionTip()
{
    // Only a tooltip this button set itself is replaced or taken away.
    if (textElided()) {
        if (toolTip().isEmpty() || elisionTip_) {
            setToolTip(text());
            elisionTip_ = true;
        }
    } else if (elisionTip_) {
        setToolTip({});
        elisionTip_ = false;
    }
}

void CSkinCheckButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    applyElisionTip();
}

void CSkinCheckButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LanguageChange)
        applyElisionTip();
}

bool CSkinCheckButton::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

void CSkinCheckButton::paintEvent(QPaintEvent*)
{
    if (noDraw_)
        return;
    applyElisionTip();  // the text may have changed since the last resize
    QPainter p(this);
    const QRect box = boxRect();
    const QPixmap image = skin::stripImage(QStringLiteral("check_box"), 4, imageIndex(), box.size());
    p.drawPixmap(box.topLeft(), image);
    p.setFont(SharedFont(kFont10));
    p.setPen(isEnabled() ? skin::kTextWhite : skin::kTextGrey);
    const QRect textRect(skin::unit(16), 0, width() - skin::unit(16), height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
    if (hasFocus())
        skin::drawFocusFrame(p, rect());
}

void CSkinCheckButton::focusInEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusInEvent(event);
}

void CSkinCheckButton::focusOutEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusOutEvent(event);
}

void CSkinCheckButton::enterEvent(QEnterEvent* event)
{
    hover_ = boxRect().contains(event->position().toPoint());
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinCheckButton::leaveEvent(QEvent* event)
{
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CSkinCheckButton::mouseMoveEvent(QMouseEvent* event)
{
    const bool over = boxRect().contains(event->position().toPoint());
    if (over != hover_) {
        hover_ = over;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

}  // namespace ravir
