#include "windows/settings/setting_dlg.h"

#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "shell/version.h"
#include "windows/kit/toggle_button.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>

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
    // The buttons need no side padding: the longest caption fills the template's 80 units.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #6a6e74; margin-top: 1.2em; color: #e0e6ec; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; }"
        "QLabel { color: #e0e6ec; }"
        "QComboBox { background: #26313c; color: #e0e6ec; border: 1px solid #4a5866;"
        " padding: 0 4px; }"
        "QPushButton { background: #26313c; color: #e0e6ec; border: 1px solid #4a5866;"
        " padding: 2px 0px; }"
        "QPushButton:pressed { background: #3a4a5a; }"));

    kindsGroup_ = new QGroupBox(text(TXT_GRAPH_ICON_SETTINGS), this);
    versionGroup_ = new QGroupBox(text(TXT_VERSION_INFO), this);
    stop_ = new CToggleButton(kEmergencyStopSwitchId, text(TXT_EMERGENCY_REC_STOP_2), this);
    parking_ = new CToggleButton(kParkingSwitchId, text(TXT_PARKING_MONITOR_IMPACT), this);
    version_ = new QLabel(VersionNotice(), this);
    version_->setObjectName(QStringLiteral("32981"));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(text(TXT_CANCEL), this);

    displayGroup_ = new QGroupBox(text(TXT_LANGUAGE_UNITS), this);
    languageLabel_ = new QLabel(text(TXT_LANGUAGE), this);
    language_ = new QComboBox(this);
    language_->setObjectName(QStringLiteral("language"));
    language_->addItem(text(TXT_LANGUAGE_AUTO), languageSettingValue(LanguageSetting::Auto));
    language_->addItem(text(TXT_LANGUAGE_JAPANESE), languageSettingValue(LanguageSetting::Japanese));
    language_->addItem(text(TXT_LANGUAGE_ENGLISH), languageSettingValue(LanguageSetting::English));
    languageLabel_->setBuddy(language_);
    unitLabel_ = new QLabel(text(TXT_SPEED_UNIT), this);
    unit_ = new QComboBox(this);
    unit_->setObjectName(QStringLiteral("speedUnit"));
    unit_->addItem(text(TXT_UNIT_KMH), speedUnitValue(SpeedUnit::Kmh));
    unit_->addItem(text(TXT_UNIT_MPH), speedUnitValue(SpeedUnit::Mph));
    unitLabel_->setBuddy(unit_);
    nextStart_ = new QLabel(text(TXT_MSG_LANGUAGE_NEXT_START), this);
    nextStart_->setObjectName(QStringLiteral("languageNote"));
    nextStart_->setWordWrap(true);
    loadDisplayChoices();

    for (CToggleButton* b : {stop_, parking_})
        connect(b, &QAbstractButton::toggled, this, [this, b](bool on) {
            Q_EMIT kindSwitchChanged(b->commandId() - kEmergencyStopSwitchId, on);
        });
    // OK, Cancel and the close box only hide the window; the switches keep their states.
    // OK stores the language and the unit; Cancel (and the close box) leaves them as stored.
    connect(ok_, &QPushButton::clicked, this, [this] {
        storeDisplayChoices();
        hide();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        loadDisplayChoices();
        hide();
    });

    // Keyboard: the two switches, the language and the unit, OK, Cancel; Enter is OK, Escape the
    // close box.
    setDefaultButton(ok_);
    ok_->setDefault(true);
    setTabOrder(stop_, parking_);
    setTabOrder(parking_, language_);
    setTabOrder(language_, unit_);
    setTabOrder(unit_, ok_);
    setTabOrder(ok_, cancel_);

    relayout(LayoutScale() > 0.0f ? LayoutScale() : 1.0f);
    hide();
}

void CSettingDlg::relayout(float layoutScale)
{
    scale_ = layoutScale > 0.0f ? layoutScale : 1.0f;
    auto s = [this](int units) { return static_cast<int>(static_cast<float>(units) * scale_); };
    setFixedSize(s(kSettingsDesignWidth), s(kSettingsDesignHeight));
    const QFont& font = SharedFont(kFont10);
    for (QWidget* w : std::initializer_list<QWidget*>{
             kindsGroup_, versionGroup_, stop_, parking_, version_, ok_, cancel_,
             displayGroup_, languageLabel_, language_, unitLabel_, unit_})
        w->setFont(font);
    nextStart_->setFont(SharedFont(kFont9));
    kindsGroup_->setGeometry(s(10), s(30), s(434), s(80));
    stop_->setImageSize(s(12));
    parking_->setImageSize(s(12));
    stop_->setGeometry(QRect(QPoint(s(40), s(60)), QPoint(s(200), s(100))));
    parking_->setGeometry(QRect(QPoint(s(240), s(60)), QPoint(s(400), s(100))));
    displayGroup_->setGeometry(s(10), s(112), s(434), s(76));
    languageLabel_->setGeometry(s(20), s(132), s(90), s(22));
    language_->setGeometry(s(110), s(132), s(110), s(22));
    unitLabel_->setGeometry(s(230), s(132), s(100), s(22));
    unit_->setGeometry(s(330), s(132), s(100), s(22));
    nextStart_->setGeometry(s(20), s(158), s(414), s(26));
    versionGroup_->setGeometry(s(10), s(190), s(434), s(110));
    version_->setGeometry(s(30), s(215), s(410), s(50));
    ok_->setGeometry(s(270), s(270), s(80), s(24));
    cancel_->setGeometry(s(360), s(270), s(80), s(24));
    displayGroup_->lower();
    kindsGroup_->lower();
    versionGroup_->lower();
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

QString CSettingDlg::versionText() const { return version_->text(); }

void CSettingDlg::loadDisplayChoices()
{
    const int language = language_->findData(languageSettingValue(ReadLanguageSetting()));
    language_->setCurrentIndex(std::max(0, language));
    const int unit = unit_->findData(speedUnitValue(ReadSpeedUnitSetting().value_or(speedUnit())));
    unit_->setCurrentIndex(std::max(0, unit));
}

void CSettingDlg::storeDisplayChoices()
{
    const LanguageSetting language = languageSettingOf(language_->currentData().toString());
    WriteLanguageSetting(language);
    const SpeedUnit unit =
        speedUnitSettingOf(unit_->currentData().toString()).value_or(SpeedUnit::Kmh);
    WriteSpeedUnitSetting(unit);
    if (unit != speedUnit()) {
        setSpeedUnit(unit);
        Q_EMIT speedUnitChanged(unit);
    }
}

}  // namespace ravir
