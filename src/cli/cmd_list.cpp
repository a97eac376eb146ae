// `ravir list SOURCE`: every recording of a source.
#include "catalogue/catalogue.h"
#include "cli/catalogue_json.h"
#include "cli/command.h"

namespace ravir::cli {
namespace {

int runList(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--mode"});
    if (!parsed.error.isEmpty())
        return usageError("list", parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("list", "expects one source (card root, folder or movie file)");
    int exitCode = 0;
    const auto source = sourceArgs("list", parsed.positional.front(), parsed.value("--mode"),
                                   &exitCode);
    if (!source)
        return exitCode;
    Catalogue catalogue;
    catalogue.OpenSource(source->path, source->mode);
    catalogue.SelectDefaultItem();
    QJsonObject out;
    out["records"] = recordsJson(catalogue.CollectAllRecordings());
    out["skipped"] = skippedJson(catalogue.skipped());
    reportSkipped("list", catalogue.skipped());
    printJson(out);
    return 0;
}

const CommandRegistration registration({
    "list",
    "SOURCE [--mode drive|folder|file]",
    "every recording of a source, as the CSV export and the delete dialog collect them",
    QString("--mode as for `ravir scan`. Folders are walked three levels deep; each folder's\n"
            "recordings are ordered by file number, folders by name (\"Video\" before\n"
            "\"Parking\"). Prints one JSON object:\n"
            "  records   every main-camera recording of the source\n"
            "  skipped   entries left out, with the reason (see below)\n")
        + kRecordFieldsHelp + kSkippedFieldsHelp,
    runList,
});

}  // namespace
}  // namespace ravir::cli
