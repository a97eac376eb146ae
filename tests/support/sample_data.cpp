#include "sample_data.h"

#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ravir::test {
namespace {

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

// An exclusive lock on a file, held while the object lives.
class FileLock {
public:
    explicit FileLock(const QString& path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock()
    {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool validKey(const QString& key)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,80}$"));
    return re.match(key).hasMatch() && !key.contains(QStringLiteral(".."));
}

QByteArray readStamp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeStamp(const QString& path, const QByteArray& text)
{
    const QString temp = path + QStringLiteral(".tmp");
    QFile f(temp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return false;
    f.close();
    QFile::remove(path);
    return QFile::rename(temp, path);
}

QString movieFingerprint(const samples::SampleMovieOptions& o)
{
    return QStringLiteral("v%1 %2x%3 fps=%4 s=%5 gop=%6 audio=%7 rec=%8 first=%9 fmt=%10 "
                          "fast=%11 seed=%12 block=%13")
        .arg(samples::kSampleDataVersion).arg(o.width).arg(o.height)
        .arg(o.fps, 0, 'g', 17).arg(o.seconds, 0, 'g', 17).arg(o.gop).arg(o.audio)
        .arg(o.recorderLayout).arg(o.firstFrameNumber).arg(o.format).arg(o.faststart)
        .arg(o.seed)
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(o.telemetryBlock, QCryptographicHash::Sha1).toHex()));
}

}  // namespace

QString sampleCard(const QString& key, const samples::SampleCardOptions& options, QString* error)
{
    if (!validKey(key)) {
        setError(error, QStringLiteral("bad sample card key '%1'").arg(key));
        return {};
    }
    const QString base = testDataDir() + QStringLiteral("/cards");
    QDir().mkpath(base);
    const QString root = base + QLatin1Char('/') + key;
    const QString stampPath = base + QStringLiteral("/.") + key + QStringLiteral(".stamp");
    FileLock lock(base + QStringLiteral("/.") + key + QStringLiteral(".lock"));
    if (!lock.locked()) {
        setError(error, QStringLiteral("cannot lock the sample card %1").arg(key));
        return {};
    }
    const QByteArray fingerprint = samples::OptionsFingerprint(options).toUtf8();
    if (QFileInfo(root).isDir() && readStamp(stampPath) == fingerprint)
        return root;

    // Make the card beside its place and move it in whole.
    QFile::remove(stampPath);
    const QString temp = base + QStringLiteral("/.") + key + QStringLiteral(".making");
    QDir(temp).removeRecursively();
    QString why;
    if (!samples::WriteSampleCard(temp, options, nullptr, &why)) {
        QDir(temp).removeRecursively();
        setError(error, QStringLiteral("cannot make the sample card %1: %2").arg(key, why));
        return {};
    }
    const QString old = base + QStringLiteral("/.") + key + QStringLiteral(".old");
    QDir(old).removeRecursively();
    if (QFileInfo::exists(root) && !QDir().rename(root, old)) {
        setError(error, QStringLiteral("cannot replace %1").arg(root));
        return {};
    }
    QDir(old).removeRecursively();
    if (!QDir().rename(temp, root) || !writeStamp(stampPath, fingerprint)) {
        setError(error, QStringLiteral("cannot move the sample card %1 into place").arg(key));
        return {};
    }
    return root;
}

QString sampleMovie(const QString& key, const samples::SampleMovieOptions& options, QString* error)
{
    if (!validKey(key)) {
        setError(error, QStringLiteral("bad sample movie key '%1'").arg(key));
        return {};
    }
    const QString base = testDataDir() + QStringLiteral("/movies");
    QDir().mkpath(base);
    const QString path = base + QLatin1Char('/') + key + (key.contains('.') ? QString() : QStringLiteral(".MOV"));
    const QString stampPath = base + QStringLiteral("/.") + key + QStringLiteral(".stamp");
    FileLock lock(base + QStringLiteral("/.") + key + QStringLiteral(".lock"));
    if (!lock.locked()) {
        setError(error, QStringLiteral("cannot lock the sample movie %1").arg(key));
        return {};
    }
    const QByteArray fingerprint = movieFingerprint(options).toUtf8();
    if (QFileInfo(path).isFile() && readStamp(stampPath) == fingerprint)
        return path;
    QFile::remove(stampPath);
    QString why;
    // WriteSampleMovie writes a temporary file and renames it at the end.
    if (!samples::WriteSampleMovie(path, options, &why)) {
        setError(error, QStringLiteral("cannot make the sample movie %1: %2").arg(key, why));
        return {};
    }
    if (!writeStamp(stampPath, fingerprint)) {
        setError(error, QStringLiteral("cannot record the sample movie %1").arg(key));
        return {};
    }
    return path;
}

bool copyTree(const QString& from, const QString& to)
{
    const QDir source(from);
    if (!source.exists() || !QDir().mkpath(to))
        return false;
    const QFileInfoList entries =
        source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        const QString target = to + QLatin1Char('/') + e.fileName();
        if (e.isDir() && !e.isSymLink()) {
            if (!copyTree(e.filePath(), target))
                return false;
        } else if (!QFile::copy(e.filePath(), target)) {
            return false;
        }
    }
    return true;
}

bool linkTree(const QString& from, const QString& to)
{
    const QDir source(from);
    if (!source.exists() || !QDir().mkpath(to))
        return false;
    const QFileInfoList entries =
        source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        const QString target = to + QLatin1Char('/') + e.fileName();
        if (e.isDir() && !e.isSymLink()) {
            if (!linkTree(e.filePath(), target))
                return false;
        } else if (::link(QFile::encodeName(e.filePath()).constData(),
                          QFile::encodeName(target).constData()) != 0
                   && !QFile::copy(e.filePath(), target)) {
            return false;
        }
    }
    return true;
}

QString smallCard(int layout)
{
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.layout = layout;
    o.shortMovies = true;
    o.longRun = 205;
    o.downloadUrl = true;
    o.pvtrace = true;
    QString error;
    const QString root = sampleCard(QStringLiteral("small-layout%1").arg(layout), o, &error);
    if (root.isEmpty())
        qWarning("%s", qPrintable(error));
    return root;
}

}  // namespace ravir::test
