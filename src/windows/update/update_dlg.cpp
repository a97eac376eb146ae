#include "windows/update/update_dlg.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "update/update_check.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QUrl>

namespace ravir {

CUpdateDialog::CUpdateDialog(const QString& updateText, QWidget* parent) : CSkinDialog(parent)
{
    setObjectName(QStringLiteral("CUpdateDialog"));
    setWindowTitle(text(TXT_UPDATE_INFO));
    const QFont font = SharedFont(kFont10);
    setFont(font);

    const int w = skin::unit(640);
    const int h = skin::unit(480);
    setFixedSize(w, h);

    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("updateText"));
    text_->setFont(font);
    text_->setTextFormat(Qt::RichText);
    text_->setText(update::updateTextToHtml(updateText));
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setOpenExternalLinks(false);
    text_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    QPalette palette = text_->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Link, QColor(0x00, 0x4C, 0xB0));
    text_->setPalette(palette);
    text_->setGeometry(skin::unit(10), skin::unit(30), w - 2 * skin::unit(10),
                        h - skin::unit(30) - skin::unit(80));
    connect(text_, &QLabel::linkActivated, this, [](const QString& link) { OpenLink(link); });

    closeButton_ = new CSkinButton(this, 2);
    closeButton_->setObjectName(QStringLiteral("closeUpdateButton"));
    closeButton_->setImage(QStringLiteral("btn_text"));
    closeButton_->setText(text(TXT_CLOSE));
    closeButton_->setTextAlignment(Qt::AlignCenter);
    closeButton_->setGeometry(w - skin::unit(10) - skin::unit(100), h - skin::unit(40),
                               skin::unit(100), skin::unit(30));
    connect(closeButton_, &CSkinButton::clicked, this, &QDialog::accept);
    // Keyboard: the links of the text (Tab), then the close button, which Enter presses.
    closeButton_->setFocusPolicy(Qt::StrongFocus);
    setDefaultButton(closeButton_);
    setTabOrder(text_, closeButton_);
    closeButton_->setFocus();
    connect(closeButton(), &CSkinButton::clicked, this, &QDialog::reject);
    placeCloseButton();

    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(w / 2, h / 2));
}

void CUpdateDialog::paintBody(QPainter& painter)
{
    painter.fillRect(rect(), Qt::white);
}

bool CUpdateDialog::IsOpenableLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

bool CUpdateDialog::OpenLink(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    if (!IsOpenableLink(url))
        return false;
    return QDesktopServices::openUrl(url);
}

CUpdateDialog* CUpdateDialog::ShowText(const QString& updateText)
{
    if (updateText.isEmpty())
        return nullptr;
    auto* dialog = new CUpdateDialog(updateText);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
    return dialog;
}

}  // namespace ravir
