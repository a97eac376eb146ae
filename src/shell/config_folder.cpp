#include "shell/config_folder.h"

#include "shell/ini_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ravir {

QString ViewerConfigFolderPath()
{
    QString folder = qEnvironmentVariable(kConfigDirVariable);
    if (folder.isEmpty()) {
        // The location depends on the application name; it is the viewer's whoever asks.
        const QString base =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (base.isEmpty())
            return {};
        folder = base + u'/' + QLatin1String(kViewerAppName);
    }
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

QString ViewerConfigFolder()
{
    const QString folder = ViewerConfigFolderPath();
    if (folder.isEmpty())
        return {};
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return {};
    return QFileInfo(folder).isDir() ? folder : QString();
}

QString UseViewerConfigFolder()
{
    const QString folder = ViewerConfigFolder();
    setStartupFolder(folder);
    return folder;
}

QString DefaultChooserFolder()
{
    return QDir::homePath();
}

}  // namespace ravir
