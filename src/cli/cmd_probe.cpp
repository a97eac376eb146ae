// `ravir probe MOVIE`: the container facts of one movie file.
#include "cli/command.h"
#include "container/mp4_box.h"

#include <QFileInfo>
#include <QJsonArray>

namespace ravir::cli {
namespace {

void addBoxes(const BoxNode& node, QJsonArray& out)
{
    for (const BoxNode& child : node.children) {
        QJsonObject box;
        box["type"] = child.typeWide();
        box["depth"] = child.depth;
        box["offset"] = static_cast<double>(child.offset - child.headerSize);
        box["size"] = static_cast<double>(child.originalSize + child.headerSize);
        out.append(box);
        addBoxes(child, out);
    }
}

int runProbe(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {});
    if (!parsed.error.isEmpty())
        return usageError("probe", parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("probe", "expects one movie file");
    const QString path = parsed.positional.front();
    const QFileInfo info(path);
    if (!info.exists())
        return failure(QString("%1: no such file").arg(path));
    if (!info.isFile())
        return failure(QString("%1: not a regular file").arg(path));

    QString error;
    auto movie = OpenMovieFile(path, {}, &error);
    if (!movie)
        return failure(QString("%1: %2").arg(path, error));
    QJsonObject out;
    out["is_mp4"] = IsMp4File(path);
    const auto picture = GetPictureSize(*movie);
    out["width"] = picture ? picture->width : 0;
    out["height"] = picture ? picture->height : 0;
    out["total_samples"] = static_cast<double>(GetTotalSamples(*movie).value_or(0));
    out["frame_rate"] = GetFrameRate(*movie).value_or(0.0);
    out["duration"] = GetMovieDurationMs(*movie).value_or(0.0);
    out["frame_ms"] = ProbeFrameDurationMs(path).value_or(0.0);
    QJsonArray boxes;
    addBoxes(movie->root, boxes);
    out["boxes"] = boxes;
    CloseMovieFile(movie);
    printJson(out);
    return 0;
}

const CommandRegistration registration({
    "probe",
    "MOVIE",
    "container facts of a movie: MP4 or not, picture size, samples, frame rate, durations, boxes",
    "Prints one JSON object:\n"
    "  is_mp4         true when the file holds at least 260 bytes and bytes 4..7 read \"ftyp\"\n"
    "  width, height  picture size from the first sample description (0 when there is none)\n"
    "  total_samples  samples of the first track's time-to-sample table\n"
    "  frame_rate     total_samples x movie timescale / first track duration (0 when unknown)\n"
    "  duration       movie duration in ms (mvhd)\n"
    "  frame_ms       mean frame duration in ms of the first track (direct probe)\n"
    "  boxes          every box in file order: type, depth (top level 1), offset and size of\n"
    "                 the whole box in bytes, header included\n"
    "A file whose box structure is damaged (a box shorter than its header, or running past its\n"
    "container or the file, whatever its type) is an error (exit code 1), as is a path that is\n"
    "not a regular file.",
    runProbe,
});

}  // namespace
}  // namespace ravir::cli
