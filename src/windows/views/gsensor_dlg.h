#pragma once
// CGSensorDlg: the acceleration graph. Shows the three acceleration traces of the current
// recording against the play position, the range labels, the event markers with their one-letter
// labels and a white cursor at the current frame. It owns no telemetry: the main window hands it
// the recording's snapshot and moves it with setFrame() on every play-clock tick. Painting goes
// to a back buffer that reaches the screen in one copy.
//
// A left click asks for the previous event point, a right click for the next one; the main
// window performs the jump (with wrap-around, EventJumpFrame) through its seek.
//
// Screen readers read it as a chart named "acceleration graph" whose description is the three
// accelerations at the frame shown (spokenDescription); a change of that text is announced only
// while assistive technology listens.
#include "windows/views/graph_plot.h"
#include "playback/spoken_text.h"

#include <QFont>
#include <QImage>
#include <QWidget>

namespace ravir {

class CGSensorDlg : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("AccessibleRole", "Chart")
    Q_PROPERTY(QString spokenDescription READ spokenDescription)
public:
    explicit CGSensorDlg(QWidget* parent = nullptr);

    // The telemetry of the opened recording (null: none) and the number of slider positions
    // (maximum minus minimum). The range code follows the recording's largest acceleration.
    void setTelemetry(TelemetrySnapshot telemetry, int totalPositions);
    void clearTelemetry();
    void setRangeCode(int code);
    // Scales of the process (layout and font scale); the labels use the shared 9-point font.
    void setScales(float layoutScale, float fontScale);
    void setLabelFont(const QFont& font);

    const MarkerKinds& markerKinds() const { return kinds_; }
    int currentFrame() const { return state_.currentPosition; }
    int rangeCode() const { return state_.rangeCode; }
    const TelemetrySnapshot& telemetry() const { return telemetry_; }
    const QFont& labelFont() const { return labelFont_; }
    // The services the event-point builder uses: pixels per position (0 without telemetry).
    double pixelsPerPosition() const;

    // Paints one frame of the graph into the back buffer and returns it (also used by paint).
    const QImage& renderFrame();
    // The accelerations at the frame shown, as a screen reader reads them.
    QString spokenDescription() const;

public Q_SLOTS:
    void setFrame(int frame);
    // Information panel axis toggles: kind 0..2, on or off (other kinds are ignored).
    void setAxisKindShown(int kind, bool on);
    // Settings dialog switches: 0 emergency stop (kind 4), 1 parking (kind 5).
    void setSettingsKindShown(int which, bool on);

Q_SIGNALS:
    void previousEventPointRequested();
    void nextEventPointRequested();
    // A show flag changed: the window rebuilds the event points of the current recording.
    void markerKindsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setKindShown(int kind, bool on);
    void ensureBackground();
    GraphPlot plotNow() const;  // the plot of the current state at the current size
    void announce();  // tells assistive technology when the spoken description changed

    TelemetrySnapshot telemetry_;
    GraphState state_;
    MarkerKinds kinds_ = DefaultMarkerKinds();
    float layoutScale_ = 1.0f;
    float fontScale_ = 1.0f;
    QFont labelFont_;
    QImage background_;  // the background artwork at the scaled size
    QImage buffer_;
    GraphPlot painted_;  // what the back buffer shows (valid while paintedValid_)
    bool paintedValid_ = false;
    SpokenText spoken_;
};

}  // namespace ravir
