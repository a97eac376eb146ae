#include "windows/main/window_controls.h"

#include "playback/video_presenter.h"

#include "windows/kit/accessible_controls.h"
#include "windows/main/key_table.h"
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_frame.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
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

// Index i is TransportCommand(i).
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

QString withKey(const QString& tooltip, Command command)
{
    const QString key = KeyNameForCommand(command);
    return key.isEmpty() ? tooltip : QStringLiteral("%1 (%2)").arg(tooltip, key);
}

constexpr int kPositionSliderId = 38100;
constexpr int kVolumeSliderId = 38101;

}  // namespace

WindowControls::WindowControls(QWidget& window, int volume, bool thumbnail)
    : QObject(&window), window_(window)
{
    // Screen readers read the skinned sliders, the video surface, the graph and the panel.
    InstallAccessibleControls();
    // The frame paints only the window's edges and lets the mouse through.
    frame_ = new CSkinFrame(&window_);

    for (int i = 0; i < kTransportButtonCount; ++i) {
        const TransportSpec& spec = kTransport[static_cast<size_t>(i)];
        const Command command = TransportCommand(i);
        auto* b = commandButton(command);
        b->setObjectName(QStringLiteral("button%1").arg(b->commandId()));
        b->setImage(QString::fromLatin1(spec.image), withKey(text(spec.tooltip), command));
        b->setCommandName(text(spec.tooltip), command == Command::kPlay ? text(TXT_PAUSE) : QString());
        b->setKeyName(KeyNameForCommand(command));
        buttons_[static_cast<size_t>(i)] = b;
    }
    buttons_[TransportIndex(Command::kSwitchMap)]->setToggleSwitch(true);
    buttons_[TransportIndex(Command::kPlay)]->setAlternateImage(QStringLiteral("btn_pause"),
                                                                withKey(text(TXT_PAUSE), Command::kPlay));

    // The title-bar buttons run the window's commands through the dispatcher, as the keys do:
    // the control table applies and the command is announced.
    close_ = commandButton(Command::kClose);
    close_->setObjectName(QStringLiteral("titleClose"));
    close_->setImage(QStringLiteral("title_close"), text(TXT_CLOSE));
    close_->setCommandName(text(TXT_CLOSE));

    maximise_ = commandButton(Command::kMaximise);
    maximise_->setObjectName(QStringLiteral("titleMaximise"));
    maximise_->setImage(QStringLiteral("title_maximise"), text(TXT_ZOOM_IN));
    maximise_->setAlternateImage(QStringLiteral("title_restore"), text(TXT_ZOOM_OUT));
    maximise_->setCommandName(text(TXT_ZOOM_IN), text(TXT_ZOOM_OUT));

    minimise_ = commandButton(Command::kMinimise);
    minimise_->setObjectName(QStringLiteral("titleMinimise"));
    minimise_->setImage(QStringLiteral("title_minimise"), text(TXT_MINIMIZE));
    minimise_->setCommandName(text(TXT_MINIMIZE));

    // The thumbnail switch carries its text and shows itself held in while thumbnails are on.
    thumbnail_ = commandButton(Command::kThumbnail);
    thumbnail_->setObjectName(QStringLiteral("titleThumbnail"));
    thumbnail_->setImage(QStringLiteral("title_thumbnail"), text(TXT_THUMBNAILS_SHOW));
    thumbnail_->setText(text(TXT_THUMBNAILS_SHOW));
    thumbnail_->setTextAlignment(Qt::AlignCenter);
    thumbnail_->setCommandName(text(TXT_THUMBNAILS_SHOW));
    thumbnail_->setToggleSwitch(true);
    thumbnail_->setPressedLook(thumbnail);

    position_ = new CSkinSliderCtrl(kPositionSliderId, CSkinSliderCtrl::positionPictures(), &window_);
    position_->setObjectName(QStringLiteral("positionSliderCtrl"));
    position_->setRange(0, 0);
    position_->setAccessibleName(text(TXT_ACC_POSITION));
    connect(position_, &CSkinSliderCtrl::pressed, this,
            [this](int, int position) { Q_EMIT positionSlider(0, position); });
    connect(position_, &CSkinSliderCtrl::moving, this,
            [this](int, int position) { Q_EMIT positionSlider(1, position); });
    connect(position_, &CSkinSliderCtrl::released, this,
            [this](int, int position) { Q_EMIT positionSlider(2, position); });

    // The volume slider sets the players' volume as it moves and writes it when released.
    volume_ = new CSkinSliderCtrl(kVolumeSliderId, CSkinSliderCtrl::volumePictures(), &window_);
    volume_->setObjectName(QStringLiteral("volumeSliderCtrl"));
    volume_->setRange(0, 65535);
    volume_->setAccessibleName(text(TXT_ACC_VOLUME));
    volume_->setKeyStep(65535 / 20);
    volume_->setPosition(volume);
    const auto moved = [this](int, int position) { Q_EMIT volumeMoved(position); };
    connect(volume_, &CSkinSliderCtrl::pressed, this, moved);
    connect(volume_, &CSkinSliderCtrl::moving, this, moved);
    connect(volume_, &CSkinSliderCtrl::released, this, [this](int, int position) {
        Q_EMIT volumeMoved(position);
        Q_EMIT volumeReleased(position);
    });

    progress_ = new CSkinProgressBarCtrl(&window_);
    progress_->setObjectName(QStringLiteral("progressBarCtrl"));
    // While a task runs the bar lies over the bottom of the picture, whose cameras draw in
    // native windows of their own: a native window itself, it can be raised above them. Its
    // siblings stay plain widgets (see NativeWindowAlone).
    NativeWindowAlone(*progress_);
    progress_->setRange(0, 100);
    progress_->hide();
}

