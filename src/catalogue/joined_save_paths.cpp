#include "catalogue/joined_save_paths.h"

#include "catalogue/recording_name.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFileInfo>

namespace ravir {

TelemetryPlace TelemetryPlaceOf(const QString& moviePath)
{
    const QFileInfo movie(moviePath);
    const QDir folder = movie.dir();
    // The file name by the rule: letter D in place of the camera letter, extension .ADA.
    const QString name = TelemetryPathOf(movie.fileName());
    for (const auto& layout : kFolderKindTable) {
        for (int row : {0, 2}) {
            if (folder.dirName().compare(QLatin1String(layout[row].folder), Qt::CaseInsensitive) != 0)
                continue;
            QString parent = QFileInfo(folder.path()).path();
            const QString data = parent + QLatin1Char('/') + QLatin1String(layout[row + 1].folder);
            return {data + QLatin1Char('/') + name, data};
        }
    }
    return {folder.path() + QLatin1Char('/') + name, {}};
}

JoinRequest MakeJoinRequest(const QStringList& movies, const QString& outputPath)
{
    JoinRequest request;
    request.outputPath = outputPath;
    for (const QString& movie : movies) {
        const QString telemetry = TelemetryPlaceOf(movie).path;
        request.inputs.push_back({movie, telemetry});
        for (const QString& f : {movie, PairedPathOf(movie), telemetry}) {
            const QFileInfo info(f);
            if (info.isFile())
                request.neededBytes += static_cast<uint64_t>(info.size());
        }
    }
    const TelemetryPlace place = TelemetryPlaceOf(outputPath);
    request.telemetryPath = place.path;
    request.telemetryFolderToCreate = place.dataFolder;
    return request;
}

int JoinMessageId(const JoinResult& result)
{
    if (result.ok)
        return TXT_DONE;
    return result.error == JoinError::Stopped ? -1 : TXT_MSG_JOIN_FAILED;
}

QString JoinErrorText(JoinError error)
{
    switch (error) {
    case JoinError::None: return QStringLiteral("no error");
    case JoinError::OpenFailed: return QStringLiteral("a recording cannot be opened");
    case JoinError::InputDamaged: return QStringLiteral("a recording is damaged");
    case JoinError::NotJoinable: return QStringLiteral("the recordings cannot be joined");
    case JoinError::InputChanged: return QStringLiteral("a recording changed while it was joined");
    case JoinError::OutputIsInput: return QStringLiteral("an output would replace a file being joined");
    case JoinError::OutputExists: return QStringLiteral("the output exists");
    case JoinError::TelemetryExists: return QStringLiteral("the joined telemetry file exists");
    case JoinError::NoSpace: return QStringLiteral("not enough free space");
    case JoinError::WriteFailed: return QStringLiteral("writing the joined movie failed");
    case JoinError::Stopped: return QStringLiteral("stopped");
    }
    return {};
}

}  // namespace ravir
