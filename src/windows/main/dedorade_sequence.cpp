// The main window's part of the sequencing of recordings (what RecordingSequencer decides,
// carried out on the players and the views), the source watcher's report and the background task
// around the list commands.
#include "windows/main/dedorade_dlg.h"

#include "playback/dual_surface.h"
#include "shell/startup_trace.h"
#include "shell/ui_text.h"
#include "windows/catalogue/list_commands.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/list_task_flow.h"
#include "windows/main/recording_steps.h"
#include "windows/main/task_runner.h"
#include "windows/main/video_zoom_mode.h"
#include "windows/main/window_sequencer_host.h"
#include "windows/main/window_source.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"


namespace ravir {

void CdedoradeDlg::InitSequencing()
{
    sequencerHost_ = new WindowSequencerHost(*session_, *browser_, catalogue_, *mapState_,
                                              *movieDialog_, this);
    sequencer_ = new RecordingSequencer(*sequencerHost_, this);
    taskFlow_->setSequencer(sequencer_);
    RecordingSteps::Hooks steps;
    steps.blocked = [this] { return shutDown_ || backgroundTaskRunning(); };
    steps.rewind = [this] { StopCommand(); };
    steps_ = new RecordingSteps(*session_, *sequencer_, std::move(steps), this);
    // The window's part of an open: the wait cursor, the views of the recording before, the
    // presses kept meanwhile and the open's messages.
    connect(sequencerHost_, &WindowSequencerHost::waitBegan, this, [this](bool resetGraph) {
        if (zoom_->active())
            ZoomCommand();
        if (resetGraph)
            graphView_->clearTelemetry();
        infoView_->reset();
        setCursor(Qt::WaitCursor);
        RefreshControlStates();
    });
    connect(sequencerHost_, &WindowSequencerHost::waitEnded, this, [this] {
        unsetCursor();
        RefreshControlStates();
        steps_->applyPending();
    });
    connect(sequencerHost_, &WindowSequencerHost::openFailed, this, [this](int message) {
        unsetCursor();
        surface_->update();
        RefreshControlStates();
        // The user has pressed on past this recording meanwhile: on to the one asked for.
        if (steps_->pending())
            steps_->applyPending();
        else if (message != 0)
            CMsgBox::Error(this, text(message));
    });
    connect(sequencerHost_, &WindowSequencerHost::recordingStarted, this, [this] {
        unsetCursor();
        RefreshControlStates();
        Q_EMIT movieReady();
    });
    connect(sequencerHost_, &WindowSequencerHost::telemetryTaken, this,
            &CdedoradeDlg::RefreshControlStates);
    connect(sequencerHost_, &WindowSequencerHost::stateChanged, this,
            &CdedoradeDlg::RefreshControlStates);
    connect(sequencerHost_, &WindowSequencerHost::playRequested, this, &CdedoradeDlg::TogglePlay);
    connect(sequencerHost_, &WindowSequencerHost::lastFolderEnded, this, [this] {
        if (zoom_->active())
            ZoomCommand();
        if (isFullScreenMode())
            LeaveFullScreen();
        else
            RefreshMapShell();
        RefreshControlStates();
    });

    // The source, and the card or folder pulled away; the shutdown stops the watcher's worker
    // before the window goes.
    source_ = new WindowSource({*this, catalogue_, *session_, *browser_, *infoView_,
                                 *movieDialog_, *surface_, *tasks_, *commands_}, this);
    connect(source_, &WindowSource::closeRecordingRequested, this, [this] { CloseRecording(); });
    connect(source_, &WindowSource::leaveModesRequested, this, [this] {
        if (zoom_->active())
            ZoomCommand();
        if (isFullScreenMode())
            LeaveFullScreen();
    });
    connect(source_, &WindowSource::mapShellChanged, this, &CdedoradeDlg::RefreshMapShell);
    connect(source_, &WindowSource::stateChanged, this, &CdedoradeDlg::RefreshControlStates);
    connect(source_, &WindowSource::closeWindowRequested, this, &CdedoradeDlg::CloseCommand);
    connect(taskFlow_, &ListTaskFlow::sourceReopened, source_, &WindowSource::deletionReopened);
    source_->startWatching();
}

// ---- Background task ---------------------------------------------------------------------------

bool CdedoradeDlg::backgroundTaskRunning() const { return taskFlow_ && taskFlow_->running(); }

bool CdedoradeDlg::ConfirmClose() { return !taskFlow_ || taskFlow_->confirmClose(); }

bool CdedoradeDlg::StartBackgroundTask(std::function<void()> work)
{
    return !shutDown_ && taskFlow_ && taskFlow_->start(std::move(work));
}



// ---- Opening a recording -----------------------------------------------------------------------

int CdedoradeDlg::OpenRecording(const RecordingRecord& record)
{
    if ((!session_->slotReady(0) && !session_->enginesStarting()) || shutDown_ || !sequencer_)
        return 0;
    return sequencer_->openNow(record);
}

void CdedoradeDlg::OnMovieOpened()
{
    if (shutDown_)
        return;
    TraceStartup(StartupStep::FirstRecordingOpened);
    sequencer_->movieOpened();
    steps_->applyPending();
}

}  // namespace ravir
