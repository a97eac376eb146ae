#pragma once
// The hidden file attribute. On FAT it is the real DOS attribute, reached through the FAT
// ioctls, and on exFAT too where the kernel's exFAT driver answers those ioctls (older drivers,
// such as Linux 6.1's, do not: there the attribute cannot be reached at all). Elsewhere a name
// that starts with a dot counts as hidden, and setting the attribute does nothing (the name
// cannot change).
#include <QString>

namespace ravir {

// Makes the attributes of the file or folder at `path` the hidden attribute alone (as the
// recorder's tools and the Windows viewer do). True when the DOS attribute was set; false on a
// filesystem without DOS attributes or when the ioctl fails.
bool SetHiddenAttribute(const QString& path);

// True when the DOS hidden attribute is set (FAT, exFAT), or, where there is no DOS
// attribute, when the name starts with a dot.
bool IsHidden(const QString& path);

// True when `path` lies on a filesystem that keeps DOS attributes (vfat, msdos, exfat) and its
// driver lets them be read; false on an exFAT driver without the FAT ioctls.
bool HasDosAttributes(const QString& path);

// Whether the open entry lies on a filesystem that keeps DOS attributes (whether or not its
// driver lets them be reached).
bool OnDosFilesystem(int fd);
// The DOS hidden attribute of the open entry: 1 or 0, -1 where there is none or it cannot be read.
int DosHiddenAttribute(int fd);

}  // namespace ravir
