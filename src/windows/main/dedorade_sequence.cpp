// The main window's part of the sequencing of recordings (what RecordingSequencer decides,
// carried out on the players and the views), the source watcher's report and the background task
// around the list commands.
#include "windows/main/dedorade_dlg.h"
#include "windows/main/main_layout.h"
#include "windows/main/views_follow.h"

#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "catalogue/recording_name.h"
#include "catalogue/source_watcher.h"
#include "shell/startup_trace.h"
#include "container/telemetry_timeline.h"
#include "windows/map/map_state.h"
#include "windows/main/video_zoom_mode.h"
#include "windows/main/window_sequencer_host.h"
#include "windows/main/list_task_flow.h"
#include "windows/map/map_window.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
#include "windows/main/source_mount.h"
#include "windows/main/task_runner.h"
#include "playback/camera_sync.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"
#include "windows/views/recording_telemetry.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ravir {

void CdedoradeDlg::InitSequencing()
{
    m_sequencerHost = new WindowSequencerHost(*m_session, *m_browser, m_catalogue, *m_mapState,
                                              *m_movieDialog, this);
    m_sequencer = new RecordingSequencer(*m_sequencerHost, this);
    m_taskFlow->setSequencer(m_sequencer);
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
        ApplyPendingSteps();
    });
    connect(m_sequencerHost, &WindowSequencerHost::openFailed, this, [this](int message) {
        unsetCursor();
        m_surface->update();
        RefreshControlStates();
        // The user has pressed on past this recording meanwhile: on to the one asked for.
        if (m_pendingSteps != 0)
            ApplyPendingSteps();
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

    // The source watcher reports from its worker; the window reacts on its own thread. A task
    // working on the card is told at once, from the watcher's worker (the running flag is an
    // atomic), so that it reads nothing more of the card while the window thread is busy. The
    // shutdown stops the worker before the window goes.
    m_watcher = std::make_unique<SourceWatcher>(
        [this] {
            m_tasks->stop();
            QMetaObject::invokeMethod(this, [this] { OnSourceVanished(); }, Qt::QueuedConnection);
        },
        &m_catalogue.sourceLostFlag());
    m_catalogue.setSourceWatcher(m_watcher.get());
    m_watcher->start();
}

// ---- Background task ---------------------------------------------------------------------------

bool CdedoradeDlg::backgroundTaskRunning() const { return m_taskFlow && m_taskFlow->running(); }

bool CdedoradeDlg::ConfirmClose() { return !m_taskFlow || m_taskFlow->confirmClose(); }

bool CdedoradeDlg::StartBackgroundTask(std::function<void()> work)
{
    return !m_shutDown && m_taskFlow && m_taskFlow->start(std::move(work));
}

void CdedoradeDlg::ResetWindow()
{
    // Every slot back on the recording's default rate before it closes.
    m_session->ApplyDefaultRate();
    m_movieDialog->setWindowTitle(text(TXT_MAP));
    m_surface->setView(DisplayView::Main);
    m_session->StopPrefetch();
    m_session->FreeTelemetry();
    // Both slots closed and the views stopped: no recording is current any more.
    CloseRecording();
    m_csvAvailable = false;
    RefreshMapShell();
    m_surface->update();
    m_infoView->update();
    RefreshControlStates();
}

void CdedoradeDlg::OnDeletionFinished()
{
    if (m_shutDown)
        return;
    // The source was opened again by the deletion (Catalogue::OpenSource, SelectDefaultItem):
    // the window starts over on it.
    ResetWindow();
    const SourceMode mode = m_catalogue.mode();
    m_browser->reload();
    if (mode == SourceMode::Drive || mode == SourceMode::Folder)
        m_infoView->setTraceSwitch(TraceSwitchFor(mode, m_catalogue.sourcePath()));
    m_csvAvailable = mode == SourceMode::Drive && !m_catalogue.shownRecords().empty();
    RefreshControlStates();
    if (m_browser->rowCount() > 0)
        m_browser->setCurrentRow(0);
}

// ---- Source watcher ----------------------------------------------------------------------------

void CdedoradeDlg::RememberSourceDevice()
{
    m_sourceGone = false;
    m_sourceMount = MountPointOf(m_catalogue.mode() == SourceMode::File ? m_catalogue.singleFile()
                                                                          : m_catalogue.sourcePath());
}

void CdedoradeDlg::OnSourceVanished()
{
    if (m_shutDown)
        return;
    m_sourceGone = true;
    // A task on the vanished card was already told by the watcher and ends at its next check,
    // without a completion message.
    if (m_commands && m_commands->busy())
        m_commands->stop();
    m_session->PauseIfPlaying();
    m_session->StopPrefetch();
    CloseRecording();
    m_surface->setView(DisplayView::Main);
    m_movieDialog->setWindowTitle(text(TXT_MAP));
    m_browser->clearViews();
    m_catalogue.Clear();
    m_csvAvailable = false;
    if (m_zoom->active())
        ZoomCommand();
    if (isFullScreenMode())
        LeaveFullScreen();
    RefreshMapShell();
    RefreshControlStates();
    // The program itself ran from the card that was pulled: nothing more can be loaded from it.
    if (ProgramRunsFrom(m_sourceMount, QCoreApplication::applicationFilePath())) {
        CloseCommand();
        return;
    }
    CMsgBox::Error(this, text(TXT_MSG_SOURCE_GONE));
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
    ApplyPendingSteps();
}

}  // namespace ravir
