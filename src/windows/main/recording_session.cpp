#include "windows/main/recording_session.h"

#include "container/telemetry_timeline.h"
#include "windows/main/play_clock_rules.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/views_follow.h"
#include "playback/camera_sync.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "playback/telemetry_slots.h"
#include "shell/startup_trace.h"

#include <QFileInfo>

#include <algorithm>

namespace ravir {
namespace {

// The rate steps of the slower and faster commands (forward play only: x0.5, x1, x2).
int NextRateCode(int current, bool faster)
{
    switch (current) {
    case 1: return faster ? 2 : -1;
    case 2: return faster ? 2 : 1;
    case 4: return faster ? 4 : 2;
    case -1: return faster ? 1 : -2;
    case -2: return faster ? 1 : -2;
    case -4: return faster ? -2 : 1;
    default: return 1;
    }
}

}  // namespace

RecordingSession::RecordingSession(QObject* parent) : QObject(parent)
{
    playClock_.setInterval(30);
    connect(&playClock_, &QTimer::timeout, this, &RecordingSession::Tick);
}

RecordingSession::~RecordingSession() { Shutdown(); }

void RecordingSession::InitPlayers(VideoPresenter* mainSurface, VideoPresenter* subSurface,
                                   const QString& fontFace, bool hardwareDecode, int volume,
                                   bool aspectKeep)
{
    volume_ = volume;
    aspectKeep_ = aspectKeep;
    hardwareDecode_ = hardwareDecode;
    fontFace_ = fontFace;
    surfaces_ = {mainSurface, subSurface};
    if (!engines_ && !slotReady_[0] && !slotReady_[1])
        StartEngines(mainSurface != nullptr, subSurface != nullptr);
    for (int slot = 0; slot < 2; ++slot)
        players_[static_cast<size_t>(slot)] = std::make_unique<Player>(this);
    // The players report from the event loop; nobody waits for them.
    connect(players_[0].get(), &Player::movieOpened, this, [this] {
        if (!shutDown_ && slotReady_[0])
            Q_EMIT mainMovieOpened();
    });
    connect(players_[1].get(), &Player::movieOpened, this, &RecordingSession::OnSubMovieOpened);
    connect(players_[0].get(), &Player::openFailed, this, [this] {
        SetReady(false);
        opening_ = false;
        if (!shutDown_)
            Q_EMIT openFailed();
    });
    connect(players_[0].get(), &Player::presentationEnded, this, [this] {
        if (!shutDown_)
            Q_EMIT presentationEnded();
    });
    sync_ = new CameraSync(this);
    // Engines that were made before the players were are taken now.
    if (engines_ && !engines_->running())
        TakeEngines();
}

void RecordingSession::StartEngines(bool mainDraws, bool subDraws, EngineMaker maker)
{
    if (engines_ || shutDown_)
        return;
    withSurface_ = {mainDraws, subDraws};
    // libmpv's start takes a while: it runs on workers while the window goes on.
    engines_ = new EngineStart(this);
    connect(engines_, &EngineStart::ready, this, [this] {
        if (players_[0])
            TakeEngines();
    });
    engines_->start({Player::EngineOptions(0, mainDraws), Player::EngineOptions(1, subDraws)},
                    std::move(maker));
}

void RecordingSession::TakeEngines()
{
    std::vector<MpvEngine> engines = engines_->take();
    engines.resize(2);
    engines_->deleteLater();
    engines_ = nullptr;
    if (shutDown_)
        return;
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        VideoPresenter* surface = surfaces_[i];
        // A surface that went meanwhile leaves its slot off: the engine was made to draw there.
        const bool ok = (surface || !withSurface_[i]) &&
                        players_[i]->InitPlayer(std::move(engines[i]), slot, surface, fontFace_, {},
                                                slot == 0 ? nullptr : players_[0].get());
        slotReady_[i] = ok;
    }
    if (slotReady_[1])
        sync_->setPlayers(players_[0].get(), players_[1].get());
    if (slotReady_[0]) {
        main().SetHardwareDecode(hardwareDecode_ ? 1 : 0);
        main().SetVolume(volume_);
    }
    SetAspectKeep(aspectKeep_);
    TraceStartup(StartupStep::EnginesReady);
    Q_EMIT enginesReady(slotReady_[0]);
    // The open asked for meanwhile (unless the window closed it on the news above).
    if (!std::exchange(openPending_, false) || shutDown_)
        return;
    const RecordingRecord record = currentRecord_;
    if (!slotReady_[0]) {
        opening_ = false;
        currentPath_.clear();
        return;
    }
    if (OpenBoth(record) != kOpened) {
        // The movie changed since its boxes were checked: the engine cannot load it.
        SetReady(false);
        opening_ = false;
        Q_EMIT openFailed();
    }
}

