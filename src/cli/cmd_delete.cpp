// `ravir delete MOVIE...`: deletes recordings as the viewer does: on a card by renaming movie
// and telemetry file to their deleted forms, elsewhere through the desktop's trash.
#include "catalogue/recording_delete.h"
#include "cli/command.h"
#include "cli/stop_signal.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <atomic>
#include <cstdio>

namespace ravir::cli {
namespace {

int runDelete(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--root"});
    if (!parsed.error.isEmpty())
        return usageError("delete", parsed.error);
    if (parsed.positional.isEmpty())
        return usageError("delete", "expects at least one movie");
    QString root;
    if (parsed.has("--root")) {
        const QFileInfo info(parsed.value("--root"));
        if (!info.isDir())
            return failure(QString("%1: no such folder").arg(parsed.value("--root")));
        root = QDir::cleanPath(info.absoluteFilePath());
    }
    QStringList movies;
    for (const QString& m : parsed.positional)
        movies << QDir::cleanPath(QFileInfo(m).absoluteFilePath());

    // Ctrl-C or SIGTERM ends the task between two recordings, never inside one.
    std::atomic<bool> stop{false};
    const StopSignals stopSignals(&stop);
    DeleteTaskOptions options;
    options.probeRoot = root;
    options.stop = &stop;
    const DeleteTaskResult result = RunDeleteTask(movies, options);

    // The task works from the last movie to the first; report in argument order.
    const int total = static_cast<int>(movies.size());
    QJsonArray results;
    for (int i = 0; i < total; ++i) {
        QJsonObject item;
        item["path"] = movies[i];
        const int tried = total - 1 - i;  // reports are in the order tried
        if (tried < static_cast<int>(result.reports.size())) {
            const DeleteReport& report = result.reports[static_cast<size_t>(tried)];
            const bool ok = i != result.failedIndex;
            item["result"] = ok ? "deleted" : "failed";
            item["method"] = DeleteMethodName(report.method);
            QJsonArray moved;
            for (const MovedFile& m : report.moved)
                moved.append(QJsonObject{{"from", m.from}, {"to", m.to}});
            item["moved"] = moved;
            if (!report.error.isEmpty())
                item["error"] = report.error;
        } else {
            item["result"] = "not_tried";
            item["method"] = DeleteMethodName(DeleteMethod::None);
            item["moved"] = QJsonArray();
        }
        results.append(item);
    }
    QJsonObject out;
    out["status"] = DeleteTaskStatusName(result.status);
    out["deleted"] = static_cast<int>(result.deleted.size());
    out["results"] = results;
    printJson(out);
    if (result.status == DeleteTaskStatus::Stopped) {
        std::fprintf(stderr, "ravir: stopped by a signal after %d of %d recordings\n",
                     static_cast<int>(result.deleted.size()), total);
        return StopSignals::exitCode();
    }
    if (result.status != DeleteTaskStatus::Completed) {
        const QString which = result.failedIndex >= 0 ? movies[result.failedIndex] : QString();
        const QString why = result.reports.empty() ? QString() : result.reports.back().error;
        return failure(QString("%1 %2: %3").arg(text(TXT_MSG_DELETE_FAILED), which, why));
    }
    return 0;
}

const CommandRegistration registration({
    "delete",
    "MOVIE... [--root ROOT]",
    "deletes recordings as the viewer does (card: rename to .DMY/.TDA and hide; else trash)",
    "Each MOVIE must be a recording: an existing regular file under a main movie name\n"
    "(A___-YYMMDD-HHMMSS-NNNNNNM.MOV, camera letter M), on a card in the movie folder of its\n"
    "kind. Anything else is refused with nothing changed: a folder (the card itself, \".\"), a\n"
    "missing file, a sub camera's movie (the error names the main movie), a symbolic link, a\n"
    "FIFO or device, or a name that only starts like a recording.\n"
    "The root of each movie's drive (the mount point holding it, or ROOT when given) is probed\n"
    "for the card folders (Normal or Video, or only Parking). On a card the main movie and its\n"
    "telemetry file are renamed to their deleted forms (.DMY, .TDA) and hidden; every check is\n"
    "made before the first rename and a failed rename is undone. Elsewhere the movie, the other\n"
    "camera's movie and the telemetry file go to the desktop's trash; if one cannot go, those\n"
    "already moved are put back.\n"
    "The movies are deleted from the last given to the first; the first failure stops the rest\n"
    "(exit code 1). Ctrl-C or SIGTERM stops between two recordings (exit code 128 + the\n"
    "signal), never inside one. Prints one JSON object:\n"
    "  status    completed, failed, stopped\n"
    "  deleted   number of recordings deleted\n"
    "  results   per movie, in argument order: path, result (deleted, failed, not_tried),\n"
    "            method (rename, trash, none), moved (from, to: each file moved and where it\n"
    "            went), error (why it failed)\n",
    runDelete,
});

}  // namespace
}  // namespace ravir::cli
