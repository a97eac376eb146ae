// The host object the map page calls: its answers, its checks of the page's arguments, and the
// update message it sends.
#include "windows/map/web/map_host.h"
#include "shell/display_prefs.h"

#include "shell/ui_text.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace ravir::map {
namespace {

GpsSample fix(double lat, double lng, int time)
{
    GpsSample g;
    g.valid = 1;
    g.latitude = lat;
    g.longitude = lng;
    g.time = time;
    return g;
}

QByteArray compact(const QJsonValue& v)
{
    if (v.isArray())
        return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    return v.isNull() ? QByteArray("null") : QByteArray("?");
}

TEST(MapHost, AnswersThePageFromItsData)
{
    CMapHost host(QStringLiteral("https://t.example/{z}/{x}/{y}.png"), QStringLiteral("T"));
    // Without telemetry: the grid data is empty, the whole-trip data the lone count.
    EXPECT_EQ(compact(host.JS2C_GetGridData(0)), "null");
    EXPECT_EQ(compact(host.JS2C_GetGPSData()), "[0]");

    host.setGps({fix(35.5, 139.25, 0), fix(35.5, 139.5, 3)}, {fix(1.5, 2.5, 7)}, true);
    EXPECT_EQ(compact(host.JS2C_GetGridData(QStringLiteral("ignored"))),
              "[35.5,139.25,0,35.5,139.5,3,6]");
    EXPECT_EQ(compact(host.JS2C_GetGPSData()), "[1.5,2.5,7,3]");

    host.setPosition(1234);
    EXPECT_EQ(host.JS2C_GetRelJpgNum(), "1234");
    EXPECT_EQ(host.JS2C_GetMapURL(), "https://t.example/{z}/{x}/{y}.png");
    EXPECT_EQ(host.TestMethod(QStringLiteral("abc"), 42.0), "TestMethod(abc, 42) called.\n");
    EXPECT_EQ(host.TestMethod(7, 42.0), "");  // not a text
    EXPECT_EQ(host.JS2C_GetMarkName(6.0), text(TXT_EMERGENCY_REC_STOP));
    EXPECT_EQ(host.JS2C_GetMarkName(QStringLiteral("6")), "");
    EXPECT_EQ(host.JS2C_GetMarkName(9), "");
    // The icon's tooltip: the name, and the speed in the unit on screen when the fix is valid.
    const QString stop = text(TXT_EMERGENCY_REC_STOP);
    EXPECT_EQ(host.JS2C_GetMarkLabel(6.0, 1.0, 100.0), stop + ", 100 " + text(TXT_UNIT_KMH));
    setSpeedUnit(SpeedUnit::Mph);
    EXPECT_EQ(host.JS2C_GetMarkLabel(6.0, 1.0, 100.0), stop + ", 62 " + text(TXT_UNIT_MPH));
    EXPECT_EQ(host.JS2C_GetMarkLabel(6.0, 0.0, 100.0), stop);        // no fix: no speed
    EXPECT_EQ(host.JS2C_GetMarkLabel(6.0, 1.0, 1000.0), stop);       // beyond the panel's range
    EXPECT_EQ(host.JS2C_GetMarkLabel(6.0, 1.0, QStringLiteral("9")), stop);  // not a number
    EXPECT_EQ(host.JS2C_GetMarkLabel(9, 1.0, 100.0), "");
    setSpeedUnit(SpeedUnit::Kmh);
    EXPECT_EQ(host.JS2C_GetRcString(TXT_CLOSE), text(TXT_CLOSE));
    EXPECT_EQ(host.JS2C_GetRcString(100000), "");
    EXPECT_EQ(host.JS2C_GetRcString(0.5), "");
}

TEST(MapHost, ConnectionFlagAndMapSwitch)
{
    CMapHost host{QString(), QString()};
    int changes = 0;
    QObject::connect(&host, &CMapHost::connectedChanged, [&] { ++changes; });
    EXPECT_EQ(host.JS2C_ConnectTest(), 0);
    host.setConnected(true);
    EXPECT_EQ(host.JS2C_ConnectTest(), 1);
    host.setConnectionEnabled(false);  // the map switched off
    EXPECT_EQ(host.JS2C_ConnectTest(), 0);
    host.setConnectionEnabled(true);
    EXPECT_EQ(host.JS2C_ConnectTest(), 1);
    EXPECT_EQ(changes, 3);
}

TEST(MapHost, SendsUpdatesReportsReadinessAndCheckedClicks)
{
    CMapHost host{QString(), QString()};
    QStringList sent;
    QList<int> clicked;
    int ready = 0;
    QObject::connect(&host, &CMapHost::sendUpdate, [&](const QString& m) { sent << m; });
    QObject::connect(&host, &CMapHost::eventClicked, [&](int f) { clicked << f; });
    QObject::connect(&host, &CMapHost::pageReady, [&] { ++ready; });

    host.setCoordinates(35.5, 139.25);
    host.setStatus(PlayStatus::Paused);  // pushed at once
    host.JS2C_SetSend();                 // and on every poll
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[1], "{\"map_lat\":\"35.500000\",\"map_lng\":\"139.250000\","
                       "\"map_status\":\"pause\",\"val_command\":\"update\",\"val_end\":\"\"}");

    EXPECT_FALSE(host.isPageInitialised());
    host.JS2C_OnInitHtml();
    EXPECT_TRUE(host.isPageInitialised());
    EXPECT_EQ(ready, 1);

    host.JS2C_OnClickCrashPoint(0, 2, 300.0, 1, 35.5, 139.25, 40.0, 0.0);
    host.JS2C_OnClickCrashPoint(0, 2, QStringLiteral("300"), 1, 35.5, 139.25, 40.0, 0.0);
    host.JS2C_OnClickCrashPoint(0, 2, 300.0, 1, QVariant(), 139.25, 40.0, 0.0);
    host.JS2C_OnClickCrashPoint(0, 2, 3e10, 1, 35.5, 139.25, 40.0, 0.0);
    EXPECT_EQ(clicked, QList<int>{300});
}

}  // namespace
}  // namespace ravir::map
