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
#include "windows/settings/setting_dlg.h"
#include "windows/stills/still_capture.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/marker_kind.h"
#include "windows/views/recording_telemetry.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>

#include <optional>

namespace ravir {
namespace {

constexpr int kFullScreenEndMargin = 10;  // frames before the end that refuse full screen

}  // namespace

void CdedoradeDlg::ReportCommand()
{
    if (!session_->ready() || transportBlocked() || report_->busy())
        return;
    session_->PauseIfPlaying();
    report_->start();
}

void CdedoradeDlg::JumpToEventPoint(bool next)
{
    const TelemetrySnapshot& snap = session_->telemetry();
    if (!snap || !session_->ready())
        return;
    const std::vector<EventPoint> points = BuildEventPoints(*snap, graphView_->markerKinds());
    const int frame = EventJumpFrame(points, graphView_->markerKinds(), graphView_->currentFrame(),
                                     static_cast<int>(session_->frameCount()), next);
    if (frame >= 0)
        SeekTo(frame);
}

void CdedoradeDlg::BrowseCommand()
{
    if (shutDown_ || (commands_ && commands_->busy()))
        return;
    source_->browse();
}

void CdedoradeDlg::SettingsCommand()
{
    if (!shutDown_ && settings_)
        settings_->showCentredOn(this);
}

void CdedoradeDlg::StillCommand()
{
    if (!session_->ready() || transportBlocked() || still_->busy())
        return;
    Player* sub = session_->subReady() ? session_->player(1) : nullptr;
    still_->Capture(session_->player(0), sub, QFileInfo(session_->currentPath()).fileName());
}

void CdedoradeDlg::TogglePlay()
{
    if (!session_->slotReady(0))
        return;
    if (!session_->ready()) {
        // Play pressed while the recording opens: honoured when it is ready.
        if (sequencer_)
            sequencer_->playPressed();
        return;
    }
    session_->TogglePlay();
    if (session_->playing() && sequencer_)
        sequencer_->playPressed();  // a playing recording moves on at its end
}

void CdedoradeDlg::PlayPauseCommand()
{
    const bool wasPlaying = session_->playing();
    TogglePlay();
    if (!wasPlaying || session_->playing())
        return;
    // A pause sets the recording's default rate, as the first-frame command does.
    session_->ApplyDefaultRate();
    RefreshControlStates();
}

void CdedoradeDlg::StopCommand()
{
    // While a list command runs, the first-frame button stops it at its next check.
    if (tasks_ && tasks_->busy()) {
        commands_->stop();
        return;
    }
    if (!session_->ready() || transportBlocked())
        return;
    session_->Rewind();
    RefreshControlStates();
}

void CdedoradeDlg::GoToRecording(int delta) { steps_->go(delta); }

void CdedoradeDlg::ChangeRate(bool faster)
{
    if (!session_->ready() || transportBlocked())
        return;
    if (session_->ChangeRate(faster))
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

void CdedoradeDlg::MaximiseCommand() { frame_.toggleMaximised(); }

void CdedoradeDlg::MinimiseCommand() { frame_.minimise(); }

void CdedoradeDlg::ThumbnailCommand()
{
    thumbnail_ = !thumbnail_;
    WriteThumbnail(thumbnail_);
    controls_->setThumbnailPressed(thumbnail_);
    if (browser_)
        browser_->setThumbnailMode(thumbnail_);
    Q_EMIT thumbnailModeChanged(thumbnail_);
}

// ---- Full screen and aspect -------------------------------------------------------------------

bool CdedoradeDlg::ToggleFullScreen()
{
    if (zoom_->active() || shutDown_)
        return false;
    if (isFullScreenMode()) {
        LeaveFullScreen();
        return true;
    }
    if (!session_->ready() || backgroundTaskRunning() || !browser_ || browser_->rowCount() == 0)
        return false;
    // Not near the end of the recording, where the next one is about to open.
    if (session_->frameCount() - std::max(0, session_->engineFrame()) <= kFullScreenEndMargin)
        return false;
    EnterFullScreen();
    return true;
}

void CdedoradeDlg::EnterFullScreen()
{
    // Every pane but the video surface goes; the video covers the monitor.
    movieDialog_->hide();
    frame_.enterFullScreen(video_);
    RefreshMapShell();
    Q_EMIT fullScreenChanged(true);
}

void CdedoradeDlg::LeaveFullScreen()
{
    // Leaving full screen keeps the aspect ratio again.
    aspectKeep_ = true;
    session_->SetAspectKeep(true);
    WriteAspectKeep(true);
    if (mapShown_)
        movieDialog_->show();
    zoom_->reset();
    frame_.leaveFullScreen();
    RefreshMapShell();
    Q_EMIT fullScreenChanged(false);
}

void CdedoradeDlg::AspectCommand()
{
    if (!session_->ready())
        return;
    aspectKeep_ = !aspectKeep_;
    session_->SetAspectKeep(aspectKeep_);
    session_->RelayoutAll();
    WriteAspectKeep(aspectKeep_);
    RefreshControlStates();
}

// ---- Zoom mode ---------------------------------------------------------------------------------

bool CdedoradeDlg::zoomMode() const { return zoom_->active(); }

VideoZoom CdedoradeDlg::videoZoom() const { return zoom_->zoom(); }

void CdedoradeDlg::ZoomCommand()
{
    if (shutDown_ || (transportBlocked() && !zoom_->active()))
        return;
    zoom_->toggle();
}

void CdedoradeDlg::OnVideoClick(QPoint point)
{
    if (shutDown_)
        return;
    zoom_->click(point);
    Q_EMIT videoClicked(point);
}

// ---- Map window ------------------------------------------------------------------------------

void CdedoradeDlg::PlaceMovieDialog()
{
    const QScreen* scr = screen();
    const QRect available = scr ? scr->availableGeometry() : QRect();
    movieDialog_->setGeometry(
        PlaceDetachedWindow(frameGeometry(), movieDialog_->size(), available));
    movieDialog_->markPlaced();
}

void CdedoradeDlg::SwitchMapCommand()
{
    if (shutDown_)
        return;
    mapShown_ = !mapShown_;
    if (mapShown_ && !movieDialog_->placedOnce())
        PlaceMovieDialog();
    movieDialog_->setVisible(mapShown_ && !isFullScreenMode());
    // The map button looks pressed while the map window is switched on.
    controls_->setMapPressed(mapShown_);
    mapState_->setFullScreen(isFullScreenMode());
    mapState_->setSwitchedOn(mapShown_);
    Q_EMIT mapShownChanged(mapShown_);
}

void CdedoradeDlg::RefreshMapShell()
{
    mapState_->setFullScreen(isFullScreenMode());
}

MapShellInput& CdedoradeDlg::mapShellInput() { return mapState_->shellInput(); }


// ---- Commands ----------------------------------------------------------------------------------

void CdedoradeDlg::DispatchCommand(Command command)
{
    // Every entry point comes here; a command that is off does nothing, whichever asked.
    if (!isCommandEnabled(command))
        return;
    Q_EMIT commandDispatched(command);
    // No default: a command added to Command and not here is a compiler warning.
    switch (command) {
    case Command::kClose:
        CloseCommand();
        return;
    case Command::kMaximise:
        MaximiseCommand();
        return;
    case Command::kMinimise:
        MinimiseCommand();
        return;
    case Command::kThumbnail:
        ThumbnailCommand();
        return;
    case Command::kStop:
        StopCommand();
        return;
    case Command::kPrevious:
        GoToRecording(-1);
        return;
    case Command::kNext:
        GoToRecording(1);
        return;
    case Command::kPlay:
        PlayPauseCommand();
        return;
    case Command::kSlow:
        ChangeRate(false);
        return;
    case Command::kSaveJoined:
        if (!shutDown_ && !transportBlocked())
            commands_->runJoin();
        return;
    case Command::kDelete:
        if (!shutDown_ && !transportBlocked())
            commands_->runDelete();
        return;
    case Command::kCsv:
        if (!shutDown_ && !transportBlocked())
            commands_->runCsv();
        return;
    case Command::kBrowse:
        BrowseCommand();
        return;
    case Command::kSettings:
        SettingsCommand();
        return;
    case Command::kStillImage:
        StillCommand();
        return;
    case Command::kReport:
        ReportCommand();
        return;
    case Command::kEvidence:
        evidence_->start();
        return;
    case Command::kSwitchDisplay:
        if (surface_ && session_->ready())
            surface_->switchDisplay();
        return;
    case Command::kFastForward:
        ChangeRate(true);
        return;
    case Command::kZoom:
        ZoomCommand();
        return;
    case Command::kSwitchMap:
        SwitchMapCommand();
        return;
    case Command::kAspect:
        AspectCommand();
        return;
    }
}

void CdedoradeDlg::ShowMovieMenu(QPoint globalPos)
{
    if (session_->opening() || backgroundTaskRunning() || shutDown_)
        return;
    const int playState = session_->playState();
    const int rate = session_->rateCode();
    std::vector<MovieMenuItem> items = MovieMenuItems(playState, rate, isFullScreenMode(), aspectKeep_);
    for (MovieMenuItem& item : items)
        item.enabled = item.enabled &&
                       (item.command != Command::kEvidence || isCommandEnabled(Command::kEvidence));
    CMovieMenu menu(items, this);
    std::optional<Command> chosen;
    connect(&menu, &CMovieMenu::command, this, [&chosen](Command command) { chosen = command; });
    menu.exec(globalPos);
    if (chosen)
        DispatchCommand(*chosen);
}

// ---- Keys ----

void CdedoradeDlg::keyPressEvent(QKeyEvent* event)
{
    if (!input_->takeKey(event))
        QWidget::keyPressEvent(event);
}

}  // namespace ravir
