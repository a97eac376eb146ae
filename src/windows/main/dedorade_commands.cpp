// The main window's commands: the transport and list commands, the title bar, full screen,
// aspect and zoom, the map switch, and the one dispatcher that the buttons, the keys, the video
// menu and the desktop's media controls all go through.
#include "windows/main/dedorade_dlg.h"

#include "windows/main/evidence_flow.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "shell/ini_keys.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/main/movie_menu.h"
#include "windows/main/recording_steps.h"
#include "windows/main/task_runner.h"
#include "windows/main/video_zoom_mode.h"
#include "windows/main/window_controls.h"
#include "windows/main/window_input.h"
#include "windows/main/window_report.h"
#include "windows/main/window_source.h"
#include "windows/map/map_state.h"
#include "windows/map/map_window.h"
#include "windows/map/web/map_view.h"
#include "windows/settings/setting_dlg.h"
#include "windows/stills/still_capture.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/marker_kind.h"
#include "windows/views/recording_telemetry.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>

namespace ravir {
namespace {

constexpr int kFullScreenEndMargin = 10;  // frames before the end that refuse full screen

}  // namespace

void CdedoradeDlg::ReportCommand()
{
    if (!m_session->ready() || transportBlocked() || m_report->busy())
        return;
    m_session->PauseIfPlaying();
    m_report->start();
}

void CdedoradeDlg::JumpToEventPoint(bool next)
{
    const TelemetrySnapshot& snap = m_session->telemetry();
    if (!snap || !m_session->ready())
        return;
    const std::vector<EventPoint> points = BuildEventPoints(*snap, m_graphView->markerKinds());
    const int frame = EventJumpFrame(points, m_graphView->markerKinds(), m_graphView->currentFrame(),
                                     static_cast<int>(m_session->frameCount()), next);
    if (frame >= 0)
        SeekTo(frame);
}

void CdedoradeDlg::BrowseCommand()
{
    if (m_shutDown || (m_commands && m_commands->busy()))
        return;
    m_source->browse();
}

void CdedoradeDlg::SettingsCommand()
{
    if (!m_shutDown && m_settings)
        m_settings->showCentredOn(this);
}

void CdedoradeDlg::StillCommand()
{
    if (!m_session->ready() || transportBlocked() || m_still->busy())
        return;
    Player* sub = m_session->subReady() ? m_session->player(1) : nullptr;
    m_still->Capture(m_session->player(0), sub, QFileInfo(m_session->currentPath()).fileName());
}

void CdedoradeDlg::TogglePlay()
{
    if (!m_session->slotReady(0))
        return;
    if (!m_session->ready()) {
        // Play pressed while the recording opens: honoured when it is ready.
        if (m_sequencer)
            m_sequencer->playPressed();
        return;
    }
    m_session->TogglePlay();
    if (m_session->playing() && m_sequencer)
        m_sequencer->playPressed();  // a playing recording moves on at its end
}

void CdedoradeDlg::PlayPauseCommand()
{
    const bool wasPlaying = m_session->playing();
    TogglePlay();
    if (!wasPlaying || m_session->playing())
        return;
    // A pause sets the recording's default rate, as the first-frame command does.
    m_session->ApplyDefaultRate();
    RefreshControlStates();
}

void CdedoradeDlg::StopCommand()
{
    // While a list command runs, the first-frame button stops it at its next check.
    if (m_tasks && m_tasks->busy()) {
        m_commands->stop();
        return;
    }
    if (!m_session->ready() || transportBlocked())
        return;
    m_session->Rewind();
    RefreshControlStates();
}

void CdedoradeDlg::GoToRecording(int delta) { m_steps->go(delta); }

void CdedoradeDlg::ChangeRate(bool faster)
{
    if (!m_session->ready() || transportBlocked())
        return;
    if (m_session->ChangeRate(faster))
        RefreshControlStates();
}

// ---- Title-bar commands ---------------------------------------------------------------------

void CdedoradeDlg::CloseCommand()
{
    if (!ConfirmClose())
        return;
    Shutdown();
    close();
}

void CdedoradeDlg::MaximiseCommand() { m_frame.toggleMaximised(); }

void CdedoradeDlg::MinimiseCommand() { m_frame.minimise(); }

void CdedoradeDlg::ThumbnailCommand()
{
    m_thumbnail = !m_thumbnail;
    WriteThumbnail(m_thumbnail);
    m_controls->setThumbnailPressed(m_thumbnail);
    if (m_browser)
        m_browser->setThumbnailMode(m_thumbnail);
    Q_EMIT thumbnailModeChanged(m_thumbnail);
}

// ---- Full screen and aspect -------------------------------------------------------------------

bool CdedoradeDlg::ToggleFullScreen()
{
    if (m_zoom->active() || m_shutDown)
        return false;
    if (isFullScreenMode()) {
        LeaveFullScreen();
        return true;
    }
    if (!m_session->ready() || backgroundTaskRunning() || !m_browser || m_browser->rowCount() == 0)
        return false;
    // Not near the end of the recording, where the next one is about to open.
    if (m_session->frameCount() - std::max(0, m_session->engineFrame()) <= kFullScreenEndMargin)
        return false;
    EnterFullScreen();
    return true;
}

void CdedoradeDlg::EnterFullScreen()
{
    // Every pane but the video surface goes; the video covers the monitor.
    m_movieDialog->hide();
    m_frame.enterFullScreen(m_video);
    RefreshMapShell();
    Q_EMIT fullScreenChanged(true);
}

void CdedoradeDlg::LeaveFullScreen()
{
    // Leaving full screen keeps the aspect ratio again.
    m_aspectKeep = true;
    m_session->SetAspectKeep(true);
    WriteAspectKeep(true);
    if (m_mapShown)
        m_movieDialog->show();
    m_zoom->reset();
    m_frame.leaveFullScreen();
    RefreshMapShell();
    Q_EMIT fullScreenChanged(false);
}

void CdedoradeDlg::AspectCommand()
{
    if (!m_session->ready())
        return;
    m_aspectKeep = !m_aspectKeep;
    m_session->SetAspectKeep(m_aspectKeep);
    m_session->RelayoutAll();
    WriteAspectKeep(m_aspectKeep);
    RefreshControlStates();
}

// ---- Zoom mode ---------------------------------------------------------------------------------

bool CdedoradeDlg::zoomMode() const { return m_zoom->active(); }

VideoZoom CdedoradeDlg::videoZoom() const { return m_zoom->zoom(); }

void CdedoradeDlg::ZoomCommand()
{
    if (m_shutDown || (transportBlocked() && !m_zoom->active()))
        return;
    m_zoom->toggle();
}

void CdedoradeDlg::OnVideoClick(QPoint point)
{
    if (m_shutDown)
        return;
    m_zoom->click(point);
    Q_EMIT videoClicked(point);
}

// ---- Map window ------------------------------------------------------------------------------

void CdedoradeDlg::PlaceMovieDialog()
{
    const QScreen* scr = screen();
    const QRect available = scr ? scr->availableGeometry() : QRect();
    m_movieDialog->setGeometry(
        PlaceDetachedWindow(frameGeometry(), m_movieDialog->size(), available));
    m_movieDialog->markPlaced();
}

void CdedoradeDlg::SwitchMapCommand()
{
    if (m_shutDown)
        return;
    m_mapShown = !m_mapShown;
    if (m_mapShown && !m_movieDialog->placedOnce())
        PlaceMovieDialog();
    m_movieDialog->setVisible(m_mapShown && !isFullScreenMode());
    // The map button looks pressed while the map window is switched on.
    m_controls->setMapPressed(m_mapShown);
    m_mapState->setFullScreen(isFullScreenMode());
    m_mapState->setSwitchedOn(m_mapShown);
    Q_EMIT mapShownChanged(m_mapShown);
}

void CdedoradeDlg::RefreshMapShell()
{
    m_mapState->setFullScreen(isFullScreenMode());
}

MapShellInput& CdedoradeDlg::mapShellInput() { return m_mapState->shellInput(); }

map::CMapView* CdedoradeDlg::mapView() const { return static_cast<map::CMapView*>(m_mapState->view()); }

// ---- Commands ----------------------------------------------------------------------------------

void CdedoradeDlg::DispatchCommand(int id)
{
    // Every entry point comes here; a command that is off does nothing, whichever asked.
    if (!isCommandEnabled(id))
        return;
    Q_EMIT commandDispatched(id);
    switch (id) {
    case cmd::kClose:
        CloseCommand();
        return;
    case cmd::kMaximise:
        MaximiseCommand();
        return;
    case cmd::kMinimise:
        MinimiseCommand();
        return;
    case cmd::kThumbnail:
        ThumbnailCommand();
        return;
    case cmd::kStop:
        StopCommand();
        return;
    case cmd::kPrevious:
        GoToRecording(-1);
        return;
    case cmd::kNext:
        GoToRecording(1);
        return;
    case cmd::kPlay:
        PlayPauseCommand();
        return;
    case cmd::kSlow:
        ChangeRate(false);
        return;
    case cmd::kSaveJoined:
    case cmd::kDelete:
    case cmd::kCsv:
        if (!m_shutDown && !transportBlocked())
            m_commands->runCommand(id);
        return;
    case cmd::kBrowse:
        BrowseCommand();
        return;
    case cmd::kSettings:
        SettingsCommand();
        return;
    case cmd::kStillImage:
        StillCommand();
        return;
    case cmd::kReport:
        ReportCommand();
        return;
    case cmd::kEvidence:
        m_evidence->start();
        return;
    case cmd::kSwitchDisplay:
        if (m_surface && m_session->ready())
            m_surface->switchDisplay();
        return;
    case cmd::kFastForward:
        ChangeRate(true);
        return;
    case cmd::kZoom:
        ZoomCommand();
        return;
    case cmd::kSwitchMap:
        SwitchMapCommand();
        return;
    case cmd::kAspect:
        AspectCommand();
        return;
    default:
        Q_EMIT commandRequested(id);
        return;
    }
}

void CdedoradeDlg::ShowMovieMenu(QPoint globalPos)
{
    if (m_session->opening() || backgroundTaskRunning() || m_shutDown)
        return;
    const int playState = m_session->playState();
    const int rate = m_session->rateCode();
    std::vector<MovieMenuItem> items = MovieMenuItems(playState, rate, isFullScreenMode(), m_aspectKeep);
    for (MovieMenuItem& item : items)
        item.enabled = item.enabled && (item.id != cmd::kEvidence || isCommandEnabled(item.id));
    CMovieMenu menu(items, this);
    int chosen = 0;
    connect(&menu, &CMovieMenu::command, this, [&chosen](int id) { chosen = id; });
    menu.exec(globalPos);
    if (chosen != 0)
        DispatchCommand(chosen);
}

// ---- Keys ----

void CdedoradeDlg::keyPressEvent(QKeyEvent* event)
{
    if (!m_input->takeKey(event))
        QWidget::keyPressEvent(event);
}

}  // namespace ravir
