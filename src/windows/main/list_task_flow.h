#pragma once
// ListTaskFlow: the window's background task around the list commands (joined save, deletion,
// CSV export). One task at a time runs on a worker with the progress bar over the video surface.
// Before it playback pauses and the recording lets go of the card (a deletion and an export close
// it, a joined save rewinds it); afterwards it is put back (reopened, at its start after a joined
// save, at the frame it showed after an export), unless the card was pulled or a deletion
// changed the list. Closing the window during a joined save or an export asks first.
#include <QObject>
#include <QRect>

#include <functional>

class QWidget;

namespace ravir {

class Catalogue;
class CFilerContainerDlg;
class CListCommands;
class CSkinProgressBarCtrl;
class RecordingSequencer;
class RecordingSession;
class TaskRunner;

class ListTaskFlow : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(bool keepCurrent)> closeRecording;  // the window's close of the recording
        std::function<QRect(bool busy)> barRect;               // the bar's place, running or not
        std::function<bool()> sourceGone;                      // the card was pulled
    };
    ListTaskFlow(QWidget& window, Catalogue& catalogue, RecordingSession& session,
                 CFilerContainerDlg& browser, CSkinProgressBarCtrl* bar, Hooks hooks);

    void setSequencer(RecordingSequencer* sequencer) { sequencer_ = sequencer; }
    TaskRunner* tasks() const { return tasks_; }
    CListCommands* commands() const { return commands_; }
    bool running() const;
    // Any work as the background task; false when one runs already or after the shutdown.
    bool start(std::function<void()> work);
    // Closing now: during a joined save or an export the user is asked; OK abandons the task (it
    // leaves nothing under its file's name), Cancel keeps it going (false).
    bool confirmClose();
    void shutdown();  // the task abandoned and waited for

Q_SIGNALS:
    void stateChanged();    // a task started, ended or was put back: the controls follow
    void finished();        // the task is over and the bar hidden
    void sourceReopened();  // a deletion changed the source: the window starts over on it

private:
    void onStarted();
    void onFinished(int command, bool changed);

    QWidget& window_;
    Catalogue& catalogue_;
    RecordingSession& session_;
    CFilerContainerDlg& browser_;
    CSkinProgressBarCtrl* bar_;
    Hooks hooks_;
    TaskRunner* tasks_ = nullptr;
    CListCommands* commands_ = nullptr;
    RecordingSequencer* sequencer_ = nullptr;
    bool shutDown_ = false;
    int restoreFrame_ = -1;         // the frame to show again (-1: none)
    bool rewindAfterTask_ = false;  // back to frame 0, stopped
};

}  // namespace ravir
