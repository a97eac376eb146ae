// `ravir report MOVIE --frame N --folder DIR`: adds the accident-report entry for frame N of a
// recording to the day's report workbook in DIR, as the viewer's report command does. The
// picture is the main camera's still at its own size with the sub camera's still as an inset
// at the lower left and, in the lower right corner where the viewer puts its map, the
// recording's track drawn with the position at that frame (or the no-position picture when
// the frame has no fix). Built into `ravir-decode` (decoding_commands.h).
#include "catalogue/output_guard.h"
#include "catalogue/recording_name.h"
#include "cli/command.h"
#include "cli/decoding_commands.h"
#include "cli/still_engine.h"
#include "cli/stop_signal.h"
#include "container/telemetry_timeline.h"
#include "exports/report_workbook.h"
#include "playback/player.h"
#include "playback/report_picture.h"
#include "playback/telemetry_slots.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

namespace ravir::cli {
namespace {

using ReportJson = QJsonObject;

// The stills, the track and the workbook step; nothing on failure or on a stop (`why` says
// what failed). Every picture is a verified capture of its frame (Player::CaptureFrame).
std::optional<ReportJson> MakeReport(const QString& movie, int frame, const QString& folder,
                                     const ReportNames& names, const std::atomic<bool>& stop,
                                     QString& why)
{
    const std::unique_ptr<Player> mainEngine = OpenStillEngine(movie, 0, &why);
    if (!mainEngine)
        return std::nullopt;
    Player& main = *mainEngine;
    if (QString beyond = FrameBeyondMovie(frame, main); !beyond.isEmpty()) {
        why = std::move(beyond);
        return std::nullopt;
    }
    if (stop)
        return std::nullopt;
    QString captureWhy;
    const QImage mainStill = main.SeekAndCaptureFrame(frame, &captureWhy);
    if (mainStill.isNull()) {
        why = QString("%1: %2; no report was written").arg(movie, captureWhy);
        return std::nullopt;
    }

    // The sub camera at its own frame for the same moment; left out unless that frame itself
    // was captured.
    QImage subStill;
    QDir card = QFileInfo(movie).absoluteDir();
    if (card.cdUp())
        DetectLayout(card.absolutePath());
    const QString subMovie = PairedPathOf(movie);
    if (!stop && !subMovie.isEmpty() && subMovie != movie && QFileInfo(subMovie).isFile()) {
        QString subWhy;
        if (const std::unique_ptr<Player> sub = OpenStillEngine(subMovie, 1, &subWhy, &main)) {
            const double ratio = sub->GetFrameMs() > 0 ? main.GetFrameMs() / sub->GetFrameMs() : 1;
            const int subFrame = int(std::min<long long>(std::lround(frame * ratio),
                                                         sub->GetFrameCount() - 1));
            subStill = sub->SeekAndCaptureFrame(std::max(0, subFrame));
        }
    }
    if (stop)
        return std::nullopt;

    // The track and the position at the frame.
    TelemetryReader reader;
    const GpsSample* fix = nullptr;
    const QString telemetry = TelemetryFileForMovie(movie);
    if (QFileInfo(telemetry).isFile() && LoadTelemetryFile(reader, telemetry) &&
        BuildFrameIndex(reader, main.frameFacts())) {
        if (const AccelSample* sample = reader.sampleAtFrame(frame))
            if (const GpsSample* gps = reader.gpsOf(*sample); gps && IsUsableFix(*gps))
                fix = gps;
    }
    // The day of the name, or of the telemetry's clock when the name's is no calendar date.
    const QString day = ReportDayFor(names, reader.gps);
    if (day.isEmpty()) {
        why = QString("%1: the date in the recording's name (%2) is not a date of the calendar "
                      "and the recording's telemetry holds no date; no report was written")
                  .arg(movie, names.day);
        return std::nullopt;
    }
    // A day from the telemetry names another workbook: the same refusals hold for it.
    if (day != names.day) {
        const QString refusal = OutputRefusal(
            QDir(folder).filePath(QStringLiteral("report_%1.xlsx").arg(day)),
            RecordingFilesOf(movie));
        if (!refusal.isEmpty()) {
            why = refusal;
            return std::nullopt;
        }
    }
    const QImage scene = ComposeCameraStills(mainStill, subStill);
    const QSize mapSize(std::max(2, scene.width() * 3 / 10), std::max(2, scene.height() * 3 / 10));
    QImage map = fix ? DrawReportTrack(reader.gps, *fix, mapSize) : QImage();
    if (map.isNull())
        map = ReportMapPlaceholder(mapSize);
    const QByteArray jpeg = ReportJpeg(ComposeReportPicture(scene, map, 1.0));
    if (jpeg.isEmpty()) {
        why = "the report picture could not be encoded";
        return std::nullopt;
    }
    if (stop)
        return std::nullopt;

    const ReportResult result = AddReportSheet(folder, day, names.sheet, jpeg, &stop);
    if (!result.ok()) {
        why = result.message;
        return std::nullopt;
    }
    QJsonObject out;
    out["report"] = QFileInfo(result.reportPath).absoluteFilePath();
    out["sheet"] = result.sheetName;
    out["created"] = result.created;
    out["frame"] = frame;
    out["sub_camera"] = !subStill.isNull();
    out["gps_fix"] = fix != nullptr;
    return out;
}

int runReport(const QStringList& args)
{
    int exitCode = 0;
    const std::optional<FrameArgs> request = parseFrameArgs("report", args, "--folder", exitCode);
    if (!request)
        return exitCode;
    const QString& movie = request->movie;
    const int frame = request->frame;
    const QString& folder = request->target;
    if (!QFileInfo(folder).isDir())
        return failure(QFileInfo::exists(folder) ? QString("%1: not a folder").arg(folder)
                                                 : QString("%1: no such folder").arg(folder));
    const auto names = ReportNamesFromRecording(QFileInfo(movie).fileName());
    if (!names)
        return failure(QString("%1: not a recording name (the day and the start time are read "
                               "from it)").arg(movie));
    if (const QString refusal = OutputRefusal(
            QDir(folder).filePath(QStringLiteral("report_%1.xlsx").arg(names->day)),
            RecordingFilesOf(movie));
        !refusal.isEmpty())
        return failure(refusal);

    // SIGINT, SIGTERM and SIGHUP from here on: the report stops at its next step, nothing is
    // written (the workbook's temporary file goes; the stills never touch the disk) and the
    // command ends with 128 + the signal.
    std::atomic<bool> stop{false};
    std::optional<ReportJson> done;
    QString why;
    {
        const StopSignals stopSignals(&stop);
        done = MakeReport(movie, frame, folder, *names, stop, why);
        if (done) {
            // Saved: a signal from here on changes nothing, the report is whole.
            printJson(*done);
            return 0;
        }
    }
    if (StopSignals::signalNumber() != 0) {
        std::fprintf(stderr, "ravir: report stopped by a signal; nothing was written\n");
        return StopSignals::exitCode();
    }
    return failure(why);
}

const CommandRegistration registration(DecodingCommand("report", runReport));

}  // namespace
}  // namespace ravir::cli
