#pragma once
// CdedoradeDlg: the viewer's main window. A borderless dark window on the design grid of
// 1120 x 697 scaled units that holds the main camera surface, the position slider, the vehicle
// information panel, the acceleration graph, the file browser, the transport row, the volume
// slider and the progress bar of the background task, and owns the detached map window.
//
// The window sizes, moves and resizes itself through its FramelessWindow (frameless_window.h):
// border resize, caption drag, the scale factors SCALEX/SCALEY, the display modes normal,
// maximised, minimised and full screen (the program's own, left before any other mode is
// entered) and the change of monitor. The window lays out its content when that asks for it.
#include "catalogue/catalogue.h"
#include "catalogue/recording_record.h"
#include "windows/main/command.h"
#include "windows/main/frameless_window.h"
#include "windows/main/main_layout.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/recording_session.h"

#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QTimer>
#include <QWidget>

#include <QFrame>

namespace ravir {

class CFilerContainerDlg;
struct ControlState;
class CListCommands;
class CGSensorDlg;
class CInfoDlg;
class CSettingDlg;
class CStillCapture;
class TaskRunner;
class CMovieDialog;
class Player;
class VideoPresenter;
class DualVideoSurface;
class WindowSource;
class RecordingSteps;
class WindowMpris;
class WindowInput;
class WindowUpdateCheck;
class MapState;
class VideoZoomMode;
class WindowSequencerHost;
class ListTaskFlow;
class WindowReport;
class EvidenceFlow;
class WindowControls;

class CdedoradeDlg : public QWidget {
    Q_OBJECT
public:
    struct Options {
        QString source;  // a card, folder or movie given on the command line
        EngineMaker engineMaker;  // replaces libmpv's start of the engines (tests)
    };
    explicit CdedoradeDlg(Options options, QWidget* parent = nullptr);
    ~CdedoradeDlg() override;

    // The one shutdown routine, run by the close command, the system close and the loss of the
    // drive that holds the program. Safe to call more than once.
    void Shutdown();

    bool aspectKeep() const { return aspectKeep_; }
    int volume() const { return volume_; }
    const MainLayout& layoutRects() const { return layout_; }
    Catalogue& catalogue() { return catalogue_; }
    // The open recording: both players, the play clock, the frame the views show (shownFrame),
    // whether it is ready and its telemetry reached the graph and the panel (telemetryReady).
    RecordingSession* session() const { return session_; }
    CFilerContainerDlg* browser() const { return browser_; }
    QWidget* videoSurface() const { return video_; }
    // Both cameras' pictures on the video surface; V switches between them.
    DualVideoSurface* dualSurface() const { return surface_; }

    // Display state: scale factors, normal rectangle, caption drag, the border drag's starter.
    FramelessWindow& frame() { return frame_; }
    bool isFullScreenMode() const { return frame_.isFullScreen(); }
    bool thumbnailMode() const { return thumbnail_; }
    bool zoomMode() const;
    VideoZoom videoZoom() const;
    bool mapShown() const { return mapShown_; }
    CMovieDialog* movieDialog() const { return movieDialog_; }
    // What the map window shows; the facts that decide between map and placeholder.
    MapState* mapState() const { return mapState_; }
    MapShellInput& mapShellInput();
    bool isCommandEnabled(Command command) const;
    // The state the control refresh reads, and its answer applied to the buttons, the browser
    // and the information panel (after every change of state).
    ControlState controlState() const;
    void ApplyControlEnables();
    // The update check started after the deferred start, and its text.
    WindowUpdateCheck* updateCheck() const { return update_; }

