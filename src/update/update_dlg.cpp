#include "update/update_dlg.h"

#include "mainwindow/skin_artwork.h"
#include "mainwindow/skin_button.h"
#include "shell/app_scale_gui.h"
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

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("updateText"));
    m_text->setFont(font);
    m_text->setTextFormat(Qt::RichText);
    m_text->setText(update::updateTextToHtml(updateText));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setOpenExternalLinks(false);
    m_text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Link, QColor(0x00, 0x4C, 0xB0));
    m_text->setPalette(palette);
    m_text->setGeometry(skin::unit(10), skin::unit(30), w - 2 * skin::unit(10),
                        h - skin::unit(30) - skin::unit(80));
    connect(m_text, &QLabel::linkActivated, this, [](const QString& link) { OpenLink(link); });

    m_closeButton = new CSkinButton(this, 2);
    m_closeButton->setObjectName(QStringLiteral("closeUpdateButton"));
    m_closeButton->setImage(QStringLiteral("btn_text"));
    m_closeButton->setText(text(TXT_CLOSE));
    m_closeButton->setTextAlignment(Qt::AlignCenter);
    m_closeButton->setGeometry(w - skin::unit(10) - skin::unit(100), h - skin::unit(40),
                               skin::unit(100), skin::unit(30));
    connect(m_closeButton, &CSkinButton::clicked, this, &QDialog::accept);
    // Keyboard: the links of the text (Tab), then the close button, which Enter presses.
    m_closeButton->setFocusPolicy(Qt::StrongFocus);
    setDefaultButton(m_closeButton);
    setTabOrder(m_text, m_closeButton);
    m_closeButton->setFocus();
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
