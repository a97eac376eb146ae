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
    // Saved only when the engine shows exactly frame N, decoded (Player::CaptureFrame).
    QString why;
    const QImage still = player.SeekAndCaptureFrame(frame, &why);
    if (still.isNull())
        return failure(QString("%1: %2; nothing was saved").arg(movie, why));
    if (!SaveStill(still, out, &why))
        return failure(QString("%1: %2; an existing file is unchanged").arg(out, why));
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
    "The still is saved only when the picture decoded is frame N itself: the engine's own\n"
    "position after the seek is read back and must be frame N, and the frame must have been\n"
    "decoded (a movie whose data ends before frame N, or a frame that fails to decode, is\n"
    "refused; the engine's previous picture is never saved in its place).\n"
    "Fails (exit code 1) and saves nothing when the movie cannot be opened, is too short to\n"
    "play (2 seconds or less, unless at 15 frames per second), when N is not below the frame\n"
    "count, when frame N cannot be shown or decoded (the message says which), or when the file\n"
    "cannot be written (the message gives the system's reason). N is plain digits, given once.",
    runStill,
});

}  // namespace
}  // namespace ravir::cli
#endif  // RAVIR_WITH_PLAYBACK
