#include "windows/kit/skin_progress.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/app_scale.h"

#include <QPainter>

#include <algorithm>

namespace ravir {

CSkinProgressBarCtrl::CSkinProgressBarCtrl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinProgressBarCtrl::setRange(int minimum, int maximum)
{
    min_ = minimum;
    max_ = maximum;
    update();
}

void CSkinProgressBarCtrl::setPosition(int position)
{
    if (position == pos_)
        return;
    pos_ = position;
    update();
}

int CSkinProgressBarCtrl::fillWidth() const
{
    const long long range = static_cast<long long>(max_) - min_;
    if (range < 1)
        return 0;
    const double f = std::clamp(static_cast<double>(pos_) / static_cast<double>(range), 0.0, 1.0);
    return static_cast<int>(f * width());
}

QString CSkinProgressBarCtrl::label() const
{
    return QStringLiteral("%1 %").arg(pos_);
}

QRect CSkinProgressBarCtrl::textBox() const
{
    const int boxW = skin::unit(100);
    return {(width() - boxW) / 2, 0, boxW, height()};
}

void CSkinProgressBarCtrl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int fill = fillWidth();
    const QRect filled(0, 0, fill, height());
    const QRect empty(fill, 0, width() - fill, height());
    p.fillRect(filled, kFill);
    p.fillRect(empty, kEmpty);
    p.setFont(SharedFont(kFont10));
    const QRect box = textBox();
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    // Two passes: white text clipped to the blue part, blue text clipped to the white part.
    p.setClipRect(filled);
    p.setPen(kEmpty);
    p.drawText(box, flags, label());
    p.setClipRect(empty);
    p.setPen(kFill);
    p.drawText(box, flags, label());
}

}  // namespace ravir