void RecordingSession::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    playClock_.stop();
    // Engines still being started end on their workers.
    delete engines_;
    engines_ = nullptr;
    openPending_ = false;
    if (slotReady_[0])
        ravir::StopPrefetch(main().state().telemetry);
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)]) {
            players_[static_cast<size_t>(slot)]->Pause();
            players_[static_cast<size_t>(slot)]->Stop();
        }
    }
    playing_ = false;
    ready_ = false;
    opening_ = false;
    currentPath_.clear();
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)]) {
            slotReady_[static_cast<size_t>(slot)] = false;
            players_[static_cast<size_t>(slot)]->ShutdownPlayer();
        }
    }
}

bool RecordingSession::subReady() const { return slotReady_[1] && players_[1]->IsReady(); }

int RecordingSession::playState() const
{
    return slotReady_[0] && ready_ ? main().state().playState : kNoMovie;
}

int RecordingSession::rateCode() const { return slotReady_[0] ? main().state().rateCode : 1; }

long long RecordingSession::frameCount() const
{
    return slotReady_[0] && ready_ ? std::max(0LL, main().GetFrameCount()) : 0;
}

int RecordingSession::engineFrame() const
{
    if (!slotReady_[0])
        return -1;
    return main().PendingSeekFrame() >= 0 ? main().PendingSeekFrame() : main().GetCurrentFrame();
}

bool RecordingSession::nearEndBlocked() const
{
    if (!slotReady_[0] || !ready_)
        return false;
    const int state = main().state().playState;
    return NearEndBlocked(state == kStopped || state == kPaused || state == kNoMovie,
                          main().GetCurrentFrame(), main().GetFrameCount(), main().state().rateCode);
}

int RecordingSession::subFrameFor(int mainFrame) const
{
    const Player& sub = *players_[1];
    if (main().GetFrameMs() <= 0 || sub.GetFrameMs() <= 0)
        return mainFrame;
    // The sub camera follows at the same time, in its own frame numbers.
    return static_cast<int>(mainFrame * (static_cast<double>(main().GetFrameMs()) / sub.GetFrameMs()));
}

// ---- Playback commands -----------------------------------------------------------------------

void RecordingSession::TogglePlay()
{
    if (!slotReady_[0] || !ready_)
        return;
    playing_ = !playing_;
    // The engine shows a frame or two more after the pause: the play clock follows it until it
    // rests, so that the views name the frame on screen.
    settleTicks_ = playing_ ? 0 : kSettleTicks;
    for (int slot = 0; slot < 2; ++slot) {
        if (!slotReady_[static_cast<size_t>(slot)])
            continue;
        Player& p = *players_[static_cast<size_t>(slot)];
        playing_ ? p.Play() : p.Pause();
    }
    Q_EMIT playingChanged(playing_);
    PublishState();
}

void RecordingSession::StepFrames(int delta)
{
    if (!slotReady_[0] || !ready_)
        return;
    PauseIfPlaying();
    // Steps count from where the latest seek goes, so that quick key presses add up.
    const long long last = main().GetFrameCount() - 1;
    const int frame = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(engineFrame()) + delta, 0, std::max(0LL, last)));
    SeekAll(frame);
}

