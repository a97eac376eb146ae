#include "windows/main/window_sequencer_host.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "catalogue/recording_name.h"
#include "windows/map/map_state.h"
#include "windows/map/map_window.h"
#include "windows/main/recording_session.h"
#include "shell/ui_text.h"

#include <QFileInfo>

namespace ravir {

WindowSequencerHost::WindowSequencerHost(RecordingSession& session, CFilerContainerDlg& browser,
                                         Catalogue& catalogue, MapState& map, CMovieDialog& mapWindow,
                                         QObject* parent)
    : QObject(parent), m_session(session), m_browser(browser), m_catalogue(catalogue), m_map(map),
      m_mapWindow(mapWindow)
{
}

// ---- The file list and the folder tree ---------------------------------------------------------

int WindowSequencerHost::sequencerRowCount() const { return m_browser.rowCount(); }

const RecordingRecord* WindowSequencerHost::sequencerRecordAt(int row) const
{
    return m_browser.listCtrl()->recordAt(row);
}

void WindowSequencerHost::sequencerSelectRow(int row) { m_browser.setCurrentRow(row); }
bool WindowSequencerHost::sequencerSelectNextFolder() { return m_browser.selectNextFolder(); }
bool WindowSequencerHost::sequencerHasNextFolder() const { return m_browser.hasNextFolder(); }
int WindowSequencerHost::sequencerFolderPosition() const { return m_browser.folderPosition(); }
void WindowSequencerHost::sequencerSelectFolderAt(int position) { m_browser.selectFolderAt(position); }

bool WindowSequencerHost::sequencerSingleFileSource() const
{
    return m_catalogue.mode() == SourceMode::File;
}

// ---- The recording -----------------------------------------------------------------------------

int WindowSequencerHost::sequencerRateCode() const { return m_session.rateCode(); }

void WindowSequencerHost::sequencerStopPlayback(bool pauseOnly)
{
    m_session.PauseIfPlaying();
    if (!pauseOnly)
        m_session.StopEngines();
}

void WindowSequencerHost::sequencerBeginOpen(bool resetGraph)
{
    m_session.BeginOpen(resetGraph);
    m_map.clearRecording();
    // The wait state: controls off until the recording is ready or the time-out ends it.
    Q_EMIT waitBegan(resetGraph);
}

int WindowSequencerHost::sequencerOpenBoth(const RecordingRecord& record)
{
    if (m_shutDown)
        return 0;
    const int result = m_session.OpenBoth(record);
    if (result != 1)
        return result;
    // The detached window names the camera of the recording.
    const QString name = QFileInfo(record.path).fileName();
    m_mapWindow.setWindowTitle(text(IsMainRecordingName(name) ? TXT_MAP : TXT_MAIN_CAMERA));
    m_mapWindow.update();
    m_map.setFileName(name);
    // The rest follows when the players report the movies ready.
    return result;
}

void WindowSequencerHost::sequencerOpenFailed(int result, bool showMessage)
{
    m_session.OpenFailed();
    // A movie no decoder can open asks for the codecs; the rest is a failed or too short open.
    const int message = !showMessage                        ? 0
                        : result == 2                       ? TXT_MSG_TOO_SHORT
                        : result == kEngineCannotLoad       ? TXT_MSG_INSTALL_CODEC
                                                            : TXT_MSG_OPEN_FAILED;
    Q_EMIT openFailed(message);
}

void WindowSequencerHost::sequencerEndWait()
{
    m_session.OpenEnded();
    Q_EMIT waitEnded();
}

void WindowSequencerHost::sequencerMovieOpened(int rate)
{
    m_session.Start(rate);
    Q_EMIT recordingStarted();
}

bool WindowSequencerHost::sequencerLoadTelemetry(const QString& moviePath)
{
    // On the loader worker: the player's telemetry slots have their own locks.
    return m_session.LoadTelemetry(moviePath);
}

void WindowSequencerHost::sequencerRecordingReady(bool)
{
    if (m_shutDown || !m_session.ready())
        return;
    // The graph, the panel and the map follow the session's telemetry signal.
    m_session.TakeTelemetry();
    Q_EMIT telemetryTaken();
}

void WindowSequencerHost::sequencerPlay()
{
    if (!m_session.playing() && m_session.ready())
        Q_EMIT playRequested();
}

void WindowSequencerHost::sequencerPrefetch(const QString& moviePath) { m_session.Prefetch(moviePath); }

void WindowSequencerHost::sequencerLastFolderEnded() { Q_EMIT lastFolderEnded(); }

void WindowSequencerHost::sequencerRestorePosition(int frame)
{
    if (m_shutDown || !m_session.ready())
        return;
    m_session.SeekAll(frame);
    if (frame != 0)
        m_session.PauseEngines();
    Q_EMIT stateChanged();
}

}  // namespace ravir
