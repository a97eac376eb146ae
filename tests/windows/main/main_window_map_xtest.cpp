// The main window's map on a real (virtual) display: shown with M while a recording with
// positions is open, the map view takes the place of the placeholder in the detached window,
// follows the play clock and seeks the main camera when an event is clicked; its event icons are
// the graph's markers. Tiles come from a loopback address (one that answers nothing, or a tile
// server of the test's own); the test never leaves this machine.
#include "gui_app.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/map/map_state.h"
#include "windows/map/map_window.h"
#include "playback/player.h"
#include "sample_data.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/map/web/map_view.h"
#include "windows/views/marker_kind.h"
#include "loopback_tile_server.h"

#include <QFile>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace ravir;
using test::waitUntil;

namespace {

// The window's map view, made the first time the map window shows a recording with positions
// (the window itself knows it only as a map surface: the view lives in the map module).
map::CMapView* mapViewOf(const CdedoradeDlg& w) { return static_cast<map::CMapView*>(w.mapState()->view()); }

QVariant js(map::CMapView* view, const QString& script)
{
    QVariant result;
    bool done = false;
    view->webView()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    waitUntil([&] { return done; }, 5000);
    return result;
}

// The marker's position as "lat,lng" with 5 decimals.
QString markerAt(map::CMapView* view)
{
    return js(view, QStringLiteral("g_marker.getLatLng().lat.toFixed(5) + ',' +"
                                   " g_marker.getLatLng().lng.toFixed(5)"))
        .toString();
}

// The page's point index for a frame (the rule of its GetIndex) over the fixes of a recording.
int pointIndexFor(const std::vector<GpsSample>& fixes, int frame)
{
    int i = 0;
    while (i < int(fixes.size()) && fixes[size_t(i)].time < frame)
        ++i;
    if (i > 0)
        --i;
    return std::min(i, int(fixes.size()) - 1);
}

QString pointText(const GpsSample& g)
{
    // The page holds the positions as single-precision numbers.
    return QStringLiteral("%1,%2").arg(double(float(g.latitude)), 0, 'f', 5)
        .arg(double(float(g.longitude)), 0, 'f', 5);
}

void saveShot(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("RAVIR_SHOTS_DIR");
    if (!dir.isEmpty())
        w->grab().save(QDir(dir).filePath(name));
}

}  // namespace

TEST(MainWindowMap, MapFollowsTheRecordingAndItsClicksSeek)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    {
        QFile ini(config.path() + "/Zazavud_Urezed.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[MAP]\r\nTILE_URL=http://127.0.0.1:9/{z}/{x}/{y}.png\r\n");
    }
    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    CdedoradeDlg::Options options;
    options.source = card;
    CdedoradeDlg w(options);
    w.show();
    ASSERT_TRUE(waitUntil([&] { return w.session()->telemetryReady(); }, 20000));
    EXPECT_FALSE(mapViewOf(w));  // no map before the map window is asked for

    QKeyEvent m(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier);
    QApplication::sendEvent(&w, &m);
    ASSERT_TRUE(w.mapShown());
    ASSERT_TRUE(mapViewOf(w));
    EXPECT_EQ(w.movieDialog()->mapWidget(), mapViewOf(w));
    ASSERT_TRUE(waitUntil([&] { return mapViewOf(w)->isPageReady(); }, 30000));
    // With a page and positions the map replaces the placeholder.
    ASSERT_TRUE(waitUntil([&] { return mapViewOf(w)->isVisible(); }, 5000));
    // The whole trip of the folder's recordings is drawn besides the recording's own track: it
    // holds the fixes of every recording of the list, so more than the open one has.
    int ownFixes = 0;
    EXPECT_TRUE(waitUntil([&] {
        ownFixes = js(mapViewOf(w), QStringLiteral("orbitgrplist.gridlist.points.length")).toInt();
        return ownFixes > 0;
    }, 10000));
    EXPECT_TRUE(waitUntil([&] {
        return js(mapViewOf(w), QStringLiteral("orbitgrplist.grplist.points.length")).toInt() > ownFixes;
    }, 10000)) << "whole trip: " << js(mapViewOf(w), QStringLiteral("orbitgrplist.grplist.points.length")).toInt() << " state " << w.mapState()->wholeTrip().size();

    // An event clicked on the map seeks the main camera there.
    Q_EMIT mapViewOf(w)->eventClicked(40);
    EXPECT_EQ(w.session()->shownFrame(), 40);
    ASSERT_TRUE(w.session()->player(0)->WaitSeekDone(5000));
    EXPECT_EQ(w.session()->player(0)->GetCurrentFrame(), 40);
    w.Shutdown();
    qunsetenv("RAVIR_CONFIG_DIR");
}

