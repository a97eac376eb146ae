#pragma once
// The mounts of the system as the kernel lists them (/proc/self/mountinfo), and the mount point
// a path lives on. The source watcher uses both to notice a card that was pulled while the
// folder it was mounted on stays behind.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ravir {

inline constexpr char kMountInfoPath[] = "/proc/self/mountinfo";

// One line of the mount table.
struct MountEntry {
    QByteArray device;   // "major:minor"
    QByteArray root;     // the folder of the file system that is mounted ("/" for all of it)
    QString mountPoint;  // where it is mounted
};

// The mounts of a mountinfo text, in the order listed, with the kernel's octal escapes in the
// mount point (\040 space, \011 tab, \012 newline, \134 backslash) undone. A line that is
// damaged or cut short (too few fields, fields that are not what they should be, no "-"
// separator followed by the file system type, the source and the super-block options) is left
// out.
QList<MountEntry> ParseMountInfo(const QByteArray& mountInfo);

// The mounts of the mountinfo file at path; false (and nothing in *mounts) when it cannot be
// read. At most 16 MiB of it are read.
bool ReadMountInfo(const QString& path, QList<MountEntry>* mounts);
// The mount points alone.
bool ReadMountPoints(const QString& path, QStringList* points);

// The top folder of the file system that holds path (found by walking up while the device
// stays the same); empty when path cannot be read.
QString MountPointOf(const QString& path);

}  // namespace ravir
