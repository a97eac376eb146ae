// `ravir join OUT MOVIE...`: the joined save of the viewer, without a window.
#include "cli/command.h"
#include "container/movie_join.h"
#include "shell/ui_text.h"

#include <QFileInfo>
#include <atomic>
#include <csignal>

namespace ravir::cli {
namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

int runJoin(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {}, {"--force", "--no-sync"});
    if (!parsed.error.isEmpty())
        return usageError("join", parsed.error);
    if (parsed.positional.size() < 2)
        return usageError("join", "expects the output file and at least one movie");
    JoinRequest request;
    request.outputPath = QFileInfo(parsed.positional.front()).absoluteFilePath();
    for (qsizetype i = 1; i < parsed.positional.size(); ++i) {
        const QFileInfo movie(parsed.positional[i]);
        if (!movie.isFile())
            return failure(QString("%1: no such file").arg(parsed.positional[i]));
        if (movie.absoluteFilePath() == request.outputPath)
            return failure("the output must not be one of the movies");
        request.movies << movie.absoluteFilePath();
    }
    if (QFileInfo::exists(request.outputPath) && !parsed.has("--force"))
        return failure(QString("%1 exists (use --force to replace it)").arg(request.outputPath));
    if (!QFileInfo(QFileInfo(request.outputPath).absolutePath()).isDir())
        return failure(QString("%1: no such folder").arg(QFileInfo(request.outputPath).absolutePath()));
    request.syncToDisk = !parsed.has("--no-sync");

    // Ctrl-C or a termination request stops the join cleanly (nothing is left behind).
    g_stop = false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    request.stop = &g_stop;
    const JoinResult result = SaveJoinedMovie(request);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!result.ok) {
        if (result.error == JoinError::Stopped)
            return failure("stopped; nothing was written");
        return failure(QString("%1 (%2: %3)").arg(text(TXT_MSG_JOIN_FAILED), JoinErrorText(result.error),
                                                 result.detail));
    }
    return 0;
}

const CommandRegistration registration({
    "join",
    "OUT MOVIE... [--force] [--no-sync]",
    "joins recordings into one movie file and one telemetry file",
    "Writes OUT, a movie that plays the given recordings one after the other, and, when every\n"
    "recording has a telemetry file, the joined telemetry file of OUT (its data folder when OUT\n"
    "lies in a card's movie folder, camera letter D, extension .ADA). The recordings must have\n"
    "the same tracks, codecs, picture sizes and timescales. Nothing is printed on success.\n"
    "Both files are written under temporary names and renamed at the end: a failure or Ctrl-C\n"
    "leaves nothing under the final names.\n"
    "  --force    replace OUT when it exists\n"
    "  --no-sync  do not flush the output to the disk before renaming it",
    runJoin,
});

}  // namespace
}  // namespace ravir::cli