void RecordingSession::SeekAll(int frame)
{
    if (!slotReady_[0] || !ready_)
        return;
    const long long last = std::max(0LL, main().GetFrameCount() - 1);
    frame = static_cast<int>(std::clamp<long long>(frame, 0, last));
    SeekEngines(frame);
    ShowFrame(frame);
    pendingFrame_ = frame;  // the views keep the target until the engine has caught up
    settleAfterSeek_ = true;
}

void RecordingSession::SeekTo(int target)
{
    if (!slotReady_[0] || !ready_)
        return;
    // The engine is never sent into the last frames (where the next recording is about to
    // open); the views show the target itself.
    const int maximum = static_cast<int>(frameCount());
    const int view = ViewFrame(target, 0, maximum);
    const int engine = std::min(EngineSeekFrame(target, maximum, rateCode()), std::max(0, maximum - 1));
    SeekEngines(engine);
    ShowFrame(view);
    pendingFrame_ = view;
    // Once there, the engine's own frame is read again only when it went to the target itself.
    settleAfterSeek_ = engine == view;
}

void RecordingSession::ShowWhileDragging(int target)
{
    if (!ready_)
        return;
    ShowFrame(ViewFrame(target, 0, static_cast<int>(frameCount())));
    pendingFrame_ = shownFrame_;
    settleAfterSeek_ = false;
}

void RecordingSession::SeekEngines(int frame)
{
    if (playing_)
        main().SeekPlaying(frame);
    else
        main().SeekFrame(frame);
    if (subReady()) {
        if (playing_)
            players_[1]->SeekPlaying(subFrameFor(frame));
        else
            players_[1]->SeekFrame(subFrameFor(frame));
    }
}

void RecordingSession::Rewind()
{
    if (!slotReady_[0] || !ready_)
        return;
    PauseIfPlaying();
    ApplyDefaultRate();
    SeekAll(0);
    StopEngines();
}

void RecordingSession::StopEngines()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->Stop();
    }
    PublishState();
}

void RecordingSession::PauseEngines()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->Pause();
    }
    PublishState();
}

void RecordingSession::ApplyDefaultRate()
{
    const int rate = DefaultRateCodeFor(currentPath_);
    for (int slot = 0; slot < 2; ++slot) {
        Player& p = *players_[static_cast<size_t>(slot)];
        if (slotReady_[static_cast<size_t>(slot)] && p.IsReady() && p.state().rateCode != rate)
            p.SetRate(rate);
    }
    PublishState();
}

bool RecordingSession::ChangeRate(bool faster)
{
    if (!slotReady_[0] || !ready_)
        return false;
    const int current = rateCode();
    const int next = playing_ ? NextRateCode(current, faster) : 1;
    if (next == current)
        return false;
    SetRate(next);
    return true;
}

void RecordingSession::SetRate(int code)
{
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)] && players_[static_cast<size_t>(slot)]->IsReady())
            players_[static_cast<size_t>(slot)]->SetRate(code);
    }
    PublishState();
}

void RecordingSession::SetVolume(int volume)
{
    volume_ = volume;
    if (slotReady_[0])
        main().SetVolume(volume);
}

void RecordingSession::SetAspectKeep(bool keep)
{
    aspectKeep_ = keep;
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->SetAspectMode(keep ? 1 : 0);
    }
}

void RecordingSession::SetHardwareDecode(bool on)
{
    hardwareDecode_ = on;
    if (slotReady_[0])
        main().SetHardwareDecode(on ? 1 : 0);
}

void RecordingSession::Relayout()
{
    if (slotReady_[0] && ready_)
        main().Relayout();
}

void RecordingSession::RelayoutAll()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->Relayout();
    }
}

void RecordingSession::SetVideoRect(int centreX, int centreY, int offsetX, int offsetY, float zoom,
                                    bool both)
{
    for (int slot = 0; slot < (both ? 2 : 1); ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->SetVideoRect(centreX, centreY, offsetX, offsetY,
                                                               zoom, true);
    }
}

// ---- Opening and closing --------------------------------------------------------------------

