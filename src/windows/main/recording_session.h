#pragma once
// RecordingSession: the open recording. It owns both players (the main camera draws on the video
// surface, the sub camera decodes in step and plays muted), the camera sync, the 30 ms play clock,
// the current record and its telemetry snapshot, and carries out play, pause, step, seek and rate
// on both cameras at once.
//
// It publishes what it knows as properties with change signals; the views, the map, the desktop
// media controls and the window follow those signals and never ask the players themselves. The
// frame it publishes (shownFrame) is the frame on screen: after a seek the target until the
// engine has reached it, and after a pause, a step or a seek has settled, the engine's own
// position read once more, so that the numbers next to the picture belong to the picture.
#include "catalogue/recording_record.h"
#include "playback/engine_start.h"
#include "windows/views/recording_telemetry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>

namespace ravir {

class CameraSync;
class Player;
class VideoPresenter;

class RecordingSession : public QObject {
    Q_OBJECT
    Q_PROPERTY(int shownFrame READ shownFrame NOTIFY frameShown)
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(int playState READ playState NOTIFY playStateChanged)
    Q_PROPERTY(int rateCode READ rateCode NOTIFY controlsChanged)
    Q_PROPERTY(bool ready READ ready NOTIFY readyChanged)
public:
    explicit RecordingSession(QObject* parent = nullptr);
    ~RecordingSession() override;

    // Starts making the two engines on workers and returns at once; mainDraws and subDraws say
    // whether InitPlayers will give the slot a surface. maker replaces libmpv's start (tests).
    void StartEngines(bool mainDraws, bool subDraws, EngineMaker maker = {});
    // The players: slot 0 draws on mainSurface, slot 1 on subSurface and keeps to slot 0's time.
    // Their engines (StartEngines, called here unless it was before) come later, with
    // enginesReady(); a slot whose engine cannot start stays off and is skipped from then on.
    // An open asked for before then is checked against the movie's boxes at once and carried
    // out when the engines are there.
    void InitPlayers(VideoPresenter* mainSurface, VideoPresenter* subSurface, const QString& fontFace,
                     bool hardwareDecode, int volume, bool aspectKeep);
    // The engines are being made (slotReady is false for both until they are there).
    bool enginesStarting() const { return engines_ != nullptr; }
    // Pause, stop and release both engines; nothing is published afterwards. Safe to repeat.
    void Shutdown();

    Player* player(int slot) const { return players_[static_cast<size_t>(slot)].get(); }
    bool slotReady(int slot) const { return slotReady_[static_cast<size_t>(slot)]; }
    Player& main() const { return *players_[0]; }
    bool subReady() const;  // the sub camera has a movie open

    // ---- Published state ----
    bool ready() const { return ready_; }         // the main camera's movie is open and set up
    bool opening() const { return opening_; }     // an open is under way (the wait state)
    bool playing() const { return playing_; }     // play was asked and not yet paused or stopped
    int playState() const;                         // the main engine's state (kPlaying, ...)
    int rateCode() const;                          // 1, 2, 4, -2, -4; 1 without a main camera
    int shownFrame() const { return shownFrame_; }  // -1 before a recording is ready
    long long frameCount() const;
    // Where the main camera is, or goes when a seek is under way.
    int engineFrame() const;
    bool nearEndBlocked() const;  // a playing recording in its last frames takes no command
    bool playClockActive() const { return playClock_.isActive(); }
    QString currentPath() const { return currentPath_; }
    const RecordingRecord& currentRecord() const { return currentRecord_; }
    // The telemetry of the open recording, once its loader has finished (null before).
    bool telemetryReady() const { return telemetryReady_; }
    const TelemetrySnapshot& telemetry() const { return snapshot_; }
    long long telemetryBytes() const { return telemetryBytes_; }
    int subFrameFor(int mainFrame) const;  // the sub camera's frame at the same time

