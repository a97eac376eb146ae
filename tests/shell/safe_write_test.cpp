// The safe writer: the target's name only ever holds a complete file, whatever step fails, and
// nothing is left behind.
#include "shell/safe_write.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writePlain(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Faults for the length of a scope.
struct Faults {
    explicit Faults(const SafeWriteFaults& f) : faults(f) { SetSafeWriteFaultsForTesting(&faults); }
    ~Faults() { SetSafeWriteFaultsForTesting(nullptr); }
    SafeWriteFaults faults;
};

// A small tmpfs (64 KiB), as a nearly full disk. Tests run as root in CI, where mounting
// works; only an ordinary user skips (the injected faults cover the same paths there).
struct SmallDisk {
    explicit SmallDisk(const QString& path) : path(path)
    {
        QDir().mkpath(path);
        mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", path}) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute("umount", {path});
    }
    QString path;
    bool mounted = false;
};

TEST(SafeWrite, StreamsEveryByteThroughShortAndInterruptedWrites)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("out.bin");
    QByteArray expected;
    {
        Faults f({.maxChunk = 7, .interrupt = true});
        const mode_t old = ::umask(027);
        SafeWriter w;
        ASSERT_TRUE(w.open(target));
        // The temporary file lies beside the target, hidden, and the target does not exist yet.
        EXPECT_TRUE(w.temporaryPath().startsWith(dir.path() + "/.out.bin."));
        EXPECT_FALSE(QFile::exists(target));
        for (int i = 0; i < 100; ++i) {
            const QByteArray chunk(i * 13 % 251 + 1, static_cast<char>('a' + i % 26));
            ASSERT_TRUE(w.write(chunk));
            expected += chunk;
        }
        EXPECT_EQ(w.written(), expected.size());
        ASSERT_TRUE(w.commit()) << w.error().message().toStdString();
        ::umask(old);
    }
    EXPECT_EQ(readAll(target), expected);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"out.bin"});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // 0666 less the umask

    // keepMode carries an existing file's permissions over; without it the umask rules.
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    ASSERT_FALSE(SafeWriteFile(target, "kept", {.keepMode = true}).failed());
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(readAll(target), "kept");
}

TEST(SafeWrite, EveryFailingStepLeavesTheOldFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("list.csv");
    for (SafeWriteStep step : {SafeWriteStep::OpenFolder, SafeWriteStep::CreateTemp,
                               SafeWriteStep::Write, SafeWriteStep::Sync, SafeWriteStep::Close,
                               SafeWriteStep::Rename}) {
        SCOPED_TRACE(SafeWriteStepName(step));
        writePlain(target, "the good old file");
        Faults f({.failAt = step, .error = ENOSPC});
        const SafeWriteError e = SafeWriteFile(target, QByteArray(100000, 'n'), {.sync = true});
        EXPECT_EQ(e.step, step);
        EXPECT_EQ(e.error, ENOSPC);
        EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))));
        EXPECT_EQ(readAll(target), "the good old file");
        EXPECT_EQ(filesIn(dir.path()), QStringList{"list.csv"});
    }
    // The folder flush fails after the rename: the complete new file is in place, and the
    // failure is still reported.
    {
        Faults f({.failAt = SafeWriteStep::SyncFolder, .error = EIO});
        const SafeWriteError e = SafeWriteFile(target, "new", {.sync = true});
        EXPECT_EQ(e.step, SafeWriteStep::SyncFolder);
        EXPECT_EQ(readAll(target), "new");
        EXPECT_EQ(filesIn(dir.path()), QStringList{"list.csv"});
    }
    // A writer dropped or cancelled before its commit leaves nothing; a write after a failure
    // fails too.
    {
        SafeWriter w;
        ASSERT_TRUE(w.open(dir.filePath("dropped")));
        ASSERT_TRUE(w.write("half"));
    }
    SafeWriter w;
    ASSERT_TRUE(w.open(dir.filePath("cancelled")));
    w.cancel();
    EXPECT_EQ(w.error().step, SafeWriteStep::Cancelled);
    EXPECT_FALSE(w.write("more"));
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(filesIn(dir.path()), QStringList{"list.csv"});
    // A missing folder, a folder as the target.
    EXPECT_EQ(SafeWriteFile(dir.filePath("no/such/x"), "x").step, SafeWriteStep::OpenFolder);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_TRUE(SafeWriteFile(dir.filePath("sub"), "x").failed());
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
}

