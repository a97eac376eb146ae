// The main window's skinned controls: the 14 transport buttons, the 4 title-bar buttons, the
// position and volume sliders, the progress bar of the background task and the window frame.
#include "windows/main/dedorade_dlg.h"

#include "windows/kit/accessible_controls.h"
#include "windows/main/key_table.h"
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_frame.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
#include "playback/player.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"

#include <QFrame>
#include <QProgressBar>

namespace ravir {
namespace {

struct TransportSpec {
    const char* image;
    int tooltip;  // followed by the command's key from the key table
};

// Index i is command 38000 + i.
constexpr std::array<TransportSpec, kTransportButtonCount> kTransport{{
    {"btn_first", TXT_FIRST},
    {"btn_previous", TXT_PREVIOUS},
    {"btn_play", TXT_PLAY},  // the pause image and TXT_PAUSE while playing
    {"btn_slow", TXT_SLOW},
    {"btn_fast_forward", TXT_FAST_FORWARD},
    {"btn_next", TXT_NEXT},
    {"btn_still_image", TXT_STILL_IMAGE},
    {"btn_save_joined", TXT_SAVE_JOINED},
    {"btn_zoom", TXT_ZOOM},
    {"btn_browse", TXT_BROWSE},
    {"btn_delete", TXT_DELETE},
    {"btn_settings", TXT_SETTINGS},
    {"btn_csv", TXT_CSV},
    {"btn_map", TXT_SWITCH_MAP},
}};

QString withKey(const QString& tooltip, int command)
{
    const QString key = KeyNameForCommand(command);
    return key.isEmpty() ? tooltip : QStringLiteral("%1 (%2)").arg(tooltip, key);
}

constexpr int kFirstTransportId = 38000;
constexpr int kPositionSliderId = 38100;
constexpr int kVolumeSliderId = 38101;

}  // namespace

void CdedoradeDlg::CreateControls()
{
    // Screen readers read the skinned sliders, the video surface, the graph and the panel.
    InstallAccessibleControls();
    // The frame paints only the window's edges and lets the mouse through.
    m_skinFrame = new CSkinFrame(this);

    for (int i = 0; i < kTransportButtonCount; ++i) {
        const TransportSpec& spec = kTransport[static_cast<size_t>(i)];
        auto* b = new CSkinButton(this, kFirstTransportId + i);
        b->setObjectName(QStringLiteral("button%1").arg(kFirstTransportId + i));
        b->setImage(QString::fromLatin1(spec.image), withKey(text(spec.tooltip), kFirstTransportId + i));
        b->setCommandName(text(spec.tooltip), i == 2 ? text(TXT_PAUSE) : QString());
        b->setKeyName(KeyNameForCommand(kFirstTransportId + i));
        connect(b, &CSkinButton::command, this, &CdedoradeDlg::DispatchCommand);
        m_buttons[static_cast<size_t>(i)] = b;
        // The skinned button takes the place of the plain frame.
        if (static_cast<size_t>(i) < m_transport.size())
            m_transport[static_cast<size_t>(i)]->hide();
    }
    m_buttons[cmd::kSwitchMap - cmd::kFirst]->setToggleSwitch(true);
    m_buttons[2]->setAlternateImage(QStringLiteral("btn_pause"), withKey(text(TXT_PAUSE), cmd::kPlay));

    // The title-bar buttons run the window's commands through the dispatcher, as the keys do:
    // the control table applies and the command is announced.
    m_closeButton = new CSkinButton(this, cmd::kClose);
    m_closeButton->setObjectName(QStringLiteral("titleClose"));
    m_closeButton->setImage(QStringLiteral("title_close"), text(TXT_CLOSE));
    m_closeButton->setCommandName(text(TXT_CLOSE));
    connect(m_closeButton, &CSkinButton::command, this, &CdedoradeDlg::DispatchCommand);

    m_maximiseButton = new CSkinButton(this, cmd::kMaximise);
    m_maximiseButton->setObjectName(QStringLiteral("titleMaximise"));
    m_maximiseButton->setImage(QStringLiteral("title_maximise"), text(TXT_ZOOM_IN));
    m_maximiseButton->setAlternateImage(QStringLiteral("title_restore"), text(TXT_ZOOM_OUT));
    m_maximiseButton->setCommandName(text(TXT_ZOOM_IN), text(TXT_ZOOM_OUT));
    connect(m_maximiseButton, &CSkinButton::command, this, &CdedoradeDlg::DispatchCommand);

    m_minimiseButton = new CSkinButton(this, cmd::kMinimise);
    m_minimiseButton->setObjectName(QStringLiteral("titleMinimise"));
    m_minimiseButton->setImage(QStringLiteral("title_minimise"), text(TXT_MINIMIZE));
    m_minimiseButton->setCommandName(text(TXT_MINIMIZE));
    connect(m_minimiseButton, &CSkinButton::command, this, &CdedoradeDlg::DispatchCommand);

    // The thumbnail switch carries its text and shows itself held in while thumbnails are on.
    m_thumbnailButton = new CSkinButton(this, cmd::kThumbnail);
    m_thumbnailButton->setObjectName(QStringLiteral("titleThumbnail"));
    m_thumbnailButton->setImage(QStringLiteral("title_thumbnail"), text(TXT_THUMBNAILS_SHOW));
    m_thumbnailButton->setText(text(TXT_THUMBNAILS_SHOW));
    m_thumbnailButton->setTextAlignment(Qt::AlignCenter);
    m_thumbnailButton->setCommandName(text(TXT_THUMBNAILS_SHOW));
    m_thumbnailButton->setToggleSwitch(true);
    m_thumbnailButton->setPressedLook(ReadThumbnail());
    connect(m_thumbnailButton, &CSkinButton::command, this, &CdedoradeDlg::DispatchCommand);

    m_positionCtrl = new CSkinSliderCtrl(kPositionSliderId, CSkinSliderCtrl::positionPictures(), this);
    m_positionCtrl->setObjectName(QStringLiteral("positionSliderCtrl"));
    m_positionCtrl->setRange(0, 0);
    m_positionCtrl->setAccessibleName(text(TXT_ACC_POSITION));
    m_positionSlider->hide();
    connect(m_positionCtrl, &CSkinSliderCtrl::pressed, this,
            [this](int, int position) { OnPositionSlider(0, position); });
    connect(m_positionCtrl, &CSkinSliderCtrl::moving, this,
            [this](int, int position) { OnPositionSlider(1, position); });
    connect(m_positionCtrl, &CSkinSliderCtrl::released, this,
            [this](int, int position) { OnPositionSlider(2, position); });

    // The volume slider sets the players' volume as it moves and writes it when released.
    m_volumeCtrl = new CSkinSliderCtrl(kVolumeSliderId, CSkinSliderCtrl::volumePictures(), this);
    m_volumeCtrl->setObjectName(QStringLiteral("volumeSliderCtrl"));
    m_volumeCtrl->setRange(0, 65535);
    m_volumeCtrl->setAccessibleName(text(TXT_ACC_VOLUME));
    m_volumeCtrl->setKeyStep(65535 / 20);
    m_volumeCtrl->setPosition(m_volume);
    m_volumeSlider->hide();
    const auto applyVolume = [this](int, int position) {
        m_volume = position;
        if (m_session)
            m_session->SetVolume(m_volume);
    };
    connect(m_volumeCtrl, &CSkinSliderCtrl::pressed, this, applyVolume);
    connect(m_volumeCtrl, &CSkinSliderCtrl::moving, this, applyVolume);
    connect(m_volumeCtrl, &CSkinSliderCtrl::released, this, [this, applyVolume](int id, int position) {
        applyVolume(id, position);
        WriteVolume(m_volume);
    });

    m_progressCtrl = new CSkinProgressBarCtrl(this);
    m_progressCtrl->setObjectName(QStringLiteral("progressBarCtrl"));
    m_progressCtrl->setRange(0, 100);
    m_progressCtrl->hide();
}

void CdedoradeDlg::PlaceControls()
{
    if (!m_skinFrame)
        return;
    const MainLayout& l = m_layout;
    for (size_t i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setGeometry(l.transport[i]);
    m_closeButton->setGeometry(l.closeButton);
    m_maximiseButton->setGeometry(l.maximiseButton);
    m_maximiseButton->setAlternate(isMaximized());
    m_minimiseButton->setGeometry(l.minimiseButton);
    m_thumbnailButton->setGeometry(l.thumbnailButton);
    m_thumbnailButton->setFont(SharedFont(kFont9));

    // The sliders' mouse bands reach beyond their tracks, inside the window's border; the
    // position slider stays under the file browser it borders.
    const int border = Scaled(6);
    const QRect inner = rect().adjusted(border, 0, -border, 0);
    m_positionCtrl->setTrackGeometry(l.positionSlider, inner);
    m_positionCtrl->lower();
    m_volumeCtrl->setTrackGeometry(l.volumeSlider, inner);

    m_progressCtrl->setGeometry(m_progressCtrl->isVisible() ? l.progressBarBusy : l.progressBarIdle);
    m_progressCtrl->raise();
    m_skinFrame->setGeometry(rect());
    m_skinFrame->raise();
}

}  // namespace ravir
