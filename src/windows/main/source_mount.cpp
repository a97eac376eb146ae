#include "windows/main/source_mount.h"

#include <QDir>
#include <QFileInfo>

namespace ravir {

bool ProgramRunsFrom(const QString& mountPoint, const QString& executable)
{
    if (mountPoint.isEmpty() || executable.isEmpty())
        return false;
    const QString mount = QDir::cleanPath(mountPoint);
    const bool removablePlace = mount.startsWith(QLatin1String("/media/")) ||
                                mount.startsWith(QLatin1String("/run/media/")) ||
                                mount.startsWith(QLatin1String("/mnt/"));
    if (!removablePlace)
        return false;
    const QString exe = QDir::cleanPath(QFileInfo(executable).absoluteFilePath());
    return exe.startsWith(mount + QLatin1Char('/'));
}

}  // namespace ravir
