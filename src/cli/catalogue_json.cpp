#include "cli/catalogue_json.h"

#include "catalogue/recording_name.h"
#include "cli/command.h"

#include <QDir>
#include <QFileInfo>

namespace ravir::cli {

const char kRecordFieldsHelp[] =
    "Each record:\n"
    "  path            full path of the main-camera movie\n"
    "  name            its file name\n"
    "  row             row number in build order (the list row after renumbering)\n"
    "  kind_letter     first letter of the name (\"A\", \"P\", \"T\", \"_\"), \"\" for no kind\n"
    "  kind            recording kind: -1 none, 0 continuous, 1 impact, 2 manual, 3 parking,\n"
    "                  4 parking impact\n"
    "  kind_mask       kind bits: 1 continuous, 2 manual, 4 impact, 8 parking, 16 parking impact\n"
    "  list_text       the file list's text, e.g. \"AG__-120000-000123\"\n"
    "  size            movie size in bytes (full 64-bit size)\n"
    "  paired_size     size of the other camera's movie, 0 when it is missing\n"
    "  telemetry_size  size of the telemetry file, 0 when it is missing\n"
    "  trigger         trigger code of the telemetry header (1: the recorder's clock was reset,\n"
    "                  listed in orange), 0 when the header cannot be read\n"
    "  joined          joined mark (0 after a scan)\n";

QJsonObject recordJson(const RecordingRecord& record)
{
    QJsonObject o;
    const QString name = record.fileName();
    o["path"] = record.path;
    o["name"] = name;
    o["row"] = record.row;
    o["kind_letter"] = record.kindLetter ? QString(QChar(record.kindLetter)) : QString();
    o["kind"] = static_cast<int>(KindOf(name));
    o["kind_mask"] = KindMaskOf(name);
    o["list_text"] = ListText(record.path);
    o["size"] = static_cast<double>(record.size);
    o["paired_size"] = static_cast<double>(record.pairedSize);
    o["telemetry_size"] = static_cast<double>(record.telemetrySize);
    o["trigger"] = static_cast<int>(record.trigger);
    o["joined"] = record.joined;
    return o;
}

QJsonArray recordsJson(const RecordList& records)
{
    QJsonArray array;
    for (const RecordingRecord& r : records)
        array.append(recordJson(r));
    return array;
}

QString modeName(SourceMode mode)
{
    switch (mode) {
    case SourceMode::Drive:
        return QStringLiteral("drive");
    case SourceMode::Folder:
        return QStringLiteral("folder");
    case SourceMode::File:
        return QStringLiteral("file");
    case SourceMode::None:
        break;
    }
    return QString();
}

std::optional<SourceArgs> sourceArgs(const QString& command, const QString& source,
                                     const QString& modeText, int* exitCode)
{
    const QFileInfo info(source);
    if (!info.exists()) {
        *exitCode = failure(QString("%1: no such file or folder").arg(source));
        return std::nullopt;
    }
    SourceArgs args;
    args.path = QDir::cleanPath(info.absoluteFilePath());
    if (modeText.isEmpty()) {
        if (!info.isDir())
            args.mode = SourceMode::File;
        else
            args.mode = DetectLayout(args.path) ? SourceMode::Drive : SourceMode::Folder;
    } else if (modeText == QLatin1String("drive")) {
        args.mode = SourceMode::Drive;
    } else if (modeText == QLatin1String("folder")) {
        args.mode = SourceMode::Folder;
    } else if (modeText == QLatin1String("file")) {
        args.mode = SourceMode::File;
    } else {
        *exitCode = usageError(command, QString("unknown mode %1").arg(modeText));
        return std::nullopt;
    }
    if ((args.mode == SourceMode::File) == info.isDir()) {
        *exitCode = usageError(command, args.mode == SourceMode::File
                                            ? QString("--mode file needs a file")
                                            : QString("--mode %1 needs a folder").arg(modeText));
        return std::nullopt;
    }
    return args;
}

}  // namespace ravir::cli