// A name that holds a FIFO, a socket-like special file or a folder is never replaced, not even
// with replacing allowed; a symbolic link is replaced by the new file and its target is kept.
TEST(SafeWrite, NeverReplacesDevicesFifosOrFolders)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("still.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.filePath("list.csv");
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& target : {fifo, folder}) {
        SCOPED_TRACE(target.toStdString());
        const SafeWriteError e = SafeWriteFile(target, "bytes");
        EXPECT_EQ(e.step, SafeWriteStep::NotRegular);
        EXPECT_FALSE(e.message().isEmpty());
    }
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(filesIn(dir.path()), QStringList{"still.jpg"});  // nothing left behind

    // A FIFO that takes the name between the open and the commit stays too.
    const QString late = dir.filePath("late.jpg");
    SafeWriter w;
    ASSERT_TRUE(w.open(late));
    ASSERT_TRUE(w.write("bytes"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(late).constData(), 0600), 0);
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(w.error().step, SafeWriteStep::NotRegular);
    ASSERT_EQ(::lstat(QFile::encodeName(late).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    const QString kept = dir.filePath("kept");
    writePlain(kept, "kept");
    const QString link = dir.filePath("link.jpg");
    ASSERT_EQ(::symlink(QFile::encodeName(kept).constData(), QFile::encodeName(link).constData()), 0);
    ASSERT_FALSE(SafeWriteFile(link, "new").failed());
    EXPECT_EQ(readAll(kept), "kept");
    EXPECT_EQ(readAll(link), "new");
}

TEST(SafeWrite, NoReplaceNeverReplacesEvenWhereTheFilesystemLacksTheRename)
{
    QTemporaryDir dir;
    const SafeWriteFaults lacksRename{.noReplaceRefused = true};
    const SafeWriteFaults lacksRenameAndLinks{.noReplaceRefused = true, .linkRefused = true};
    int n = 0;
    for (const SafeWriteFaults* faults : {static_cast<const SafeWriteFaults*>(nullptr),
                                          &lacksRename, &lacksRenameAndLinks}) {
        SCOPED_TRACE(n);
        SetSafeWriteFaultsForTesting(faults);
        const QString target = dir.filePath(QString("t%1").arg(n++));
        // A new name is written.
        EXPECT_FALSE(SafeWriteFile(target, "first", {.replace = false}).failed());
        EXPECT_EQ(readAll(target), "first");
        // An existing one is refused at the start...
        EXPECT_EQ(SafeWriteFile(target, "second", {.replace = false}).step, SafeWriteStep::Exists);
        // ...and when it appears while the file is written.
        QFile::remove(target);
        SafeWriter w;
        ASSERT_TRUE(w.open(target, {.replace = false}));
        ASSERT_TRUE(w.write("mine"));
        writePlain(target, "someone else's");
        EXPECT_FALSE(w.commit());
        EXPECT_EQ(w.error().step, SafeWriteStep::Exists);
        EXPECT_EQ(readAll(target), "someone else's");
        SetSafeWriteFaultsForTesting(nullptr);
    }
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"t0", "t1", "t2"}));
}

// A temporary file that its writer could not remove (the program killed, the card pulled and put
// back) goes with the next write of the same target; a writer's file that is still open, other
// targets' files and names of another form stay.
TEST(SafeWrite, LeftoversOfTheSameTargetGoWithTheNextWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("joined.MOV");
    const QStringList kept = {".joined.MOV.1234abcd.tmp.bak", ".joined.MOV.notatemp.tmp",
                              ".other.MOV.0badf00d.tmp", "joined.MOV.0badf00d.tmp"};
    for (const QString& name : kept)
        writePlain(dir.filePath(name), "someone else's");
    writePlain(dir.filePath(".joined.MOV.0badf00d.tmp"), "left by a killed writer");
    ASSERT_TRUE(QDir(dir.path()).mkdir(".joined.MOV.feedf00d.tmp"));  // not a file: stays

    SafeWriter live;  // a writer of the same target at work
    ASSERT_TRUE(live.open(target));
    ASSERT_TRUE(live.write("first"));
    const QString liveTemp = QFileInfo(live.temporaryPath()).fileName();

    ASSERT_FALSE(SafeWriteFile(target, "second").failed());
    EXPECT_EQ(readAll(target), "second");
    QStringList expected = kept;
    expected << liveTemp << ".joined.MOV.feedf00d.tmp" << "joined.MOV";
    expected.sort();
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, expected);

    // The writer at work is untouched by the other write and by its own finish before commit.
    ASSERT_TRUE(live.finish());
    ASSERT_FALSE(SafeWriteFile(dir.filePath("joined.MOV"), "third").failed());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(liveTemp)));
    ASSERT_TRUE(live.commit());
    EXPECT_EQ(readAll(target), "first");
}

TEST(SafeWrite, LongNamesKeepTheTemporaryNameWithinTheLimit)
{
    QTemporaryDir dir;
    // 250 bytes of ASCII, and 250 bytes of three-byte characters plus one byte.
    const QString ascii = QString(246, u'a') + ".csv";
    const QString wide = QString(83, QChar(0x65E5)) + "x";
    ASSERT_EQ(QFile::encodeName(wide).size(), 250);
    for (const QString& name : {ascii, wide}) {
        SafeWriter w;
        ASSERT_TRUE(w.open(dir.filePath(name))) << w.error().message().toStdString();
        const QByteArray tempName = QFile::encodeName(QFileInfo(w.temporaryPath()).fileName());
        EXPECT_LE(tempName.size(), 64);
        EXPECT_TRUE(QString::fromUtf8(tempName).isValidUtf16());
        ASSERT_TRUE(w.write("x"));
        ASSERT_TRUE(w.commit());
        EXPECT_EQ(readAll(dir.filePath(name)), "x");
    }
    EXPECT_EQ(filesIn(dir.path()).size(), 2);
}

TEST(SafeWrite, FullAndReadOnlyDisks)
{
    QTemporaryDir dir;
    SmallDisk disk(dir.filePath("small"));
    if (!disk.mounted) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const QString target = disk.path + "/big.bin";
    writePlain(target, "the old content");
    SafeWriter w;
    ASSERT_TRUE(w.open(target));
    bool ok = true;
    for (int i = 0; i < 40 && ok; ++i)
        ok = w.write(QByteArray(4096, 'z'));
    EXPECT_FALSE(ok);
    EXPECT_EQ(w.error().step, SafeWriteStep::Write);
    EXPECT_EQ(w.error().error, ENOSPC);
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(readAll(target), "the old content");
    EXPECT_EQ(filesIn(disk.path), QStringList{"big.bin"});

    // The same disk read-only: nothing can be made, the old file stays.
    ASSERT_EQ(QProcess::execute("mount", {"-o", "remount,ro", disk.path}), 0);
    const SafeWriteError e = SafeWriteFile(target, "new");
    EXPECT_EQ(e.step, SafeWriteStep::CreateTemp);
    EXPECT_EQ(e.error, EROFS);
    EXPECT_EQ(readAll(target), "the old content");
}

}  // namespace
}  // namespace ravir
