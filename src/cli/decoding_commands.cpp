#include "cli/decoding_commands.h"

namespace ravir::cli {
namespace {

struct CommandText {
    const char* name;
    const char* usage;
    const char* summary;
    const char* details;
};

// Plain constants, so that they are there when the commands register themselves, while the
// program's statics are made.
constexpr CommandText kDecodingCommands[] = {
    {
        "still",
        "MOVIE --frame N --out FILE.jpg",
        "saves frame N of a movie as a JPEG still, exactly that frame, at the movie's own size",
        "Writes FILE.jpg (quality 92, the movie's picture size, no overlay) and prints nothing;\n"
        "FILE.png gets a PNG, any other extension is refused.\n"
        "The still is encoded in memory and written under a temporary name beside FILE.jpg,\n"
        "flushed to the disk and renamed: FILE.jpg only ever holds a complete still, and on a\n"
        "failure (a full disk, a read-only folder) an existing FILE.jpg stays as it was.\n"
        "Refused, with nothing written: FILE being the movie itself, its other camera's movie or\n"
        "its telemetry file (by file, whatever path or link names it), an existing FILE that is\n"
        "not a regular file (a device such as /dev/null, a FIFO, a folder), and FILE in a card's\n"
        "movie or data folder under a name the recorder gives its own files.\n"
        "The still is saved only when the picture decoded is frame N itself: the engine's own\n"
        "position after the seek is read back and must be frame N, and the frame must have been\n"
        "decoded (a movie whose data ends before frame N, or a frame that fails to decode, is\n"
        "refused; the engine's previous picture is never saved in its place).\n"
        "Fails (exit code 1) and saves nothing when the movie cannot be opened, is too short to\n"
        "play (2 seconds or less, unless at 15 frames per second), when N is not below the frame\n"
        "count, when frame N cannot be shown or decoded (the message says which), or when the file\n"
        "cannot be written (the message gives the system's reason). N is plain digits, given once.",
    },
    {
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
        "Prints {\"report\", \"sheet\", \"created\", \"frame\", \"sub_camera\", \"gps_fix\"};\n"
        "gps_fix is true only for a usable position (status valid, both coordinates written and\n"
        "within the globe, not 0, 0), the same rule the picture, the map and the GPX export follow.\n"
        "The pictures are verified captures: the engine's own position after the seek must be\n"
        "frame N and the frame must have been decoded; a sub camera frame that fails this is left\n"
        "out (sub_camera false). When the name's day is not a date of the calendar (month 13, ...)\n"
        "the day comes from the telemetry's clock.\n"
        "Fails (exit code 1) and writes nothing when the movie cannot be opened, N is not below\n"
        "its frame count or frame N cannot be shown or decoded (a movie whose data ends early),\n"
        "when DIR does not exist or is not a folder, when neither the name nor the telemetry gives\n"
        "a date, when the existing report is not a workbook this program can read (a package\n"
        "whose parts inflate beyond 64 MiB each or 128 MiB in all included), or when the workbook\n"
        "cannot be written. Ctrl-C, SIGTERM or SIGHUP stop it with nothing written or left behind\n"
        "(exit code 128 + the signal).",
    },
    {
        "evidence",
        "MOVIE --from F --to F --out DIR [--frame N] [--progress]",
        "writes the evidence folder DIR: frames F..F of both cameras bit for bit, telemetry, stills, hashes",
        "Frames are the main camera's, 0-based, in the order players show them; --frame N is the\n"
        "frame whose stills and GPS fix are recorded as the one shown (default: --from).\n"
        "--progress writes \"progress DONE 1000\" lines on stderr as the work goes on.\n"
        "DIR (which must not exist; its parent must) receives:\n"
        "  the main camera's clip and, when the recording has one, the sub camera's clip of the\n"
        "    same moments, under the recordings' own names: the samples from the key frame at or\n"
        "    before F to the last frame are copied as they are (no re-encoding) and an edit list\n"
        "    makes players show exactly the frames of the span; the audio is cut the same way;\n"
        "  the recording's telemetry block cut to the span (the joined save's format) under the\n"
        "    telemetry file's name, with its GPX and CSV forms as `ravir telemetry` writes them;\n"
        "  stills (JPEG) of the first, the last and the shown frame of each camera;\n"
        "  evidence.json: sources (path, size, modified, sha256 of the whole file), span (frames,\n"
        "    seconds, local times from the telemetry), clips, telemetry, stills, recorder (number,\n"
        "    firmware, where the telemetry has them), gps_fix at the shown frame, program version;\n"
        "  SHA256SUMS for every other file, in the form `sha256sum -c SHA256SUMS` checks.\n"
        "The folder is written under a hidden temporary name beside DIR and renamed when\n"
        "complete: it appears whole or not at all. The sources are only read.\n"
        "Prints {\"folder\", \"files\", \"from_frame\", \"to_frame\", \"shown_frame\", \"from_seconds\",\n"
        "\"to_seconds\"} and, with a sub camera, \"sub_from_frame\" and \"sub_to_frame\".\n"
        "Fails (exit code 1) and leaves nothing behind when a movie cannot be opened or its\n"
        "tables are damaged, the span is not within the recording, DIR exists, a still cannot be\n"
        "drawn, or a write fails (a full disk, a pulled card). Ctrl-C, SIGTERM or SIGHUP stop it\n"
        "with nothing left behind (exit code 128 + the signal).",
    },
};

Command withText(const CommandText& text, std::function<int(const QStringList&)> run)
{
    return Command{QString::fromUtf8(text.name), QString::fromUtf8(text.usage),
                   QString::fromUtf8(text.summary), QString::fromUtf8(text.details), std::move(run)};
}

}  // namespace

QStringList DecodingCommandNames()
{
    QStringList names;
    for (const CommandText& c : kDecodingCommands)
        names << QString::fromUtf8(c.name);
    return names;
}

Command DecodingCommand(const QString& name, std::function<int(const QStringList&)> run)
{
    for (const CommandText& c : kDecodingCommands) {
        if (name == QLatin1StringView(c.name))
            return withText(c, std::move(run));
    }
    return Command{name, {}, {}, {}, std::move(run)};
}

}  // namespace ravir::cli
