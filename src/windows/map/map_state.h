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
class MapSurface;
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
    bool switchedOn() const { return shell_.mapSwitchedOn; }
    void setFullScreen(bool on);
    // The movie being opened: its file name decides the placeholder's picture.
    void setFileName(const QString& name);
    // The movies of the file list: the whole-trip track is decoded anew on a worker.
    void setListMovies(const QStringList& moviePaths);
    const std::vector<GpsSample>& wholeTrip() const { return wholeTrip_; }
    bool wholeTripBuilding() const { return trackWorker_.joinable() && !trackDone_; }

    // A recording is being opened or was closed: the map forgets it.
    void clearRecording();
    // Map or placeholder, decided from what is known now.
    void refresh();
    void shutdown();  // the whole-trip worker stops

    // The map once it was made (nullptr before, and when its module cannot be loaded).
    map::MapSurface* view() const;
    bool hasRecording() const { return hasRecording_; }
    // The map shows the position now: it is visible, online and not covered by the placeholder.
    bool showsPosition() const;
    MapShellInput& shellInput() { return shell_; }

Q_SIGNALS:
    void seekRequested(int frame);  // an event icon was clicked
    void wholeTripReady();          // a new whole-trip track is in wholeTrip()

private:
    void takeRecording();  // the map gets the recording once it is switched on and ready
    void onFrame(int frame);
    void onPlayState(int state);
    void joinTrackWorker();

    RecordingSession& session_;
    CMovieDialog& dialog_;
    QPointer<map::MapSurface> view_;
    bool mapUnavailable_ = false;  // the map module could not be loaded: the placeholder stays
    MapShellInput shell_;
    bool hasRecording_ = false;
    int toldState_ = -1;  // the play state the map was told last (-1: none yet)
    std::function<const MarkerKinds&()> kinds_;
    std::function<int()> row_;

    std::vector<GpsSample> wholeTrip_;
    std::thread trackWorker_;
    std::atomic<bool> trackCancel_{false};
    std::atomic<bool> trackDone_{true};
    int trackGeneration_ = 0;
};

}  // namespace ravir
