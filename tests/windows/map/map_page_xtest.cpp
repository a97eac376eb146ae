// The map page in Qt WebEngine with its host, fed with a made-up recording: track groups, the
// point index, the marker and its colours, the event icons and their clicks, the placeholder,
// drawing without tiles, tiles from a loopback tile server, and what the page may not do.
// Needs a display (run under xvfb-run); never leaves this machine.
#include "windows/map/web/map_connection.h"
#include "windows/map/web/map_host.h"
#include "windows/map/web/map_view.h"

#include "container/telemetry_timeline.h"
#include "loopback_tile_server.h"
#include "sample_data.h"

#include <QDirIterator>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace ravir;
using namespace ravir::map;

namespace {

using TileServer = test::LoopbackTileServer;

// Ten GPS fixes 10 frames apart: 0..3 are 0.001 degrees apart (one group), 4 lies 0.002 beyond
// 3 (a new group), 5..9 follow at 0.001. Samples 2 (braking) and 6 (manual) are events.
void fillRecording(TelemetryReader& r)
{
    double lat = 35.0;
    for (int i = 0; i < 10; ++i) {
        lat += i == 0 ? 0.0 : (i == 4 ? 0.002 : 0.001);
        GpsSample g;
        g.index = i;
        g.time = i * 10;
        g.valid = 1;
        g.latitude = lat;
        g.longitude = 139.0;
        g.speed = 30.0;
        r.gps.push_back(g);
        AccelSample a;
        a.index = i;
        a.time = i * 10;
        a.gpsLink = i;
        a.x = i == 2 ? -0.9 : 0.0;
        a.markerCode = i == 6 ? 5 : -1;
        r.accel.push_back(a);
    }
    for (int f = 0; f < 100; ++f)
        r.frameIndex.push_back(f / 10);
}

int classify(const AccelSample& s, int kind)
{
    if (kind == 1)
        return s.x < -0.5 ? 1 : -1;
    if (kind == 5)
        return s.markerCode == 5 ? 5 : -1;
    return -1;
}

QVariant js(QWebEngineView* view, const QString& script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        QTest::qWait(10);
    return result;
}

// Counts pixels close to a colour in the view's picture.
int pixelsNear(const QImage& image, QColor c)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) < 40 && std::abs(p.green() - c.green()) < 40 &&
                std::abs(p.blue() - c.blue()) < 40)
                ++n;
        }
    return n;
}

void saveShot(QWidget* w, const char* name)
{
    const QString dir = qEnvironmentVariable("RAVIR_SHOTS_DIR");
    if (!dir.isEmpty())
        w->grab().save(QDir(dir).filePath(QString::fromLatin1(name)));
}

}  // namespace

class MapPageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void connectionTesterFollowsTheTileHost();
    void pageDrawsTrackMarkerAndEvents();
    void markerFollowsASampleRecording();
    void whatComesBeforeThePageIsReadyIsDelivered();
};

void MapPageTest::connectionTesterFollowsTheTileHost()
{
    TileServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.serverPort()));
    QCOMPARE(CMapConnectionTester::rootOf(QUrl("https://t.example:8443/a/1/2/3.png")),
             QUrl("https://t.example:8443/"));
    CMapConnectionTester tester;
    QSignalSpy changed(&tester, &CMapConnectionTester::connectedChanged);
    tester.start(url, 100);
    QTRY_VERIFY_WITH_TIMEOUT(tester.isConnected(), 5000);
    tester.setEnabled(false);  // the map switched off: no connection, at once
    QVERIFY(!tester.isConnected());
    tester.setEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(tester.isConnected(), 5000);
    server.close();  // the host goes away
    QTRY_VERIFY_WITH_TIMEOUT(!tester.isConnected(), 5000);
    QVERIFY(changed.count() >= 3);
}

