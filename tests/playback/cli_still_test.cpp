// `ravir still`: the exact frame, at the movie's size, without a display.
#include "playback_fixture.h"
#include "test_support.h"

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
