#include "cli/catalogue_json.h"

#include "catalogue/recording_name.h"
#include "cli/command.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

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

const char kSkippedFieldsHelp[] =
    "Each skipped entry (also printed on stderr, one line each):\n"
    "  path     the path; bytes that are not UTF-8 are written as \\xHH\n"
    "  reason   not_regular_file (a FIFO, device or socket named like a movie or telemetry\n"
    "           file), unreadable, not_mp4 (named like a main movie, no \"ftyp\" in its first\n"
    "           260 bytes), undecodable_name (not UTF-8), folder_unreadable,\n"
    "           folder_already_listed (reached again through a symbolic link), broken_link\n"
    "  message  the reason in words, with the system's error text where there is one\n";

namespace {

QString reasonKeyword(SkipReason reason)
{
    switch (reason) {
    case SkipReason::NotRegularFile: return QStringLiteral("not_regular_file");
    case SkipReason::Unreadable: return QStringLiteral("unreadable");
    case SkipReason::NotMp4: return QStringLiteral("not_mp4");
    case SkipReason::UndecodableName: return QStringLiteral("undecodable_name");
    case SkipReason::FolderUnreadable: return QStringLiteral("folder_unreadable");
    case SkipReason::FolderAlreadyListed: return QStringLiteral("folder_already_listed");
    case SkipReason::BrokenLink: return QStringLiteral("broken_link");
    }
    return QStringLiteral("unknown");
}

QString reasonMessage(const SkippedEntry& e)
{
    QString text;
    switch (e.reason) {
    case SkipReason::NotRegularFile: text = QStringLiteral("not a regular file"); break;
    case SkipReason::Unreadable: text = QStringLiteral("cannot be read"); break;
    case SkipReason::NotMp4: text = QStringLiteral("not an MP4/MOV movie (no ftyp in its first 260 bytes)"); break;
    case SkipReason::UndecodableName: text = QStringLiteral("name is not valid UTF-8"); break;
    case SkipReason::FolderUnreadable: text = QStringLiteral("folder cannot be listed"); break;
    case SkipReason::FolderAlreadyListed: text = QStringLiteral("folder already listed (reached again through a link)"); break;
    case SkipReason::BrokenLink: text = QStringLiteral("symbolic link to nothing or a loop of links"); break;
    }
    if (e.error != 0)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(e.error));
    return text;
}

}  // namespace

QString DisplayPath(const QByteArray& bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const QByteArray piece = bytes.mid(i, length);
        const QString decoded = QString::fromUtf8(piece);
        if (piece.size() == length && decoded.toUtf8() == piece) {
            text += decoded;
            i += length;
        } else {
            text += QString::asprintf("\\x%02X", lead);
            ++i;
        }
    }
    return text;
}

QJsonArray skippedJson(const std::vector<SkippedEntry>& skipped)
{
    QJsonArray array;
    for (const SkippedEntry& e : skipped) {
        QJsonObject o;
        o["path"] = DisplayPath(e.path);
        o["reason"] = reasonKeyword(e.reason);
        o["message"] = reasonMessage(e);
        array.append(o);
    }
    return array;
}

void reportSkipped(const QString& command, const std::vector<SkippedEntry>& skipped)
{
    for (const SkippedEntry& e : skipped)
        std::fprintf(stderr, "ravir %s: skipped %s: %s\n", qPrintable(command),
                     DisplayPath(e.path).toUtf8().constData(), reasonMessage(e).toUtf8().constData());
}

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
        // Bytes that are not UTF-8 reach here as U+FFFD and cannot name the file again.
        if (source.contains(QChar(QChar::ReplacementCharacter)))
            *exitCode = failure(QString("%1: the path is not valid UTF-8 and cannot be opened")
                                    .arg(source));
        else
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
