#pragma once
// RecordingSequencer: the main window's sequencing of recordings. It decides when the current
// recording is opened (a 500 ms open delay, a 5000 ms open time-out), follows it through
// "movie opened" and "recording ready" (its telemetry loaded on a worker), plays it when play was
// asked for during the open or when the window advances by itself, and moves on at the end of a
// recording: the next row of the file list, after the last row the first recording of the next
// folder of the tree, after the last folder back to the current recording at frame 0, stopped.
//
// It holds the flags of the sequence (hold, automatic advance, continue to the next folder, end
// sequence running, play request) and no widget: what it decides is carried out by its host, the
// main window, so that the decisions run and can be tested without a display or a player.
#include "catalogue/recording_record.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QThread;

namespace ravir {

// The default rate code of a recording: -2 (x0.5) for time-lapse names ('T' as the first or
// third letter of the file name), 1 otherwise (also for an empty path).
int DefaultRateCodeFor(const QString& path);

// What the sequencer asks of the window. Every call comes on the window's thread except
// sequencerLoadTelemetry, which runs on the loader worker.
class SequencerHost {
public:
    virtual ~SequencerHost() = default;
    virtual int sequencerRowCount() const = 0;
    virtual const RecordingRecord* sequencerRecordAt(int row) const = 0;
    // Selects the row in the file list as the user would; the list chooses it, which comes back
    // as RecordingSequencer::rowChosen().
    virtual void sequencerSelectRow(int row) = 0;
    // Selects the folder after the current one in the tree; its list's first row comes back as
    // rowChosen(). False when there is no further folder.
    virtual bool sequencerSelectNextFolder() = 0;
    virtual bool sequencerHasNextFolder() const = 0;
    // The place of the selected folder in the tree's order, and the selection of the folder at
    // such a place again (its first row comes back as rowChosen(), which the sequencer ignores).
    virtual int sequencerFolderPosition() const = 0;
    virtual void sequencerSelectFolderAt(int position) = 0;
    virtual bool sequencerSingleFileSource() const = 0;
    // Stops playback on both cameras (volume 0). pauseOnly: pause and keep the position.
    virtual void sequencerStopPlayback(bool pauseOnly) = 0;
    // A new open begins: the views of the previous recording are cleared (the graph position too
    // when resetGraph), the controls disabled, the wait cursor shown.
    virtual void sequencerBeginOpen(bool resetGraph) = 0;
    // Opens the recording in both cameras: 0 failed, 1 opened (the rest follows with
    // movieOpened()), 2 too short.
    virtual int sequencerOpenBoth(const RecordingRecord& record) = 0;
    // The open failed: 0 or 2 as sequencerOpenBoth said, or kEngineCannotLoad when the movie
    // passed the box probe but the engine could not decode it. showMessage is false while the
    // window advances by itself.
    static constexpr int kEngineCannotLoad = -1;
    virtual void sequencerOpenFailed(int result, bool showMessage) = 0;
    // The wait state of the open ends (the open time-out, or the recording is ready).
    virtual void sequencerEndWait() = 0;
    // The main camera's movie is open: first frame, slider range, play clock. rateCode is the
    // rate to apply to both cameras.
    virtual void sequencerMovieOpened(int rateCode) = 0;
    // Loads the recording's telemetry into the players (runs on the loader worker).
    virtual bool sequencerLoadTelemetry(const QString& moviePath) = 0;
    // The after-open setup: the telemetry reaches the views.
    virtual void sequencerRecordingReady(bool telemetryLoaded) = 0;
    virtual void sequencerPlay() = 0;
    // Loads the telemetry of the recording that comes next ahead of time (empty: cancel).
    virtual void sequencerPrefetch(const QString& moviePath) = 0;
    // The end of the last folder was reached: zoom and full screen are left.
    virtual void sequencerLastFolderEnded() = 0;
    // The rate code slot 0 plays at now (kept across a folder change).
    virtual int sequencerRateCode() const = 0;
    // A re-opened recording is ready: back to the frame it showed before, paused when that is
    // not frame 0 (frame 0 stays stopped).
    virtual void sequencerRestorePosition(int frame) = 0;
};

class RecordingSequencer : public QObject {
    Q_OBJECT
public:
    static constexpr int kOpenDelayMs = 500;
    static constexpr int kOpenTimeoutMs = 5000;

    explicit RecordingSequencer(SequencerHost& host, QObject* parent = nullptr);
    ~RecordingSequencer() override;