CSkinButton* WindowControls::commandButton(Command command)
{
    // The kit's button carries a plain int id; the window's buttons carry their command's value.
    auto* b = new CSkinButton(&window_, static_cast<int>(command));
    connect(b, &CSkinButton::command, this,
            [this](int id) { Q_EMIT this->command(static_cast<Command>(id)); });
    return b;
}

void WindowControls::place(const MainLayout& layout)
{
    const MainLayout& l = layout;
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setGeometry(l.transport[i]);
    close_->setGeometry(l.closeButton);
    maximise_->setGeometry(l.maximiseButton);
    maximise_->setAlternate(window_.isMaximized());
    minimise_->setGeometry(l.minimiseButton);
    thumbnail_->setGeometry(l.thumbnailButton);
    thumbnail_->setFont(SharedFont(kFont9));

    // The sliders' mouse bands reach beyond their tracks, inside the window's border; the
    // position slider stays under the file browser it borders.
    const int border = Scaled(6);
    const QRect inner = window_.rect().adjusted(border, 0, -border, 0);
    position_->setTrackGeometry(l.positionSlider, inner);
    position_->lower();
    volume_->setTrackGeometry(l.volumeSlider, inner);

    progress_->setGeometry(progress_->isVisible() ? l.progressBarBusy : l.progressBarIdle);
    RaiseWithNativeWindow(*progress_);
    frame_->setGeometry(window_.rect());
    frame_->raise();
}

void WindowControls::applyEnables(const ControlEnables& enables)
{
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setEnabled(enables.transport[i]);
    for (CSkinButton* b : {close_, maximise_, minimise_, thumbnail_})
        b->setEnabled(enables.titleBar);
}

void WindowControls::setPlaying(bool playing)
{
    buttons_[TransportIndex(Command::kPlay)]->setAlternate(playing);
}

void WindowControls::setMapPressed(bool pressed)
{
    buttons_[TransportIndex(Command::kSwitchMap)]->setPressedLook(pressed);
}

void WindowControls::setThumbnailPressed(bool pressed) { thumbnail_->setPressedLook(pressed); }

void WindowControls::setVolume(int volume) { volume_->setPosition(volume); }

void WindowControls::showFrame(int frame, int range)
{
    if (frame < 0) {
        position_->setRange(0, 0);
        position_->setPosition(0);
        return;
    }
    if (position_->maximum() != range)
        position_->setRange(0, range);
    position_->setPosition(frame);
}

bool WindowControls::positionJumped() const { return position_->jumped(); }

}  // namespace ravir