void MapPageTest::pageDrawsTrackMarkerAndEvents()
{
    TileServer tiles;
    TileServer foreign;  // a host the page must never reach
    QVERIFY(tiles.listen(QHostAddress::LocalHost));
    QVERIFY(foreign.listen(QHostAddress::LocalHost));
    CMapView view(QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(tiles.serverPort()),
                  QStringLiteral("Loopback tiles"));
    view.openLinksOutside = false;
    view.setMapEnabled(false);  // offline first
    view.resize(452, 368);
    view.show();
    QVERIFY(view.isPlaceholderShown());  // nothing open yet

    QSignalSpy ready(&view, &CMapView::pageReady);
    QVERIFY(ready.wait(30000));
    QWebEngineView* web = view.webView();

    TelemetryReader reader;
    fillRecording(reader);
    KindFlags kinds{};
    kinds.fill(true);
    view.setMarkerKinds(kinds, classify);
    // The whole trip: this recording and two fixes of the one before (far enough for a group).
    std::vector<GpsSample> trip = reader.gps;
    trip.insert(trip.begin(), {reader.gps[0], reader.gps[0]});
    trip[0].latitude = trip[1].latitude = 34.99;
    trip[1].longitude = 138.999;
    view.setRecording(reader, 3, trip);
    view.setFrame(35);
    QVERIFY(!view.isPlaceholderShown());
    QCOMPARE(view.eventPoints().size(), size_t(2));

    // Groups: split where consecutive points are 0.002 apart, not where they are 0.001 apart.
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.gridlist.points.length").toInt(), 10, 5000);
    QCOMPARE(js(web, "JSON.stringify(orbitgrplist.orbitlist)").toString(),
             QStringLiteral("[{\"start\":0,\"end\":3},{\"start\":4,\"end\":9}]"));
    QTRY_COMPARE_WITH_TIMEOUT(
        js(web, "JSON.stringify(orbitgrplist.grpline.map(function (l) {"
                " return [l.options.color, l.options.opacity, l.getLatLngs().length]; }))")
            .toString(),
        QStringLiteral("[[\"#FF0000\",0.5,2],[\"#FF0000\",0.5,4],[\"#FF0000\",0.5,6]]"), 5000);
    // The longitude difference counts with the cosine of the latitude: 0.0025 degrees east is
    // a split on the equator, not at 60 degrees north.
    QCOMPARE(js(web, "[0, 60].map(function (lat) { return new OrbitGrpList().GetOrbitGroup("
                     "[L.latLng(lat, 0), L.latLng(lat, 0.0025)]).length; }).join()")
                 .toString(),
             QStringLiteral("2,1"));

    // GetIndex: first point at or after the position, one back, clamped; -1 stays -1.
    QCOMPARE(js(web, "[-1, 0, 5, 10, 15, 25, 90, 1e6].map(function (n) {"
                     " return orbitgrplist.GetIndex(n); }).join()")
                 .toString(),
             QStringLiteral("-1,0,0,0,1,2,8,9"));

    // Frame 35: point 3 is the index; group 0 is history (blue), group 1 ahead (red).
    view.setFrame(36);
    const char* lines = "JSON.stringify([orbitgrplist.histline.map(function (l) {"
                        " return [l.options.color, l.options.opacity, l.getLatLngs().length]; }),"
                        " orbitgrplist.schline.map(function (l) {"
                        " return [l.options.color, l.options.opacity, l.getLatLngs().length]; })])";
    QTRY_COMPARE_WITH_TIMEOUT(js(web, lines).toString(),
                              QStringLiteral("[[[\"#0000FF\",1,4]],[[\"#FF0000\",0.9,6]]]"), 5000);
    // Frame 65 (playing): index 6 splits group 1: blue 4..6, red 6..9.
    view.setFrame(65);
    QTRY_COMPARE_WITH_TIMEOUT(
        js(web, lines).toString(),
        QStringLiteral("[[[\"#0000FF\",1,4],[\"#0000FF\",1,3]],[[\"#FF0000\",0.9,4]]]"), 5000);
    QCOMPARE(js(web, "g_marker.getLatLng().lat.toFixed(4)").toString(), QStringLiteral("35.0070"));
    // Paused, the marker stays; stopped, it moves once.
    view.setPlayStatus(PlayStatus::Paused);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "field('map_status').value").toString(),
                              QStringLiteral("pause"), 5000);
    view.setFrame(95);
    QTest::qWait(400);
    QCOMPARE(js(web, "orbitgrplist.drawnIndex").toInt(), 6);
    view.setPlayStatus(PlayStatus::Stopped);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.drawnIndex").toInt(), 9, 5000);
    // At or before the first point: index 0, the whole recording red.
    view.setPlayStatus(PlayStatus::Playing);
    view.setFrame(0);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, lines).toString(),
                              QStringLiteral("[[],[[\"#FF0000\",0.9,4],[\"#FF0000\",0.9,6]]]"),
                              5000);

    // Event icons: last event first, each with its own picture anchored at 16,32.
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "cplist.markers.length").toInt(), 2, 5000);
    QCOMPARE(js(web, "JSON.stringify(cplist.markers.map(function (c) { var o ="
                     " c.marker.options.icon.options; return [c.icolor, c.ipos, c.igrid,"
                     " o.iconUrl.split('/').pop(), o.iconAnchor, o.iconSize]; }))")
                 .toString(),
             QStringLiteral("[[5,60,3,\"map_icon_user.svg\",[16,32],[32,32]],"
                            "[1,20,3,\"map_icon_gforce.svg\",[16,32],[32,32]]]"));
    QTRY_VERIFY_WITH_TIMEOUT(
        js(web, "cplist.markers.every(function (c) { return c.marker._icon.complete &&"
                " c.marker._icon.naturalWidth > 0; })")
            .toBool(),
        5000);
    // A click reports the event's frame; bad arguments from the page are refused.
    QSignalSpy clicked(&view, &CMapView::eventClicked);
    // A real mouse click on the G-force icon (its anchor is the bottom centre of the picture).
    js(web, "g_map.panTo(cplist.markers[1].marker.getLatLng(), { animate: false })");
    const QPoint anchor(js(web, "g_map.latLngToContainerPoint(cplist.markers[1].marker"
                                ".getLatLng()).x").toInt(),
                        js(web, "g_map.latLngToContainerPoint(cplist.markers[1].marker"
                                ".getLatLng()).y").toInt());
    QWidget* surface = web->focusProxy() ? web->focusProxy() : web;
    QTest::mouseClick(surface, Qt::LeftButton, {}, anchor - QPoint(0, 12));
    QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, 5000);
    QCOMPARE(clicked.takeFirst().at(0).toInt(), 20);
    js(web, "cplist.markers[0].marker.fire('click')");
    QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, 5000);
    QCOMPARE(clicked.takeFirst().at(0).toInt(), 60);
    js(web, "g_host.JS2C_OnClickCrashPoint(0, 3, '40', 1, 35, 139, 0, 0);"
            "g_host.JS2C_OnClickCrashPoint(0, 3, -2, 1, 35, 139, 0, 0);"
            "g_host.JS2C_OnClickCrashPoint(0, 3, 1.5, 1, 35, 139, 0, 0);"
            "g_host.JS2C_OnClickCrashPoint(0, 3, 40, 1, 35, 139, 0, 0);");
    QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, 5000);
    QCOMPARE(clicked.takeFirst().at(0).toInt(), 40);
    QVERIFY(clicked.isEmpty());

    // Offline: no tiles, the plain background, a scale bar, and the track drawn.
    view.setFrame(45);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.drawnIndex").toInt(), 4, 5000);
    QCOMPARE(js(web, "g_tiles === null && !!document.querySelector('.leaflet-control-scale')")
                 .toBool(),
             true);
    QTest::qWait(300);
    const QImage offline = view.grab().toImage();
    QVERIFY2(pixelsNear(offline, QColor(0xFF, 0, 0)) > 20, "the red part of the track");
    QVERIFY2(pixelsNear(offline, QColor(0, 0, 0xFF)) > 20, "the blue part of the track");
    saveShot(&view, "map_offline.png");
    QCOMPARE(tiles.tileRequests, 0);

    // Online: the tiles of the configured host come in under the same track.
    view.setMapEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(js(web, "g_tiles !== null").toBool(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(tiles.tileRequests > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        js(web, "document.querySelectorAll('.leaflet-tile-loaded').length").toInt() > 0, 10000);
    QTest::qWait(300);
    QVERIFY(pixelsNear(view.grab().toImage(), QColor(0xCF, 0xE8, 0xC8)) > 1000);
    saveShot(&view, "map_tiles.png");

    // A recording without any GPS fix: the placeholder again.
    TelemetryReader noFix;
    fillRecording(noFix);
    for (GpsSample& g : noFix.gps) {
        g.valid = 0;
        g.latitude = g.longitude = 0.0;
    }
    view.setRecording(noFix, 0);
    QVERIFY(view.isPlaceholderShown());
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "cplist.markers.length + orbitgrplist.gridlist.points.length")
                                  .toInt(),
                              0, 5000);
    view.setRecording(reader, 3);  // and back to the recording with its track
    QVERIFY(!view.isPlaceholderShown());
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.gridlist.points.length").toInt(), 10, 5000);

    // The page stays where it is and reaches no other host.
    js(web, "location.href = 'https://example.invalid/'");
    js(web, "var im = new Image(); im.src = 'http://127.0.0.1:" +
                QString::number(foreign.serverPort()) + "/x.png'; document.body.appendChild(im);");
    QSignalSpy link(&view, &CMapView::externalLinkRequested);
    js(web, "var a = document.createElement('a'); a.href = 'https://www.openstreetmap.org/';"
            " document.body.appendChild(a); a.click();");
    QTRY_VERIFY_WITH_TIMEOUT(view.refusedRequests() > 0, 5000);
    QTest::qWait(500);
    QCOMPARE(web->url(), QUrl(QStringLiteral("qrc:/map/map.html")));
    QCOMPARE(js(web, "typeof orbitgrplist").toString(), QStringLiteral("object"));
    QCOMPARE(foreign.connections, 0);
    QCOMPARE(link.count(), 1);
    QCOMPARE(link.at(0).at(0).toUrl(), QUrl(QStringLiteral("https://www.openstreetmap.org/")));
    // The host still drives the page after the refused attempts.
    // (A refused navigation ends in a failed load; the map must not take it for its own.)
    view.setRecording(reader, 3);
    QVERIFY(!view.isPlaceholderShown());
    view.setRecording(noFix, 0);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.gridlist.points.length").toInt(), 0, 5000);
}

