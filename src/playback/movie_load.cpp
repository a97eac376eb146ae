#include "playback/movie_load.h"

#include "playback/mpv_handle.h"

#include <QStringList>
#include <mpv/client.h>

namespace ravir {
namespace {

// Reply ids of the commands queued here; the owners' property observers use small numbers.
constexpr unsigned long long kLoadReplyBase = 1ull << 40;
constexpr unsigned long long kSeekReplyBase = 1ull << 41;

}  // namespace

bool MovieLoad::start(MpvHandle& mpv, const QString& path)
{
    close(&mpv);
    ++generation_;
    loadReply_ = kLoadReplyBase + generation_;
    mpv.setFlagAsync("pause", true);
    if (!mpv.commandAsync({"loadfile", path}, loadReply_)) {
        loadReply_ = 0;
        return false;
    }
    phase_ = Phase::Loading;
    return true;
}

void MovieLoad::close(MpvHandle* mpv)
{
    if (mpv && phase_ != Phase::Idle) {
        mpv->setFlagAsync("pause", true);
        mpv->commandAsync({"stop"}, 0);
    }
    if (phase_ != Phase::Idle)
        ++generation_;
    phase_ = Phase::Idle;
    loadReply_ = 0;
    entryId_ = -1;
    entryStarted_ = false;
    fileLoaded_ = false;
    inFlight_ = false;
    waiting_.reset();
}

std::optional<double> MovieLoad::seekTarget() const
{
    if (waiting_)
        return waiting_->seconds;
    if (inFlight_)
        return inFlightTarget_;
    return std::nullopt;
}

bool MovieLoad::issue(MpvHandle& mpv, const Request& request)
{
    ++seekId_;
    inFlightTarget_ = request.seconds;
    inFlight_ = mpv.commandAsync({"seek", QString::number(request.seconds, 'f', 6), request.flags},
                                 kSeekReplyBase + seekId_);
    return inFlight_;
}

bool MovieLoad::seek(MpvHandle& mpv, double seconds, const QString& flags)
{
    if (phase_ == Phase::Idle)
        return false;
    const Request request{seconds, flags};
    if (phase_ == Phase::Loading || inFlight_) {
        waiting_ = request;
        return true;
    }
    return issue(mpv, request);
}

MovieLoad::Change MovieLoad::finishSeek(MpvHandle& mpv)
{
    inFlight_ = false;
    while (waiting_) {
        const Request next = *waiting_;
        waiting_.reset();
        if (issue(mpv, next))
            return Change::None;
    }
    return Change::SeekDone;
}

MovieLoad::Change MovieLoad::abandonSeek(MpvHandle& mpv)
{
    if (!inFlight_)
        return Change::None;
    return finishSeek(mpv);
}

MovieLoad::Change MovieLoad::onEvent(MpvHandle& mpv, const mpv_event& e)
{
    if (phase_ == Phase::Idle)
        return Change::None;
    switch (e.event_id) {
    case MPV_EVENT_COMMAND_REPLY:
        if (e.reply_userdata == loadReply_ && loadReply_ != 0) {
            loadReply_ = 0;
            const auto* result = static_cast<const mpv_event_command*>(e.data);
            if (e.error < 0 || !result) {
                close(&mpv);
                return Change::Failed;
            }
            const mpv_node& node = result->result;
            if (node.format == MPV_FORMAT_NODE_MAP) {
                for (int i = 0; i < node.u.list->num; ++i) {
                    if (qstrcmp(node.u.list->keys[i], "playlist_entry_id") == 0 &&
                        node.u.list->values[i].format == MPV_FORMAT_INT64)
                        entryId_ = node.u.list->values[i].u.int64;
                }
            }
        } else if (inFlight_ && e.reply_userdata == kSeekReplyBase + seekId_ && e.error < 0) {
            // The seek was refused: nothing will report it.
            return finishSeek(mpv);
        }
        return Change::None;
    case MPV_EVENT_START_FILE: {
        const auto* data = static_cast<const mpv_event_start_file*>(e.data);
        if (data && entryId_ >= 0 && data->playlist_entry_id == entryId_)
            entryStarted_ = true;
        return Change::None;
    }
    case MPV_EVENT_FILE_LOADED:
        if (entryStarted_)
            fileLoaded_ = true;
        return Change::None;
    case MPV_EVENT_END_FILE: {
        const auto* data = static_cast<const mpv_event_end_file*>(e.data);
        if (!data || !entryStarted_ || data->playlist_entry_id != entryId_)
            return Change::None;
        // The movie is gone: it could not be loaded, or it broke while it played.
        close(nullptr);
        return Change::Failed;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        if (phase_ == Phase::Loading && fileLoaded_) {
            phase_ = Phase::Ready;
            if (waiting_) {
                const Request next = *waiting_;
                waiting_.reset();
                issue(mpv, next);
            }
            return Change::Ready;
        }
        if (phase_ == Phase::Ready && inFlight_)
            return finishSeek(mpv);
        return Change::None;
    default:
        return Change::None;
    }
}

bool MovieLoad::waitReady(MpvHandle& mpv, int timeoutMs)
{
    return mpv.pumpUntil([this] { return phase_ != Phase::Loading; }, timeoutMs) && loaded();
}

bool MovieLoad::waitSeeks(MpvHandle& mpv, int timeoutMs)
{
    return mpv.pumpUntil([this] { return !active() || (loaded() && !seeking()); }, timeoutMs) &&
           loaded();
}

}  // namespace ravir
