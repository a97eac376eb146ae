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
    m_sequencerHost = new WindowSequencerHost(*m_session, *m_browser, m_catalogue, *m_mapState,
                                              *m_movieDialog, this);
    m_sequencer = new RecordingSequencer(*m_sequencerHost, this);
    m_taskFlow->setSequencer(m_sequencer);
    RecordingSteps::Hooks steps;
    steps.blocked = [this] { return m_shutDown || backgroundTaskRunning(); };
    steps.rewind = [this] { StopCommand(); };
    m_steps = new RecordingSteps(*m_session, *m_sequencer, std::move(steps), this);
    // The window's part of an open: the wait cursor, the views of the recording before, the
    // presses kept meanwhile and the open's messages.
    connect(m_sequencerHost, &WindowSequencerHost::waitBegan, this, [this](bool resetGraph) {
        if (m_zoom->active())
            ZoomCommand();
        if (resetGraph)
            m_graphView->clearTelemetry();
        m_infoView->reset();
        setCursor(Qt::WaitCursor);
        RefreshControlStates();
    });
    connect(m_sequencerHost, &WindowSequencerHost::waitEnded, this, [this] {
        unsetCursor();
        RefreshControlStates();
        m_steps->applyPending();
    });
    connect(m_sequencerHost, &WindowSequencerHost::openFailed, this, [this](int message) {
        unsetCursor();
        m_surface->update();
        RefreshControlStates();
        // The user has pressed on past this recording meanwhile: on to the one asked for.
        if (m_steps->pending())
            m_steps->applyPending();
        else if (message != 0)
            CMsgBox::Error(this, text(message));
    });
    connect(m_sequencerHost, &WindowSequencerHost::recordingStarted, this, [this] {
        unsetCursor();
        RefreshControlStates();
        Q_EMIT movieReady();
    });
    connect(m_sequencerHost, &WindowSequencerHost::telemetryTaken, this,
            &CdedoradeDlg::RefreshControlStates);
    connect(m_sequencerHost, &WindowSequencerHost::stateChanged, this,
            &CdedoradeDlg::RefreshControlStates);
    connect(m_sequencerHost, &WindowSequencerHost::playRequested, this, &CdedoradeDlg::TogglePlay);
    connect(m_sequencerHost, &WindowSequencerHost::lastFolderEnded, this, [this] {
        if (m_zoom->active())
            ZoomCommand();
        if (isFullScreenMode())
            LeaveFullScreen();
        else
            RefreshMapShell();
        RefreshControlStates();
    });

    // The source, and the card or folder pulled away; the shutdown stops the watcher's worker
    // before the window goes.
    m_source = new WindowSource({*this, m_catalogue, *m_session, *m_browser, *m_infoView,
                                 *m_movieDialog, *m_surface, *m_tasks, *m_commands}, this);
    connect(m_source, &WindowSource::closeRecordingRequested, this, [this] { CloseRecording(); });
    connect(m_source, &WindowSource::leaveModesRequested, this, [this] {
        if (m_zoom->active())
            ZoomCommand();
        if (isFullScreenMode())
            LeaveFullScreen();
    });
    connect(m_source, &WindowSource::mapShellChanged, this, &CdedoradeDlg::RefreshMapShell);
    connect(m_source, &WindowSource::stateChanged, this, &CdedoradeDlg::RefreshControlStates);
    connect(m_source, &WindowSource::closeWindowRequested, this, &CdedoradeDlg::CloseCommand);
    connect(m_taskFlow, &ListTaskFlow::sourceReopened, m_source, &WindowSource::deletionReopened);
    m_source->startWatching();
}

// ---- Background task ---------------------------------------------------------------------------

bool CdedoradeDlg::backgroundTaskRunning() const { return m_taskFlow && m_taskFlow->running(); }

bool CdedoradeDlg::ConfirmClose() { return !m_taskFlow || m_taskFlow->confirmClose(); }

bool CdedoradeDlg::StartBackgroundTask(std::function<void()> work)
{
    return !m_shutDown && m_taskFlow && m_taskFlow->start(std::move(work));
}



// ---- Opening a recording -----------------------------------------------------------------------

int CdedoradeDlg::OpenRecording(const RecordingRecord& record)
{
    if (!m_session->slotReady(0) || m_shutDown || !m_sequencer)
        return 0;
    return m_sequencer->openNow(record);
}

void CdedoradeDlg::OnMovieOpened()
{
    if (m_shutDown)
        return;
    TraceStartup(StartupStep::FirstRecordingOpened);
    m_sequencer->movieOpened();
    m_steps->applyPending();
}

}  // namespace ravir
