// `ravir still`: the exact frame, at the movie's size, without a display.
#include "playback_fixture.h"
#include "media_probe.h"
#include "test_support.h"

#include <QProcess>
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