    // ---- Playback commands (both cameras) ----
    void TogglePlay();                 // a ready recording only; see playing()
    void PauseIfPlaying() { if (playing_) TogglePlay(); }
    void StepFrames(int delta);        // pause, then move by delta frames from the latest seek
    void SeekAll(int frame);           // to frame (clamped), the views at once
    // A seek by slider, map or event point: the engine is kept off the last frames, the views
    // show the target itself.
    void SeekTo(int target);
    // The slider's thumb is dragged: the views follow it, the engines are sought on release.
    void ShowWhileDragging(int target);
    void setThumbHeld(bool held) { thumbHeld_ = held; }
    void Rewind();                     // pause, default rate, frame 0, stopped
    void StopEngines();                // both engines stopped where they are
    void PauseEngines();               // both engines paused (a restored position)
    void ApplyDefaultRate();           // the recording's own rate (x0.5 for time-lapse)
    bool ChangeRate(bool faster);      // the slower/faster step; false when nothing changed
    void SetRate(int rateCode);        // any rate code on both cameras
    void SetVolume(int volume);        // the main camera's volume (0 .. 65535)
    void SetAspectKeep(bool keep);
    void SetHardwareDecode(bool on);
    void Relayout();                   // the main camera's picture after a surface change
    void RelayoutAll();                // both pictures after a layout or aspect change
    // The picture's place and magnification on its surface (zoom), for both cameras or the main.
    void SetVideoRect(int centreX, int centreY, int offsetX, int offsetY, float zoom, bool both);

    // ---- Opening and closing (the sequencer decides, the session carries out) ----
    void BeginOpen(bool clearTelemetry);  // the wait state: nothing playing, nothing ready
    // Opens record's main movie in slot 0 and its paired movie in slot 1; the open result
    // (0 failed, 1 opened, 2 too short). The rest follows when the engines report.
    int OpenBoth(const RecordingRecord& record);
    void OpenEnded();                 // the wait state is over (failed or ready)
    void OpenFailed();                // nothing of the recording is shown
    // The main camera's movie is ready: rate, first frame, the play clock.
    void Start(int rateCode);
    // On the loader's worker: the telemetry of moviePath into the main camera's load reader.
    bool LoadTelemetry(const QString& moviePath);
    // Back on the window thread: the loaded telemetry becomes the snapshot; the record learns its
    // start time, picture quality and frame rate.
    void TakeTelemetry();
    void Prefetch(const QString& moviePath);
    void StopPrefetch();
    void FreeTelemetry();
    // Both engines closed, nothing published any more (frame -1, no telemetry).
    void Close();

Q_SIGNALS:
    // The frame the views show changed (the slider, the graph, the panel, the map marker).
    void frameShown(int frame);
    void playingChanged(bool playing);
    // The main engine's play state as it lands (the engine carries out a command later).
    void playStateChanged(int state);
    // The play state, the rate or the last-frames block changed: the controls are refreshed.
    void controlsChanged();
    void readyChanged(bool ready);
    void telemetryChanged();          // a snapshot came or went
    void mainMovieOpened();           // the main camera reported its movie ready
    void openFailed();                // the main camera could not open its movie
    void presentationEnded();         // the main camera reached the end of its movie
    // The engines were started (InitPlayers); mainStarted is slotReady(0).
    void enginesReady(bool mainStarted);

private:
    void Tick();
    void ShowFrame(int frame);
    void PublishState();
    void SeekEngines(int frame);
    void OnSubMovieOpened();
    void SetReady(bool ready);
    void TakeEngines();

    std::array<std::unique_ptr<Player>, 2> players_;
    // The engines' start, and what the players are set up with once the engines are there.
    EngineStart* engines_ = nullptr;
    std::array<QPointer<VideoPresenter>, 2> surfaces_;
    std::array<bool, 2> withSurface_{false, false};
    QString fontFace_;
    bool hardwareDecode_ = false;
    // The open asked for while the engines were being started (currentRecord_), carried out
    // when they are.
    bool openPending_ = false;
    std::array<bool, 2> slotReady_{false, false};
    CameraSync* sync_ = nullptr;
    QTimer playClock_;          // 30 ms: the views follow the main camera's frame
    bool shutDown_ = false;
    bool ready_ = false;
    bool opening_ = false;
    bool playing_ = false;
    bool thumbHeld_ = false;
    int volume_ = 65535;
    bool aspectKeep_ = false;
    QString currentPath_;
    RecordingRecord currentRecord_;
    TelemetrySnapshot snapshot_;
    bool telemetryReady_ = false;
    long long telemetryBytes_ = 0;

    int shownFrame_ = -1;       // the frame the views show
    int pendingFrame_ = -1;     // a seek target the engine has not reached yet
    bool settleAfterSeek_ = false;  // the pending target is where the engine goes
    int clockFrame_ = -1;       // the frame seen at the previous tick
    int stuckTicks_ = 0;        // ticks the playing frame has not moved
    int settleTicks_ = 0;       // ticks in which the views still follow a resting engine
    // What was last published: the main engine's play state, its rate and the last-frames block.
    struct Published {
        int playState = -1;
        int rateCode = 0;
        bool nearEnd = false;
        bool operator==(const Published&) const = default;
    } published_;
};

}  // namespace ravir