// A recording of the sample card, played frame by frame at the play clock's pace: the marker
// goes from fix to fix and the part behind it turns blue.
void MapPageTest::markerFollowsASampleRecording()
{
    const QString card = test::smallCard(0);
    QVERIFY(!card.isEmpty());
    // The continuous recording that moves the farthest.
    QString best;
    double bestSpan = 0.0;
    QDirIterator it(card, {QStringLiteral("*.ADA")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        std::vector<GpsSample> gps;
        if (!path.contains(QStringLiteral("_NData")) || !DecodeGpsOnly(path, gps) || gps.empty())
            continue;
        const double span = std::abs(gps.back().latitude - gps.front().latitude) +
                            std::abs(gps.back().longitude - gps.front().longitude);
        if (span > bestSpan) {
            bestSpan = span;
            best = path;
        }
    }
    QVERIFY2(!best.isEmpty(), "a moving recording on the sample card");
    TelemetryReader reader;
    QVERIFY(LoadTelemetryFile(reader, best));
    const int frames = reader.sampleCount * 3;
    QVERIFY(BuildFrameIndex(reader, PlainFrameFacts(frames, reader.intervalMs / 3.0)));

    CMapView view(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"), QString());
    view.setMapEnabled(false);
    view.resize(452, 368);
    view.show();
    QSignalSpy ready(&view, &CMapView::pageReady);
    QVERIFY(ready.wait(30000));
    view.setRecording(reader, 0);
    view.setFrame(0);
    QWebEngineView* web = view.webView();
    const auto valid = std::count_if(reader.gps.begin(), reader.gps.end(),
                                     [](const GpsSample& g) { return g.valid != 0; });
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.gridlist.points.length").toInt(),
                              int(valid), 5000);
    QStringList seen;
    for (int f = 0; f < frames; ++f) {
        view.setFrame(f);
        QTest::qWait(30);
        const QString at = js(web, "g_marker.getLatLng().lat.toFixed(6) + ',' +"
                                   " g_marker.getLatLng().lng.toFixed(6)")
                               .toString();
        if (seen.isEmpty() || seen.back() != at)
            seen << at;
    }
    QVERIFY2(seen.size() >= 3, qPrintable(seen.join(u' ')));
    // At the end the marker sits on the last fix and nothing is left ahead of it.
    auto lastValid = std::find_if(reader.gps.rbegin(), reader.gps.rend(),
                                  [](const GpsSample& g) { return g.valid != 0; });
    const GpsSample& last = *lastValid;
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "g_marker.getLatLng().lat.toFixed(3)").toString(),
                              QString::number(last.latitude, 'f', 3), 5000);
    QCOMPARE(js(web, "orbitgrplist.histline.length > 0").toBool(), true);
}

