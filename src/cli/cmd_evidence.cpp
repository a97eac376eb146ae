// `ravir evidence MOVIE --from F --to F --out DIR [--frame N] [--progress]`: the evidence folder
// of a span of the main camera's frames, as the viewer's evidence export writes it
// (exports/evidence_export.h).
// The stills need the playback engine: built into `ravir-decode` (decoding_commands.h).
#include "catalogue/output_guard.h"
#include "cli/command.h"
#include "cli/decoding_commands.h"
#include "cli/still_engine.h"
#include "cli/stop_signal.h"
#include "exports/evidence_export.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>

namespace ravir::cli {
namespace {

// One playback engine per movie (OpenStillEngine, as `ravir still` has), opened on its first
// still; a still that fails is taken once more by a fresh engine before the export gives up.
class StillTaker {
public:
    bool take(const QString& movie, int64_t frame, const QString& out, QString* why)
    {
        if (takeWith(players_[movie], movie, frame, out, why))
            return true;
        players_[movie].reset();
        return takeWith(players_[movie], movie, frame, out, why);
    }

private:
    bool takeWith(std::unique_ptr<Player>& slot, const QString& movie, int64_t frame, const QString& out,
                  QString* why)
    {
        if (!slot && !(slot = OpenStillEngine(movie, 1, why)))
            return false;
        if (QString beyond = FrameBeyondMovie(frame, *slot); !beyond.isEmpty()) {
            *why = std::move(beyond);
            return false;
        }
        const QImage still = slot->SeekAndCaptureFrame(static_cast<int>(frame), why);
        return !still.isNull() && SaveStill(still, out, why);
    }

    std::map<QString, std::unique_ptr<Player>> players_;
};

int runEvidence(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--from", "--to", "--out", "--frame"}, {"--progress"});
    if (!parsed.error.isEmpty())
        return usageError("evidence", parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("evidence", "expects one movie");
    const std::optional<int> from = parseCount(parsed.value("--from"));
    const std::optional<int> to = parseCount(parsed.value("--to"));
    if (!from || !to || parsed.value("--out").isEmpty())
        return usageError("evidence", "--from F --to F --out DIR are needed (F plain digits)");
    if (*to < *from)
        return usageError("evidence", "--to comes at or after --from");
    std::optional<int> shown = from;
    if (parsed.has("--frame")) {
        shown = parseCount(parsed.value("--frame"));
        if (!shown)
            return usageError("evidence", "--frame N: N is plain digits");
    }
    EvidenceRequest request;
    request.movie = parsed.positional.front();
    if (!QFileInfo(request.movie).isFile())
        return failure(QStringLiteral("%1: no such file").arg(request.movie));
    request.fromFrame = *from;
    request.toFrame = *to;
    request.shownFrame = *shown;
    request.outDir = parsed.value("--out");
    if (QFileInfo::exists(request.outDir) || QFileInfo(request.outDir).isSymLink())
        return failure(QStringLiteral("%1 exists; nothing was written").arg(request.outDir));
    if (const QString refusal = OutputRefusal(request.outDir, RecordingFilesOf(request.movie)); !refusal.isEmpty())
        return failure(refusal);
    FillEvidenceCompanions(request);
    StillTaker stills;
    request.still = [&](const QString& movie, int64_t frame, const QString& out, QString* why) {
        return stills.take(movie, frame, out, why);
    };
    if (parsed.has("--progress")) {
        // One line per step of a thousandth, for a caller that shows a bar (the viewer).
        request.progress = [last = int64_t{-1}](int64_t done, int64_t total) mutable {
            if (done == last)
                return;
            last = done;
            std::fprintf(stderr, "progress %lld %lld\n", static_cast<long long>(done),
                         static_cast<long long>(total));
            std::fflush(stderr);
        };
    }
    std::atomic<bool> stop{false};
    request.stop = &stop;
    EvidenceResult result;
    {
        const StopSignals stopSignals(&stop);
        result = WriteEvidence(request);
    }
    if (StopSignals::signalNumber() != 0 && !result.ok) {
        std::fprintf(stderr, "ravir: evidence stopped by a signal; nothing was written\n");
        return StopSignals::exitCode();
    }
    if (!result.ok)
        return failure(QStringLiteral("%1; nothing was written").arg(result.detail));
    QJsonObject out;
    out["folder"] = result.folder;
    out["files"] = QJsonArray::fromStringList(result.files);
    out["from_frame"] = static_cast<qint64>(request.fromFrame);
    out["to_frame"] = static_cast<qint64>(request.toFrame);
    out["shown_frame"] = static_cast<qint64>(request.shownFrame);
    out["from_seconds"] = result.fromSeconds;
    out["to_seconds"] = result.toSeconds;
    if (result.subFrom >= 0) {
        out["sub_from_frame"] = static_cast<qint64>(result.subFrom);
        out["sub_to_frame"] = static_cast<qint64>(result.subTo);
    }
    printJson(out);
    return 0;
}

const CommandRegistration registration(DecodingCommand("evidence", runEvidence));

}  // namespace
}  // namespace ravir::cli
