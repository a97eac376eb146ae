// `ravir scan SOURCE`: the catalogue of a source as the viewer builds it.
#include "catalogue/catalogue.h"
#include "cli/catalogue_json.h"
#include "cli/command.h"

namespace ravir::cli {
namespace {

QJsonArray treeJson(const std::vector<std::unique_ptr<TreeItem>>& items)
{
    QJsonArray array;
    for (const auto& item : items) {
        QJsonObject o;
        o["name"] = item->text();
        o["kind_mask"] = item->kindMask();
        o["children"] = treeJson(item->children());
        array.append(o);
    }
    return array;
}

int runScan(const QStringList& args)
{
    const ParsedArgs parsed = parseArgs(args, {"--mode", "--kinds"});
    if (!parsed.error.isEmpty())
        return usageError("scan", parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("scan", "expects one source (card root, folder or movie file)");
    const std::optional<KindFilter> filter =
        KindFilter::fromText(parsed.value("--kinds", "11111"));
    if (!filter)
        return usageError("scan", "--kinds takes five 0/1 flags (continuous, impact, manual, "
                                  "parking, parking impact)");
    int exitCode = 0;
    const auto source = sourceArgs("scan", parsed.positional.front(), parsed.value("--mode"),
                                   &exitCode);
    if (!source)
        return exitCode;

    Catalogue catalogue;
    catalogue.setKindFilter(*filter);
    catalogue.OpenSource(source->path, source->mode);
    catalogue.SelectDefaultItem();

    QJsonObject out;
    out["mode"] = modeName(source->mode);
    out["layout"] = CurrentLayoutIndex();
    out["tree"] = treeJson(catalogue.tree().topLevel());
    QJsonArray selected;
    if (const TreeItem* item = catalogue.tree().selected()) {
        for (const QString& name : FolderTree::namesOf(item))
            selected.append(name);
    }
    out["selected"] = selected;
    out["records"] = recordsJson(catalogue.currentRecords());
    out["shown"] = recordsJson(catalogue.shownRecords());
    QJsonObject recorder;
    recorder["version"] = catalogue.recorderInfo().version;
    recorder["number"] = catalogue.recorderInfo().number;
    recorder["download_key"] = catalogue.recorderInfo().downloadKey;
    out["recorder"] = recorder;
    out["skipped"] = skippedJson(catalogue.skipped());
    reportSkipped("scan", catalogue.skipped());
    printJson(out);
    return 0;
}

const CommandRegistration registration({
    "scan",
    "SOURCE [--mode drive|folder|file] [--kinds 11111]",
    "opens a source as the viewer does: folder tree, selected item, its records, recorder",
    QString("--mode defaults to file for a file, drive for a folder holding a layout folder\n"
            "(Normal, Video or Parking), folder otherwise. --kinds: five 0/1 flags in the order\n"
            "continuous, impact, manual, parking, parking impact (the file list's kind buttons).\n"
            "Prints one JSON object:\n"
            "  mode      \"drive\", \"folder\" or \"file\"\n"
            "  layout    card layout index: 0 Normal/_NData/Parking/_PData,\n"
            "            1 Video/_VData/Parking/_PData\n"
            "  tree      top-level items, each with name, kind_mask (kind bits of the recordings\n"
            "            below; 0 when not computed) and children (items of the same form)\n"
            "  selected  names from the top level down to the selected item ([] for none)\n"
            "  records   the recordings of the selected item, by file number\n"
            "  shown     the records that --kinds lets through (the file list's rows)\n"
            "  recorder  version (firmware \"1.5.2\"), number (six digits) and download_key\n"
            "            (\"ZU590-MVS_download\" or \"\") read from the newest recording of a\n"
            "            drive source; empty texts when they could not be read\n"
            "  skipped   entries left out while the source was opened, with the reason\n")
        + kRecordFieldsHelp + kSkippedFieldsHelp,
    runScan,
});

}  // namespace
}  // namespace ravir::cli