// The window hands the map its recording, frame, status and marker kinds as soon as it has
// them, which is before the page has loaded: the page gets all of it once it is ready.
void MapPageTest::whatComesBeforeThePageIsReadyIsDelivered()
{
    CMapView view(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"), QString());
    view.setMapEnabled(false);
    view.resize(452, 368);
    view.show();
    QSignalSpy ready(&view, &CMapView::pageReady);
    QVERIFY(!view.isPageReady());
    TelemetryReader reader;
    fillRecording(reader);
    KindFlags onlyManual{};
    onlyManual[5] = true;
    view.setMarkerKinds(onlyManual, classify);
    view.setRecording(reader, 2);
    view.setFrame(65);
    view.setPlayStatus(PlayStatus::Paused);
    view.runScript(QStringLiteral("window.handedOver = (window.handedOver || 0) + 1"));
    QVERIFY(!view.isPageReady());  // all of it came before the page
    QVERIFY(ready.wait(30000));
    QWebEngineView* web = view.webView();
    // The track, the marker at frame 65 (point 6) with the part behind it blue, the status,
    // only the manual event's icon, and the waiting script run once.
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.gridlist.points.length").toInt(), 10, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "orbitgrplist.drawnIndex").toInt(), 6, 5000);
    QCOMPARE(js(web, "g_marker.getLatLng().lat.toFixed(4)").toString(), QStringLiteral("35.0070"));
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "field('map_status').value").toString(),
                              QStringLiteral("pause"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "cplist.markers.map(function (c) { return c.icolor + '@'"
                                      " + c.ipos + '/' + c.igrid; }).join()")
                                  .toString(),
                              QStringLiteral("5@60/2"), 5000);
    QCOMPARE(js(web, "window.handedOver").toInt(), 1);
    // Switching the kinds afterwards redraws the icons (not the track).
    KindFlags all{};
    all.fill(true);
    js(web, "window.keptLine = orbitgrplist.histline[0]");
    view.setMarkerKinds(all, classify);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "cplist.markers.length").toInt(), 2, 5000);
    QCOMPARE(js(web, "window.keptLine === orbitgrplist.histline[0]").toBool(), true);
    view.setMarkerKinds(KindFlags{}, classify);
    QTRY_COMPARE_WITH_TIMEOUT(js(web, "cplist.markers.length").toInt(), 0, 5000);
    QVERIFY(view.eventPoints().empty());
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MapPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "map_page_xtest.moc"
