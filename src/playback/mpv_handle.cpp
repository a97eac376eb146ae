#include "playback/mpv_handle.h"

#include <QByteArray>
#include <QMetaObject>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <mpv/client.h>

namespace ravir {

MpvHandle::MpvHandle(QObject* parent) : QObject(parent) {}

MpvHandle::~MpvHandle() { destroy(); }

void MpvEngineEnd::operator()(mpv_handle* engine) const
{
    if (engine)
        mpv_terminate_destroy(engine);
}

bool MpvHandle::create(const MpvOptions& options) { return adopt(start(options)); }

MpvEngine MpvHandle::start(const MpvOptions& options)
{
    MpvEngine engine(mpv_create());
    if (!engine)
        return {};
    // Every engine of the program starts from the same base, which the caller's options may
    // override: no user configuration or scripts (the program alone drives the engine), and an
    // audio output chosen among the sound servers and ALSA, else none. The automatic choice
    // would go on to SDL's audio output, whose shutdown can hang for ever on a machine without
    // a sound card, taking the engine (and any caller waiting on it) with it.
    static const std::pair<const char*, const char*> kBase[] = {
        {"config", "no"},
        {"load-scripts", "no"},
        {"input-default-bindings", "no"},
        {"ao", "pipewire,pulse,alsa,null"},
        {"audio-fallback-to-null", "yes"},
    };
    for (const auto& [name, value] : kBase) {
        if (mpv_set_option_string(engine.get(), name, value) < 0)
            return {};
    }
    // The engine's own built-in scripts (statistics page, console, profile conditions) are not
    // "load-scripts": each has a switch of its own. None of them serves the program, and each
    // costs a Lua interpreter and its thread per engine. Where an engine lacks a switch, the
    // script merely stays.
    static const char* const kBuiltinScripts[] = {"load-stats-overlay", "load-osd-console",
                                                  "load-auto-profiles"};
    for (const char* name : kBuiltinScripts)
        mpv_set_option_string(engine.get(), name, "no");
    for (const auto& [name, value] : options) {
        if (mpv_set_option_string(engine.get(), name.toUtf8().constData(),
                                  value.toUtf8().constData()) < 0)
            return {};
    }
    if (mpv_initialize(engine.get()) < 0)
        return {};
    return engine;
}

bool MpvHandle::adopt(MpvEngine engine)
{
    destroy();
    if (!engine)
        return false;
    handle_ = engine.release();
    mpv_set_wakeup_callback(handle_, &MpvHandle::wakeup, this);
    return true;
}

void MpvHandle::destroy()
{
    if (!handle_)
        return;
    mpv_set_wakeup_callback(handle_, nullptr, nullptr);
    mpv_terminate_destroy(handle_);
    handle_ = nullptr;
}

void MpvHandle::wakeup(void* self)
{
    // Runs on a libmpv thread: only queue a drain on the owner's thread, once at a time.
    auto* me = static_cast<MpvHandle*>(self);
    if (me->drainQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(me, [me] { me->drain(); }, Qt::QueuedConnection);
}

void MpvHandle::drain()
{
    drainQueued_.store(false);
    while (handle_) {
        mpv_event* e = mpv_wait_event(handle_, 0);
        if (!e || e->event_id == MPV_EVENT_NONE)
            break;
        if (handler_)
            handler_(*e);
    }
}

bool MpvHandle::pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (handle_ && !done()) {
        const auto left = std::chrono::duration<double>(deadline - clock::now()).count();
        if (left <= 0)
            break;
        // With a wake hook the wait goes in short slices so that the hook keeps running.
        mpv_event* e = mpv_wait_event(handle_, wakeHook_ ? std::min(left, 0.004) : left);
        if (wakeHook_)
            wakeHook_();
        if (!e || e->event_id == MPV_EVENT_NONE)
            continue;
        if (handler_)
            handler_(*e);
    }
    return done();
}

namespace {

// A command's arguments as libmpv takes them: UTF-8 strings and a null-terminated pointer list
// into them (valid while the object lives).
struct CommandArgs {
    explicit CommandArgs(const QStringList& args)
    {
        bytes.reserve(static_cast<size_t>(args.size()));
        for (const QString& a : args)
            bytes.push_back(a.toUtf8());
        for (const QByteArray& b : bytes)
            argv.push_back(b.constData());
        argv.push_back(nullptr);
    }
    std::vector<QByteArray> bytes;
    std::vector<const char*> argv;
};

}  // namespace

bool MpvHandle::command(const QStringList& args)
{
    if (!handle_)
        return false;
    CommandArgs a(args);
    return mpv_command(handle_, a.argv.data()) >= 0;
}

bool MpvHandle::commandAsync(const QStringList& args, unsigned long long replyId)
{
    if (!handle_)
        return false;
    CommandArgs a(args);
    // libmpv copies the arguments before it returns.
    return mpv_command_async(handle_, replyId, a.argv.data()) >= 0;
}

bool MpvHandle::setFlagAsync(const QString& name, bool value)
{
    int flag = value ? 1 : 0;
    return handle_ && mpv_set_property_async(handle_, 0, name.toUtf8().constData(),
                                             MPV_FORMAT_FLAG, &flag) >= 0;
}

long long MpvHandle::loadFile(const QString& path)
{
    if (!handle_)
        return -1;
    const QByteArray file = path.toUtf8();
    const char* argv[] = {"loadfile", file.constData(), nullptr};
    mpv_node result;
    if (mpv_command_ret(handle_, argv, &result) < 0)
        return -1;
    long long id = 0;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                id = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    return id;
}

bool MpvHandle::setProperty(const QString& name, const QString& value)
{
    return handle_ && mpv_set_property_string(handle_, name.toUtf8().constData(),
                                              value.toUtf8().constData()) >= 0;
}

bool MpvHandle::setFlag(const QString& name, bool value)
{
    int flag = value ? 1 : 0;
    return handle_ &&
           mpv_set_property(handle_, name.toUtf8().constData(), MPV_FORMAT_FLAG, &flag) >= 0;
}

bool MpvHandle::setDouble(const QString& name, double value)
{
    return handle_ &&
           mpv_set_property(handle_, name.toUtf8().constData(), MPV_FORMAT_DOUBLE, &value) >= 0;
}

std::optional<double> MpvHandle::getDouble(const QString& name) const
{
    double v = 0;
    if (!handle_ || mpv_get_property(handle_, name.toUtf8().constData(), MPV_FORMAT_DOUBLE, &v) < 0)
        return std::nullopt;
    return v;
}

std::optional<long long> MpvHandle::getInt(const QString& name) const
{
    int64_t v = 0;
    if (!handle_ || mpv_get_property(handle_, name.toUtf8().constData(), MPV_FORMAT_INT64, &v) < 0)
        return std::nullopt;
    return static_cast<long long>(v);
}

std::optional<bool> MpvHandle::getFlag(const QString& name) const
{
    int v = 0;
    if (!handle_ || mpv_get_property(handle_, name.toUtf8().constData(), MPV_FORMAT_FLAG, &v) < 0)
        return std::nullopt;
    return v != 0;
}

std::optional<QString> MpvHandle::getString(const QString& name) const
{
    if (!handle_)
        return std::nullopt;
    char* s = mpv_get_property_string(handle_, name.toUtf8().constData());
    if (!s)
        return std::nullopt;
    QString out = QString::fromUtf8(s);
    mpv_free(s);
    return out;
}

bool MpvHandle::observe(const QString& name, int format, unsigned long long id)
{
    return handle_ && mpv_observe_property(handle_, id, name.toUtf8().constData(),
                                           static_cast<mpv_format>(format)) >= 0;
}

}  // namespace ravir