// Played in the window, the map's marker goes from fix to fix with the picture: at every moment
// it stands on the fix of the frame shown. The icons follow the graph's marker switches. With the
// tile server there are tiles; once it is gone the map goes on without them.
TEST(MainWindowMap, MarkerMovesWithThePictureOnlineAndOffline)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    test::LoopbackTileServer tiles;
    ASSERT_TRUE(tiles.listen(QHostAddress::LocalHost));
    {
        QFile ini(config.path() + "/Zazavud_Urezed.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[MAP]\r\nTILE_URL=" + tiles.tileUrl().toLatin1() +
                  "\r\nATTRIBUTION=Loopback tiles\r\n");
    }
    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    CdedoradeDlg::Options options;
    options.source = card;
    CdedoradeDlg w(options);
    w.show();
    ASSERT_TRUE(waitUntil([&] { return w.session()->telemetryReady(); }, 20000));
    const TelemetrySnapshot snap = w.graphView()->telemetry();
    ASSERT_TRUE(snap);
    std::vector<GpsSample> fixes;
    for (const GpsSample& g : snap->gps)
        if (g.valid != 0)
            fixes.push_back(g);
    ASSERT_GE(fixes.size(), 10u) << "the sample recording carries positions";
    ASSERT_NE(pointText(fixes.front()), pointText(fixes.back())) << "and it moves";

    // The map asked for while the recording is open, paused at frame 0.
    QKeyEvent m(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier);
    QApplication::sendEvent(&w, &m);
    ASSERT_TRUE(mapViewOf(w));
    map::CMapView* view = mapViewOf(w);
    ASSERT_TRUE(waitUntil([&] { return view->isPageReady(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return view->isVisible(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return js(view, "orbitgrplist.gridlist.points.length").toInt() ==
                                       int(fixes.size()); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return markerAt(view) == pointText(fixes[0]); }, 5000))
        << markerAt(view).toStdString();

    // The icons are the graph's markers, and follow its switches.
    const auto graphPoints = [&] { return BuildEventPoints(*snap, w.graphView()->markerKinds()); };
    const auto iconCount = [&] { return js(view, "cplist.markers.length").toInt(); };
    const size_t allPoints = graphPoints().size();
    ASSERT_GT(allPoints, 0u) << "the recording has events";
    EXPECT_EQ(view->eventPoints().size(), allPoints);
    EXPECT_TRUE(waitUntil([&] { return iconCount() > 0; }, 5000));
    for (int k = 0; k < 3; ++k)
        w.graphView()->setAxisKindShown(k, false);
    w.graphView()->setSettingsKindShown(0, false);
    w.graphView()->setSettingsKindShown(1, false);
    EXPECT_EQ(view->eventPoints().size(), graphPoints().size());
    EXPECT_LT(graphPoints().size(), allPoints);
    EXPECT_TRUE(waitUntil([&] { return iconCount() <= int(graphPoints().size()); }, 5000));
    for (int k = 0; k < 3; ++k)
        w.graphView()->setAxisKindShown(k, true);
    w.graphView()->setSettingsKindShown(0, true);
    w.graphView()->setSettingsKindShown(1, true);
    EXPECT_EQ(view->eventPoints().size(), graphPoints().size());
    EXPECT_TRUE(waitUntil([&] { return iconCount() <= int(view->eventPoints().size()); }, 5000));

    // Tiles from the loopback server under the track.
    ASSERT_TRUE(waitUntil([&] { return view->isOnline(); }, 10000));
    ASSERT_TRUE(waitUntil([&] {
        return js(view, "document.querySelectorAll('.leaflet-tile-loaded').length").toInt() > 0;
    }, 10000));
    EXPECT_GT(tiles.tileRequests, 0);

    // Play: sampled again and again, the page holds a frame the window has just shown (the
    // play clock's frames reach it through the channel, a little later on a busy machine) and
    // the marker stands on that frame's fix.
    // Every move of the marker is logged in the page with the frame it was made for.
    js(view, QStringLiteral("window.moves = []; orbitgrplist.MoveMarkerTo = function (num) {"
                            " OrbitGrpList.prototype.MoveMarkerTo.call(this, num);"
                            " var p = g_marker.getLatLng(); window.moves.push([num,"
                            " p.lat.toFixed(5) + ',' + p.lng.toFixed(5)]); }"));
    w.TogglePlay();
    QStringList seen;
    int checks = 0, lastPageFrame = -1;
    // Paused well before the end: at the end the window moves on to the next recording.
    while (w.session()->shownFrame() < snap->frameCount() - 60 && checks < 400) {
        const int before = w.session()->shownFrame();
        const QStringList page =
            js(view, QStringLiteral("g_host.relJpgNum + ';' + g_marker.getLatLng().lat.toFixed(5)"
                                    " + ',' + g_marker.getLatLng().lng.toFixed(5)"))
                .toString()
                .split(u';');
        const int after = w.session()->shownFrame();
        ASSERT_EQ(page.size(), 2);
        const int pageFrame = page[0].toInt();
        EXPECT_LE(pageFrame, after);
        EXPECT_GE(pageFrame, before - 30) << "more than a second behind the picture";
        EXPECT_GE(pageFrame, lastPageFrame);
        EXPECT_EQ(page[1], pointText(fixes[size_t(pointIndexFor(fixes, pageFrame))]))
            << "frame " << pageFrame;
        lastPageFrame = pageFrame;
        if (seen.isEmpty() || seen.back() != page[1])
            seen << page[1];
        ++checks;
        QTest::qWait(40);
    }
    EXPECT_GE(checks, 1);
    w.TogglePlay();
    // The whole play, as the page saw it: the marker went from fix to fix with the frames, each
    // time onto the fix of its frame.
    const QJsonArray moves =
        QJsonDocument::fromJson(js(view, QStringLiteral("JSON.stringify(window.moves)"))
                                    .toString().toUtf8()).array();
    QStringList path;
    int frame = -1;
    for (const QJsonValue& move : moves) {
        const int f = move.toArray().at(0).toInt();
        const QString at = move.toArray().at(1).toString();
        EXPECT_GE(f, frame);
        EXPECT_EQ(at.toStdString(), pointText(fixes[size_t(pointIndexFor(fixes, f))]).toStdString())
            << "frame " << f << " index " << pointIndexFor(fixes, f);
        frame = f;
        if (path.isEmpty() || path.back() != at)
            path << at;
    }
    EXPECT_GE(path.size(), 10) << path.join(u' ').toStdString();
    EXPECT_GE(frame, w.session()->shownFrame() - 30);
    saveShot(w.movieDialog(), QStringLiteral("window_map_tiles.png"));

    // The tile server goes away: no tiles, the track and the marker stay.
    tiles.close();
    ASSERT_TRUE(waitUntil([&] { return !view->isOnline(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return js(view, "g_tiles === null").toBool(); }, 5000));
    // (On a loaded machine the pause above can come after the last frames, and the window has
    // moved on to the next recording, whose map is shown once its telemetry is ready.)
    EXPECT_TRUE(waitUntil([&] { return view->isVisible(); }, 15000));
    EXPECT_TRUE(waitUntil([&] {
        return js(view, "orbitgrplist.histline.length + orbitgrplist.schline.length").toInt() > 0;
    }, 5000));
    QTest::qWait(300);
    saveShot(w.movieDialog(), QStringLiteral("window_map_offline.png"));
    w.Shutdown();
    qunsetenv("RAVIR_CONFIG_DIR");
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    test::guiApp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
