#include "catalogue/output_guard.h"

#include "catalogue/joined_save_paths.h"
#include "catalogue/recording_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace ravir {
namespace {

bool statOf(const QString& path, struct stat& st)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isCardFolderName(const QString& name)
{
    for (const auto& layout : kFolderKindTable) {
        for (const FolderKindRow& row : layout) {
            if (name.compare(QLatin1String(row.folder), Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

}  // namespace

bool IsCardFileFolder(const QString& folder)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    const QString name = info.fileName();
    if (isCardFolderName(name))
        return true;
    if (name.compare(QLatin1String("Main"), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String("Sub_"), Qt::CaseInsensitive) == 0)
        return isCardFolderName(QFileInfo(info.absolutePath()).fileName());
    return false;
}

QString OutputRefusal(const QString& output, const QStringList& inputs)
{
    struct stat out {};
    if (statOf(output, out)) {
        if (!S_ISREG(out.st_mode))
            return QStringLiteral("%1 is not a regular file (a device, a FIFO or a folder); "
                                  "it is never replaced")
                .arg(output);
        for (const QString& input : inputs) {
            struct stat in {};
            if (statOf(input, in) && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
                return QStringLiteral("%1 is %2, one of the files being read; it is never "
                                      "replaced")
                    .arg(output, input);
        }
    }
    const QFileInfo info(output);
    if (IsRecorderFileName(info.fileName()) && IsCardFileFolder(info.absolutePath()))
        return QStringLiteral("%1 would take the name of a recorder's file in a card folder; "
                              "choose another name or folder")
            .arg(output);
    return {};
}

QStringList RecordingFilesOf(const QString& movie)
{
    QStringList files{movie};
    const QString paired = PairedPathOf(movie);
    if (!paired.isEmpty() && paired != movie)
        files << paired;
    files << TelemetryPlaceOf(movie).path;
    const QString beside = TelemetryPathOf(movie);
    if (!files.contains(beside))
        files << beside;
    return files;
}

}  // namespace ravir
