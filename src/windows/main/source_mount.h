#pragma once
// Where a source lives: the mount point of its file system, and whether the program itself was
// started from a removable medium mounted there (then a pulled card takes the program with it).
#include "catalogue/mount_table.h"  // MountPointOf

#include <QString>

namespace ravir {

// True when mountPoint is where removable media are mounted (under /media, /run/media or /mnt)
// and the executable lies inside it. The root file system and other fixed places never count.
bool ProgramRunsFrom(const QString& mountPoint, const QString& executable);

}  // namespace ravir
