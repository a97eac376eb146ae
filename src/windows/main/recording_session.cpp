#include "windows/main/recording_session.h"

#include "container/telemetry_timeline.h"
#include "windows/main/play_clock_rules.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/views_follow.h"
#include "playback/camera_sync.h"
#include "playback/player.h"
#include "playback/telemetry_slots.h"

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
    m_playClock.setInterval(30);
    connect(&m_playClock, &QTimer::timeout, this, &RecordingSession::Tick);
}

RecordingSession::~RecordingSession() { Shutdown(); }

void RecordingSession::InitPlayers(VideoPresenter* mainSurface, VideoPresenter* subSurface,
                                   const QString& fontFace, bool hardwareDecode, int volume,
                                   bool aspectKeep)
{
    m_volume = volume;
    for (int slot = 0; slot < 2; ++slot) {
        auto player = std::make_unique<Player>(this);
        const bool ok = player->InitPlayer(slot, slot == 0 ? mainSurface : subSurface, fontFace, {},
                                           slot == 0 ? nullptr : m_players[0].get());
        m_slotReady[static_cast<size_t>(slot)] = ok;
        m_players[static_cast<size_t>(slot)] = std::move(player);
    }
    // The players report from the event loop; nobody waits for them.
    connect(m_players[0].get(), &Player::movieOpened, this, [this] {
        if (!m_shutDown && m_slotReady[0])
            Q_EMIT mainMovieOpened();
    });
    connect(m_players[1].get(), &Player::movieOpened, this, &RecordingSession::OnSubMovieOpened);
    connect(m_players[0].get(), &Player::openFailed, this, [this] {
        SetReady(false);
        m_opening = false;
        if (!m_shutDown)
            Q_EMIT openFailed();
    });
    connect(m_players[0].get(), &Player::presentationEnded, this, [this] {
        if (!m_shutDown)
            Q_EMIT presentationEnded();
    });
    m_sync = new CameraSync(this);
    if (m_slotReady[1])
        m_sync->setPlayers(m_players[0].get(), m_players[1].get());
    if (m_slotReady[0]) {
        main().SetHardwareDecode(hardwareDecode ? 1 : 0);
        main().SetVolume(m_volume);
    }
    SetAspectKeep(aspectKeep);
}

void RecordingSession::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_playClock.stop();
    if (m_slotReady[0])
        ravir::StopPrefetch(main().state().telemetry);
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_players[static_cast<size_t>(slot)]->Pause();
            m_players[static_cast<size_t>(slot)]->Stop();
        }
    }
    m_playing = false;
    m_ready = false;
    m_opening = false;
    m_currentPath.clear();
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_slotReady[static_cast<size_t>(slot)] = false;
            m_players[static_cast<size_t>(slot)]->ShutdownPlayer();
        }
    }
}

bool RecordingSession::subReady() const { return m_slotReady[1] && m_players[1]->IsReady(); }

int RecordingSession::playState() const
{
    return m_slotReady[0] && m_ready ? main().state().playState : kNoMovie;
}

int RecordingSession::rateCode() const { return m_slotReady[0] ? main().state().rateCode : 1; }

long long RecordingSession::frameCount() const
{
    return m_slotReady[0] && m_ready ? std::max(0LL, main().GetFrameCount()) : 0;
}

int RecordingSession::engineFrame() const
{
    if (!m_slotReady[0])
        return -1;
    return main().PendingSeekFrame() >= 0 ? main().PendingSeekFrame() : main().GetCurrentFrame();
}

bool RecordingSession::nearEndBlocked() const
{
    if (!m_slotReady[0] || !m_ready)
        return false;
    const int state = main().state().playState;
    return NearEndBlocked(state == kStopped || state == kPaused || state == kNoMovie,
                          main().GetCurrentFrame(), main().GetFrameCount(), main().state().rateCode);
}

int RecordingSession::subFrameFor(int mainFrame) const
{
    const Player& sub = *m_players[1];
    if (main().GetFrameMs() <= 0 || sub.GetFrameMs() <= 0)
        return mainFrame;
    // The sub camera follows at the same time, in its own frame numbers.
    return static_cast<int>(mainFrame * (static_cast<double>(main().GetFrameMs()) / sub.GetFrameMs()));
}

