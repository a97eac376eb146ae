#include "windows/map/map_messages.h"

#include "shell/ui_text.h"

#include <QJsonValue>
#include <cmath>
#include <limits>

namespace ravir::map {

QString statusText(PlayStatus status)
{
    switch (status) {
    case PlayStatus::Paused:
        return QStringLiteral("pause");
    case PlayStatus::Stopped:
        return QStringLiteral("stop");
    case PlayStatus::Playing:
        break;
    }
    return {};
}

QJsonArray gpsArray(const std::vector<GpsSample>& samples)
{
    QJsonArray out;
    qint64 sent = 0;
    for (const GpsSample& s : samples) {
        if (!IsUsableFix(s))
            continue;
        out.append(std::isfinite(s.latitude) ? s.latitude : 0.0);
        out.append(std::isfinite(s.longitude) ? s.longitude : 0.0);
        out.append(static_cast<qint64>(s.time));
        ++sent;
    }
    out.append(3 * sent);
    return out;
}

bool hasGpsFix(const std::vector<GpsSample>& samples)
{
    for (const GpsSample& s : samples) {
        if (IsUsableFix(s))
            return true;
    }
    return false;
}

QString scriptInt(qint64 value) { return QString::number(value); }

QString scriptDouble(double value)
{
    return QString::asprintf("%f", std::isfinite(value) ? value : 0.0);
}

QString updateMessage(double latitude, double longitude, PlayStatus status)
{
    // The status is one of three fixed words, so no escaping is needed.
    return QStringLiteral("{\"map_lat\":\"%1\",\"map_lng\":\"%2\",\"map_status\":\"%3\","
                          "\"val_command\":\"update\",\"val_end\":\"\"}")
        .arg(scriptDouble(latitude), scriptDouble(longitude), statusText(status));
}

QStringList reloadTrackScripts(int recordingIndex, bool wholeTrip)
{
    QStringList scripts{QStringLiteral("cplist.ClearCrashPos()"),
                        QStringLiteral("orbitgrplist.RemoveLineList()")};
    if (wholeTrip)
        scripts << QStringLiteral("orbitgrplist.CreateLine()");
    scripts << QStringLiteral("orbitgrplist.CreateGridLine(%1)").arg(scriptInt(recordingIndex));
    return scripts;
}

QString markName(int markerType)
{
    static constexpr TextId kNames[] = {TXT_SUDDEN_ACCEL,     TXT_SUDDEN_BRAKE,
                                        TXT_SUDDEN_STEER,     TXT_SUDDEN_DESCENT,
                                        TXT_SUDDEN_RISE,      TXT_MANUAL_RECORDING,
                                        TXT_EMERGENCY_REC_STOP, TXT_PARKING_MONITOR};
    if (markerType < 0 || markerType >= static_cast<int>(std::size(kNames)))
        return {};
    return ravir::text(kNames[markerType]);
}

std::optional<double> pageDouble(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const double d = value.toDouble();
        if (std::isfinite(d))
            return d;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<int> pageInt(const QVariant& value)
{
    const std::optional<double> d = pageDouble(value);
    if (!d || std::trunc(*d) != *d || *d < std::numeric_limits<int>::min() ||
        *d > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*d);
}

std::optional<int> clickedFrame(const QVariantList& values)
{
    if (values.size() != 8)
        return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        if (!pageInt(values[i]))
            return std::nullopt;
    }
    for (int i = 4; i < 8; ++i) {
        if (!pageDouble(values[i]))
            return std::nullopt;
    }
    const int ipos = *pageInt(values[2]);
    if (ipos < 0)
        return std::nullopt;
    return ipos;
}

}  // namespace ravir::map
