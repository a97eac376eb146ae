#pragma once
// Finding the source: the removable drives (mounted filesystems on removable, MMC or USB disks)
// and the start-up choice (a card first, then the remembered folder, then the remembered file).
#include <QString>
#include <QStringList>

namespace ravir {

class Catalogue;

struct RemovableDrives {
    QStringList roots;      // mount points, in mount order (newest last)
    int defaultIndex = -1;  // the last entry; -1 when there is none
};

// Reads <procRoot>/self/mountinfo and, for each mount of a whole filesystem, the disk behind it
// under <sysRoot> (dev/block/MAJ:MIN, block/<disk>/removable). A mount counts when its disk is
// removable, an MMC card or on a USB bus. "/" is never listed. The roots are injectable so that
// tests can describe any machine.
RemovableDrives ListRemovableDrives(const QString& procRoot = QStringLiteral("/proc"),
                                    const QString& sysRoot = QStringLiteral("/sys"));

// Opens the start-up source in catalogue: the newest removable drive whose root exists (drive
// mode), else the folder remembered under SOURCE/FOLDER (folder mode), else the file remembered
// under SOURCE/FILE when it exists and has a recording name (file mode); then selects the default
// item. False when nothing could be opened.
bool ChooseStartupSource(Catalogue& catalogue, const RemovableDrives& drives);
bool ChooseStartupSource(Catalogue& catalogue);

// Drops the trailing separators of a drive root ("/media/card/" -> "/media/card"; "/" stays).
QString StripTrailingSeparators(const QString& path);

}  // namespace ravir
