// The cut of a span of frames: what ffmpeg decodes from the cut is exactly the span (B-frames
// included), and refusals leave no output.
#include "test_support.h"

#include "container/movie_cut.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir {
namespace {

QString Seed(const char* name) { return QStringLiteral(RAVIR_SOURCE_DIR "/tests/fuzz/regressions/fuzz_cut/") + name; }

// The checksums of the decoded video frames, in the order ffmpeg gives them.
QStringList DecodedFrames(const QString& movie)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start("ffmpeg", {"-v", "error", "-i", movie, "-map", "0:v", "-f", "framemd5", "-"});
    p.waitForFinished(60000);
    QStringList out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            out << QString::fromLatin1(line.split(',').last().trimmed());
    }
    return out;
}

TEST(MovieCut, DecodesToExactlyTheSpan)
{
    ASSERT_TRUE(test::havePrograms({"ffmpeg"}));
    QTemporaryDir out;
    struct Case {
        const char* seed;
        int64_t from, to;
    };
    for (const Case c : {Case{"seed-bframes.mp4", 0, 4}, Case{"seed-bframes.mp4", 1, 3}, Case{"seed-bframes.mp4", 2, 2},
                         Case{"seed-bframes.mp4", 3, 4}, Case{"seed-mov.mov", 0, 0}}) {
        SCOPED_TRACE(QString("%1 %2..%3").arg(c.seed).arg(c.from).arg(c.to).toStdString());
        const QStringList source = DecodedFrames(Seed(c.seed));
        ASSERT_GT(source.size(), c.to);
        MovieCutRequest r;
        r.input = Seed(c.seed);
        r.output = out.filePath(QString("%1-%2-%3").arg(c.seed).arg(c.from).arg(c.to));
        r.fromFrame = c.from;
        r.toFrame = c.to;
        r.syncToDisk = false;
        const MovieCutResult result = CutMovie(r);
        ASSERT_TRUE(result.ok) << result.detail.toStdString();
        EXPECT_EQ(result.frameCount, source.size());
        EXPECT_EQ(DecodedFrames(r.output), source.mid(c.from, c.to - c.from + 1));
        const MovieFrames back = ReadMovieFrames(r.output);
        EXPECT_EQ(static_cast<int64_t>(back.startSeconds.size()), c.to - c.from + 1);
    }
}

TEST(MovieCut, RefusalsWriteNothing)
{
    QTemporaryDir out;
    const QString taken = out.filePath("taken");
    QFile f(taken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    struct Case {
        const char* seed;
        int64_t from, to;
        QString output;
        CutError error;
    };
    const Case cases[] = {
        {"seed-bframes.mp4", 3, 9, out.filePath("a"), CutError::OutOfRange},
        {"seed-bframes.mp4", 3, 2, out.filePath("b"), CutError::OutOfRange},
        {"seed-bframes.mp4", 0, 1, taken, CutError::OutputExists},
        {"stco-past-end", 0, 1, out.filePath("c"), CutError::InputDamaged},
        {"stsc-chunk-zero", 0, 1, out.filePath("d"), CutError::InputDamaged},
        {"missing-file", 0, 1, out.filePath("e"), CutError::OpenFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        MovieCutRequest r;
        r.input = Seed(c.seed);
        r.output = c.output;
        r.fromFrame = c.from;
        r.toFrame = c.to;
        r.syncToDisk = false;
        const MovieCutResult result = CutMovie(r);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, c.error) << result.detail.toStdString();
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"taken"});
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "keep");
}

}  // namespace
}  // namespace ravir
