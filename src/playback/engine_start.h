#pragma once
// The camera players' engines made off the caller's thread: libmpv's start (mpv_create, the
// options, mpv_initialize) runs on worker threads of a pool of its own (pool()), one engine
// each, and the engines come back on the owner's thread with ready(). The caller's thread never
// waits for them. Engines still being made when the object goes are given up: each is destroyed
// on its worker once made; the pool belongs to the application, which waits for it as it ends.
#include "playback/mpv_handle.h"

#include <QObject>

class QThreadPool;

#include <functional>
#include <memory>
#include <vector>

namespace ravir {

// Makes one engine from its options, on a worker thread; null when it cannot. The default is
// MpvHandle::start; tests put a slower or a failing one in its place.
using EngineMaker = std::function<MpvEngine(int index, const MpvOptions& options)>;

class EngineStart : public QObject {
    Q_OBJECT
public:
    explicit EngineStart(QObject* parent = nullptr);
    ~EngineStart() override;
    EngineStart(const EngineStart&) = delete;
    EngineStart& operator=(const EngineStart&) = delete;

    // Starts making one engine per option list; once per object.
    void start(std::vector<MpvOptions> engines, EngineMaker maker = {});
    // Started, and ready() not yet emitted.
    bool running() const { return running_; }
    // After ready(): the engines in the order of their options, null for one that failed.
    std::vector<MpvEngine> take();
    // The workers' threads (made with the first start; a child of the application).
    static QThreadPool& pool();

Q_SIGNALS:
    void ready();

private:
    struct Shared;
    void finished();

    std::shared_ptr<Shared> shared_;
    std::vector<MpvEngine> made_;
    bool running_ = false;
};

}  // namespace ravir
