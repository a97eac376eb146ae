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
    : QObject(parent), session_(session), browser_(browser), catalogue_(catalogue), map_(map),
      mapWindow_(mapWindow)
{
}

// ---- The file list and the folder tree ---------------------------------------------------------

int WindowSequencerHost::sequencerRowCount() const { return browser_.rowCount(); }

const RecordingRecord* WindowSequencerHost::sequencerRecordAt(int row) const
{
    return browser_.listCtrl()->recordAt(row);
}

void WindowSequencerHost::sequencerSelectRow(int row) { browser_.setCurrentRow(row); }
bool WindowSequencerHost::sequencerSelectNextFolder() { return browser_.selectNextFolder(); }
bool WindowSequencerHost::sequencerHasNextFolder() const { return browser_.hasNextFolder(); }
int WindowSequencerHost::sequencerFolderPosition() const { return browser_.folderPosition(); }
void WindowSequencerHost::sequencerSelectFolderAt(int position) { browser_.selectFolderAt(position); }

bool WindowSequencerHost::sequencerSingleFileSource() const
{
    return catalogue_.mode() == SourceMode::File;
}

// ---- The recording -----------------------------------------------------------------------------

int WindowSequencerHost::sequencerRateCode() const { return session_.rateCode(); }

void WindowSequencerHost::sequencerStopPlayback(bool pauseOnly)
{
    session_.PauseIfPlaying();
    if (!pauseOnly)
        session_.StopEngines();
}

void WindowSequencerHost::sequencerBeginOpen(bool resetGraph)
{
    session_.BeginOpen(resetGraph);
    map_.clearRecording();
    // The wait state: controls off until the recording is ready or the time-out ends it.
    Q_EMIT waitBegan(resetGraph);
}

int WindowSequencerHost::sequencerOpenBoth(const RecordingRecord& record)
{
    if (shutDown_)
        return 0;
    const int result = session_.OpenBoth(record);
    if (result != 1)
        return result;
    // The detached window names the camera of the recording.
    const QString name = QFileInfo(record.path).fileName();
    mapWindow_.setWindowTitle(text(IsMainRecordingName(name) ? TXT_MAP : TXT_MAIN_CAMERA));
    mapWindow_.update();
    map_.setFileName(name);
    // The rest follows when the players report the movies ready.
    return result;
}

void WindowSequencerHost::sequencerOpenFailed(int result, bool showMessage)
{
    session_.OpenFailed();
    // A movie no decoder can open asks for the codecs; the rest is a failed or too short open.
    const int message = !showMessage                        ? 0
                        : result == 2                       ? TXT_MSG_TOO_SHORT
                        : result == kEngineCannotLoad       ? TXT_MSG_INSTALL_CODEC
                                                            : TXT_MSG_OPEN_FAILED;
    Q_EMIT openFailed(message);
}

void WindowSequencerHost::sequencerEndWait()
{
    session_.OpenEnded();
    Q_EMIT waitEnded();
}

void WindowSequencerHost::sequencerMovieOpened(int rate)
{
    session_.Start(rate);
    Q_EMIT recordingStarted();
}

bool WindowSequencerHost::sequencerLoadTelemetry(const QString& moviePath)
{
    // On the loader worker: the player's telemetry slots have their own locks.
    return session_.LoadTelemetry(moviePath);
}

void WindowSequencerHost::sequencerRecordingReady(bool)
{
    if (shutDown_ || !session_.ready())
        return;
    // The graph, the panel and the map follow the session's telemetry signal.
    session_.TakeTelemetry();
    Q_EMIT telemetryTaken();
}

void WindowSequencerHost::sequencerPlay()
{
    if (!session_.playing() && session_.ready())
        Q_EMIT playRequested();
}

void WindowSequencerHost::sequencerPrefetch(const QString& moviePath) { session_.Prefetch(moviePath); }

void WindowSequencerHost::sequencerLastFolderEnded() { Q_EMIT lastFolderEnded(); }

void WindowSequencerHost::sequencerRestorePosition(int frame)
{
    if (shutDown_ || !session_.ready())
        return;
    session_.SeekAll(frame);
    if (frame != 0)
        session_.PauseEngines();
    Q_EMIT stateChanged();
}

}  // namespace ravir
