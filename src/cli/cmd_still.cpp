// `ravir still MOVIE --frame N --out FILE.jpg`: opens the movie in the playback engine without a
// display, seeks exactly to frame N and saves that frame as the viewer's still-image command
// does (JPEG, native resolution, quality 92, no overlay; PNG for FILE.png). Built into
// `ravir-decode` (decoding_commands.h).
#include "catalogue/output_guard.h"
#include "cli/command.h"
#include "cli/decoding_commands.h"
#include "cli/still_engine.h"

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

    QString why;
    const std::unique_ptr<Player> player = OpenStillEngine(movie, 1, &why);
    if (!player)
        return failure(why);
    if (const QString beyond = FrameBeyondMovie(frame, *player); !beyond.isEmpty())
        return failure(beyond);
    // Saved only when the engine shows exactly frame N, decoded (Player::CaptureFrame).
    const QImage still = player->SeekAndCaptureFrame(frame, &why);
    if (still.isNull())
        return failure(QString("%1: %2; nothing was saved").arg(movie, why));
    if (!SaveStill(still, out, &why))
        return failure(QString("%1: %2; an existing file is unchanged").arg(out, why));
    return 0;
}

const CommandRegistration registration(DecodingCommand("still", runStill));

}  // namespace
}  // namespace ravir::cli
