#include "catalogue/source_select.h"

#include "catalogue/catalogue.h"
#include "catalogue/recording_name.h"
#include "shell/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ravir {
namespace {

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
QString unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '7';
            if (ok) {
                out += static_cast<char>(digits.toInt(nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

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
    QFile mountinfo(procRoot + QStringLiteral("/self/mountinfo"));
    if (!mountinfo.open(QIODevice::ReadOnly))
        return drives;
    const QByteArray content = mountinfo.read(4 << 20);
    for (const QByteArray& line : content.split('\n')) {
        // id parent MAJ:MIN root mountpoint options [optional fields] - fstype source super
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 7)
            continue;
        const QByteArray& majorMinor = fields[2];
        const QByteArray& root = fields[3];
        if (root != "/" || !majorMinor.contains(':') || majorMinor.startsWith("0:"))
            continue;  // bind mounts of a sub-folder and virtual filesystems are no drives
        const QString mountPoint = unescapeMountField(fields[4]);
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