// ---- Playback commands -----------------------------------------------------------------------

void RecordingSession::TogglePlay()
{
    if (!m_slotReady[0] || !m_ready)
        return;
    m_playing = !m_playing;
    // The engine shows a frame or two more after the pause: the play clock follows it until it
    // rests, so that the views name the frame on screen.
    m_settleTicks = m_playing ? 0 : kSettleTicks;
    for (int slot = 0; slot < 2; ++slot) {
        if (!m_slotReady[static_cast<size_t>(slot)])
            continue;
        Player& p = *m_players[static_cast<size_t>(slot)];
        m_playing ? p.Play() : p.Pause();
    }
    Q_EMIT playingChanged(m_playing);
    PublishState();
}

void RecordingSession::StepFrames(int delta)
{
    if (!m_slotReady[0] || !m_ready)
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
    if (!m_slotReady[0] || !m_ready)
        return;
    const long long last = std::max(0LL, main().GetFrameCount() - 1);
    frame = static_cast<int>(std::clamp<long long>(frame, 0, last));
    SeekEngines(frame);
    ShowFrame(frame);
    m_pendingFrame = frame;  // the views keep the target until the engine has caught up
    m_settleAfterSeek = true;
}

void RecordingSession::SeekTo(int target)
{
    if (!m_slotReady[0] || !m_ready)
        return;
    // The engine is never sent into the last frames (where the next recording is about to
    // open); the views show the target itself.
    const int maximum = static_cast<int>(frameCount());
    const int view = ViewFrame(target, 0, maximum);
    const int engine = std::min(EngineSeekFrame(target, maximum, rateCode()), std::max(0, maximum - 1));
    SeekEngines(engine);
    ShowFrame(view);
    m_pendingFrame = view;
    // Once there, the engine's own frame is read again only when it went to the target itself.
    m_settleAfterSeek = engine == view;
}

void RecordingSession::ShowWhileDragging(int target)
{
    if (!m_ready)
        return;
    ShowFrame(ViewFrame(target, 0, static_cast<int>(frameCount())));
    m_pendingFrame = m_shownFrame;
    m_settleAfterSeek = false;
}

void RecordingSession::SeekEngines(int frame)
{
    if (m_playing)
        main().SeekPlaying(frame);
    else
        main().SeekFrame(frame);
    if (subReady()) {
        if (m_playing)
            m_players[1]->SeekPlaying(subFrameFor(frame));
        else
            m_players[1]->SeekFrame(subFrameFor(frame));
    }
}

void RecordingSession::Rewind()
{
    if (!m_slotReady[0] || !m_ready)
        return;
    PauseIfPlaying();
    ApplyDefaultRate();
    SeekAll(0);
    StopEngines();
}

void RecordingSession::StopEngines()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->Stop();
    }
    PublishState();
}

void RecordingSession::PauseEngines()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->Pause();
    }
    PublishState();
}

void RecordingSession::ApplyDefaultRate()
{
    const int rate = DefaultRateCodeFor(m_currentPath);
    for (int slot = 0; slot < 2; ++slot) {
        Player& p = *m_players[static_cast<size_t>(slot)];
        if (m_slotReady[static_cast<size_t>(slot)] && p.IsReady() && p.state().rateCode != rate)
            p.SetRate(rate);
    }
    PublishState();
}

bool RecordingSession::ChangeRate(bool faster)
{
    if (!m_slotReady[0] || !m_ready)
        return false;
    const int current = rateCode();
    const int next = m_playing ? NextRateCode(current, faster) : 1;
    if (next == current)
        return false;
    SetRate(next);
    return true;
}

void RecordingSession::SetRate(int code)
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)] && m_players[static_cast<size_t>(slot)]->IsReady())
            m_players[static_cast<size_t>(slot)]->SetRate(code);
    }
    PublishState();
}

