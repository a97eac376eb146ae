#include "windows/map/map_state.h"

#include "windows/map/map_follow.h"
#include "windows/map/map_window.h"
#include "windows/main/recording_session.h"
#include "playback/player.h"
#include "playback/telemetry_slots.h"
#include "windows/map/map_surface.h"

#include <QGuiApplication>

#include <algorithm>

namespace ravir {

MapState::MapState(RecordingSession& session, CMovieDialog& dialog, QObject* parent)
    : QObject(parent), session_(session), dialog_(dialog)
{
    connect(&session, &RecordingSession::frameShown, this, &MapState::onFrame);
    connect(&session, &RecordingSession::playStateChanged, this, &MapState::onPlayState);
    connect(&session, &RecordingSession::telemetryChanged, this, [this] {
        if (session_.telemetryReady())
            takeRecording();
    });
}

MapState::~MapState() { shutdown(); }

map::MapSurface* MapState::view() const { return view_; }

void MapState::setMarkerKindsSource(std::function<const MarkerKinds&()> kinds)
{
    kinds_ = std::move(kinds);
}

void MapState::setRowSource(std::function<int()> row) { row_ = std::move(row); }

void MapState::markerKindsChanged()
{
    if (view_ && kinds_)
        view_->setMarkerKinds(kinds_());
}

void MapState::setSwitchedOn(bool on)
{
    shell_.mapSwitchedOn = on;
    refresh();
    takeRecording();
}

void MapState::setFullScreen(bool on)
{
    shell_.fullScreen = on;
    refresh();
}

void MapState::setFileName(const QString& name)
{
    shell_.fileName = name;
    refresh();
}

void MapState::clearRecording()
{
    if (view_ && hasRecording_)
        view_->clearRecording();
    hasRecording_ = false;
    toldState_ = -1;
    shell_.hasPosition = false;
    shell_.telemetrySize = 0;
    refresh();
}

void MapState::refresh()
{
    const MapShellState s = DecideMapShell(shell_);
    dialog_.showMapOrPlaceholder(s.showMap, s.showPlaceholder, s.noInternetPicture);
}

bool MapState::showsPosition() const
{
    return view_ && hasRecording_ && view_->isVisible() && view_->isOnline() &&
           !view_->isPlaceholderShown();
}

void MapState::takeRecording()
{
    if (!shell_.mapSwitchedOn || !session_.telemetryReady() || hasRecording_)
        return;
    const TelemetrySnapshot& snap = session_.telemetry();
    const bool hasPosition = snap && std::any_of(snap->gps.begin(), snap->gps.end(),
                                                 [](const GpsSample& g) { return IsUsableFix(g); });
    // Qt WebEngine needs a display: without one (the offscreen platform) the placeholder stays.
    if (!hasPosition || mapUnavailable_ ||
        QGuiApplication::platformName() == QLatin1String("offscreen")) {
        shell_.pageUnavailable = hasPosition;
        refresh();
        return;
    }
    if (!view_) {
        // Qt WebEngine is loaded and started only once a map is wanted.
        QString why;
        view_ = map::CreateMapSurface(&dialog_, &why);
        if (!view_) {
            qWarning("ravir-viewer: the map cannot be shown: %s", qPrintable(why));
            mapUnavailable_ = true;
            shell_.pageUnavailable = true;
            refresh();
            return;
        }
        view_->setObjectName(QStringLiteral("mapView"));
        dialog_.setMapWidget(view_);
        connect(view_, &map::MapSurface::eventClicked, this, &MapState::seekRequested);
        if (kinds_)
            view_->setMarkerKinds(kinds_());
        connect(view_, &map::MapSurface::pageReady, this, [this] {
            shell_.pageReady = true;
            refresh();
        });
    }
    {
        TelemetrySlots& slots = session_.main().state().telemetry;
        std::lock_guard<std::recursive_mutex> hold(slots.viewsLock);
        view_->setRecording(slots.current, row_ ? std::max(0, row_()) : 0, wholeTrip_, true);
    }
    hasRecording_ = true;
    shell_.pageReady = view_->isPageReady();
    view_->setFrame(std::max(0, session_.shownFrame()));
    toldState_ = -1;
    onPlayState(session_.playState());
    refresh();
}

void MapState::onFrame(int frame)
{
    if (frame < 0)
        return;
    if (session_.telemetryReady() && view_ && hasRecording_)
        view_->setFrame(frame);
    // Whether the map can show the position at this frame (the placeholder otherwise).
    const bool canShow = session_.telemetryReady() &&
                         MapCanShowTrack(session_.telemetryBytes(), session_.telemetry().get(), frame);
    shell_.telemetrySize = session_.telemetryBytes();
    if (canShow == shell_.hasPosition)
        return;
    shell_.hasPosition = canShow;
    refresh();
}

void MapState::onPlayState(int state)
{
    if (!view_ || !hasRecording_) {
        toldState_ = -1;  // a new recording on the map is told its state anew
        return;
    }
    const map::PlayStatus status = MapStatusFor(state);
    if (toldState_ >= 0 && MapStatusFor(toldState_) == status)
        return;
    toldState_ = state;
    view_->setPlayStatus(status);
}

// ---- The whole-trip track ----------------------------------------------------------------------

void MapState::setListMovies(const QStringList& moviePaths)
{
    joinTrackWorker();
    const int generation = ++trackGeneration_;
    trackCancel_ = false;
    trackDone_ = false;
    trackWorker_ = std::thread([this, moviePaths, generation] {
        std::vector<GpsSample> track;
        AppendAllRecordingsTrack(moviePaths, track, &trackCancel_);
        const bool cancelled = trackCancel_.load();
        trackDone_ = true;
        if (cancelled)
            return;
        QMetaObject::invokeMethod(this, [this, generation, track = std::move(track)]() mutable {
            if (generation != trackGeneration_)
                return;  // a newer list has been asked for meanwhile
            wholeTrip_ = std::move(track);
            // The map shows a recording already: it draws the new whole trip.
            if (view_ && hasRecording_)
                view_->setAllRecordings(wholeTrip_);
            Q_EMIT wholeTripReady();
        }, Qt::QueuedConnection);
    });
}

void MapState::joinTrackWorker()
{
    if (!trackWorker_.joinable())
        return;
    trackCancel_ = true;
    trackWorker_.join();
}

void MapState::shutdown() { joinTrackWorker(); }

}  // namespace ravir
