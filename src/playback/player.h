#pragma once
// One player per camera over libmpv: the operations the main window drives both cameras with.
// Positions that cross this interface are video frame numbers. Slot 0 (main camera) draws into
// its VideoPresenter; slot 1 (sub camera) has no window (mpv's null video output), decodes in
// step and still hands out stills.
//
// No operation waits on the decoder: OpenMovie decides from the movie's own boxes and starts the
// load, seeks are queued, and the player reports through signals, delivered by the event loop of
// its thread, when the movie is ready (movieOpened), could not be loaded (openFailed), a seek has
// landed (seekDone) or the presentation ended. Callers without an event loop (the command line,
// tests) use the bounded waits WaitForReady and WaitSeekDone.
#include "playback/mpv_player_base.h"
#include "playback/placement.h"
#include "playback/telemetry_slots.h"

#include <QImage>
#include <QString>
#include <mutex>

namespace ravir {

class VideoPresenter;

enum PlayStateCode : int { kNoMovie = 0, kStopped = 1, kPlaying = 2, kPaused = 3 };
enum OpenResult : int { kOpenFailed = 0, kOpened = 1, kTooShort = 2 };

// The per-camera state; the fields the main window and the views read.
struct PlayerState {
    int volume = 65535;  // 0..65535, last volume set
    int rotate180 = 0;
    int hardwareDecode = 0;
    int rateCode = 1;
    int aspectMode = 1;  // 1 keeps the aspect ratio
    int zoomCentreX = 0;
    int zoomCentreY = 0;
    float zoom = 1.0f;
    int offsetX = 0;
    int offsetY = 0;
    IntRect destination;
    int playState = kNoMovie;
    int initialised = 0;
    QString fontFace;
    long long frameCount = 0;
    int nativeWidth = 0;
    int nativeHeight = 0;
    QString moviePath;
    QString overlayText;
    // The three telemetry readers and the movie-data mutexes: mutex 1 guards telemetry,
    // overlay and placement against the views; mutex 2 serialises telemetry loads with the
    // prefetch thread and is taken after mutex 1.
    TelemetrySlots telemetry;
};

struct PlayerOptions {
    QString audioOutput;    // mpv "ao"; empty: mpv's default
    int openWaitMs = 5000;  // a load not ready after this long fails (openFailed)
    int seekWaitMs = 2000;  // a seek not landed after this long is given up (seekDone)
};

class Player : public MpvPlayerBase {
    Q_OBJECT
public:
    explicit Player(QObject* parent = nullptr);
    ~Player() override;

    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }
    int slot() const { return slot_; }

    // slot 0 is the main camera; presenter null gives a player without window. mainPlayer is
    // the main camera's player (itself for slot 0).
    // The engine is started here, on the caller's thread.
    bool InitPlayer(int slot, VideoPresenter* presenter, const QString& fontFace,
                    const PlayerOptions& options = {}, Player* mainPlayer = nullptr);
    // The same with an engine started elsewhere (on any thread) from EngineOptions(slot,
    // presenter != nullptr, options); a null engine fails and leaves the slot uninitialised.
    bool InitPlayer(MpvEngine engine, int slot, VideoPresenter* presenter, const QString& fontFace,
                    const PlayerOptions& options = {}, Player* mainPlayer = nullptr);
    // What the engine of a slot is started with, with or without a presenter.
    static MpvOptions EngineOptions(int slot, bool withPresenter, const PlayerOptions& options = {});
    // The check OpenMovie makes from the movie's own boxes before it asks the engine: kOpened,
    // kTooShort or kOpenFailed. Needs no engine.
    static int CheckMovie(const QString& path);
    void ShutdownPlayer();
    bool IsMp4File(const QString& path);
    // 0 failed, 1 opened, 2 too short to play, decided from the movie's boxes. On 1 the frame
    // count and duration are known and the load has started; the picture follows with
    // movieOpened, or openFailed when the engine cannot load the movie.
    int OpenMovie(const QString& path);
    // Stops the movie without waiting for the engine.
    void CloseMovie();
    // IsReady, WaitForReady and WaitSeekDone (for callers without an event loop) come from
    // MpvPlayerBase.
    // The frame the latest seek goes to while it has not landed; -1 otherwise.
    int PendingSeekFrame() const;
    bool LoadTelemetryForMovie(const QString& moviePath);
    void FreeTelemetry();
    // Transport acts on a ready movie only.
    void Play();
    // Seeks while playing and plays on; ignored unless playing. Returns at once (seekDone).
    void SeekPlaying(int frame);
    void Pause();
    void Stop();
    int GetCurrentFrame() const;
    // Shows that frame, paused; returns at once and reports with seekDone. Before the movie is
    // ready the seek is made once it is.
    void SeekFrame(int frame);
    void SetHardwareDecode(int on);
    bool SetRate(int rateCode);
    // Plays at the rate's speed times factor (0.5 .. 2; 1 undoes it): the camera sync's nudge.
    // The next SetRate sets the plain speed again.
    bool SetSpeedTrim(double factor);
    double speedTrim() const { return speedTrim_; }
    // The presentation time of the picture shown, in ms; -1 when no movie is loaded.
    double GetPositionMs() const;
    bool SetSlowMode(float on);
    bool SetAspectMode(int mode);
    // Video frames of the open movie, and milliseconds per frame; 0 when no movie is open.
    long long GetFrameCount() const;
    double GetFrameMs() const { return frameMs_; }
    // What the telemetry timeline of this movie is built with: the MAIN camera's frame count
    // (one index entry per frame) and this movie's frame duration.
    PlainFrameFacts frameFacts() const;
    bool GetVideoSize(int& width, int& height) const;
    void SetVolume(int volume);
    bool DrawOverlayText(const QString& text);
    void ClearOverlay();
    bool SetRotate180(bool on);
    bool SetVideoRect(int centreX, int centreY, int offsetX, int offsetY, float zoom,
                      bool repaint);
    // Saves the picture shown at the video's own size: PNG for a path ending in ".png", else
    // JPEG of quality 92.
    bool SaveCurrentFrame(const QString& path);
    // The one rule for every still and report picture: the picture of frame `frame` at the
    // movie's own size, given only when the engine really has that frame decoded now. No seek
    // may be under way; the engine's own position, read again from it (not clamped to the
    // movie), must be frame `frame`; the engine must not have reached the end of the data short
    // of that frame; no picture may have failed to decode since the seek that brought it (or
    // since playback last started); and a picture must be there to read. Otherwise a null
    // image, and *why (when given) says what failed. Nothing is sought here.
    QImage CaptureFrame(int frame, QString* why = nullptr);
    // For callers without an event loop (the command line): seeks to `frame`, waits for the
    // seek (seekWaitMs) and captures it with CaptureFrame.
    QImage SeekAndCaptureFrame(int frame, QString* why = nullptr);
    // CaptureFrame(frame) saved as SaveCurrentFrame saves (SaveStill).
    // False with *why set when the frame is not captured or the file cannot be written.
    bool SaveFrame(int frame, const QString& path, QString* why = nullptr);
    void Repaint();
    bool Relayout();