    // Opens a recording in both slots (main camera in slot 0, its paired sub-camera movie in
    // slot 1) at once, without the open delay of a chosen row and without waiting for the
    // engine; once the main camera's movie is ready its first frame is shown, paused, and
    // movieReady() is emitted. Returns the open result (0 failed, 1 opened, 2 too short).
    int OpenRecording(const RecordingRecord& record);
    // Opens a card, folder or movie file as the source, as a drop on the window or the start-up
    // path does: playback stops, the browser shows the source and its first row opens. A file
    // that is no recording gets the open-failed message and changes nothing; a missing path is
    // ignored. False when no source was opened.
    bool OpenSourcePath(const QString& path);
    // The sequencing of recordings: open delay and time-out, telemetry loader, next recording
    // and next folder, hold and automatic advance.
    RecordingSequencer* sequencer() const { return sequencer_; }
    // The source: opened, reset, and lost when the card or folder vanishes.
    WindowSource* source() const { return source_; }
    // Play or pause; while a recording opens, play is remembered for when it is ready.
    void TogglePlay();
    void StepFrames(int delta) { session_->StepFrames(delta); }
    // The rate code of the main camera (1 normal, 2 double, -2 half).
    int rateCode() const { return session_->rateCode(); }

    // The background task (joined save, deletion, CSV export): one at a time on a worker
    // thread, the progress bar over the video surface meanwhile; taskFinished() follows on the
    // window's thread. False when a task runs already or the window is shut down.
    bool StartBackgroundTask(std::function<void()> work);
    bool backgroundTaskRunning() const;
    TaskRunner* taskRunner() const { return tasks_; }
    // The list commands (delete, joined save, CSV export) the transport buttons run.
    CListCommands* listCommands() const { return commands_; }
    CSettingDlg* settingsDialog() const { return settings_; }
    CStillCapture* stillCapture() const { return still_; }
    CGSensorDlg* graphView() const { return graphView_; }
    CInfoDlg* infoView() const { return infoView_; }
    // The report (Ctrl+R); tests give it their own folder chooser and wait.
    WindowReport* report() const { return report_; }
    // The evidence export (key E): its span dialog and its run as the background task.
    EvidenceFlow* evidence() const { return evidence_; }
    void ReportCommand();

    // Steps of the shutdown routine, in order; later parts of the window register what they
    // must release.
    void addShutdownStep(QString name, std::function<void()> step);

    // The desktop media controls (MPRIS), once the deferred start ran.
    WindowMpris* mpris() const { return mpris_; }

public Q_SLOTS:
    // The title-bar buttons.
    void CloseCommand();      // shut down and close (after ConfirmClose)
    bool ConfirmClose();      // false: a running save is to go on, the window stays
    void MaximiseCommand();   // maximise, or restore when maximised
    void MinimiseCommand();
    void ThumbnailCommand();  // the file list's thumbnails on or off, written to THUMBNAIL
    // Window commands of the transport row and the video menu.
    void ZoomCommand();       // zoom mode on the video surface
    void SwitchMapCommand();  // the detached map window shown or hidden
    void AspectCommand();     // keep the aspect ratio or stretch
    // Full screen on or off, as a double-click on the video surface asks; false when refused.
    bool ToggleFullScreen();
    // Every command, from any entry point: carried out when CommandEnabled allows it now.
    void DispatchCommand(Command command);
    // Places the detached window beside the main window.
    void PlaceMovieDialog();
    // Map or placeholder, from mapShellInput().
    void RefreshMapShell();

Q_SIGNALS:
    void deferredStartDone();
    void movieReady();
    void maximisedChanged(bool maximised);
    void fullScreenChanged(bool on);
    void thumbnailModeChanged(bool on);
    void zoomModeChanged(bool on);
    void mapShownChanged(bool shown);
    void controlStatesChanged();
    void fontsRebuilt();
    void resizeApplied();              // SCALEX and SCALEY written after a user resize
    void videoClicked(QPoint point);   // a single click on the video surface
    void taskFinished();
    // A command is about to run (a button, a key, the video menu or the desktop's controls).
    void commandDispatched(Command command);
    void reportFinished(bool ok, const QString& workbook);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void InitDialog();
    void DeferredStart();
    void LayOut();
    // Another monitor or work area gave new fonts and a new layout scale: the content anew.
    void ApplyNewScale();
    QFrame* makePane(const QString& name);
    void InitPlayers();
    void OnEnginesReady(bool mainStarted);
    void OnMovieOpened();
    void OnFrameShown(int frame);   // the slider and the views follow the session's frame
    void OnTelemetryChanged();      // the graph and the panel take the session's snapshot
    void InitParts();        // list commands, settings, still capture, graph and panel
    void InitSequencing();    // the sequencer, the source watcher, the background task's bar
    void JumpToEventPoint(bool next);
    // Both slots closed, the views cleared; the sequencer forgets the recording, or keeps it as
    // the current one to open again after a background task.
    void CloseRecording(bool keepCurrent = false);
    void BrowseCommand();
    void SettingsCommand();
    void StillCommand();
    void StopCommand();             // back to frame 0, stopped
    void PlayPauseCommand();        // play, or pause at the recording's default rate
    void OnListEmptied();           // the list has no row: close the recording, clear the panes
    void GoToRecording(int delta);  // the previous (-1) or next (+1) row of the file list
    void ChangeRate(bool faster);
    // Full screen with the content's part of it: the map window, the aspect ratio, the zoom.
    void EnterFullScreen();
    void LeaveFullScreen();
    void OnVideoClick(QPoint point);
    void ShowMovieMenu(QPoint globalPos);
    void RefreshControlStates();
    bool transportBlocked() const;
    bool nearEndBlocked() const { return session_->nearEndBlocked(); }
    void SeekTo(int target) { session_->SeekTo(target); }  // slider, map or event point