void RecordingSession::SetVolume(int volume)
{
    m_volume = volume;
    if (m_slotReady[0])
        main().SetVolume(volume);
}

void RecordingSession::SetAspectKeep(bool keep)
{
    m_aspectKeep = keep;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetAspectMode(keep ? 1 : 0);
    }
}

void RecordingSession::SetHardwareDecode(bool on)
{
    if (m_slotReady[0])
        main().SetHardwareDecode(on ? 1 : 0);
}

void RecordingSession::Relayout()
{
    if (m_slotReady[0] && m_ready)
        main().Relayout();
}

void RecordingSession::RelayoutAll()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->Relayout();
    }
}

void RecordingSession::SetVideoRect(int centreX, int centreY, int offsetX, int offsetY, float zoom,
                                    bool both)
{
    for (int slot = 0; slot < (both ? 2 : 1); ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetVideoRect(centreX, centreY, offsetX, offsetY,
                                                               zoom, true);
    }
}

// ---- Opening and closing --------------------------------------------------------------------

void RecordingSession::BeginOpen(bool clearTelemetry)
{
    const bool wasPlaying = std::exchange(m_playing, false);
    m_playClock.stop();
    SetReady(false);
    m_telemetryReady = false;
    if (clearTelemetry)
        m_snapshot.reset();
    m_opening = true;
    if (wasPlaying)
        Q_EMIT playingChanged(false);
}

int RecordingSession::OpenBoth(const RecordingRecord& record)
{
    if (!m_slotReady[0] || m_shutDown)
        return 0;
    const int result = main().OpenMovie(record.path);
    if (result != 1) {
        // The recording stays chosen but nothing of it (nor of the one before) is open.
        for (int slot = 0; slot < 2; ++slot) {
            if (m_slotReady[static_cast<size_t>(slot)])
                m_players[static_cast<size_t>(slot)]->CloseMovie();
        }
        SetReady(false);
        m_currentPath.clear();
        return result;
    }
    m_opening = true;
    m_currentPath = record.path;
    m_currentRecord = record;
    if (m_slotReady[1]) {
        const QString sub = PairedPathOf(record.path);
        if (!QFileInfo::exists(sub) || m_players[1]->OpenMovie(sub) != 1)
            m_players[1]->CloseMovie();
    }
    return result;
}

void RecordingSession::OpenEnded() { m_opening = false; }

void RecordingSession::OpenFailed()
{
    m_opening = false;
    m_playClock.stop();
    m_shownFrame = -1;
    m_pendingFrame = -1;
    Q_EMIT frameShown(-1);
}

void RecordingSession::OnSubMovieOpened()
{
    if (m_shutDown || !m_slotReady[1])
        return;
    // The sub camera joins the main camera where it is.
    const int mainFrame = std::max(0, engineFrame());
    m_players[1]->SetRate(main().state().rateCode);
    m_players[1]->SeekFrame(subFrameFor(mainFrame));
    if (m_playing)
        m_players[1]->Play();
}

void RecordingSession::Start(int rate)
{
    m_opening = false;
    main().SetAspectMode(m_aspectKeep ? 1 : 0);
    main().Relayout();
    main().SetRate(rate);
    main().SeekFrame(0);
    if (subReady()) {
        m_players[1]->SetRate(rate);
        m_players[1]->SeekFrame(0);
    }
    m_pendingFrame = -1;
    m_clockFrame = -1;
    m_stuckTicks = 0;
    m_settleTicks = 0;
    SetReady(true);
    ShowFrame(0);
    m_playClock.start();
    PublishState();
}

bool RecordingSession::LoadTelemetry(const QString& moviePath)
{
    // On the loader worker: the player's telemetry slots have their own locks.
    return m_players[0]->LoadTelemetryForMovie(moviePath);
}

