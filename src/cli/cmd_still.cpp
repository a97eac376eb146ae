// `ravir still MOVIE --frame N --out FILE.jpg`: opens the movie in the playback engine without a
// display, seeks exactly to frame N and saves that frame as the viewer's still-image command
// does (JPEG, native resolution, quality 92, no overlay; PNG for FILE.png).
#ifdef RAVIR_WITH_PLAYBACK
#include "catalogue/output_guard.h"
#include "cli/command.h"
#include "playback/player.h"

#include <QFileInfo>

namespace ravir::cli {
namespace {

int runStill(const QStringList& args)
{
    int exitCode = 0;
    const std::optional<FrameArgs> request = parseFrameArgs("still", args, "--out", exitCode);
    if (!request)
        return exitCode;
    const QString& movie = request->movie;
    const int frame = request->frame;
    const QString& out = request->target;
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != "jpg" && suffix != "jpeg" && suffix != "png")
        return usageError("still", QString("%1: the still is a JPEG (.jpg, .jpeg) or a PNG "
                                           "(.png); name it so").arg(out));
    // The still never takes the place of the recording it is taken from, of a device or of a
    // recorder's file on a card.
    if (const QString refusal = OutputRefusal(out, RecordingFilesOf(movie)); !refusal.isEmpty())
        return failure(refusal);

    Player player;
    PlayerOptions options;
    options.audioOutput = "null";
    if (!player.InitPlayer(1, nullptr, QString(), options, &player))
        return failure("the playback engine could not be started");
    switch (player.OpenMovie(movie)) {
    case kOpened:
        if (player.WaitForReady(options.openWaitMs))
            break;
        return failure(QString("%1: cannot be opened").arg(movie));
    case kTooShort:
        return failure(QString("%1: too short to play").arg(movie));
    default:
        return failure(QString("%1: cannot be opened").arg(movie));
    }
    const long long frames = player.GetFrameCount();
    if (frame >= frames)
        return failure(QString("frame %1 is beyond the movie (%2 frames)").arg(frame).arg(frames));
    player.SeekFrame(frame);
    if (!player.WaitSeekDone(options.seekWaitMs) || player.GetCurrentFrame() != frame)
        return failure(QString("could not seek to frame %1").arg(frame));
    if (!player.SaveCurrentFrame(out))
        return failure(QString("%1: the still could not be saved (the folder is missing, "
                               "read-only or full); an existing file is unchanged")
                           .arg(out));
    return 0;
}

const CommandRegistration registration({
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
    "Fails (exit code 1) when the movie cannot be opened, is too short to play (2 seconds or\n"
    "less, unless at 15 frames per second), when N is not below the frame count, or when the\n"
    "file cannot be written. N is plain digits, given once.",
    runStill,
});

}  // namespace
}  // namespace ravir::cli
#endif  // RAVIR_WITH_PLAYBACK
