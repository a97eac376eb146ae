#pragma once
// The hover preview of the file list: a small popup window playing one recording through its
// own libmpv handle. Positions are in milliseconds or 100-ns units; no frame numbers, rates table
// or telemetry. The preview shows the video and plays no sound.
//
// No operation waits on the decoder: Open checks the movie's boxes and starts the load (the
// picture follows with ready(), or openFailed()), seeks are queued and reported with seekDone().
// WaitForReady and WaitSeekDone (MpvPlayerBase) are bounded waits for callers without an event
// loop.
#include "playback/mpv_player_base.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>

namespace ravir {

class VideoPresenter;

// CMFSession: the file list's hover preview player (the product's name for it is kept).
class CMFSession : public MpvPlayerBase {
    Q_OBJECT
public:
    enum Flag : unsigned {
        kOpen = 1u << 0,
        kPlayingFlag = 1u << 1,
        kPausedFlag = 1u << 2,
        kLoop = 1u << 3,
        kVideoBranch = 1u << 9,  // the open movie has a picture to show
    };

    // The popup is created hidden, 220 x scale wide and 9/16 of that high.
    explicit CMFSession(double uiScale = 1.0, QObject* parent = nullptr);
    ~CMFSession() override;

    VideoPresenter* window() const { return window_; }
    unsigned flags() const { return flags_; }

    // False when the file is no playable movie by its boxes; true when the load has started.
    bool Open(const QString& path);
    bool Close();
    bool Play(bool loop);
    bool Stop();
    bool IsPlaying() const { return (flags_ & kPlayingFlag) != 0; }
    bool TogglePause();
    bool SeekForwardMs(int ms);
    bool SeekBackMs(int ms);
    bool SeekToMs(int ms);
    bool SeekRelative(int64_t delta100ns);
    bool SeekAbsolute(int64_t position100ns);
    bool SetRate(double rate);
    int DurationMs() const { return static_cast<int>(duration100ns_ / 10000); }
    int64_t Duration100ns() const { return duration100ns_; }
    // Known once the movie is ready.
    bool GetNativeVideoSize(int& width, int& height) const;
    bool HasVideo() const { return (flags_ & kVideoBranch) != 0; }
    // Destination of the picture in the popup: at pos (or 0, 0) with size (or the native size).
    bool SetVideoRect(const QPoint* pos, const QSize* size);
    bool Repaint();

    // Position of the picture on screen in 100-ns units (tests).
    int64_t Position100ns() const;
    // mpv's own pause flag (tests).
    bool enginePaused() const;

Q_SIGNALS:
    void ready();
    // openFailed (MpvPlayerBase)
    void seekDone();
    void presentationEnded();

protected:
    void closeMovie() override { Close(); }
    void movieReady(QSize nativeSize) override;
    void seekLanded() override;
    void endReached() override;

private:
    bool seekAndKeepState(int64_t position100ns);

    VideoPresenter* window_ = nullptr;
    unsigned flags_ = 0;
    int64_t duration100ns_ = 0;
    int nativeWidth_ = 0;
    int nativeHeight_ = 0;
};

}  // namespace ravir
