#include "windows/kit/skin_dialog.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace ravir {
namespace {
const QColor kCaption(0x55, 0x58, 0x5D);
}

CSkinDialog::CSkinDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, skin::kWindowBackground);
    pal.setColor(QPalette::WindowText, skin::kTextWhite);
    setPalette(pal);
    setFont(SharedFont(kFont10));
    close_ = new CSkinButton(this, 2);
    close_->setObjectName(QStringLiteral("dialogClose"));
    close_->setImage(QStringLiteral("dialog_close"), text(TXT_CLOSE));
    close_->setFocusPolicy(Qt::NoFocus);
    connect(close_, &CSkinButton::clicked, this, &QDialog::reject);
}

QRect CSkinDialog::captionRect() const
{
    return {0, 0, width(), skin::unit(20)};
}

void CSkinDialog::setFrameColor(const QColor& colour)
{
    frame_ = colour;
    update();
}

void CSkinDialog::paintBody(QPainter& painter)
{
    painter.fillRect(rect().adjusted(0, captionRect().height(), 0, 0), skin::kWindowBackground);
}

void CSkinDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBody(p);
    const QRect band = captionRect();
    p.fillRect(band, kCaption);
    p.setPen(skin::kTextWhite);
    p.setFont(SharedFont(kFont10));
    const QRect titleRect(QPoint(skin::unit(5), 0), QPoint(std::min(skin::unit(200), width()), band.bottom()));
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
    p.setPen(frame_);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CSkinDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeCloseButton();
}

void CSkinDialog::placeCloseButton()
{
    close_->setGeometry(width() - skin::unit(20), skin::unit(4), skin::unit(13), skin::unit(12));
    close_->raise();
}

void CSkinDialog::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Enter && key != Qt::Key_Return) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (answerRequired_ || event->modifiers() & ~Qt::KeypadModifier)
        return;  // answered through its buttons only
    if (key == Qt::Key_Escape) {
        close_->click();  // as the close box
        return;
    }
    // Enter: the focused push button, else the default one.
    auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
    QAbstractButton* target = focused && !focused->isCheckable() && focused != close_ ? focused
                                                                                        : default_.data();
    if (target && target->isEnabled() && target->isVisible())
        target->click();
}

void CSkinDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && captionRect().contains(event->position().toPoint())) {
        captionDrag_.press(event);
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (captionDrag_.move(event))
        return;
    QDialog::mouseMoveEvent(event);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* event)
{
    captionDrag_.end();
    QDialog::mouseReleaseEvent(event);
}

}  // namespace ravir
