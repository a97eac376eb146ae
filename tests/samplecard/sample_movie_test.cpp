// Sample movies read back with ffprobe/ffmpeg and a box walk of our own, independent of the
// writer.
#include "samplecard/frame_pattern.h"
#include "media_probe.h"
#include "samplecard/recorder_layout.h"
#include "samplecard/sample_movie.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace ravir::samples;
using namespace ravir::test;

namespace {

QByteArray someBlock()
{
    // A short block of the recorder's form: magic, 26-byte header, count 1, one record, mark,
    // blank, end magic, recorder number.
    QByteArray b("QVXDAT");
    b += QByteArray("0500050005000500M010203  ", 25) + ' ';
    b += QByteArray::fromHex("0001");
    b += QByteArray(124, ' ');
    b += QByteArray("\0 QVXEND123456", 14);
    return b;
}

}  // namespace

TEST(SampleMovie, RecorderLayoutHasBoxOrderFrameCountAndReadableFrameNumbers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SampleMovieOptions o;
    o.width = 320;
    o.height = 180;
    o.seconds = 1.0;
    o.fps = 30.0;
    o.gop = 10;
    o.firstFrameNumber = 1000;
    o.telemetryBlock = someBlock();
    const QString path = dir.filePath("NA000001.MOV");
    QString error;
    ASSERT_TRUE(WriteSampleMovie(path, o, &error)) << error.toStdString();
    EXPECT_EQ(frameCount(o), 30);

    const auto boxes = topLevelBoxes(path);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].type, "ftyp");
    EXPECT_EQ(boxes[1].type, "mdat");
    EXPECT_EQ(boxes[2].type, "moov");
    EXPECT_EQ(boxes[3].type, "udat");
    EXPECT_EQ(boxes[3].payload, o.telemetryBlock);

    const ProbeFacts facts = probeVideo(path);
    EXPECT_EQ(facts.frames, 30);
    EXPECT_EQ(facts.width, 320);
    EXPECT_EQ(facts.height, 180);
    EXPECT_EQ(facts.rate, "30/1");
    EXPECT_TRUE(facts.hasAudio);
    for (int k : {0, 7, 29})
        EXPECT_EQ(frameNumberAt(path, k), 1000 + k) << "frame " << k;
    // No temporary files are left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(SampleMovie, PlainLayoutsAndRatesDecode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SampleMovieOptions o;
    o.width = 160;
    o.height = 90;
    o.seconds = 2.0;
    o.fps = 15.0;
    o.audio = false;
    o.recorderLayout = false;
    o.format = "mp4";
    o.faststart = true;
    const QString path = dir.filePath("plain.mp4");
    QString error;
    ASSERT_TRUE(WriteSampleMovie(path, o, &error)) << error.toStdString();
    const auto boxes = topLevelBoxes(path);
    ASSERT_GE(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].type, "ftyp");
    qsizetype moovAt = -1, mdatAt = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].type == "moov") moovAt = static_cast<qsizetype>(i);
        if (boxes[i].type == "mdat") mdatAt = static_cast<qsizetype>(i);
    }
    EXPECT_LT(moovAt, mdatAt);  // faststart
    const ProbeFacts facts = probeVideo(path);
    EXPECT_EQ(facts.frames, 30);
    EXPECT_EQ(facts.rate, "15/1");
    EXPECT_FALSE(facts.hasAudio);
    EXPECT_EQ(frameNumberAt(path, 29), 29);

    // The same movie moved into the recorder's order: mdat now comes first and every chunk
    // offset has to follow it.
    QString error2;
    ASSERT_TRUE(RewriteRecorderLayout(path, dir.filePath("moved.MOV"), someBlock(), &error2))
        << error2.toStdString();
    const auto moved = topLevelBoxes(dir.filePath("moved.MOV"));
    ASSERT_EQ(moved.size(), 4u);
    EXPECT_EQ(moved[1].type, "mdat");
    EXPECT_EQ(moved[3].type, "udat");
    EXPECT_EQ(probeVideo(dir.filePath("moved.MOV")).frames, 30);
    EXPECT_EQ(frameNumberAt(dir.filePath("moved.MOV"), 23), 23);
    // A cut file or one without a movie box is refused, not half rewritten.
    QFile whole(path);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    for (const QByteArray& damaged : {bytes.left(bytes.size() / 2), bytes.left(40), QByteArray("nothing")}) {
        QFile cut(dir.filePath("cut.mp4"));
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cut.write(damaged);
        cut.close();
        EXPECT_FALSE(RewriteRecorderLayout(dir.filePath("cut.mp4"), dir.filePath("cut.MOV"), {}, &error2));
    }

    o.seconds = 0.5;
    o.fps = 30000.0 / 1001.0;
    o.recorderLayout = true;
    o.format = "mov";
    o.faststart = false;
    ASSERT_TRUE(WriteSampleMovie(dir.filePath("ntsc.MOV"), o, &error)) << error.toStdString();
    const ProbeFacts ntsc = probeVideo(dir.filePath("ntsc.MOV"));
    EXPECT_EQ(ntsc.frames, 15);
    EXPECT_EQ(ntsc.rate, "30000/1001");
    const auto nb = topLevelBoxes(dir.filePath("ntsc.MOV"));
    ASSERT_EQ(nb.size(), 3u);  // no telemetry block: no udat
    EXPECT_EQ(nb[2].type, "moov");
}

TEST(SampleMovie, RejectsBadOptionsWithoutLeavingFiles)
{
    QTemporaryDir dir;
    SampleMovieOptions o;
    o.width = 15;
    QString error;
    EXPECT_FALSE(WriteSampleMovie(dir.filePath("bad.MOV"), o, &error));
    EXPECT_FALSE(error.isEmpty());
    o.width = 320;
    o.seconds = 0;
    EXPECT_FALSE(WriteSampleMovie(dir.filePath("bad.MOV"), o, &error));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // An encoder that fails, or one that dies while frames are still being sent.
    o.seconds = 1;
    for (const char* program : {"/bin/false", "/bin/true"}) {
        qputenv("RAVIR_FFMPEG", program);
        error.clear();
        EXPECT_FALSE(WriteSampleMovie(dir.filePath("bad.MOV"), o, &error)) << program;
        EXPECT_FALSE(error.isEmpty());
    }
    qunsetenv("RAVIR_FFMPEG");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