    Options options_;
    bool initialised_ = false;
    bool shutDown_ = false;
    bool started_ = false;  // the deferred start ran
    bool aspectKeep_ = false;
    bool hwDecode_ = false;
    int volume_ = 65535;
    MainLayout layout_;

    // Display modes, move and resize by the window itself.
    FramelessWindow frame_{this};

    // Video surface.
    WindowInput* input_ = nullptr;  // the keys, the clicks on the picture
    VideoZoomMode* zoom_ = nullptr;

    // Map window.
    CMovieDialog* movieDialog_ = nullptr;
    bool mapShown_ = false;
    MapState* mapState_ = nullptr;

    bool thumbnail_ = false;
    WindowUpdateCheck* update_ = nullptr;

    QFrame* video_ = nullptr;
    QFrame* infoPanel_ = nullptr;
    QFrame* graph_ = nullptr;
    QFrame* fileBrowser_ = nullptr;
    WindowControls* controls_ = nullptr;  // the skinned buttons, sliders, progress bar, frame

    Catalogue catalogue_;
    CFilerContainerDlg* browser_ = nullptr;
    VideoPresenter* presenter_ = nullptr;  // the main camera's, inside surface_
    DualVideoSurface* surface_ = nullptr;
    WindowMpris* mpris_ = nullptr;
    RecordingSession* session_ = nullptr;

    ListTaskFlow* taskFlow_ = nullptr;
    TaskRunner* tasks_ = nullptr;  // the flow's
    RecordingSequencer* sequencer_ = nullptr;
    RecordingSteps* steps_ = nullptr;  // previous/next, kept while the movies are being opened
    WindowSequencerHost* sequencerHost_ = nullptr;
    WindowSource* source_ = nullptr;
    CListCommands* commands_ = nullptr;  // the flow's
    CSettingDlg* settings_ = nullptr;
    CStillCapture* still_ = nullptr;
    CGSensorDlg* graphView_ = nullptr;
    CInfoDlg* infoView_ = nullptr;
    WindowReport* report_ = nullptr;
    EvidenceFlow* evidence_ = nullptr;

    std::vector<std::pair<QString, std::function<void()>>> shutdownSteps_;

};

}  // namespace ravir
