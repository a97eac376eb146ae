#include "mainwindow/source_mount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace ravir {

QString MountPointOf(const QString& path)
{
    if (path.isEmpty())
        return {};
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    struct stat st {};
    if (::stat(QFile::encodeName(current).constData(), &st) != 0)
        return {};
    const dev_t device = st.st_dev;
    while (current != QLatin1String("/")) {
        const QString parent = QFileInfo(current).path();
        struct stat up {};
        if (::stat(QFile::encodeName(parent).constData(), &up) != 0 || up.st_dev != device)
            break;
        current = parent;
    }
    return current;
}

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
