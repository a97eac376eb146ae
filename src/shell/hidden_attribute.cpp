#include "shell/hidden_attribute.h"

#include "shell/regular_file.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdint>

namespace ravir {
namespace {

constexpr long kExfatSuperMagic = 0x2011BAB0;

// The file or folder opened without waiting (a FIFO has no writer).
UniqueFd openEntry(const QString& path)
{
    return UniqueFd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

bool nameStartsWithDot(const QString& path)
{
    return QFileInfo(path).fileName().startsWith(u'.');
}

}  // namespace

bool OnDosFilesystem(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    const long type = static_cast<long>(fs.f_type);
    return type == MSDOS_SUPER_MAGIC || type == kExfatSuperMagic;
}

int DosHiddenAttribute(int fd)
{
    std::uint32_t attributes = 0;
    if (fd < 0 || !OnDosFilesystem(fd) || ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0)
        return -1;
    return (attributes & ATTR_HIDDEN) != 0 ? 1 : 0;
}

bool HasDosAttributes(const QString& path)
{
    return DosHiddenAttribute(openEntry(path).get()) >= 0;
}

bool SetHiddenAttribute(const QString& path)
{
    const UniqueFd fd = openEntry(path);
    if (fd.get() < 0 || !OnDosFilesystem(fd.get()))
        return false;
    std::uint32_t attributes = 0;
    if (::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0)
        return false;
    // Keep the directory bit, which is not an attribute one can change; everything else
    // becomes the hidden attribute alone.
    std::uint32_t wanted = ATTR_HIDDEN | (attributes & ATTR_DIR);
    if (wanted == attributes)
        return true;
    return ::ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &wanted) == 0;
}

bool IsHidden(const QString& path)
{
    const int hidden = DosHiddenAttribute(openEntry(path).get());
    return hidden >= 0 ? hidden == 1 : nameStartsWithDot(path);
}

}  // namespace ravir
