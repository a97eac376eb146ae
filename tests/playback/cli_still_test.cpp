// `ravir still`: the exact frame, at the movie's size, without a display.
#include "playback_fixture.h"
#include "media_probe.h"
#include "test_support.h"

#include "catalogue/joined_save_paths.h"
#include "catalogue/recording_name.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QProcess>

#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace ravir::test;

TEST(CliStill, SavesExactlyTheAskedFrame)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QTemporaryDir dir;
    for (int frame : {0, 31, 89}) {
        const QString out = dir.filePath(QString("still%1.jpg").arg(frame));
        const RunResult r = runRavir({"still", movie, "--frame", QString::number(frame), "--out", out});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QImage image(out);
        EXPECT_EQ(image.size(), QSize(320, 240));
        EXPECT_EQ(framePatternOf(image), frame);
    }
}

TEST(CliStill, FailsClearly)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QTemporaryDir dir;
    const QString out = dir.filePath("x.jpg");
    RunResult r = runRavir({"still", movie, "--frame", "90", "--out", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("beyond"));
    r = runRavir({"still", movie, "--frame", "-3", "--out", out});
    EXPECT_EQ(r.exitCode, 2);
    r = runRavir({"still", movie, "--out", out});
    EXPECT_EQ(r.exitCode, 2);
    r = runRavir({"still", dir.filePath("missing.MOV"), "--frame", "1", "--out", out});
    EXPECT_EQ(r.exitCode, 1);
    r = runRavir({"still", smallMovie("pb_30fps_2s", 30, 2), "--frame", "1", "--out", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("too short"));
    r = runRavir({"still", movie, "--frame", "3", "--out", dir.filePath("no/such/dir/x.jpg")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(out));
}

// A movie whose media data is cut short (its index intact, the samples from frame 60 on past
// the end of the file): frames it holds are saved exactly; for the others nothing is saved and
// the message says the frame could not be shown or decoded, never that the folder is at fault.
TEST(CliStill, AMovieCutShortSavesOnlyTheFramesItHolds)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QTemporaryDir dir;
    const QString cut = dir.filePath("cut.mp4");
    ASSERT_TRUE(writeCutShortMovie(movie, cut, 60));
    for (int frame : {89, 80, 75, 61}) {
        for (int round = 0; round < 2; ++round) {
            const QString out = dir.filePath(QString("still%1.jpg").arg(frame));
            const RunResult r =
                runRavir({"still", cut, "--frame", QString::number(frame), "--out", out});
            EXPECT_EQ(r.exitCode, 1) << frame << ": saved a picture of frame "
                                     << framePatternOf(QImage(out));
            EXPECT_TRUE(r.err.contains(QString("frame %1").arg(frame).toUtf8()))
                << r.err.toStdString();
            EXPECT_FALSE(r.err.contains("read-only")) << r.err.toStdString();
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                      QStringList{"cut.mp4"})
                << frame;
            QFile::remove(out);
        }
    }
    for (int frame : {0, 20, 45}) {
        const QString out = dir.filePath(QString("still%1.jpg").arg(frame));
        const RunResult r = runRavir({"still", cut, "--frame", QString::number(frame), "--out", out});
        ASSERT_EQ(r.exitCode, 0) << frame << ": " << r.err.toStdString();
        EXPECT_EQ(framePatternOf(QImage(out)), frame);
    }
}

// A full disk: exit 1, no still cut short under the name and an existing still kept. A name of
// 250 bytes is written (the temporary name stays within the name limit).
TEST(CliStill, FullDisksFailAndLongNamesWork)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QTemporaryDir dir;
    const QString longOut = dir.filePath(QString(246, u's') + ".jpg");
    RunResult r = runRavir({"still", movie, "--frame", "5", "--out", longOut});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(framePatternOf(QImage(longOut)), 5);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    const QString small = dir.filePath("small");
    QDir().mkpath(small);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) != 0) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{small};
    const QString out = small + "/still.jpg";
    ASSERT_EQ(runRavir({"still", movie, "--frame", "7", "--out", out}).exitCode, 0);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    {
        QFile fill(small + "/fill");
        ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
        while (fill.write(QByteArray(1024, 'f')) == 1024 && fill.flush()) {
        }
    }
    r = runRavir({"still", movie, "--frame", "9", "--out", out});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), good);
    f.close();
    r = runRavir({"still", movie, "--frame", "9", "--out", small + "/new.jpg"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QDir(small).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"fill", "still.jpg"}));
}

namespace {

// Size, modification time and bytes of every entry under root, to see that nothing changed.
std::map<std::string, std::string> snapshotOf(const QString& root)
{
    std::map<std::string, std::string> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QByteArray facts = QByteArray::number(info.size()) + ' ' + info.symLinkTarget().toUtf8() +
                           ' ' + QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        QFile f(info.filePath());
        if (info.isFile() && !info.isSymLink() && f.open(QIODevice::ReadOnly))
            facts += ' ' + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
        out[QDir(root).relativeFilePath(info.filePath()).toStdString()] = facts.toStdString();
    }
    return out;
}

}  // namespace