void RecordingSession::BeginOpen(bool clearTelemetry)
{
    const bool wasPlaying = std::exchange(playing_, false);
    playClock_.stop();
    SetReady(false);
    telemetryReady_ = false;
    if (clearTelemetry)
        snapshot_.reset();
    opening_ = true;
    if (wasPlaying)
        Q_EMIT playingChanged(false);
}

int RecordingSession::OpenBoth(const RecordingRecord& record)
{
    if (enginesStarting() && !shutDown_) {
        // The engines are not there yet: the movie's boxes decide now, the load follows when
        // the engines are (TakeEngines).
        const int result = Player::CheckMovie(record.path);
        openPending_ = result == kOpened;
        if (!openPending_) {
            SetReady(false);
            currentPath_.clear();
            return result;
        }
        opening_ = true;
        currentPath_ = record.path;
        currentRecord_ = record;
        return result;
    }
    if (!slotReady_[0] || shutDown_)
        return 0;
    const int result = main().OpenMovie(record.path);
    if (result != 1) {
        // The recording stays chosen but nothing of it (nor of the one before) is open.
        for (int slot = 0; slot < 2; ++slot) {
            if (slotReady_[static_cast<size_t>(slot)])
                players_[static_cast<size_t>(slot)]->CloseMovie();
        }
        SetReady(false);
        currentPath_.clear();
        return result;
    }
    opening_ = true;
    currentPath_ = record.path;
    currentRecord_ = record;
    if (slotReady_[1]) {
        const QString sub = PairedPathOf(record.path);
        if (!QFileInfo::exists(sub) || players_[1]->OpenMovie(sub) != 1)
            players_[1]->CloseMovie();
    }
    return result;
}

void RecordingSession::OpenEnded() { opening_ = false; }

void RecordingSession::OpenFailed()
{
    opening_ = false;
    playClock_.stop();
    shownFrame_ = -1;
    pendingFrame_ = -1;
    Q_EMIT frameShown(-1);
}

void RecordingSession::OnSubMovieOpened()
{
    if (shutDown_ || !slotReady_[1])
        return;
    // The sub camera joins the main camera where it is.
    const int mainFrame = std::max(0, engineFrame());
    players_[1]->SetRate(main().state().rateCode);
    players_[1]->SeekFrame(subFrameFor(mainFrame));
    if (playing_)
        players_[1]->Play();
}

void RecordingSession::Start(int rate)
{
    opening_ = false;
    main().SetAspectMode(aspectKeep_ ? 1 : 0);
    main().Relayout();
    main().SetRate(rate);
    main().SeekFrame(0);
    if (subReady()) {
        players_[1]->SetRate(rate);
        players_[1]->SeekFrame(0);
    }
    pendingFrame_ = -1;
    clockFrame_ = -1;
    stuckTicks_ = 0;
    settleTicks_ = 0;
    SetReady(true);
    ShowFrame(0);
    playClock_.start();
    PublishState();
}

bool RecordingSession::LoadTelemetry(const QString& moviePath)
{
    // On the loader worker: the player's telemetry slots have their own locks.
    return players_[0]->LoadTelemetryForMovie(moviePath);
}

void RecordingSession::TakeTelemetry()
{
    if (shutDown_ || !ready_)
        return;
    {
        TelemetrySlots& slots = main().state().telemetry;
        std::lock_guard<std::recursive_mutex> hold(slots.viewsLock);
        MoveReader(slots.load, slots.current);
        snapshot_ = RecordingTelemetry::FromReader(slots.current);
    }
    int width = 0, height = 0;
    main().GetVideoSize(width, height);
    // The list's record knows the file only; the start time, quality and rate come now.
    currentRecord_ = OpenedRecord(currentRecord_, height, main().GetFrameMs());
    main().SetVolume(volume_);
    telemetryBytes_ = QFileInfo(TelemetryFileForMovie(currentPath_)).size();
    telemetryReady_ = true;
    Q_EMIT telemetryChanged();
    ShowFrame(std::max(0, shownFrame_));
}

