#pragma once
// WindowSequencerHost: what the recording sequencer decides, carried out on the recording session,
// the file browser and the map window. The window's own part of it (the wait cursor, the views
// cleared, the messages, the presses kept while a recording opens) follows its signals.
#include "windows/main/recording_sequencer.h"

#include <QObject>

namespace ravir {

class Catalogue;
class CFilerContainerDlg;
class CMovieDialog;
class MapState;
class RecordingSession;

class WindowSequencerHost : public QObject, public SequencerHost {
    Q_OBJECT
public:
    WindowSequencerHost(RecordingSession& session, CFilerContainerDlg& browser, Catalogue& catalogue,
                        MapState& map, CMovieDialog& mapWindow, QObject* parent = nullptr);
    // After the shutdown nothing more is opened or set up.
    void setShutDown() { shutDown_ = true; }

    int sequencerRowCount() const override;
    const RecordingRecord* sequencerRecordAt(int row) const override;
    void sequencerSelectRow(int row) override;
    bool sequencerSelectNextFolder() override;
    bool sequencerHasNextFolder() const override;
    int sequencerFolderPosition() const override;
    void sequencerSelectFolderAt(int position) override;
    bool sequencerSingleFileSource() const override;
    void sequencerStopPlayback(bool pauseOnly) override;
    void sequencerBeginOpen(bool resetGraph) override;
    int sequencerOpenBoth(const RecordingRecord& record) override;
    void sequencerOpenFailed(int result, bool showMessage) override;
    void sequencerEndWait() override;
    void sequencerMovieOpened(int rateCode) override;
    bool sequencerLoadTelemetry(const QString& moviePath) override;
    void sequencerRecordingReady(bool telemetryLoaded) override;
    void sequencerPlay() override;
    void sequencerPrefetch(const QString& moviePath) override;
    void sequencerLastFolderEnded() override;
    int sequencerRateCode() const override;
    void sequencerRestorePosition(int frame) override;

Q_SIGNALS:
    // The wait state began (the views of the recording before are cleared; the graph only when
    // resetGraph) or ended; the controls follow either.
    void waitBegan(bool resetGraph);
    void waitEnded();
    // The open failed; message is the text to show (0: none).
    void openFailed(int message);
    void recordingStarted();   // the main camera's movie is set up at its first frame
    void telemetryTaken();     // its telemetry reached the session
    void playRequested();      // play, as the play button asks for it
    void lastFolderEnded();    // the end of the last folder: the window leaves its modes
    void stateChanged();       // anything else the controls depend on

private:
    RecordingSession& session_;
    CFilerContainerDlg& browser_;
    Catalogue& catalogue_;
    MapState& map_;
    CMovieDialog& mapWindow_;
    bool shutDown_ = false;
};

}  // namespace ravir
