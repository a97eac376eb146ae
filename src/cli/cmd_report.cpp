// `ravir report MOVIE --frame N --folder DIR`: adds the accident-report entry for frame N of a
// recording to the day's report workbook in DIR, as the viewer's report command does. The
// picture is the main camera's still at its own size with the sub camera's still as an inset
// at the lower left and, in the lower right corner where the viewer puts its map, the
// recording's track drawn with the position at that frame (or the no-position picture when
// the frame has no fix).
#ifdef RAVIR_WITH_PLAYBACK
#include "catalogue/output_guard.h"
#include "catalogue/recording_name.h"
#include "cli/command.h"
#include "container/telemetry_timeline.h"
#include "exports/report_workbook.h"
#include "playback/player.h"
#include "playback/report_picture.h"
#include "playback/telemetry_slots.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

namespace ravir::cli {
namespace {

// Shows frame `frame` of the ready movie and takes its still; a null image on failure.
QImage StillOf(Player& player, const QString& movie, int frame, const PlayerOptions& options,
               const QString& scratch, QString& why)
{
    player.SeekFrame(frame);
    if (!player.WaitSeekDone(options.seekWaitMs) || player.GetCurrentFrame() != frame) {
        why = QString("could not seek to frame %1 of %2").arg(frame).arg(movie);
        return {};
    }
    const QString file = QDir(scratch).filePath(QString("still-%1.jpg").arg(player.slot()));
    QImage image;
    if (!player.SaveCurrentFrame(file) || !image.load(file))
        why = QString("%1: the still could not be taken").arg(movie);
    QFile::remove(file);
    return image;
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
        return failure(QString("%1: no such folder").arg(folder));
    const auto names = ReportNamesFromRecording(QFileInfo(movie).fileName());
    if (!names)
        return failure(QString("%1: not a recording name (the day and the start time are read "
                               "from it)").arg(movie));
    if (const QString refusal = OutputRefusal(
            QDir(folder).filePath(QStringLiteral("report_%1.xlsx").arg(names->day)),
            RecordingFilesOf(movie));
        !refusal.isEmpty())
        return failure(refusal);

    QTemporaryDir scratch;  // the stills pass through here and go with it
    if (!scratch.isValid())
        return failure("no temporary folder");
    PlayerOptions options;
    options.audioOutput = "null";
    Player main;
    if (!main.InitPlayer(0, nullptr, QString(), options, &main))
        return failure("the playback engine could not be started");
    QString why;
    switch (main.OpenMovie(movie)) {
    case kOpened:
        if (main.WaitForReady(options.openWaitMs))
            break;
        return failure(QString("%1: cannot be opened").arg(movie));
    case kTooShort:
        return failure(QString("%1: too short to play").arg(movie));
    default:
        return failure(QString("%1: cannot be opened").arg(movie));
    }
    if (frame >= main.GetFrameCount())
        return failure(QString("frame %1 is beyond the movie (%2 frames)")
                           .arg(frame).arg(main.GetFrameCount()));
    const QImage mainStill = StillOf(main, movie, frame, options, scratch.path(), why);
    if (mainStill.isNull())
        return failure(why);

    // The sub camera at its own frame for the same moment.
    QImage subStill;
    QDir card = QFileInfo(movie).absoluteDir();
    if (card.cdUp())
        DetectLayout(card.absolutePath());
    const QString subMovie = PairedPathOf(movie);
    if (!subMovie.isEmpty() && subMovie != movie && QFileInfo(subMovie).isFile()) {
        Player sub;
        if (sub.InitPlayer(1, nullptr, QString(), options, &main) &&
            sub.OpenMovie(subMovie) == kOpened && sub.WaitForReady(options.openWaitMs)) {
            const double ratio = sub.GetFrameMs() > 0 ? main.GetFrameMs() / sub.GetFrameMs() : 1;
            const int subFrame = int(std::min<long long>(std::lround(frame * ratio),
                                                         sub.GetFrameCount() - 1));
            QString subWhy;
            subStill = StillOf(sub, subMovie, std::max(0, subFrame), options, scratch.path(),
                               subWhy);
        }
    }

    // The track and the position at the frame.
    TelemetryReader reader;
    const GpsSample* fix = nullptr;
    const QString telemetry = TelemetryFileForMovie(movie);
    if (QFileInfo(telemetry).isFile() && LoadTelemetryFile(reader, telemetry) &&
        BuildFrameIndex(reader, main)) {
        if (const AccelSample* sample = reader.sampleAtFrame(frame))
            if (const GpsSample* gps = reader.gpsOf(*sample); gps && gps->valid)
                fix = gps;
    }
    const QImage scene = ComposeCameraStills(mainStill, subStill);
    const QSize mapSize(std::max(2, scene.width() * 3 / 10), std::max(2, scene.height() * 3 / 10));
    QImage map = fix ? DrawReportTrack(reader.gps, *fix, mapSize) : QImage();
    if (map.isNull())
        map = ReportMapPlaceholder(mapSize);
    const QByteArray jpeg = ReportJpeg(ComposeReportPicture(scene, map, 1.0));
    if (jpeg.isEmpty())
        return failure("the report picture could not be encoded");

    const ReportResult result = AddReportSheet(folder, names->day, names->sheet, jpeg);
    if (!result.ok())
        return failure(result.message);
    QJsonObject out;
    out["report"] = QFileInfo(result.reportPath).absoluteFilePath();
    out["sheet"] = result.sheetName;
    out["created"] = result.created;
    out["frame"] = frame;
    out["sub_camera"] = !subStill.isNull();
    out["gps_fix"] = fix != nullptr;
    printJson(out);
    return 0;
}

const CommandRegistration registration({
    "report",
    "MOVIE --frame N --folder DIR",
    "adds the accident-report sheet for frame N of a recording to DIR/report_20YYMMDD.xlsx",
    "The day and the sheet name come from the recording's name (A___-YYMMDD-HHMMSS-...): the\n"
    "first report of a day creates DIR/report_20YYMMDD.xlsx from the built-in form with one\n"
    "sheet named HHMMSS; each further report adds a sheet in front that carries what was typed\n"
    "into the previous first sheet, with the new picture over the box BA18:CG32 (a name that\n"
    "exists already gets \" (2)\", \" (3)\", ...). The picture: the main camera's frame N at\n"
    "its own size, the sub camera's frame of the same moment as an inset at the lower left,\n"
    "and at the lower right the recording's track with the position at frame N (a no-position\n"
    "picture when that frame has no GPS fix). The workbook is written under a temporary name\n"
    "and renamed, so a failure leaves an existing report as it was; a report file that is not a\n"
    "workbook this program can read is left untouched and the command fails.\n"
    "Prints {\"report\", \"sheet\", \"created\", \"frame\", \"sub_camera\", \"gps_fix\"}.\n"
    "Fails (exit code 1) when the movie cannot be opened or N is not below its frame count,\n"
    "when DIR is not a folder, or when the workbook cannot be read or written.",
    runReport,
});

}  // namespace
}  // namespace ravir::cli
#endif  // RAVIR_WITH_PLAYBACK