    // ---- Events from the window ---------------------------------------------------------
    // A row of the file list was chosen (by the user, or by the sequencer's own selection).
    void rowChosen(int row, const RecordingRecord& record);
    // Opens a recording at once, without the open delay (the recording need not be in the
    // list); returns the open result. Play stays as the play request says.
    int openNow(const RecordingRecord& record);
    // The main camera's movie is ready.
    void movieOpened();
    // The engine could not load the movie it had accepted.
    void movieFailed();
    // The main camera reached the end of its movie.
    void endOfRecording();
    // Commands: the next recording (on to the next folder after the last one), the previous
    // recording (false when the current one is the first: the caller rewinds).
    void nextCommand();
    bool previousCommand();
    // Play was pressed: before the recording is ready it is queued; a playing recording is no
    // longer held.
    void playPressed();
    // Everything is forgotten: the source changed or vanished, the window closes. A telemetry
    // load still running is dropped when it ends.
    void reset();
    // The current recording is closed for a background task: nothing of its open goes on, but
    // it stays the current one, to be opened again with reopen().
    void suspend();
    // Opens the current recording again (after a background task), held on its first frame;
    // once ready it goes back to restoreFrame (-1: stays on frame 0). False when there is no
    // current recording.
    bool reopen(int restoreFrame);
    // Waits for the loader worker (shutdown).
    void waitForLoader();
    // While set, an open begins at once instead of after the open delay: the delay lets the
    // user go down the list without opening every row passed, which does not apply to the
    // first recording of a source the program opens itself.
    void setOpenWithoutDelay(bool on) { openWithoutDelay_ = on; }
    // The open delay in ms (tests shorten it).
    void setOpenDelayMs(int ms) { openDelayMs_ = ms; }

    // ---- State ----------------------------------------------------------------------------
    int currentRow() const { return row_; }
    const RecordingRecord& currentRecord() const { return record_; }
    bool hasRecording() const { return !record_.path.isEmpty(); }
    bool isOpening() const { return waiting_; }
    bool isMovieOpen() const { return movieOpen_; }
    bool isReady() const { return ready_; }
    bool holdFlag() const { return hold_; }
    bool automaticAdvance() const { return autoAdvance_; }
    bool playRequested() const { return playRequest_; }
    bool continuingFolder() const { return continueFolder_; }
    bool lastOpenFailed() const { return lastOpenFailed_; }
    // The last failed open's result: 0 not opened, 2 too short, or SequencerHost::kEngineCannotLoad.
    int lastFailResult() const { return lastFailResult_; }
    int generation() const { return generation_; }
    int restoreFrame() const { return restoreFrame_; }
    // The timers, for tests that drive them (their intervals may be shortened).
    QTimer& openDelayTimer() { return openDelayTimer_; }
    QTimer& openTimeoutTimer() { return openTimeoutTimer_; }

Q_SIGNALS:
    // The open of the current recording began (row chosen) or the recording is ready.
    void openStarted(const QString& path);
    void recordingReady(const QString& path);
    // The window moved on by itself past a recording that could not be opened.
    void recordingSkipped(const QString& path, int result);
    // The end of the last folder: the current recording is back at frame 0, stopped.
    void lastFolderEnded();

private:
    void beginOpen(bool resetGraph);
    void onOpenDelay();
    void onOpenTimeout();
    void failed(int result);
    void advance();          // the next recording, else the next folder, else the end
    void stepToNext();       // the next-recording step; sets the continue flag after the last row
    void endOfLastFolder(int folder, int row, const RecordingRecord& record);
    void startLoader();
    void onLoaderDone(int generation, bool loaded);

    SequencerHost& host_;
    QTimer openDelayTimer_;    // 500 ms after a row is chosen: the movies are opened
    int openDelayMs_ = kOpenDelayMs;
    bool openWithoutDelay_ = false;
    QTimer openTimeoutTimer_;  // 5000 ms after an open began: the wait state ends regardless
    RecordingRecord record_;
    int row_ = -1;
    int lastFailResult_ = 0;
    int generation_ = 0;       // counts opens; results of older ones are dropped
    bool waiting_ = false;     // an open is under way (wait cursor, controls off)
    bool movieOpen_ = false;   // movie opened seen for the current open
    bool ready_ = false;       // recording ready seen for the current open
    bool hold_ = false;        // an end of recording is ignored
    bool autoAdvance_ = false; // the open was started by moving on, not by the user
    bool advancing_ = false;   // a row is being selected by the sequencer itself
    bool returning_ = false;   // the folder of the current recording is being selected again
    bool continueFolder_ = false;
    bool endRunning_ = false;
    bool playRequest_ = false;
    bool keepRate_ = false;    // the open continues a folder change: the rate stays
    bool lastOpenFailed_ = false;
    int restoreFrame_ = -1;    // a re-opened recording goes back to this frame once ready
    QThread* loader_ = nullptr;
    bool loadQueued_ = false;  // an open waits for the previous loader to end
};

}  // namespace ravir
