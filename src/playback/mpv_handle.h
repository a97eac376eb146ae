#pragma once
// A libmpv client handle with a bounded event pump, shared by the players and the preview
// player. Every wait on the decoder has a time limit; events that arrive while nobody waits
// are drained on the owner's thread through a queued call.
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct mpv_handle;
struct mpv_event;

namespace ravir {

// Engine options as (name, value) pairs, in the order they are set.
using MpvOptions = std::vector<std::pair<QString, QString>>;

// An initialised engine that no MpvHandle has taken yet; ending it destroys the engine.
struct MpvEngineEnd {
    void operator()(mpv_handle* engine) const;
};
using MpvEngine = std::unique_ptr<mpv_handle, MpvEngineEnd>;

class MpvHandle : public QObject {
    Q_OBJECT
public:
    explicit MpvHandle(QObject* parent = nullptr);
    ~MpvHandle() override;
    MpvHandle(const MpvHandle&) = delete;
    MpvHandle& operator=(const MpvHandle&) = delete;

    // Creates and initialises the handle with the given options (name, value). False when
    // libmpv refuses any of them.
    bool create(const MpvOptions& options);
    // Creates and initialises an engine with the program's base options followed by options;
    // null when libmpv refuses any step. Touches no Qt object: any thread may call it.
    static MpvEngine start(const MpvOptions& options);
    // Takes an engine made by start() (on any thread); false, and no engine, for a null one.
    bool adopt(MpvEngine engine);
    void destroy();
    bool isValid() const { return handle_ != nullptr; }
    mpv_handle* raw() const { return handle_; }

    // Called for every event, on the owner's thread, before any waiter looks at it.
    void setEventHandler(std::function<void(const mpv_event&)> handler)
    { handler_ = std::move(handler); }

    // The synchronous calls below take effect at once; the queued (async) ones keep their order
    // among themselves but not against the synchronous ones.
    bool command(const QStringList& args);
    // Queues the command and returns at once; its result comes back as an
    // MPV_EVENT_COMMAND_REPLY event carrying replyId. False when libmpv refused to queue it.
    bool commandAsync(const QStringList& args, unsigned long long replyId);
    // Queues a flag change and returns at once (the reply, if any, is ignored).
    bool setFlagAsync(const QString& name, bool value);
    // loadfile; the playlist entry id of the new entry, or -1 on failure.
    long long loadFile(const QString& path);
    bool setProperty(const QString& name, const QString& value);
    bool setFlag(const QString& name, bool value);
    bool setDouble(const QString& name, double value);
    std::optional<double> getDouble(const QString& name) const;
    std::optional<long long> getInt(const QString& name) const;
    std::optional<bool> getFlag(const QString& name) const;
    std::optional<QString> getString(const QString& name) const;
    bool observe(const QString& name, int format, unsigned long long id);

    // Handles events until done() is true or timeoutMs has passed; returns done().
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs);
    // Work that must go on while a caller waits for the decoder (the presenter's rendering); it
    // runs every few milliseconds of a wait.
    void setWakeHook(std::function<void()> hook) { wakeHook_ = std::move(hook); }
    // Handles the events that are already queued.
    void drain();

private:
    static void wakeup(void* self);
    mpv_handle* handle_ = nullptr;
    std::function<void(const mpv_event&)> handler_;
    std::function<void()> wakeHook_;
    std::atomic<bool> drainQueued_{false};
};

}  // namespace ravir