    // Movie-data locks.
    void lockMovieData() { state_.telemetry.viewsLock.lock(); }
    void unlockMovieData() { state_.telemetry.viewsLock.unlock(); }

    // What the engine does at this moment (tests and benchmarks).
    double engineVolume() const;   // mpv volume 0..100
    double engineSpeed() const;
    long long droppedFrames() const;  // decoder and output drops
    // The engine's own counts since the movie was loaded (mpv's frame-drop-count,
    // decoder-frame-drop-count and vo-delayed-frame-count); -1 where the engine has none.
    struct FrameCounts {
        long long outputDropped = -1;
        long long decoderDropped = -1;
        long long late = -1;
    };
    FrameCounts frameCounts() const;
    VideoPresenter* presenter() const;

Q_SIGNALS:
    void movieOpened();          // the movie is ready to play (its first picture is decoded)
    // openFailed (MpvPlayerBase): the engine could not load the movie; it is closed
    void seekDone(int frame);    // the latest seek landed; frame on screen, -1 when unknown
    void presentationEnded();    // 200 ms after the end, last frame still shown

protected:
    void closeMovie() override { CloseMovie(); }
    void movieReady(QSize nativeSize) override;
    void seekLanded() override;
    void endReached() override;
    void engineEvent(const mpv_event& event) override;

private:
    bool seekTo(int frame);
    void applyVolume();
    bool applyPlacement(bool repaint);
    QSize clientSize() const;

    PlayerState state_;
    PlayerOptions options_;
    int slot_ = 0;
    Player* main_ = nullptr;
    int seekTarget_ = -1;
    double frameMs_ = 0;
    unsigned endGeneration_ = 0;
    double speedTrim_ = 1.0;
    // Pictures the decoder failed to decode (its error messages); the count when the latest
    // load or seek was asked for or playback last started; and, once that load or seek has
    // landed, the count at the landing (later messages come from the decoder reading ahead).
    unsigned long long decodeErrors_ = 0;
    unsigned long long decodeErrorsMark_ = 0;
    unsigned long long decodeErrorsAtRest_ = 0;
    bool decodeAtRest_ = false;
    void markDecode()
    {
        decodeErrorsMark_ = decodeErrors_;
        decodeAtRest_ = false;
    }
    bool decodeFailedSinceMark() const
    {
        return (decodeAtRest_ ? decodeErrorsAtRest_ : decodeErrors_) != decodeErrorsMark_;
    }
};

// A still as the players save it: PNG for a path ending in ".png", else JPEG of quality 92,
// written through the safe writer (the name only ever holds a complete still; a failure leaves
// what was there). False with *why set to the system's reason when the file cannot be written.
bool SaveStill(const QImage& image, const QString& path, QString* why = nullptr);

// Takes movie-data mutex 1 of slot 0, then of slot 1 (either may be null); the unlock releases
// them in the same order.
void LockAllMovieData(Player* slot0, Player* slot1);
void UnlockAllMovieData(Player* slot0, Player* slot1);

class MovieDataLockAll {
public:
    MovieDataLockAll(Player* slot0, Player* slot1) : a_(slot0), b_(slot1) { LockAllMovieData(a_, b_); }
    ~MovieDataLockAll() { UnlockAllMovieData(a_, b_); }
    MovieDataLockAll(const MovieDataLockAll&) = delete;
    MovieDataLockAll& operator=(const MovieDataLockAll&) = delete;

private:
    Player* a_;
    Player* b_;
};

}  // namespace ravir
