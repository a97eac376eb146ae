// The main window's position slider and what the map is told as the main camera plays: its play
// status and whether it can show the position (the placeholder otherwise).
#include "mainwindow/dedorade_dlg.h"

#include "mainwindow/map_follow.h"
#include "mainwindow/movie_dialog.h"
#include "mainwindow/play_clock_rules.h"
#include "mainwindow/skin_slider.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "views/gsensor_dlg.h"
#include "views/map_view.h"
#include "views/recording_telemetry.h"

namespace ravir {

void CdedoradeDlg::OnPositionSlider(int phase, int position)
{
    // Nothing while a recording opens or a task runs (the slider is off then).
    if (!m_slotReady[0] || !m_movieReady || m_opening || backgroundTaskRunning() || m_shutDown) {
        m_sliderHeld = false;
        return;
    }
    Player& main = *m_players[0];
    switch (phase) {
    case 0:
        // Pressed: silent and held still while the thumb is held; a press off the thumb jumps.
        m_sliderHeld = true;
        m_playingBeforeDrag = m_playing;
        main.SetVolume(0);
        if (m_playing)
            TogglePlay();
        if (m_positionCtrl->jumped())
            SeekTo(position);
        m_surface->update();
        return;
    case 1:
        // Dragged: the views follow the thumb; the cameras are sought once it is let go.
        MoveViewsTo(ViewFrame(position, m_positionCtrl->minimum(), m_positionCtrl->maximum()));
        m_pendingFrame = m_shownFrame;
        return;
    default: {
        // Released: the seek (kept off the last frames), then play again if it played before.
        const bool playAgain = m_sliderHeld ? m_playingBeforeDrag : m_playing;
        m_sliderHeld = false;
        m_playingBeforeDrag = false;
        if (m_playing)
            TogglePlay();
        SeekTo(position);
        if (playAgain)
            TogglePlay();
        m_surface->update();
        main.SetVolume(m_volume);
        RefreshControlStates();
        return;
    }
    }
}

void CdedoradeDlg::FollowMapPlayState()
{
    if (!m_mapView || !m_mapHasRecording) {
        m_mapToldState = -1;  // a new recording on the map is told its state anew
        return;
    }
    const int state = m_slotReady[0] ? m_players[0]->state().playState : kNoMovie;
    const QString status = MapStatusFor(state);
    if (m_mapToldState >= 0 && MapStatusFor(m_mapToldState) == status)
        return;
    m_mapToldState = state;
    m_mapView->playState(status);
}

void CdedoradeDlg::FollowMapPosition(int frame)
{
    const bool canShow = m_recordingReady &&
                         MapCanShowTrack(m_telemetryBytes, m_graphView->telemetry().get(), frame);
    m_mapShell.telemetrySize = m_telemetryBytes;
    if (canShow == m_mapShell.hasPosition)
        return;
    m_mapShell.hasPosition = canShow;
    RefreshMapShell();
}

}  // namespace ravir
