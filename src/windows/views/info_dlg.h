#pragma once
// CInfoDlg: the vehicle information panel. Shows, for the current play position, the three
// accelerations, the speed (or, for parking recordings of an SD card in trace mode, the voltage),
// the date and time of the picture, the picture-quality badge, the microphone and GPS-fix
// pictures and the playback-speed caption. The main window hands it the recording's telemetry
// snapshot and facts once, then moves it with setFrame(); three toggles switch the X, Y and Z
// event kinds of the graph and the map (command ids 38600, 38601, 38602).
//
// Screen readers read it as a pane named "vehicle information" whose description is the frame's
// accelerations, speed, date and time and GPS fix (spokenDescription); a change of that text is
// announced only while assistive technology listens.
#include "windows/views/info_format.h"
#include "playback/spoken_text.h"

#include <QImage>
#include <QWidget>
#include <array>

namespace ravir {

class CToggleButton;

inline constexpr int kAxisToggleIdX = 38600;

class CInfoDlg : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("AccessibleRole", "Pane")
    Q_PROPERTY(QString spokenDescription READ spokenDescription)
public:
    explicit CInfoDlg(QWidget* parent = nullptr);

    // The opened recording: its telemetry (may be null), start time, picture quality, frame
    // duration and whether it is a parking recording. The time-lapse flag comes from the
    // telemetry header.
    void setRecording(TelemetrySnapshot telemetry, const SystemTime& startTime, int quality,
                      float frameMs, RecordingKind kind);
    // Closing a recording: every value back to its placeholder.
    void reset();
    // The trace switch of the source (TraceSwitchFor), evaluated by the window when a source is
    // opened and after deletions.
    void setTraceSwitch(bool on);
    void setSpeedCaption(const QString& caption);
    // The unit the speed is shown in (the process's unit when the panel is made).
    void setSpeedUnit(SpeedUnit unit);
    void setHorizontalStretch(float stretch);
    void setScales(float layoutScale, float fontScale);

    const InfoFields& fields() const { return fields_; }
    InfoTexts texts() const { return ComposeInfoTexts(fields_); }
    bool axisShown(int axis) const;
    CToggleButton* axisToggle(int axis) const { return toggles_[static_cast<size_t>(axis)]; }
    // Paints the panel into its back buffer and returns it (also used by paint).
    const QImage& renderFrame();
    // The values of the frame shown, as a screen reader reads them.
    QString spokenDescription() const { return SpokenInfoText(fields_, true); }

public Q_SLOTS:
    void setFrame(int frame);

Q_SIGNALS:
    // An axis toggle was clicked: kind 0, 1 or 2 and its new state.
    void axisKindToggled(int kind, bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeToggles();
    void announce();  // tells assistive technology when the spoken description changed
    int scaled(double units) const;

    TelemetrySnapshot telemetry_;
    RecordingKind kind_ = RecordingKind::None;
    InfoFields fields_;
    float stretch_ = 1.0f;
    float layoutScale_ = 1.0f;
    float fontScale_ = 1.0f;
    std::array<CToggleButton*, 3> toggles_{};
    QImage buffer_;
    SpokenText spoken_;
};

}  // namespace ravir
