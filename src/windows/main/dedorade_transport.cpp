// The main window's position slider: pressed, dragged and let go.
#include "windows/main/dedorade_dlg.h"

#include "windows/kit/skin_slider.h"
#include "playback/dual_surface.h"
#include "playback/player.h"

namespace ravir {

void CdedoradeDlg::OnPositionSlider(int phase, int position)
{
    // Nothing while a recording opens or a task runs (the slider is off then).
    if (!m_session->ready() || m_session->opening() || backgroundTaskRunning() || m_shutDown) {
        m_sliderHeld = false;
        m_session->setThumbHeld(false);
        return;
    }
    Player& main = m_session->main();
    switch (phase) {
    case 0:
        // Pressed: silent and held still while the thumb is held; a press off the thumb jumps.
        m_sliderHeld = true;
        m_session->setThumbHeld(true);
        m_playingBeforeDrag = m_session->playing();
        main.SetVolume(0);
        m_session->PauseIfPlaying();
        if (m_positionCtrl->jumped())
            SeekTo(position);
        m_surface->update();
        return;
    case 1:
        // Dragged: the views follow the thumb; the cameras are sought once it is let go.
        m_session->ShowWhileDragging(position);
        return;
    default: {
        // Released: the seek (kept off the last frames), then play again if it played before.
        const bool playAgain = m_sliderHeld ? m_playingBeforeDrag : m_session->playing();
        m_sliderHeld = false;
        m_session->setThumbHeld(false);
        m_playingBeforeDrag = false;
        m_session->PauseIfPlaying();
        SeekTo(position);
        if (playAgain)
            TogglePlay();
        m_surface->update();
        m_session->SetVolume(m_volume);
        RefreshControlStates();
        return;
    }
    }
}

}  // namespace ravir
