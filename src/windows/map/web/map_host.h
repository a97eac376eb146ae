#pragma once
// The object the map page reaches through Qt WebChannel (published as "sample"). Calls from the
// page are asynchronous: a JS2C_ method's result comes to the page's callback. Every argument
// from the page is checked; a call with a bad argument does nothing (or answers empty).
#include "container/telemetry.h"
#include "windows/map/map_messages.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QObject>
#include <QVariant>

#include <vector>

namespace ravir::map {

class CMapHost : public QObject {
    Q_OBJECT
    // Read by the page without a round trip; changes are pushed to it.
    Q_PROPERTY(bool connected READ isConnected NOTIFY connectedChanged)
    Q_PROPERTY(int relJpgNum READ position NOTIFY positionChanged)
    Q_PROPERTY(QString tileUrl READ tileUrl CONSTANT)
    Q_PROPERTY(QString attribution READ attribution CONSTANT)
public:
    CMapHost(QString tileUrl, QString attribution, QObject* parent = nullptr);

    // The host's data, written by the map view.
    void setGps(std::vector<GpsSample> current, std::vector<GpsSample> allRecordings,
                bool hasTelemetry);
    // The all-recordings track alone (it may come after the recording).
    void setAllRecordings(std::vector<GpsSample> allRecordings) { all_ = std::move(allRecordings); }
    void setPosition(int frame);
    void setCoordinates(double latitude, double longitude);
    void setStatus(PlayStatus status);
    void setConnectionEnabled(bool enabled);
    void setConnected(bool connected);

    bool isConnected() const { return connected_; }
    bool isConnectionEnabled() const { return connectionEnabled_; }
    int position() const { return position_; }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    PlayStatus status() const { return status_; }
    bool isPageInitialised() const { return pageInitialised_; }
    QString tileUrl() const { return tileUrl_; }
    QString attribution() const { return attribution_; }

    // The page contract.
    Q_INVOKABLE void CallCallbackAsynchronously() {}
    Q_INVOKABLE QString TestMethod(const QVariant& s, const QVariant& n) const;
    Q_INVOKABLE int JS2C_ConnectTest() const;
    Q_INVOKABLE QString JS2C_GetMapURL() const { return tileUrl_; }
    Q_INVOKABLE QJsonArray JS2C_GetGPSData() const;
    Q_INVOKABLE QJsonValue JS2C_GetGridData(const QVariant& ignored) const;
    Q_INVOKABLE QString JS2C_GetMarkName(const QVariant& markerType) const;
    // The tooltip of an event icon: the marker's name and, with a valid fix, the speed there in
    // the unit on screen ("Sudden braking, 62 mph"); empty for an unknown marker.
    Q_INVOKABLE QString JS2C_GetMarkLabel(const QVariant& markerType, const QVariant& valid,
                                          const QVariant& speed) const;
    Q_INVOKABLE QString JS2C_GetRcString(const QVariant& textIndex) const;
    Q_INVOKABLE QString JS2C_GetRelJpgNum() const;
    Q_INVOKABLE void JS2C_DEBLOG(const QVariant&) const {}
    Q_INVOKABLE void JS2C_OnClickCrashPoint(const QVariant& ifile, const QVariant& igrid,
                                            const QVariant& ipos, const QVariant& valid,
                                            const QVariant& lat, const QVariant& lng,
                                            const QVariant& speed, const QVariant& direction);
    Q_INVOKABLE void JS2C_OnInitHtml();
    Q_INVOKABLE void JS2C_SetSend();

Q_SIGNALS:
    // To the page.
    void connectedChanged();
    void positionChanged();
    void sendUpdate(const QString& json);
    // To the owner.
    void pageReady();
    void eventClicked(int frame);

private:
    QString tileUrl_;
    QString attribution_;
    std::vector<GpsSample> current_;
    std::vector<GpsSample> all_;
    bool hasTelemetry_ = false;
    int position_ = 0;
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    PlayStatus status_ = PlayStatus::Playing;
    bool connected_ = false;
    bool connectionEnabled_ = true;
    bool pageInitialised_ = false;
};

}  // namespace ravir::map
