// `ravir telemetry MOVIE`: the decoded telemetry of a recording as JSON, GPX or CSV.
#include "catalogue/recording_name.h"
#include "cli/command.h"
#include "container/telemetry.h"
#include "container/telemetry_timeline.h"
#include "exports/telemetry_formats.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace ravir::cli {
namespace {

QString CharText(char c)
{
    const auto byte = static_cast<uint8_t>(c);
    return byte == 0 ? QString() : QString(QChar(static_cast<ushort>(byte)));
}

// A value decoded in single precision, printed without the digits that precision never had.
double Short(double v)
{
    return QString::number(v, 'g', 7).toDouble();
}

QJsonObject HeaderJson(const TelemetryHeader& h)
{
    QJsonObject o;
    o["thresholds"] = QJsonArray{Short(h.thresholdX), Short(h.thresholdY), Short(h.thresholdZ)};
    o["fourth"] = Short(h.fourth);
    o["kind"] = CharText(h.kind);
    o["firmware"] = h.firmwareText();
    o["firmware_version"] = h.firmwareVersion();
    o["byte23"] = static_cast<uint8_t>(h.byte23);
    o["byte24"] = static_cast<uint8_t>(h.byte24);
    o["rate"] = CharText(h.rate);
    o["mark"] = h.mark;
    o["trigger"] = h.trigger;
    return o;
}

QJsonObject Json(const TelemetryReader& r, const QString& telemetryPath, bool withFrames)
{
    QJsonObject out;
    out["telemetry_path"] = telemetryPath;
    out["header"] = HeaderJson(r.header);
    out["recorder_number"] = ReadRecorderNumber(telemetryPath);
    out["sample_count"] = r.sampleCount;
    out["interval_ms"] = Short(r.intervalMs);
    QJsonArray gps;
    for (const GpsSample& g : r.gps) {
        QJsonObject o;
        o["index"] = g.index;
        o["time"] = g.time;
        o["valid"] = g.valid == 1;
        o["fix"] = IsUsableFix(g);
        o["lat"] = g.latitude;
        o["lon"] = g.longitude;
        o["speed"] = g.speed;
        o["local_time"] = IsoLocalTime(g);
        if (withFrames)
            o["accel_link"] = g.accelLink;
        gps.append(o);
    }
    out["gps"] = gps;
    QJsonArray accel;
    for (const AccelSample& a : r.accel) {
        QJsonObject o;
        o["index"] = a.index;
        o["time"] = a.time;
        o["marker"] = a.markerCode;
        o["axis"] = a.axisCode;
        o["byte122"] = a.byte122;
        o["following"] = a.followingNumber;
        o["x"] = Short(a.x);
        o["y"] = Short(a.y);
        o["z"] = Short(a.z);
        o["nibble_high"] = a.nibbleHigh;
        o["nibble_low"] = a.nibbleLow;
        if (withFrames)
            o["gps_link"] = a.gpsLink;
        accel.append(o);
    }
    out["accel"] = accel;
    if (withFrames) {
        QJsonArray index;
        for (int32_t i : r.frameIndex)
            index.append(i);
        out["frame_index"] = index;
        out["max_abs"] = Short(r.maxAbsAccel);
        out["range"] = GraphRangeCode(r.maxAbsAccel);
    }
    return out;
}

QString TelemetryFileOf(const QString& path)
{
    if (path.endsWith(QLatin1String(".ADA"), Qt::CaseInsensitive))
        return path;
    // The movie folder's card decides the layout (and so the data folder's name).
    QDir card = QFileInfo(path).absoluteDir();
    if (card.cdUp())
        DetectLayout(card.absolutePath());
    return TelemetryPathOf(path);
}

void Write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int RunTelemetry(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--format", "--frames", "--frame-ms"});
    if (!parsed.error.isEmpty())
        return usageError("telemetry", parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("telemetry", "expects one movie (or telemetry) file");
    const QString format = parsed.value("--format", "json");
    if (format != "json" && format != "gpx" && format != "csv")
        return usageError("telemetry", "--format is json, gpx or csv");
    const bool withFrames = parsed.has("--frames") || parsed.has("--frame-ms");
    int frames = 0;
    double frameMs = 0.0;
    if (withFrames) {
        const std::optional<int> count = parseCount(parsed.value("--frames"));
        const bool okFrames = count.has_value();
        frames = count.value_or(0);
        bool okMs = false;
        frameMs = parsed.value("--frame-ms").toDouble(&okMs);
        if (!okFrames || !okMs || frames <= 0 || !(frameMs > 0.0) || !std::isfinite(frameMs))
            return usageError("telemetry",
                              "--frames N and --frame-ms F go together (N > 0, F > 0)");
    }

    const QString movie = parsed.positional.front();
    const QString telemetryPath = TelemetryFileOf(movie);
    if (!QFileInfo(telemetryPath).isFile())
        return failure(QString("%1: no telemetry file (%2)").arg(movie, telemetryPath));
    if (!HasTelemetryMagic(telemetryPath))
        return failure(QString("%1: not a telemetry file (no QVXDAT at its start)")
                           .arg(telemetryPath));
    TelemetryReader reader;
    if (!LoadTelemetryFile(reader, telemetryPath))
        return failure(QString("%1: the telemetry could not be read").arg(telemetryPath));
    if (withFrames && !BuildFrameIndex(reader, PlainFrameFacts(frames, frameMs)))
        return failure(QString("%1: no frame index for %2 frames").arg(telemetryPath).arg(frames));

    if (format == "gpx") {
        Write(TelemetryGpx(reader, QFileInfo(movie).completeBaseName()));
    } else if (format == "csv") {
        Write(TelemetryCsv(reader));
    } else {
        QJsonObject out = Json(reader, telemetryPath, withFrames);
        out["path"] = movie;
        printJson(out);
    }
    return 0;
}

const CommandRegistration registration({
    "telemetry",
    "MOVIE [--format json|gpx|csv] [--frames N --frame-ms F]",
    "the decoded telemetry of a recording (header, GPS and acceleration samples)",
    "MOVIE is a movie of a card (its telemetry file is found by the naming rule: data folder,\n"
    "camera letter D, \".ADA\") or a telemetry file itself.\n"
    "--format json (default) prints one JSON object:\n"
    "  path, telemetry_path, sample_count, interval_ms (100 or 66.67 for time-lapse names),\n"
    "  header: thresholds [x, y, z] (G; -1 when the kind letter is not M or D), fourth, kind,\n"
    "          firmware (six digits), firmware_version (\"1.2.3\"), byte23, byte24,\n"
    "          rate (\"T\" time-lapse, \"N\"), mark (byte before the end magic; 1: clock reset),\n"
    "          trigger (the catalogue's trigger code, equal to mark)\n"
    "  recorder_number: six digits after the end magic, or \"\"\n"
    "  gps: [{index, time (ms, or frame with --frames), valid (true for status 'A'),\n"
    "         lat, lon (signed degrees; 720 when not written), speed (km/h; 32767 when not\n"
    "         written), local_time (ISO 8601 with the zone offset), fix (true when the sample\n"
    "         is a usable position: status 'A', both coordinates written, within the globe,\n"
    "         not 0, 0; only these are drawn, exported and reported)}]\n"
    "  accel: [{index, time, marker (6, 5, 7 or -1), axis (1 X, 2 Y, 3 Z, 0), byte122,\n"
    "           following (the three-digit number of the next record; -1 blank, 0 last),\n"
    "           x, y, z (G), nibble_high, nibble_low (the halves of byte 123)}]\n"
    "--frames N --frame-ms F (a movie of N frames of F ms) converts the times to frame numbers\n"
    "  and adds frame_index (the accel index shown at each frame, -1 none), max_abs (largest\n"
    "  absolute acceleration, G), range (the graph range code 0..3), accel_link in gps and\n"
    "  gps_link in accel.\n"
    "--format gpx prints GPX 1.1: one track, one segment per run of usable fixes, UTC times,\n"
    "  speed (m/s) in the Garmin TrackPointExtension.\n"
    "--format csv prints a header line and one line per record (the JSON gps and accel fields,\n"
    "  the fix column last: 1 for a usable position, 0 otherwise).",
    RunTelemetry,
});

}  // namespace
}  // namespace ravir::cli
