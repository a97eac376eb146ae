#pragma once
// The accident report of the open recording (Ctrl+R, the video menu): the folder is chosen
// first, then, after a short wait in which the map draws the position, the window is pictured
// with the map in its corner and the result goes into the day's workbook.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <functional>

class QWidget;

namespace ravir {

class MapState;
class RecordingSession;

// The map corner of the report at `frame`: the map window's own picture when it shows the
// position; else, for a frame with a usable fix, the recording's track drawn without tiles (as
// `ravir report` draws it); else the no-position picture.
QImage ReportMapPicture(const RecordingSession& session, const MapState& map, int frame, QSize size);

class WindowReport : public QObject {
    Q_OBJECT
public:
    WindowReport(QWidget& window, RecordingSession& session, MapState& map);

    // Asks for the folder and starts the wait; false when no folder was chosen or a report is
    // being made already.
    bool start();
    bool busy() const { return delay_.isActive(); }
    void stop() { delay_.stop(); }
    // Tests: their own folder chooser, and the wait before the window is pictured.
    void setFolderChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    void setDelayMs(int ms) { delay_.setInterval(ms); }

Q_SIGNALS:
    void finished(bool ok, const QString& workbook);

private:
    void finish();

    QWidget& window_;
    RecordingSession& session_;
    MapState& map_;
    QTimer delay_;  // one-shot: the window is pictured when it fires
    QString folder_;
    std::function<QString()> chooser_;
};

}  // namespace ravir
