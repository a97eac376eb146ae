#pragma once
// The source (card, folder or movie file) as the main window keeps it: opened at start-up, from
// the source dialog or from a drop, with its first row chosen; the window reset before another
// source is chosen and after a deletion reopened it; and the card or folder pulled away while
// it plays or a task works on it. It owns the source watcher, the mount point the source lives
// on and whether the CSV command has anything to export. What belongs to the window (closing
// the recording, leaving full screen and zoom, the control states) it asks for by signal.
#include "catalogue/catalogue.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace ravir {

class CFilerContainerDlg;
class CInfoDlg;
class CListCommands;
class CMovieDialog;
class DualVideoSurface;
class RecordingSession;
class SourceWatcher;
class TaskRunner;

class WindowSource : public QObject {
    Q_OBJECT
public:
    struct Parts {
        QWidget& window;  // the parent of the source dialog and the messages
        Catalogue& catalogue;
        RecordingSession& session;
        CFilerContainerDlg& browser;
        CInfoDlg& info;
        CMovieDialog& map;
        DualVideoSurface& surface;
        TaskRunner& tasks;
        CListCommands& commands;
    };
    explicit WindowSource(Parts parts, QObject* parent = nullptr);
    ~WindowSource() override;

    // The watcher starts looking at each source the catalogue opens; stop() ends it for good.
    void startWatching();
    void stop();

    // The path given on the command line, or else the source the configuration remembers.
    bool openAtStart(const QString& path);
    // A card, folder or movie file (a drop, the command line); see CdedoradeDlg::OpenSourcePath.
    bool openPath(const QString& path);
    // The source dialog: the window is reset first; a source chosen there is opened.
    void browse();
    // Default rate, the map window's title, the main camera on the surface, telemetry freed,
    // both slots closed, the views stopped.
    void reset();
    // The deletion opened the source again: the window starts over on it.
    void deletionReopened();
    // The card or folder vanished: players closed, lists cleared, the message shown (or the
    // window closed when the program itself ran from the card).
    void vanished();

    bool csvAvailable() const { return csvAvailable_; }
    bool gone() const { return gone_; }
    SourceWatcher* watcher() const { return watcher_.get(); }

Q_SIGNALS:
    void closeRecordingRequested();  // both slots closed, the views cleared
    void leaveModesRequested();      // zoom mode off, full screen left
    void mapShellChanged();
    void stateChanged();             // the control states to be refreshed
    void closeWindowRequested();     // the program's own card was pulled

private:
    void opened();              // the device remembered, CSV and the trace switch from the source
    void showList(bool chooseFirst);

    Parts parts_;
    std::unique_ptr<SourceWatcher> watcher_;
    QString mount_;             // the mount point the source lives on
    bool gone_ = false;
    bool csvAvailable_ = false; // a card with recordings
    bool stopped_ = false;
};

}  // namespace ravir
