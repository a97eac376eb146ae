#pragma once
// The hidden file attribute. On FAT and exFAT it is the real DOS attribute, reached through
// the FAT ioctls; elsewhere a name that starts with a dot counts as hidden, and setting the
// attribute does nothing (the name cannot change).
#include <QString>

namespace ravir {

// Makes the attributes of the file or folder at `path` the hidden attribute alone (as the
// recorder's tools and the Windows viewer do). True when the DOS attribute was set; false on a
// filesystem without DOS attributes or when the ioctl fails.
bool SetHiddenAttribute(const QString& path);

// True when the DOS hidden attribute is set (FAT, exFAT), or, where there is no DOS
// attribute, when the name starts with a dot.
bool IsHidden(const QString& path);

// True when `path` lies on a filesystem that keeps DOS attributes (vfat, msdos, exfat).
bool HasDosAttributes(const QString& path);

// The same two questions about an entry the caller already opened.
bool OnDosFilesystem(int fd);
// The DOS hidden attribute of the open entry: 1 or 0, -1 where there is none or it cannot be read.
int DosHiddenAttribute(int fd);

}  // namespace ravir
