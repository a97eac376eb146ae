// `ravir csv SOURCE OUTDIR`: the recording list CSV of a source, as the viewer's CSV command
// writes it.
#include "catalogue/catalogue.h"
#include "cli/catalogue_json.h"
#include "cli/command.h"
#include "cli/stop_signal.h"
#include "exports/recording_csv.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace ravir::cli {
namespace {

int runCsv(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--encoding", "--mode"}, {"--overwrite"});
    if (!parsed.error.isEmpty())
        return usageError("csv", parsed.error);
    if (parsed.positional.size() != 2)
        return usageError("csv", "expects a source and an output folder");
    const auto encoding = CsvEncodingFromName(parsed.value("--encoding", "locale"));
    if (!encoding)
        return usageError("csv", QString("unknown encoding %1").arg(parsed.value("--encoding")));
    const QFileInfo outDir(parsed.positional[1]);
    if (!outDir.isDir())
        return failure(QString("%1: no such folder").arg(parsed.positional[1]));

    int exitCode = 0;
    const auto source = sourceArgs("csv", parsed.positional[0], parsed.value("--mode"), &exitCode);
    if (!source)
        return exitCode;
    Catalogue catalogue;
    catalogue.OpenSource(source->path, source->mode);
    const RecordList& all = catalogue.CollectAllRecordings();
    reportSkipped("csv", catalogue.skipped());
    if (all.empty())
        return failure(QString("%1: there is no video file").arg(source->path));

    CsvExportOptions options;
    options.folder = QDir::cleanPath(outDir.absoluteFilePath());
    options.encoding = *encoding;
    options.rtcColumn = catalogue.recorderInfo().downloadFlag == 1;
    options.sourceRoot = source->path;
    const bool overwrite = parsed.has("--overwrite");
    options.confirmOverwrite = [overwrite](const QString&) { return overwrite; };
    // Ctrl-C, SIGTERM and SIGHUP during the export: it stops after the current row and removes
    // its temporary file, then the command ends by the same signal. Before the export starts
    // nothing is written, and the signals keep their default effect.
    std::atomic<bool> running{true};
    options.running = &running;
    options.keepRowsOnStop = false;
    CsvExportResult result;
    {
        const StopSignals stopSignals(&running, false);
        result = ExportRecordingCsv(all, options);
    }
    if (const int signal = StopSignals::signalNumber()) {
        std::fprintf(stderr, "ravir: csv stopped by a signal; nothing was written\n");
        std::signal(signal, SIG_DFL);
        std::raise(signal);  // ends the process as the signal's default action would
        return StopSignals::exitCode();
    }
    for (const CsvShortRowNote& note : result.shortRows)
        std::fprintf(stderr, "ravir csv: %s: short row: %s\n", qPrintable(note.path),
                     qPrintable(note.reason));
    switch (result.status) {
    case CsvExportStatus::Written:
        break;
    case CsvExportStatus::Declined:
        return failure(QString("%1: a file with the same name exists (--overwrite replaces it)")
                           .arg(result.path));
    case CsvExportStatus::CreateFailed:
        return failure(QString("%1: the CSV file cannot be created: %2")
                           .arg(result.path, result.error));
    case CsvExportStatus::WriteFailed:
        return failure(QString("%1: the CSV file cannot be written (%2); %3")
                           .arg(result.path, result.error,
                                QFileInfo::exists(result.path)
                                    ? QStringLiteral("the existing file is unchanged")
                                    : QStringLiteral("no file was made")));
    case CsvExportStatus::SourceGone:
        return failure(QString("%1: the source can no longer be read (%2); nothing was written")
                           .arg(source->path, result.error));
    default:
        return failure(QString("%1: %2 %3")
                           .arg(result.path, CsvExportStatusName(result.status), result.error));
    }
    QJsonObject out;
    out["path"] = result.path;
    out["rows"] = result.rows;
    out["encoding"] = QString::fromLatin1(result.charset);
    out["rtc_column"] = options.rtcColumn;
    out["mode"] = modeName(source->mode);
    out["skipped"] = skippedJson(catalogue.skipped());
    printJson(out);
    return 0;
}

const CommandRegistration registration({
    "csv",
    "SOURCE OUTDIR [--encoding locale|cp932|utf-8] [--mode drive|folder|file] [--overwrite]",
    "writes the recording list CSV of a source into OUTDIR",
    "One line per recording (every recording of the source, as `ravir list` gives them): file\n"
    "name, date, start time, recording time, trigger, picture size class, frame rate, data size,\n"
    "and the RTC reset column when the card root holds ZU590-MVS_download.url. The file is named\n"
    "Dv_YYYYMMDD_hhmmss.csv after the first recording; lines end in CR LF, no byte-order mark.\n"
    "--encoding: the locale's character set (default; UTF-8 when the locale is plain ASCII),\n"
    "cp932 (what a spreadsheet on a Japanese desktop expects) or utf-8.\n"
    "An existing file of the same name is replaced only with --overwrite. --mode as for\n"
    "`ravir scan`. A recording whose movie or telemetry file cannot be read (missing, not a\n"
    "regular file, damaged) gets the short row `name,-,-,-,-,-,fps,0MB` and a line on stderr\n"
    "with the reason; a recording that vanishes while the export runs (the card was pulled) ends\n"
    "the command with exit 1 and nothing written. The file is written under a temporary name,\n"
    "flushed to the disk and renamed at the end: on any failure (a full disk, a read-only\n"
    "folder) or on Ctrl-C or SIGTERM, the existing file stays as it was and nothing else is\n"
    "left. Prints one JSON object:\n"
    "  path        the CSV file written\n"
    "  rows        recordings listed\n"
    "  encoding    the character set written (iconv name)\n"
    "  rtc_column  whether the RTC reset column is present\n"
    "  mode        the source mode used (drive, folder, file)\n"
    "  skipped     entries of the source left out of the list, with the reason (see below)\n"
    + QString::fromLatin1(kSkippedFieldsHelp),
    runCsv,
});

}  // namespace
}  // namespace ravir::cli
