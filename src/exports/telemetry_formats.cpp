// The telemetry of a recording as GPX and CSV files.
#include "exports/telemetry_formats.h"

#include <QStringList>
#include <QXmlStreamWriter>
#include <algorithm>
#include <ctime>

namespace ravir {

// ISO 8601 local time with the zone offset of that instant, e.g. 2025-03-14T09:30:05+09:00.
QString IsoLocalTime(const GpsSample& g)
{
    const TelemetryTime& t = g.localTime;
    QString text = QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                                     t.hour, t.minute, t.second);
    const time_t secs = static_cast<time_t>(g.utcSeconds);
    struct tm local {};
    if (localtime_r(&secs, &local) != nullptr) {
        const long offset = local.tm_gmtoff;
        const long a = offset < 0 ? -offset : offset;
        text += offset == 0 ? QString("Z")
                            : QString::asprintf("%c%02ld:%02ld", offset < 0 ? '-' : '+', a / 3600,
                                                (a % 3600) / 60);
    }
    return text;
}

QString IsoUtcTime(int64_t utcSeconds)
{
    const time_t secs = static_cast<time_t>(utcSeconds);
    struct tm utc {};
    if (gmtime_r(&secs, &utc) == nullptr)
        return {};
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                             utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

// GPX 1.1: one track, one segment per run of valid fixes; speed in m/s in the Garmin
// TrackPointExtension, which GPS tools read.
QByteArray TelemetryGpx(const TelemetryReader& r, const QString& name)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("gpx");
    xml.writeDefaultNamespace("http://www.topografix.com/GPX/1/1");
    xml.writeNamespace("http://www.w3.org/2001/XMLSchema-instance", "xsi");
    xml.writeNamespace("http://www.garmin.com/xmlschemas/TrackPointExtension/v2", "gpxtpx");
    xml.writeAttribute("version", "1.1");
    xml.writeAttribute("creator", "ravir " RAVIR_VERSION);
    xml.writeAttribute("http://www.w3.org/2001/XMLSchema-instance", "schemaLocation",
                       "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd "
                       "http://www.garmin.com/xmlschemas/TrackPointExtension/v2 "
                       "http://www8.garmin.com/xmlschemas/TrackPointExtensionv2.xsd");
    const QString ext = "http://www.garmin.com/xmlschemas/TrackPointExtension/v2";
    xml.writeStartElement("trk");
    xml.writeTextElement("name", name);
    bool open = false;
    for (const GpsSample& g : r.gps) {
        if (!IsUsableFix(g)) {
            if (open)
                xml.writeEndElement();  // trkseg
            open = false;
            continue;
        }
        if (!open)
            xml.writeStartElement("trkseg");
        open = true;
        xml.writeStartElement("trkpt");
        xml.writeAttribute("lat", QString::number(g.latitude, 'f', 7));
        xml.writeAttribute("lon", QString::number(g.longitude, 'f', 7));
        xml.writeTextElement("time", IsoUtcTime(g.utcSeconds));
        if (g.speed >= 0.0 && g.speed != kNoSpeed) {
            xml.writeStartElement("extensions");
            xml.writeStartElement(ext, "TrackPointExtension");
            xml.writeTextElement(ext, "speed", QString::number(g.speed / 3.6, 'f', 3));
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeEndElement();  // trkpt
    }
    if (open)
        xml.writeEndElement();
    xml.writeEndElement();  // trk
    xml.writeEndElement();  // gpx
    xml.writeEndDocument();
    return bytes;
}

QByteArray TelemetryCsv(const TelemetryReader& r)
{
    QByteArray out = "index,time,valid,lat,lon,speed,local_time,marker,axis,byte122,following,"
                     "x,y,z,nibble_high,nibble_low,fix\n";
    const size_t n = std::max(r.gps.size(), r.accel.size());
    for (size_t i = 0; i < n; ++i) {
        QStringList cells;
        if (i < r.gps.size()) {
            const GpsSample& g = r.gps[i];
            cells << QString::number(g.index) << QString::number(g.time)
                  << QString::number(g.valid) << QString::number(g.latitude, 'f', 7)
                  << QString::number(g.longitude, 'f', 7) << QString::number(g.speed)
                  << IsoLocalTime(g);
        } else {
            cells << QString::number(i) << QString() << QString() << QString() << QString()
                  << QString() << QString();
        }
        if (i < r.accel.size()) {
            const AccelSample& a = r.accel[i];
            cells << QString::number(a.markerCode) << QString::number(a.axisCode)
                  << QString::number(a.byte122) << QString::number(a.followingNumber)
                  << QString::number(a.x) << QString::number(a.y) << QString::number(a.z)
                  << QString::number(a.nibbleHigh) << QString::number(a.nibbleLow);
        } else {
            for (int k = 0; k < 9; ++k)
                cells << QString();
        }
        cells << (i < r.gps.size() ? QString::number(IsUsableFix(r.gps[i]) ? 1 : 0) : QString());
        out += cells.join(',').toUtf8();
        out += '\n';
    }
    return out;
}

}  // namespace ravir
