#pragma once
// CStillCapture: the still-image command of the main window (button, context menu, key S).
//
// Capture() pauses playback, asks for the folder (remembered under [FOLDERPATH]
// SNAPSHOT_FOLDER), names the stills after the recording and the main camera's frame
// ("BASE-FFFFFF.jpg", the sub camera's with its camera letter swapped), asks once, for the main
// camera's file only, before overwriting, brings both cameras to the same moment and saves each
// at its own picture size. It ends with TXT_DONE (at least one still saved; the folder is then
// remembered) or TXT_MSG_IMAGE_SAVE_FAILED, and emits finished(). Playback stays paused.
// A camera's still is saved only when its player captures exactly that frame, decoded
// (Player::CaptureFrame); otherwise nothing is written for it.
// Without a current frame it refuses at once with the failure message. A still whose name holds
// a file of the open recording, a device, a FIFO, a folder or a recorder's file on a card is
// not saved (it counts as a failed save).
//
// The dialogs are modal; the wait for both cameras to land on the frame is not: the window's
// event loop runs while the seeks land (bounded by the players' own seek time-out).
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

namespace ravir {

class Player;

class CStillCapture : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        NotReady,           // no movie, or no slot took the overlay reset: nothing happened
        NoFrame,            // no current frame: refused with the failure message
        Cancelled,          // the folder chooser was cancelled (or gave no folder)
        OverwriteDeclined,  // the main camera's file exists and the user did not confirm
        Saved,              // at least one still saved; TXT_DONE shown
        Failed,             // neither still saved; TXT_MSG_IMAGE_SAVE_FAILED shown
    };
    struct Result {
        Outcome outcome = Outcome::NotReady;
        int frame = -1;     // the main camera's frame
        int subFrame = -1;  // the sub camera's frame of the same moment
        QString mainPath, subPath;
        bool mainSaved = false, subSaved = false;
    };

    // owner: the parent of the dialogs (the main window).
    explicit CStillCapture(QWidget* owner, QObject* parent = nullptr);

    // The folder question; by default the remembered-folder chooser of SNAPSHOT_FOLDER titled
    // TXT_MSG_SELECT_BACKUP_FOLDER. Returns an empty string when cancelled.
    void setFolderChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    // The window's part of the flow: before the capture it pauses everything (players, map) and
    // disables its controls; after it restores the layout and enables them again. By default
    // only the players are paused.
    void setWindowHooks(std::function<void()> pauseAll, std::function<void()> restore)
    {
        pauseAll_ = std::move(pauseAll);
        restore_ = std::move(restore);
    }

    // Starts a capture of the frame shown. `recordingFileName` is the file name of the focused
    // row's recording (row 0 when none is selected). sub may be null or without a movie. Returns
    // false (and emits nothing) when a capture is running or the outcome was decided at once;
    // lastResult() then holds it. True: the result follows with finished().
    bool Capture(Player* main, Player* sub, const QString& recordingFileName);
    bool busy() const { return busy_; }
    const Result& lastResult() const { return result_; }

Q_SIGNALS:
    void finished(const ravir::CStillCapture::Result& result);

private:
    bool refused(const QString& path) const;
    void onSeekLanded();
    void save();
    void end(Outcome outcome, bool emitFinished);
    void clearOverlays();
    void restoreWindow();  // once per capture

    QWidget* owner_;
    std::function<QString()> chooser_;
    std::function<void()> pauseAll_, restore_;
    QPointer<Player> main_, sub_;
    QString folder_;
    Result result_;
    bool busy_ = false;
    bool restored_ = false;
    QTimer guard_;  // ends the wait for the seeks when a player never reports
    bool waitMain_ = false, waitSub_ = false;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace ravir