void RecordingSession::Prefetch(const QString& moviePath)
{
    if (slotReady_[0])
        StartPrefetch(main().state().telemetry, moviePath);
}

void RecordingSession::StopPrefetch()
{
    if (slotReady_[0])
        ravir::StopPrefetch(main().state().telemetry);
}

void RecordingSession::FreeTelemetry()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)])
            players_[static_cast<size_t>(slot)]->FreeTelemetry();
    }
}

void RecordingSession::Close()
{
    playClock_.stop();
    openPending_ = false;
    const bool hadTelemetry = telemetryReady_ || snapshot_;
    telemetryReady_ = false;
    snapshot_.reset();
    telemetryBytes_ = 0;
    for (int slot = 0; slot < 2; ++slot) {
        if (slotReady_[static_cast<size_t>(slot)]) {
            players_[static_cast<size_t>(slot)]->Stop();
            players_[static_cast<size_t>(slot)]->CloseMovie();
        }
    }
    const bool wasPlaying = std::exchange(playing_, false);
    opening_ = false;
    currentPath_.clear();
    pendingFrame_ = -1;
    shownFrame_ = -1;
    SetReady(false);
    if (wasPlaying)
        Q_EMIT playingChanged(false);
    if (hadTelemetry)
        Q_EMIT telemetryChanged();
    Q_EMIT frameShown(-1);
    PublishState();
}

void RecordingSession::SetReady(bool ready)
{
    if (ready_ == ready)
        return;
    ready_ = ready;
    Q_EMIT readyChanged(ready);
}

// ---- The play clock -------------------------------------------------------------------------

void RecordingSession::PublishState()
{
    const int state = playState();
    const Published now{state, ready_ ? rateCode() : 0, nearEndBlocked()};
    if (now == published_)
        return;
    const bool stateChanged = now.playState != published_.playState;
    published_ = now;
    if (stateChanged)
        Q_EMIT playStateChanged(state);
    Q_EMIT controlsChanged();
}

void RecordingSession::ShowFrame(int frame)
{
    shownFrame_ = ViewFrame(frame, 0, static_cast<int>(frameCount()));
    Q_EMIT frameShown(shownFrame_);
}

void RecordingSession::Tick()
{
    if (shutDown_ || !slotReady_[0] || !ready_)
        return;
    Player& engine = main();
    const int state = engine.state().playState;
    if (state == kPlaying && subReady())
        sync_->tick();
    // Play, pause and rate changes land after the command; near the end of a playing recording
    // the controls are off until it is over.
    PublishState();
    if (state != kPlaying && pendingFrame_ < 0) {
        // Resting after a pause, a step or a seek: the views follow the engine until it rests.
        if (settleTicks_ > 0 && !thumbHeld_) {
            --settleTicks_;
            const int rest = engine.GetCurrentFrame();
            if (rest >= 0 && rest != shownFrame_)
                ShowFrame(rest);
        }
        return;
    }
    const int f = engine.GetCurrentFrame();
    if (f < 0)
        return;
    if (state == kPlaying && f > 0) {
        // A frame that has not moved for about a second of ticks: nudge the engine on.
        if (f == clockFrame_) {
            if (++stuckTicks_ > kStallTicks) {
                stuckTicks_ = 0;
                SeekAll(f - 1);
                return;
            }
        } else {
            stuckTicks_ = 0;
            clockFrame_ = f;
        }
    }
    if (pendingFrame_ >= 0) {
        // After a seek the views keep the target until the engine's position reaches it.
        if (!PendingWindowAccepts(f, pendingFrame_, engine.GetFrameCount()) ||
            engine.PendingSeekFrame() >= 0)
            return;
        pendingFrame_ = -1;
        if (state != kPlaying) {
            // Paused at the target: from now on the views show what the engine holds.
            settleTicks_ = settleAfterSeek_ ? kSettleTicks : 0;
            return;
        }
    }
    ShowFrame(f);
}

}  // namespace ravir
