#include "playback/movie_load.h"

#include "playback/mpv_handle.h"

#include <mpv/client.h>

namespace ravir {

bool MovieLoad::open(MpvHandle& mpv, const QString& path, int timeoutMs)
{
    entryStarted_ = false;
    loaded_ = false;
    failed_ = false;
    mpv.setFlag("pause", true);
    entryId_ = mpv.loadFile(path);
    if (entryId_ < 0)
        return false;
    const bool ready = mpv.pumpUntil(
        [this] { return failed_ || (loaded_ && restarts_ > restartsAtLoad_); }, timeoutMs);
    if (ready && !failed_)
        return true;
    mpv.command({"stop"});
    entryId_ = -1;
    loaded_ = false;
    return false;
}

void MovieLoad::close(MpvHandle* mpv)
{
    if (mpv && entryId_ >= 0) {
        mpv->setFlag("pause", true);
        mpv->command({"stop"});
    }
    entryId_ = -1;
    entryStarted_ = false;
    loaded_ = false;
}

void MovieLoad::onEvent(const mpv_event& e)
{
    switch (e.event_id) {
    case MPV_EVENT_START_FILE: {
        const auto* data = static_cast<const mpv_event_start_file*>(e.data);
        if (data && data->playlist_entry_id == entryId_)
            entryStarted_ = true;
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        if (entryStarted_) {
            loaded_ = true;
            restartsAtLoad_ = restarts_;
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto* data = static_cast<const mpv_event_end_file*>(e.data);
        if (data && data->playlist_entry_id == entryId_ && entryStarted_) {
            if (data->reason == MPV_END_FILE_REASON_ERROR)
                failed_ = true;
            loaded_ = false;
        }
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        ++restarts_;
        break;
    default:
        break;
    }
}

bool MovieLoad::waitForRestart(MpvHandle& mpv, long long before, int timeoutMs)
{
    return mpv.pumpUntil([this, before] { return restarts_ > before || !loaded_; }, timeoutMs) &&
           loaded_;
}

}  // namespace ravir