void RecordingSession::TakeTelemetry()
{
    if (m_shutDown || !m_ready)
        return;
    {
        TelemetrySlots& slots = main().state().telemetry;
        std::lock_guard<std::recursive_mutex> hold(slots.movieData1);
        MoveReader(slots.load, slots.current);
        m_snapshot = RecordingTelemetry::FromReader(slots.current);
    }
    int width = 0, height = 0;
    main().GetVideoSize(width, height);
    // The list's record knows the file only; the start time, quality and rate come now.
    m_currentRecord = OpenedRecord(m_currentRecord, height, main().GetFrameMs());
    main().SetVolume(m_volume);
    m_telemetryBytes = QFileInfo(TelemetryFileForMovie(m_currentPath)).size();
    m_telemetryReady = true;
    Q_EMIT telemetryChanged();
    ShowFrame(std::max(0, m_shownFrame));
}

void RecordingSession::Prefetch(const QString& moviePath)
{
    if (m_slotReady[0])
        StartPrefetch(main().state().telemetry, moviePath);
}

void RecordingSession::StopPrefetch()
{
    if (m_slotReady[0])
        ravir::StopPrefetch(main().state().telemetry);
}

void RecordingSession::FreeTelemetry()
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->FreeTelemetry();
    }
}

void RecordingSession::Close()
{
    m_playClock.stop();
    const bool hadTelemetry = m_telemetryReady || m_snapshot;
    m_telemetryReady = false;
    m_snapshot.reset();
    m_telemetryBytes = 0;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_players[static_cast<size_t>(slot)]->Stop();
            m_players[static_cast<size_t>(slot)]->CloseMovie();
        }
    }
    const bool wasPlaying = std::exchange(m_playing, false);
    m_opening = false;
    m_currentPath.clear();
    m_pendingFrame = -1;
    m_shownFrame = -1;
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
    if (m_ready == ready)
        return;
    m_ready = ready;
    Q_EMIT readyChanged(ready);
}

// ---- The play clock -------------------------------------------------------------------------

void RecordingSession::PublishState()
{
    const int state = playState();
    const Published now{state, m_ready ? rateCode() : 0, nearEndBlocked()};
    if (now == m_published)
        return;
    const bool stateChanged = now.playState != m_published.playState;
    m_published = now;
    if (stateChanged)
        Q_EMIT playStateChanged(state);
    Q_EMIT controlsChanged();
}

void RecordingSession::ShowFrame(int frame)
{
    m_shownFrame = ViewFrame(frame, 0, static_cast<int>(frameCount()));
    Q_EMIT frameShown(m_shownFrame);
}

void RecordingSession::Tick()
{
    if (m_shutDown || !m_slotReady[0] || !m_ready)
        return;
    Player& engine = main();
    const int state = engine.state().playState;
    if (state == kPlaying && subReady())
        m_sync->tick();
    // Play, pause and rate changes land after the command; near the end of a playing recording
    // the controls are off until it is over.
    PublishState();
    if (state != kPlaying && m_pendingFrame < 0) {
        // Resting after a pause, a step or a seek: the views follow the engine until it rests.
        if (m_settleTicks > 0 && !m_thumbHeld) {
            --m_settleTicks;
            const int rest = engine.GetCurrentFrame();
            if (rest >= 0 && rest != m_shownFrame)
                ShowFrame(rest);
        }
        return;
    }
    const int f = engine.GetCurrentFrame();
    if (f < 0)
        return;
    if (state == kPlaying && f > 0) {
        // A frame that has not moved for about a second of ticks: nudge the engine on.
        if (f == m_clockFrame) {
            if (++m_stuckTicks > kStallTicks) {
                m_stuckTicks = 0;
                SeekAll(f - 1);
                return;
            }
        } else {
            m_stuckTicks = 0;
            m_clockFrame = f;
        }
    }
    if (m_pendingFrame >= 0) {
        // After a seek the views keep the target until the engine's position reaches it.
        if (!PendingWindowAccepts(f, m_pendingFrame, engine.GetFrameCount()) ||
            engine.PendingSeekFrame() >= 0)
            return;
        m_pendingFrame = -1;
        if (state != kPlaying) {
            // Paused at the target: from now on the views show what the engine holds.
            m_settleTicks = m_settleAfterSeek ? kSettleTicks : 0;
            return;
        }
    }
    ShowFrame(f);
}

}  // namespace ravir
