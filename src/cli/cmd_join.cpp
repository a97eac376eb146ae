// `ravir join OUT MOVIE...`: the joined save of the viewer, without a window.
#include "catalogue/joined_save_paths.h"
#include "cli/command.h"
#include "cli/stop_signal.h"
#include "container/movie_join.h"
#include "shell/ui_text.h"

#include <QFileInfo>
#include <QTextStream>
#include <atomic>

namespace ravir::cli {
namespace {

QString failureText(const JoinResult& result)
{
    switch (result.error) {
    case JoinError::Stopped: return QStringLiteral("stopped; nothing was written");
    case JoinError::OutputExists:
        return QStringLiteral("%1 (use --force to replace it)").arg(result.detail);
    case JoinError::TelemetryExists:
        return QStringLiteral("%1: the joined telemetry file of OUT is never replaced; move it away or choose "
                              "another OUT").arg(result.detail);
    default:
        return QStringLiteral("%1 (%2: %3)").arg(text(TXT_MSG_JOIN_FAILED), JoinErrorText(result.error), result.detail);
    }
}

int runJoin(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {}, {"--force", "--no-sync"});
    if (!parsed.error.isEmpty())
        return usageError("join", parsed.error);
    if (parsed.positional.size() < 2)
        return usageError("join", "expects the output file and at least one movie");
    QStringList movies;
    for (qsizetype i = 1; i < parsed.positional.size(); ++i) {
        const QFileInfo movie(parsed.positional[i]);
        if (!movie.exists())
            return failure(QString("%1: no such file").arg(parsed.positional[i]));
        if (!movie.isFile())
            return failure(QString("%1: not a regular file").arg(parsed.positional[i]));
        movies << movie.absoluteFilePath();
    }
    const QString out = QFileInfo(parsed.positional.front()).absoluteFilePath();
    if (!QFileInfo(QFileInfo(out).absolutePath()).isDir())
        return failure(QString("%1: no such folder").arg(QFileInfo(out).absolutePath()));
    JoinRequest request = MakeJoinRequest(movies, out);
    request.replaceOutput = parsed.has("--force");
    request.syncToDisk = !parsed.has("--no-sync");

    // Ctrl-C, SIGTERM or SIGHUP stop the join at the next piece it copies; it removes what it
    // wrote and the command ends with 128 + the signal.
    std::atomic<bool> stop{false};
    JoinResult result;
    {
        const StopSignals stopSignals(&stop);
        request.stop = &stop;
        result = SaveJoinedMovie(request);
    }
    QTextStream err(stderr);
    for (const QString& note : result.notes)
        err << note << '\n';
    err.flush();
    if (result.ok)
        return 0;
    const int failed = failure(failureText(result));
    return StopSignals::signalNumber() != 0 ? StopSignals::exitCode() : failed;
}

const CommandRegistration registration({
    "join",
    "OUT MOVIE... [--force] [--no-sync]",
    "joins recordings into one movie file and one telemetry file",
    "Writes OUT, a movie that plays the given recordings one after the other, and, when every\n"
    "recording has a telemetry file, the joined telemetry file of OUT (camera letter D, extension\n"
    ".ADA; in the card's data folder when OUT lies in a card movie folder such as Normal, else\n"
    "beside OUT). The recordings must have the same tracks, codecs, picture sizes and timescales,\n"
    "and sample tables that fit their media data. Refused: OUT being one of the recordings or\n"
    "their telemetry files (by file, whatever the spelling), an existing OUT without --force, an\n"
    "existing telemetry file of OUT (never replaced), OUT named like its own telemetry file.\n"
    "Both files are written under temporary names and renamed at the end, the telemetry file\n"
    "first; a failure, a full disk, Ctrl-C or SIGTERM leaves every file as it was. Telemetry\n"
    "files left out are named on stderr; nothing else is printed on success.\n"
    "  --force    replace OUT when it exists\n"
    "  --no-sync  do not flush the output to the disk before renaming it",
    runJoin,
});

}  // namespace
}  // namespace ravir::cli
