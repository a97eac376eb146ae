#pragma once
// What the camera players and the hover preview share over libmpv: the engine handle with the
// options every player of the program starts from, one movie loaded into it (MovieLoad) with the
// time limits on the load and on each seek, the dispatch of the engine's events, and shutdown.
//
// Nothing here waits on the engine except WaitForReady and WaitSeekDone, the bounded waits for
// callers without an event loop. The engine's events arrive on the owner's thread (MpvHandle)
// and come out as the hooks below; what the hooks tell the outside they tell through post(),
// so that a notice queued for a movie that has since been closed or replaced is dropped.
#include "playback/movie_load.h"
#include "playback/mpv_handle.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

struct mpv_event;
class QTimer;

namespace ravir {

class MpvHandle;
class VideoPresenter;

class MpvPlayerBase : public QObject {
    Q_OBJECT
public:
    explicit MpvPlayerBase(QObject* parent = nullptr);
    ~MpvPlayerBase() override;

    // The movie is loaded and its first picture decoded.
    bool IsReady() const { return load_.loaded(); }
    // Blocks at most timeoutMs until the movie being loaded is ready; false when it failed, no
    // movie is open or the time ran out (the load then goes on).
    bool WaitForReady(int timeoutMs);
    // Blocks at most timeoutMs until every seek asked for has landed; false when the time ran out
    // or no movie is ready.
    bool WaitSeekDone(int timeoutMs);
    MpvHandle* handle() const { return mpv_; }

Q_SIGNALS:
    // The engine could not load the movie (or its load did not become ready in time, or it has
    // no picture); the movie is closed.
    void openFailed();

protected:
    using Options = MpvOptions;

    // The shared options followed by extra (which may override them): what an engine of this
    // player is started with (MpvHandle::start, on any thread).
    static Options engineOptions(const Options& extra);
    // Creates the engine with engineOptions(extra) and takes it (adoptEngine).
    bool createEngine(const Options& extra, VideoPresenter* presenter);
    // Takes an engine started with engineOptions(...); with a presenter the engine draws into
    // it (mpv's "libmpv" output, which the options must ask for), otherwise the options chose
    // the output. False, and no engine, when the engine is null or the presenter refuses it.
    bool adoptEngine(MpvEngine engine, VideoPresenter* presenter);
    // Detaches the presenter and ends the engine; the movie must be closed already.
    void destroyEngine();

    // A load not ready after openMs fails; a seek not landed after seekMs is given up.
    void setTimeLimits(int openMs, int seekMs);
    // Starts loading path, paused; false when the engine refused to queue it.
    bool startLoad(const QString& path);
    // Asks for a seek (libmpv seek flags); false when no movie is loading or loaded.
    bool requestSeek(double seconds, const QString& flags = QStringLiteral("absolute+exact"));
    // Forgets the movie and its seeks and stops it in the engine, without waiting.
    void stopLoad();
    // The engine's position in seconds, while a movie is loaded.
    std::optional<double> enginePosition() const;

    // The hooks, on the owner's thread. Each derived class closes its movie in closeMovie().
    virtual void closeMovie() = 0;
    // The first picture is decoded and its size known (never empty).
    virtual void movieReady(QSize nativeSize) = 0;
    // The latest seek landed or was given up, and no seek is left.
    virtual void seekLanded() = 0;
    // The engine reached the end of the movie's data.
    virtual void endReached() {}
    // Every event, after the load has seen it.
    virtual void engineEvent(const mpv_event&) {}

    // Queues emit for the event loop; dropped when another movie has been opened or this one
    // closed meanwhile.
    template <class Fn>
    void post(Fn emit)
    {
        const unsigned generation = load_.generation();
        QMetaObject::invokeMethod(
            this,
            [this, generation, emit] {
                if (generation == load_.generation())
                    emit();
            },
            Qt::QueuedConnection);
    }

    MpvHandle* mpv_ = nullptr;
    MovieLoad load_;
    QPointer<VideoPresenter> presenter_;  // may be destroyed before the player

private:
    void handleEvent(const mpv_event& event);
    void onReady();
    void failLoad();
    void onSeekDone();
    void checkSeek();
    void watchSeeks();

    QTimer* openTimer_ = nullptr;         // fails a load that does not become ready
    QTimer* seekTimer_ = nullptr;         // gives up a seek that does not land
    unsigned long long watchedSeek_ = 0;
    int openMs_ = 5000;
    int seekMs_ = 2000;
};

}  // namespace ravir
