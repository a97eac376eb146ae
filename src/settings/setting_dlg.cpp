#include "settings/setting_dlg.h"

#include "shell/app_scale_gui.h"
#include "shell/ui_text.h"
#include "shell/version.h"
#include "views/toggle_button_widget.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace ravir {

QRect CentredOn(const QRect& monitor, const QSize& size)
{
    return QRect(monitor.x() + (monitor.width() - size.width()) / 2,
                 monitor.y() + (monitor.height() - size.height()) / 2, size.width(),
                 size.height());
}

QString VersionNotice()
{
    return QStringLiteral("version %1\nCopyright (C) 2025 The Ravir viewer developers. "
                          "All rights reserved.")
        .arg(viewerVersion());
}

CSettingDlg::CSettingDlg(QWidget* mainWindow) : CSkinDialog(mainWindow)
{
    setModal(false);
    setWindowModality(Qt::NonModal);
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(text(TXT_SETTINGS_3));
    // The buttons need no side padding: "キャンセル" fills the template's 80 units.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #6a6e74; margin-top: 1.2em; color: #e0e6ec; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; }"
        "QLabel { color: #e0e6ec; }"
        "QPushButton { background: #26313c; color: #e0e6ec; border: 1px solid #4a5866;"
        " padding: 2px 0px; }"
        "QPushButton:pressed { background: #3a4a5a; }"));

    m_kindsGroup = new QGroupBox(text(TXT_GRAPH_ICON_SETTINGS), this);
    m_versionGroup = new QGroupBox(text(TXT_VERSION_INFO), this);
    m_stop = new CToggleButton(kEmergencyStopSwitchId, text(TXT_EMERGENCY_REC_STOP_2), this);
    m_parking = new CToggleButton(kParkingSwitchId, text(TXT_PARKING_MONITOR_IMPACT), this);
    m_version = new QLabel(VersionNotice(), this);
    m_version->setObjectName(QStringLiteral("32981"));
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);

    for (CToggleButton* b : {m_stop, m_parking})
        connect(b, &QAbstractButton::toggled, this, [this, b](bool on) {
            Q_EMIT kindSwitchChanged(b->commandId() - kEmergencyStopSwitchId, on);
        });
    // OK, Cancel and the close box only hide the window; the switches keep their states.
    connect(m_ok, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::hide);

    // Keyboard: the two switches, OK, Cancel; Enter is OK, Escape the close box.
    setDefaultButton(m_ok);
    m_ok->setDefault(true);
    setTabOrder(m_stop, m_parking);
    setTabOrder(m_parking, m_ok);
    setTabOrder(m_ok, m_cancel);

    relayout(LayoutScale() > 0.0f ? LayoutScale() : 1.0f);
    hide();
}

void CSettingDlg::relayout(float layoutScale)
{
    m_scale = layoutScale > 0.0f ? layoutScale : 1.0f;
    auto s = [this](int units) { return static_cast<int>(static_cast<float>(units) * m_scale); };
    setFixedSize(s(kSettingsDesignWidth), s(kSettingsDesignHeight));
    const QFont& font = SharedFont(kFont10);
    for (QWidget* w : std::initializer_list<QWidget*>{m_kindsGroup, m_versionGroup, m_stop,
                                                       m_parking, m_version, m_ok, m_cancel})
        w->setFont(font);
    m_kindsGroup->setGeometry(s(10), s(30), s(434), s(160));
    m_stop->setImageSize(s(12));
    m_parking->setImageSize(s(12));
    m_stop->setGeometry(QRect(QPoint(s(40), s(60)), QPoint(s(200), s(100))));
    m_parking->setGeometry(QRect(QPoint(s(240), s(60)), QPoint(s(400), s(100))));
    m_versionGroup->setGeometry(s(10), s(190), s(434), s(110));
    m_version->setGeometry(s(30), s(215), s(410), s(50));
    m_ok->setGeometry(s(270), s(270), s(80), s(24));
    m_cancel->setGeometry(s(360), s(270), s(80), s(24));
    m_kindsGroup->lower();
    m_versionGroup->lower();
    if (isVisible() && parentWidget())
        showCentredOn(parentWidget());
}

void CSettingDlg::showCentredOn(QWidget* mainWindow)
{
    QScreen* screen = mainWindow ? mainWindow->screen() : this->screen();
    if (screen)
        setGeometry(CentredOn(screen->geometry(), size()));
    show();
    raise();
}

bool CSettingDlg::switchOn(int which) const
{
    const CToggleButton* b = switchButton(which);
    return b && b->isChecked();
}

QString CSettingDlg::versionText() const { return m_version->text(); }

}  // namespace ravir
