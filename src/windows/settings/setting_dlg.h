#pragma once
// CSettingDlg: the small modeless settings window. Two switches for the event kinds of the
// acceleration graph and the map that the information panel does not offer (emergency recording
// stops and parking monitoring), and the program's version with the rights notice. Both switches
// are on at every start and are not stored. The language of the texts and the unit of speeds are
// chosen there too and stored in the configuration file when OK is pressed: the unit takes
// effect at once, the language at the next start (the dialog says so). A skinned dialog: its caption strip carries the title
// and the close box and moves it.
#include "windows/kit/skin_dialog.h"
#include "shell/display_prefs.h"

#include <QRect>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace ravir {

class CToggleButton;

inline constexpr int kSettingsDesignWidth = 460;
inline constexpr int kSettingsDesignHeight = 315;
inline constexpr int kEmergencyStopSwitchId = 32968;
inline constexpr int kParkingSwitchId = 32969;

// The rectangle of a window of the given size centred on a monitor rectangle.
QRect CentredOn(const QRect& monitor, const QSize& size);
// The two lines of the version text.
QString VersionNotice();

class CSettingDlg : public CSkinDialog {
    Q_OBJECT
public:
    explicit CSettingDlg(QWidget* mainWindow = nullptr);

    // Re-sizes and moves every control for the layout scale (and re-centres when shown).
    void relayout(float layoutScale);
    // Centres the dialog on the full rectangle of the monitor that holds `mainWindow` and shows it.
    void showCentredOn(QWidget* mainWindow);

    bool switchOn(int which) const;
    CToggleButton* switchButton(int which) const { return which == 0 ? stop_ : parking_; }
    QString versionText() const;
    QComboBox* languageBox() const { return language_; }
    QComboBox* speedUnitBox() const { return unit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // Sets both choices to what the configuration file holds (a missing unit: the one in use).
    void loadDisplayChoices();

Q_SIGNALS:
    // A switch was clicked: which = command id - 32968 (0 emergency stop, 1 parking), new state.
    void kindSwitchChanged(int which, bool on);
    // OK stored another unit of speeds; it is the process's unit already.
    void speedUnitChanged(SpeedUnit unit);

private:
    void storeDisplayChoices();

    float scale_ = 1.0f;
    QGroupBox* kindsGroup_ = nullptr;
    QGroupBox* versionGroup_ = nullptr;
    CToggleButton* stop_ = nullptr;
    CToggleButton* parking_ = nullptr;
    QLabel* version_ = nullptr;
    QGroupBox* displayGroup_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* unitLabel_ = nullptr;
    QComboBox* unit_ = nullptr;
    QLabel* nextStart_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ravir
