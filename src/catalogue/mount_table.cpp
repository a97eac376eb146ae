#include "catalogue/mount_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace ravir {

namespace {

bool isDecimal(const QByteArray& field)
{
    if (field.isEmpty())
        return false;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// "\040" and the like back to their bytes; a backslash not followed by three octal digits
// stays as it is.
QByteArray unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value > 0 && value < 256) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

// One line, or false when it is not a whole mountinfo line:
//   id parent major:minor root mount-point options [optional...] - type source super-options
bool parseLine(const QByteArray& line, MountEntry* entry)
{
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() < 10)
        return false;
    const QByteArray& device = fields[2];
    const qsizetype colon = device.indexOf(':');
    if (!isDecimal(fields[0]) || !isDecimal(fields[1]) || colon < 0 ||
        !isDecimal(device.left(colon)) || !isDecimal(device.mid(colon + 1)) ||
        !fields[3].startsWith('/') || !fields[4].startsWith('/') || fields[5].isEmpty())
        return false;
    qsizetype separator = -1;
    for (qsizetype i = 6; i < fields.size(); ++i) {
        if (fields[i] == "-") {
            separator = i;
            break;
        }
    }
    if (separator < 0 || fields.size() - separator - 1 < 3)
        return false;
    entry->device = device;
    entry->root = unescape(fields[3]);
    entry->mountPoint = QFile::decodeName(unescape(fields[4]));
    return true;
}

}  // namespace

QList<MountEntry> ParseMountInfo(const QByteArray& mountInfo)
{
    QList<MountEntry> mounts;
    for (const QByteArray& line : mountInfo.split('\n')) {
        MountEntry entry;
        if (parseLine(line, &entry))
            mounts.append(std::move(entry));
    }
    return mounts;
}

bool ReadMountInfo(const QString& path, QList<MountEntry>* mounts)
{
    mounts->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The kernel's files tell no size: read up to the limit.
    constexpr qint64 kLimit = 16 * 1024 * 1024;
    const QByteArray bytes = file.read(kLimit);
    if (file.error() != QFileDevice::NoError)
        return false;
    *mounts = ParseMountInfo(bytes);
    return true;
}

bool ReadMountPoints(const QString& path, QStringList* points)
{
    points->clear();
    QList<MountEntry> mounts;
    if (!ReadMountInfo(path, &mounts))
        return false;
    for (const MountEntry& m : mounts)
        points->append(m.mountPoint);
    return true;
}

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

}  // namespace ravir