// The still never takes the place of what it is taken from, of a device or FIFO, or of a
// recorder's file on a card, however OUT is spelled: each is refused with exit 1, and the card
// and the folder are exactly as before.
TEST(CliStill, NeverReplacesItsInputsDevicesOrCardFiles)
{
    QTemporaryDir dir;
    const QString card = dir.filePath("card");
    ASSERT_TRUE(copyTree(windowTestCard(), card));
    QStringList mains;
    QDirIterator it(card, {"*M.MOV"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        mains << it.next();
    mains.sort();
    ASSERT_GE(mains.size(), 2);
    const QString movie = mains[0];
    const QString sub = ravir::PairedPathOf(movie);
    const QString telemetry = ravir::TelemetryPlaceOf(movie).path;
    ASSERT_TRUE(QFileInfo(sub).isFile()) << sub.toStdString();
    ASSERT_TRUE(QFileInfo(telemetry).isFile()) << telemetry.toStdString();
    const QFileInfo movieInfo(movie);
    const QString folderName = movieInfo.dir().dirName();
    QString unused = movieInfo.fileName();
    unused.replace(19, 6, "999999");  // a recording the card does not hold (yet)

    const QString others = dir.filePath("others");
    QDir().mkpath(others);
    const QString fifo = others + "/fifo.jpg";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString linkToMovie = others + "/link.jpg";
    ASSERT_TRUE(QFile::link(movie, linkToMovie));
    const QString linkToNull = others + "/null.jpg";
    ASSERT_TRUE(QFile::link("/dev/null", linkToNull));
    QString device;
    if (::geteuid() == 0) {  // a character device of our own, never the system's
        device = others + "/device.jpg";
        ASSERT_EQ(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }

    struct Row {
        const char* what;
        QString out;
    };
    const std::vector<Row> rows = {
        {"the movie itself", movie},
        {"the movie through ..", movieInfo.absolutePath() + "/../" + folderName + "/" + movieInfo.fileName()},
        {"the sub camera's movie", sub},
        {"the telemetry file", telemetry},
        {"a link to the movie", linkToMovie},
        {"another recording of the card", mains[1]},
        {"a new recording name in the card's folder", movieInfo.absolutePath() + "/" + unused},
        {"a FIFO", fifo},
        {"a link to /dev/null", linkToNull},
        {"a character device", device},
        {"a folder", others},
    };
    const auto cardBefore = snapshotOf(card);
    const auto othersBefore = snapshotOf(others);
    for (const Row& row : rows) {
        if (row.out.isEmpty())
            continue;
        SCOPED_TRACE(row.what);
        // Names without a still's extension are refused as a usage error (2); the others by
        // the output check (1).
        const RunResult r = runRavir({"still", movie, "--frame", "5", "--out", row.out});
        EXPECT_EQ(r.exitCode, row.out.endsWith(".jpg") ? 1 : 2) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    // Recorder names with the still's own extension: refused by the card rule, not the format.
    const QString cardNamed = movieInfo.absolutePath() + "/" + unused.left(27) + "jpg";
    RunResult r = runRavir({"still", movie, "--frame", "5", "--out", cardNamed});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(snapshotOf(card), cardBefore);
    EXPECT_EQ(snapshotOf(others), othersBefore);

    // The card's folder itself is fine for a still under its own name.
    const QString beside = movieInfo.absolutePath() + "/" + movieInfo.completeBaseName() + "-000005.jpg";
    r = runRavir({"still", movie, "--frame", "5", "--out", beside});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(framePatternOf(QImage(beside)), 5);
}

// --frame is plain digits given once; the extension chooses PNG or JPEG and nothing else.
TEST(CliStill, FrameAndFormatArgumentsAreStrict)
{
    const QString movie = smallMovie("pb_30fps_3s", 30, 3);
    QTemporaryDir dir;
    const QString out = dir.filePath("x.jpg");
    for (const QStringList& frameArgs :
         {QStringList{"--frame", " 5"}, {"--frame", "+5"}, {"--frame", "5 "}, {"--frame", "5x"},
          {"--frame", ""}, {"--frame", "0x5"}, {"--frame", "99999999999"},
          {"--frame", "5", "--frame", "6"}, {"--frame=5", "--frame=6"}}) {
        SCOPED_TRACE(frameArgs.join(' ').toStdString());
        const RunResult r = runRavir(QStringList{"still", movie, "--out", out} + frameArgs);
        EXPECT_EQ(r.exitCode, 2);
    }
    EXPECT_EQ(runRavir({"still", movie, "--frame", "5", "--out", dir.filePath("x.bmp")}).exitCode, 2);
    EXPECT_EQ(runRavir({"still", movie, "--frame", "5", "--out", dir.filePath("x")}).exitCode, 2);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    struct Format {
        const char* name;
        QByteArray magic;
    };
    for (const Format& f : {Format{"a.png", "\x89PNG"}, Format{"b.PNG", "\x89PNG"},
                            Format{"c.jpg", "\xFF\xD8\xFF"}, Format{"d.jpeg", "\xFF\xD8\xFF"}}) {
        SCOPED_TRACE(f.name);
        const QString path = dir.filePath(f.name);
        const RunResult r = runRavir({"still", movie, "--frame", "12", "--out", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(f.magic.size()) == f.magic);
        EXPECT_EQ(framePatternOf(QImage(path)), 12);
    }
}
