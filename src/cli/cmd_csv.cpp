// `ravir csv SOURCE OUTDIR`: the recording list CSV of a source, as the viewer's CSV command
// writes it.
#include "catalogue/catalogue.h"
#include "cli/catalogue_json.h"
#include "cli/command.h"
#include "exports/recording_csv.h"

#include <QDir>
#include <QFileInfo>

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
    if (all.empty())
        return failure(QString("%1: there is no video file").arg(source->path));

    CsvExportOptions options;
    options.folder = QDir::cleanPath(outDir.absoluteFilePath());
    options.encoding = *encoding;
    options.rtcColumn = catalogue.recorderInfo().downloadFlag == 1;
    const bool overwrite = parsed.has("--overwrite");
    options.confirmOverwrite = [overwrite](const QString&) { return overwrite; };
    const CsvExportResult result = ExportRecordingCsv(all, options);
    switch (result.status) {
    case CsvExportStatus::Written:
        break;
    case CsvExportStatus::Declined:
        return failure(QString("%1: a file with the same name exists (--overwrite replaces it)")
                           .arg(result.path));
    case CsvExportStatus::CreateFailed:
        return failure(QString("%1: the CSV file cannot be created: %2")
                           .arg(result.path, result.error));
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
    "`ravir scan`. Prints one JSON object:\n"
    "  path        the CSV file written\n"
    "  rows        recordings listed\n"
    "  encoding    the character set written (iconv name)\n"
    "  rtc_column  whether the RTC reset column is present\n"
    "  mode        the source mode used (drive, folder, file)\n",
    runCsv,
});

}  // namespace
}  // namespace ravir::cli
