#pragma once
// The zoom mode of the video surface: while it is on, the surface shows the magnifier cursor, a
// hint takes the file list's place, and every click on the picture zooms in one step around the
// point clicked (ZoomStep); off again, the picture is whole and centred.
#include "windows/main/main_layout.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;

namespace ravir {

class RecordingSession;

class VideoZoomMode : public QObject {
    Q_OBJECT
public:
    // surfaces get the cursor; the hint is a child of hintParent, placed with placeHint().
    VideoZoomMode(RecordingSession& session, std::initializer_list<QWidget*> surfaces,
                  QWidget* hintParent);

    bool active() const { return active_; }
    VideoZoom zoom() const { return zoom_; }
    void toggle();
    void reset();                 // magnification 1, centred; the mode stays as it is
    void click(QPoint point);     // one zoom step there (only while on, with a recording ready)
    void placeHint(const QRect& rect);

Q_SIGNALS:
    void activeChanged(bool on);

private:
    RecordingSession& session_;
    std::vector<QPointer<QWidget>> surfaces_;
    QLabel* hint_ = nullptr;
    bool active_ = false;
    VideoZoom zoom_;
};

}  // namespace ravir
