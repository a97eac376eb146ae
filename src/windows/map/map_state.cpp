#include "windows/map/map_state.h"

#include "windows/map/map_follow.h"
#include "windows/map/movie_dialog.h"
#include "windows/main/recording_session.h"
#include "playback/player.h"
#include "playback/telemetry_slots.h"
#include "windows/map/map_view.h"

#include <QGuiApplication>

#include <algorithm>

namespace ravir {

MapState::MapState(RecordingSession& session, CMovieDialog& dialog, QObject* parent)
    : QObject(parent), m_session(session), m_dialog(dialog)
{
    connect(&session, &RecordingSession::frameShown, this, &MapState::onFrame);
    connect(&session, &RecordingSession::playStateChanged, this, &MapState::onPlayState);
    connect(&session, &RecordingSession::telemetryChanged, this, [this] {
        if (m_session.telemetryReady())
            takeRecording();
    });
}

MapState::~MapState() { shutdown(); }

map::CMapView* MapState::view() const { return m_view; }

void MapState::setMarkerKindsSource(std::function<const MarkerKinds&()> kinds)
{
    m_kinds = std::move(kinds);
}

void MapState::setRowSource(std::function<int()> row) { m_row = std::move(row); }

void MapState::markerKindsChanged()
{
    if (m_view && m_kinds)
        m_view->setMarkerKinds(m_kinds());
}

void MapState::setSwitchedOn(bool on)
{
    m_shell.mapSwitchedOn = on;
    refresh();
    takeRecording();
}

void MapState::setFullScreen(bool on)
{
    m_shell.fullScreen = on;
    refresh();
}

void MapState::setFileName(const QString& name)
{
    m_shell.fileName = name;
    refresh();
}

void MapState::clearRecording()
{
    if (m_view && m_hasRecording)
        m_view->clearRecording();
    m_hasRecording = false;
    m_toldState = -1;
    m_shell.hasPosition = false;
    m_shell.telemetrySize = 0;
    refresh();
}

void MapState::refresh()
{
    const MapShellState s = DecideMapShell(m_shell);
    m_dialog.showMapOrPlaceholder(s.showMap, s.showPlaceholder, s.noInternetPicture);
}

bool MapState::showsPosition() const
{
    return m_view && m_hasRecording && m_view->isVisible() && m_view->isOnline() &&
           !m_view->isPlaceholderShown();
}

void MapState::takeRecording()
{
    if (!m_shell.mapSwitchedOn || !m_session.telemetryReady() || m_hasRecording)
        return;
    const TelemetrySnapshot& snap = m_session.telemetry();
    const bool hasPosition = snap && std::any_of(snap->gps.begin(), snap->gps.end(),
                                                 [](const GpsSample& g) { return IsUsableFix(g); });
    // Qt WebEngine needs a display: without one (the offscreen platform) the placeholder stays.
    if (!hasPosition || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        m_shell.pageUnavailable = hasPosition;
        refresh();
        return;
    }
    if (!m_view) {
        // Qt WebEngine starts only once a map is wanted.
        m_view = new map::CMapView(&m_dialog);
        m_view->setObjectName(QStringLiteral("mapView"));
        m_dialog.setMapWidget(m_view);
        connect(m_view, &map::CMapView::eventClicked, this, &MapState::seekRequested);
        if (m_kinds)
            m_view->setMarkerKinds(m_kinds());
        connect(m_view, &map::CMapView::pageReady, this, [this] {
            m_shell.pageReady = true;
            refresh();
        });
    }
    {
        TelemetrySlots& slots = m_session.main().state().telemetry;
        std::lock_guard<std::recursive_mutex> hold(slots.movieData1);
        m_view->setRecording(slots.current, m_row ? std::max(0, m_row()) : 0, m_wholeTrip, true);
    }
    m_hasRecording = true;
    m_shell.pageReady = m_view->isPageReady();
    m_view->setFrame(std::max(0, m_session.shownFrame()));
    m_toldState = -1;
    onPlayState(m_session.playState());
    refresh();
}

void MapState::onFrame(int frame)
{
    if (frame < 0)
        return;
    if (m_session.telemetryReady() && m_view && m_hasRecording)
        m_view->setFrame(frame);
    // Whether the map can show the position at this frame (the placeholder otherwise).
    const bool canShow = m_session.telemetryReady() &&
                         MapCanShowTrack(m_session.telemetryBytes(), m_session.telemetry().get(), frame);
    m_shell.telemetrySize = m_session.telemetryBytes();
    if (canShow == m_shell.hasPosition)
        return;
    m_shell.hasPosition = canShow;
    refresh();
}

void MapState::onPlayState(int state)
{
    if (!m_view || !m_hasRecording) {
        m_toldState = -1;  // a new recording on the map is told its state anew
        return;
    }
    const QString status = MapStatusFor(state);
    if (m_toldState >= 0 && MapStatusFor(m_toldState) == status)
        return;
    m_toldState = state;
    m_view->playState(status);
}

// ---- The whole-trip track ----------------------------------------------------------------------

void MapState::setListMovies(const QStringList& moviePaths)
{
    joinTrackWorker();
    const int generation = ++m_trackGeneration;
    m_trackCancel = false;
    m_trackDone = false;
    m_trackWorker = std::thread([this, moviePaths, generation] {
        std::vector<GpsSample> track;
        AppendAllRecordingsTrack(moviePaths, track, &m_trackCancel);
        const bool cancelled = m_trackCancel.load();
        m_trackDone = true;
        if (cancelled)
            return;
        QMetaObject::invokeMethod(this, [this, generation, track = std::move(track)]() mutable {
            if (generation != m_trackGeneration)
                return;  // a newer list has been asked for meanwhile
            m_wholeTrip = std::move(track);
            // The map shows a recording already: it draws the new whole trip.
            if (m_view && m_hasRecording)
                m_view->setAllRecordings(m_wholeTrip);
            Q_EMIT wholeTripReady();
        }, Qt::QueuedConnection);
    });
}

void MapState::joinTrackWorker()
{
    if (!m_trackWorker.joinable())
        return;
    m_trackCancel = true;
    m_trackWorker.join();
}

void MapState::shutdown() { joinTrackWorker(); }

}  // namespace ravir
