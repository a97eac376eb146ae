#pragma once
// MapState: what the detached map window shows, beside the map view. It follows the recording
// session (its frame, play state and telemetry), decides between the map and the placeholder,
// makes the map the first time a recording with positions is shown with the map switched on,
// and keeps the whole-trip track of the file list, which a worker decodes from the list's
// telemetry files so that the window never waits for the card.
#include "container/telemetry.h"
#include "windows/main/main_layout.h"
#include "windows/views/marker_kind.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace ravir {

class CMovieDialog;
class RecordingSession;
namespace map {
class CMapView;
}

class MapState : public QObject {
    Q_OBJECT
public:
    MapState(RecordingSession& session, CMovieDialog& dialog, QObject* parent = nullptr);
    ~MapState() override;

    // The graph's marker kinds: the map's event icons follow them.
    void setMarkerKindsSource(std::function<const MarkerKinds&()> kinds);
    // The list index of the playing recording (the page numbers its track by it).
    void setRowSource(std::function<int()> row);
    void markerKindsChanged();

    // The map switch (the map button) and the window's full screen.
    void setSwitchedOn(bool on);
    bool switchedOn() const { return m_shell.mapSwitchedOn; }
    void setFullScreen(bool on);
    // The movie being opened: its file name decides the placeholder's picture.
    void setFileName(const QString& name);
    // The movies of the file list: the whole-trip track is decoded anew on a worker.
    void setListMovies(const QStringList& moviePaths);
    const std::vector<GpsSample>& wholeTrip() const { return m_wholeTrip; }
    bool wholeTripBuilding() const { return m_trackWorker.joinable() && !m_trackDone; }

    // A recording is being opened or was closed: the map forgets it.
    void clearRecording();
    // Map or placeholder, decided from what is known now.
    void refresh();
    void shutdown();  // the whole-trip worker stops

    map::CMapView* view() const;
    bool hasRecording() const { return m_hasRecording; }
    // The map shows the position now: it is visible, online and not covered by the placeholder.
    bool showsPosition() const;
    MapShellInput& shellInput() { return m_shell; }

Q_SIGNALS:
    void seekRequested(int frame);  // an event icon was clicked
    void wholeTripReady();          // a new whole-trip track is in wholeTrip()

private:
    void takeRecording();  // the map gets the recording once it is switched on and ready
    void onFrame(int frame);
    void onPlayState(int state);
    void joinTrackWorker();

    RecordingSession& m_session;
    CMovieDialog& m_dialog;
    QPointer<map::CMapView> m_view;
    MapShellInput m_shell;
    bool m_hasRecording = false;
    int m_toldState = -1;  // the play state the map was told last (-1: none yet)
    std::function<const MarkerKinds&()> m_kinds;
    std::function<int()> m_row;

    std::vector<GpsSample> m_wholeTrip;
    std::thread m_trackWorker;
    std::atomic<bool> m_trackCancel{false};
    std::atomic<bool> m_trackDone{true};
    int m_trackGeneration = 0;
};

}  // namespace ravir
