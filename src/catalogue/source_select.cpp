#include "catalogue/source_select.h"

#include "catalogue/catalogue.h"
#include "catalogue/mount_table.h"
#include "catalogue/recording_name.h"
#include "shell/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ravir {
namespace {

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096);
}

// True when the block device MAJ:MIN lies on a removable, MMC or USB disk.
bool isRemovableDevice(const QString& sysRoot, const QByteArray& majorMinor)
{
    const QString link = sysRoot + QStringLiteral("/dev/block/") + QString::fromLatin1(majorMinor);
    const QString device = QFileInfo(link).canonicalFilePath();
    if (device.isEmpty())
        return false;
    // A partition's disk is its parent folder.
    QString diskPath = device;
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        diskPath = QFileInfo(device).path();
    const QString disk = QFileInfo(diskPath).fileName();
    if (disk.isEmpty())
        return false;
    const QByteArray removable =
        readSmallFile(sysRoot + QStringLiteral("/block/") + disk + QStringLiteral("/removable"))
            .trimmed();
    if (removable == "1")
        return true;
    if (disk.startsWith(QLatin1String("mmcblk")))
        return true;
    return diskPath.contains(QLatin1String("/usb")) || diskPath.contains(QLatin1String("/mmc"));
}

}  // namespace

QString StripTrailingSeparators(const QString& path)
{
    QString out = path;
    while (out.size() > 1 && out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

RemovableDrives ListRemovableDrives(const QString& procRoot, const QString& sysRoot)
{
    RemovableDrives drives;
    QList<MountEntry> mounts;
    if (!ReadMountInfo(procRoot + QStringLiteral("/self/mountinfo"), &mounts))
        return drives;
    for (const MountEntry& mount : mounts) {
        const QByteArray& majorMinor = mount.device;
        if (mount.root != "/" || majorMinor.startsWith("0:"))
            continue;  // bind mounts of a sub-folder and virtual filesystems are no drives
        const QString& mountPoint = mount.mountPoint;
        if (mountPoint == QLatin1String("/") || mountPoint.isEmpty())
            continue;
        if (!isRemovableDevice(sysRoot, majorMinor))
            continue;
        drives.roots.removeAll(mountPoint);
        drives.roots << mountPoint;
    }
    drives.defaultIndex = static_cast<int>(drives.roots.size()) - 1;
    return drives;
}

bool ChooseStartupSource(Catalogue& catalogue, const RemovableDrives& drives)
{
    catalogue.Clear();
    bool opened = false;
    for (qsizetype i = drives.roots.size() - 1; i >= 0 && !opened; --i) {
        if (QFileInfo(drives.roots[i]).isDir()) {
            catalogue.OpenSource(StripTrailingSeparators(drives.roots[i]), SourceMode::Drive);
            opened = true;
        }
    }
    if (!opened) {
        const QString folder = ReadValue(QStringLiteral("SOURCE"), QStringLiteral("FOLDER"));
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            catalogue.OpenSource(folder, SourceMode::Folder);
            opened = true;
        }
    }
    if (!opened) {
        const QString file = ReadValue(QStringLiteral("SOURCE"), QStringLiteral("FILE"));
        if (!file.isEmpty() && QFileInfo(file).isFile() && IsRecordingName(file)) {
            catalogue.OpenSource(file, SourceMode::File);
            opened = true;
        }
    }
    if (!opened)
        return false;
    catalogue.SelectDefaultItem();
    return true;
}

bool ChooseStartupSource(Catalogue& catalogue)
{
    return ChooseStartupSource(catalogue, ListRemovableDrives());
}

}  // namespace ravir
