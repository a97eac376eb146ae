#include "windows/map/web/map_host.h"

#include "shell/display_prefs.h"
#include "shell/ui_text.h"
#include "windows/views/info_format.h"

namespace ravir::map {

CMapHost::CMapHost(QString tileUrl, QString attribution, QObject* parent)
    : QObject(parent), tileUrl_(std::move(tileUrl)), attribution_(std::move(attribution))
{
}

void CMapHost::setGps(std::vector<GpsSample> current, std::vector<GpsSample> allRecordings,
                      bool hasTelemetry)
{
    current_ = std::move(current);
    all_ = std::move(allRecordings);
    hasTelemetry_ = hasTelemetry;
}

void CMapHost::setPosition(int frame)
{
    if (frame == position_)
        return;
    position_ = frame;
    Q_EMIT positionChanged();
}

void CMapHost::setCoordinates(double latitude, double longitude)
{
    latitude_ = latitude;
    longitude_ = longitude;
}

void CMapHost::setStatus(PlayStatus status)
{
    status_ = status;
    JS2C_SetSend();  // the page learns the status without waiting for its next poll
}

void CMapHost::setConnectionEnabled(bool enabled)
{
    connectionEnabled_ = enabled;
    Q_EMIT connectedChanged();
}

void CMapHost::setConnected(bool connected)
{
    if (connected == connected_)
        return;
    connected_ = connected;
    Q_EMIT connectedChanged();
}

QString CMapHost::TestMethod(const QVariant& s, const QVariant& n) const
{
    const std::optional<int> number = pageInt(n);
    if (s.typeId() != QMetaType::QString || !number)
        return {};
    return QStringLiteral("TestMethod(%1, %2) called.\n").arg(s.toString()).arg(*number);
}

int CMapHost::JS2C_ConnectTest() const
{
    // Unlike a page that needs the provider's script, this page stays usable offline, so a
    // missing connection does not undo the page's initialisation; it only drops the tiles.
    return connectionEnabled_ && connected_ ? 1 : 0;
}

QJsonArray CMapHost::JS2C_GetGPSData() const { return gpsArray(all_); }

QJsonValue CMapHost::JS2C_GetGridData(const QVariant&) const
{
    if (!hasTelemetry_ || current_.empty())
        return QJsonValue(QJsonValue::Null);
    return gpsArray(current_);
}

QString CMapHost::JS2C_GetMarkName(const QVariant& markerType) const
{
    const std::optional<int> type = pageInt(markerType);
    return type ? markName(*type) : QString();
}

QString CMapHost::JS2C_GetMarkLabel(const QVariant& markerType, const QVariant& valid,
                                    const QVariant& speed) const
{
    const QString name = JS2C_GetMarkName(markerType);
    const std::optional<int> fix = pageInt(valid);
    const std::optional<double> kmh = pageDouble(speed);
    if (name.isEmpty() || !fix || !kmh)
        return name;
    const QString number = SpeedText(*fix == 1 ? 1 : 0, *kmh, speedUnit()).trimmed();
    if (number.isEmpty())
        return name;
    return QStringLiteral("%1, %2 %3").arg(name, number, text(speedUnitTextId(speedUnit())));
}

QString CMapHost::JS2C_GetRcString(const QVariant& textIndex) const
{
    const std::optional<int> index = pageInt(textIndex);
    return index ? text(*index) : QString();
}

QString CMapHost::JS2C_GetRelJpgNum() const { return QString::number(position_); }

void CMapHost::JS2C_OnClickCrashPoint(const QVariant& ifile, const QVariant& igrid,
                                      const QVariant& ipos, const QVariant& valid,
                                      const QVariant& lat, const QVariant& lng,
                                      const QVariant& speed, const QVariant& direction)
{
    const std::optional<int> frame =
        clickedFrame({ifile, igrid, ipos, valid, lat, lng, speed, direction});
    if (frame)
        Q_EMIT eventClicked(*frame);
}

void CMapHost::JS2C_OnInitHtml()
{
    pageInitialised_ = true;
    Q_EMIT pageReady();
}

void CMapHost::JS2C_SetSend()
{
    Q_EMIT sendUpdate(updateMessage(latitude_, longitude_, status_));
}

}  // namespace ravir::map
