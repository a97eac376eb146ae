#pragma once
// The main window's skinned controls: the 14 transport buttons, the 4 title-bar buttons, the
// position and volume sliders, the progress bar of the background task and the window frame.
// They are children of the window; what they are asked for comes out as signals, and the window
// tells them what to show (enables, the play/pause picture, the pressed switches, the frame).
#include "windows/main/command.h"
#include "windows/main/control_refresh.h"
#include "windows/main/main_layout.h"

#include <QObject>

#include <array>

class QWidget;

namespace ravir {

class CSkinButton;
class CSkinFrame;
class CSkinProgressBarCtrl;
class CSkinSliderCtrl;

class WindowControls : public QObject {
    Q_OBJECT
public:
    // volume: the volume slider's start position; thumbnail: the thumbnail switch held in.
    WindowControls(QWidget& window, int volume, bool thumbnail);

    // At the layout's rectangles; the window's rectangle bounds the sliders' mouse bands.
    void place(const MainLayout& layout);
    void applyEnables(const ControlEnables& enables);
    void setPlaying(bool playing);         // the play button shows pause while playing
    void setMapPressed(bool pressed);      // the map switch held in while the map window is on
    void setThumbnailPressed(bool pressed);
    void setVolume(int volume);
    // The position slider at `frame` of `range` frames; frame < 0: no range.
    void showFrame(int frame, int range);
    bool positionJumped() const;           // the last press on the position slider was off the thumb
    CSkinProgressBarCtrl* progressBar() const { return progress_; }

Q_SIGNALS:
    void command(Command command);               // a button pressed
    void positionSlider(int phase, int position);  // 0 pressed, 1 moving, 2 released
    void volumeMoved(int volume);                // pressed or moving
    void volumeReleased(int volume);

private:
    // A skinned button of `command` on the window, its presses sent out as command().
    CSkinButton* commandButton(Command command);

    QWidget& window_;
    std::array<CSkinButton*, kTransportButtonCount> buttons_{};  // index = TransportIndex(command)
    CSkinButton* close_ = nullptr;
    CSkinButton* maximise_ = nullptr;
    CSkinButton* minimise_ = nullptr;
    CSkinButton* thumbnail_ = nullptr;
    CSkinSliderCtrl* position_ = nullptr;
    CSkinSliderCtrl* volume_ = nullptr;
    CSkinProgressBarCtrl* progress_ = nullptr;
    CSkinFrame* frame_ = nullptr;
};

}  // namespace ravir
