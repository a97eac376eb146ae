#include "windows/kit/msg_dlg.h"
#include "shell/ui_text.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/app_scale.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace ravir {
namespace {
CMsgBox::Hook& hook()
{
    static CMsgBox::Hook h;
    return h;
}

QList<CMsgBox::Shown>& shownList()
{
    static QList<CMsgBox::Shown> list;
    return list;
}

// The dialog's OK text, the same in every language.
const QString kOkText = QStringLiteral("OK");

CSkinButton* makeButton(QWidget* parent, int id, const QString& label)
{
    auto* b = new CSkinButton(parent, id);
    b->setImage(QStringLiteral("btn_text"));
    b->setText(label);
    b->setTextAlignment(Qt::AlignCenter);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}
}  // namespace

CMsgDlg::CMsgDlg(const QString& messageText, const QString& caption, int type, QWidget* parent)
    : CSkinDialog(parent), text_(messageText), type_(type == CMsgBox::kOkCancel ? 1 : 0)
{
    setObjectName(QStringLiteral("CMsgDlg"));
    setWindowTitle(caption);
    setModal(true);
    // Answered with its buttons only: Enter and Escape do not close it.
    setAnswerRequired(true);
    setAccessibleDescription(messageText);
    const QFont font = SharedFont(kFont10);
    setFont(font);

    label_ = new QLabel(text_, this);
    label_->setObjectName(QStringLiteral("messageText"));
    label_->setFont(font);
    label_->setTextFormat(Qt::PlainText);
    QPalette lp = label_->palette();
    lp.setColor(QPalette::WindowText, Qt::black);
    label_->setPalette(lp);

    ok_ = makeButton(this, CMsgBox::kIdOk, kOkText);
    ok_->setObjectName(QStringLiteral("okButton"));
    connect(ok_, &CSkinButton::clicked, this, [this] { done(CMsgBox::kIdOk); });
    if (type_ == CMsgBox::kOkCancel) {
        cancel_ = makeButton(this, CMsgBox::kIdCancel, ravir::text(TXT_CANCEL));
        cancel_->setObjectName(QStringLiteral("cancelButton"));
        connect(cancel_, &CSkinButton::clicked, this, [this] { done(CMsgBox::kIdCancel); });
    }
    connect(closeButton(), &CSkinButton::clicked, this, [this] { done(CMsgBox::kIdCancel); });
    ok_->setFocus();

    // Size: the text's extent plus 40 units each side; 30 above and below it, the 60-unit button
    // strip and the 20-unit caption. Wide enough for the buttons in any case.
    const QFontMetrics fm(font);
    const QRect extent = fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, text_);
    const int minWidth = skin::unit(15) * 3 + skin::unit(100) * 2;
    const int w = std::max(extent.width() + 2 * skin::unit(40), minWidth);
    const int h = extent.height() + 2 * skin::unit(30) + skin::unit(60) + skin::unit(20);
    setFixedSize(w, h);
    label_->setGeometry(skin::unit(40), skin::unit(20) + skin::unit(30), extent.width() + 1,
                         extent.height());
    placeCloseButton();
    placeButtons();

    // Centred on the owner's window, or on the screen without one.
    QRect centreOn;
    if (parent && parent->window())
        centreOn = parent->window()->frameGeometry();
    else if (const QScreen* s = QGuiApplication::primaryScreen())
        centreOn = s->availableGeometry();
    if (!centreOn.isEmpty())
        move(centreOn.center() - QPoint(w / 2, h / 2));
}

void CMsgDlg::paintBody(QPainter& painter)
{
    painter.fillRect(rect(), skin::kWindowBackground);
    painter.fillRect(QRect(0, 0, width(), height() - skin::unit(60)), Qt::white);
}

void CMsgDlg::resizeEvent(QResizeEvent* event)
{
    CSkinDialog::resizeEvent(event);
    placeButtons();
}

void CMsgDlg::placeButtons()
{
    const int bw = skin::unit(100);
    const int bh = skin::unit(30);
    const int margin = skin::unit(15);
    const QRect right(width() - margin - bw, height() - margin - bh, bw, bh);
    if (cancel_) {
        cancel_->setGeometry(right);
        ok_->setGeometry(right.translated(-(bw + margin), 0));
    } else {
        ok_->setGeometry(right);
    }
}

int CMsgBox::Show(QWidget* parent, const QString& text, const QString& caption, int type)
{
    CMsgDlg dlg(text, caption, type, parent);
    if (hook())
        return hook()(dlg);
    const int r = dlg.exec();
    return r == kIdOk ? kIdOk : kIdCancel;
}

void CMsgBox::setTestHook(Hook h)
{
    hook() = std::move(h);
}

void CMsgBox::setAutoAnswer(int answer)
{
    if (answer == 0) {
        hook() = {};
        return;
    }
    hook() = [answer](CMsgDlg& dlg) {
        shownList().append({dlg.text(), dlg.caption(), dlg.type()});
        return answer;
    };
}

QList<CMsgBox::Shown> CMsgBox::takeShown()
{
    QList<Shown> out;
    out.swap(shownList());
    return out;
}

}  // namespace ravir
