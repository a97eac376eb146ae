#include "playback/engine_start.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

#include <mutex>

namespace ravir {

// What the workers and the owner share. The owner may go while workers still make engines; it
// then marks the start abandoned, and a worker that finds the mark destroys its engine itself.
struct EngineStart::Shared {
    std::mutex mutex;
    EngineStart* owner = nullptr;  // null once abandoned
    std::vector<MpvEngine> engines;
    size_t left = 0;
};

QThreadPool& EngineStart::pool()
{
    // Not Qt's global pool: Qt scales and converts images on that one, and a window that draws
    // its artwork while an engine starts would wait for it.
    static QThreadPool* const threads = [] {
        auto* p = new QThreadPool(QCoreApplication::instance());
        p->setObjectName(QStringLiteral("engine start"));
        p->setMaxThreadCount(4);
        // The workers stay until the program ends: starting an engine leaves some of libmpv's
        // memory with the thread that started it, which a worker that expires would leave
        // behind.
        p->setExpiryTimeout(-1);
        return p;
    }();
    return *threads;
}

EngineStart::EngineStart(QObject* parent) : QObject(parent) {}

EngineStart::~EngineStart()
{
    if (!shared_)
        return;
    std::vector<MpvEngine> orphans;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
        orphans.swap(shared_->engines);
    }
    // Engines made but not handed over yet end on a worker too: ending an engine waits for
    // libmpv's threads.
    auto ending = std::make_shared<std::vector<MpvEngine>>(std::move(orphans));
    ending->insert(ending->end(), std::make_move_iterator(made_.begin()),
                   std::make_move_iterator(made_.end()));
    bool any = false;
    for (const MpvEngine& e : *ending)
        any = any || e != nullptr;
    if (any)
        pool().start([ending] { ending->clear(); });
}

void EngineStart::start(std::vector<MpvOptions> engines, EngineMaker maker)
{
    if (shared_)
        return;
    if (!maker)
        maker = [](int, const MpvOptions& options) { return MpvHandle::start(options); };
    shared_ = std::make_shared<Shared>();
    shared_->owner = this;
    shared_->engines.resize(engines.size());
    shared_->left = engines.size();
    running_ = true;
    if (engines.empty()) {
        QMetaObject::invokeMethod(this, [this] { finished(); }, Qt::QueuedConnection);
        return;
    }
    for (size_t i = 0; i < engines.size(); ++i) {
        pool().start(
            [shared = shared_, maker, i, options = std::move(engines[i])] {
                MpvEngine engine = maker(static_cast<int>(i), options);
                std::unique_lock lock(shared->mutex);
                if (!shared->owner) {
                    lock.unlock();
                    return;  // given up: the engine ends here, on the worker
                }
                shared->engines[i] = std::move(engine);
                if (--shared->left == 0) {
                    // Posted while the owner is known to live: its destruction drops the call.
                    EngineStart* owner = shared->owner;
                    QMetaObject::invokeMethod(owner, [owner] { owner->finished(); },
                                              Qt::QueuedConnection);
                }
            });
    }
}

void EngineStart::finished()
{
    {
        std::lock_guard lock(shared_->mutex);
        made_.swap(shared_->engines);
    }
    running_ = false;
    Q_EMIT ready();
}

std::vector<MpvEngine> EngineStart::take() { return std::exchange(made_, {}); }

}  // namespace ravir
