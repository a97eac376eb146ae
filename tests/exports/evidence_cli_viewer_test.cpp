// `ravir evidence`: the folder of a span, read back with ffmpeg, ffprobe and sha256sum, and the
// refusals that must leave nothing behind.
#include "media_probe.h"
#include "sample_data.h"
#include "samplecard/frame_pattern.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace ravir {
namespace {

using test::runRavir;

QByteArray RunTool(const QString& program, const QStringList& args, const QString& dir = {}, int* exitCode = nullptr)
{
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(120000))
        p.kill();
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

// The frame numbers of every frame ffmpeg decodes, in order.
std::vector<long> DecodedFrameNumbers(const QString& movie)
{
    const QList<QByteArray> wh = RunTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                 "stream=width,height", "-of", "csv=p=0", movie})
                                     .trimmed()
                                     .split(',');
    if (wh.size() != 2)
        return {};
    const int w = wh[0].toInt(), h = wh[1].toInt();
    const QByteArray grey = RunTool("ffmpeg", {"-v", "error", "-i", movie, "-map", "0:v", "-f", "rawvideo", "-pix_fmt",
                                           "gray", "-"});
    std::vector<long> numbers;
    const qsizetype frame = static_cast<qsizetype>(w) * h;
    for (qsizetype at = 0; frame > 0 && at + frame <= grey.size(); at += frame) {
        numbers.push_back(samples::readFramePattern(w, h, [&](int x, int y) {
            return static_cast<unsigned char>(grey[at + static_cast<qsizetype>(y) * w + x]);
        }));
    }
    return numbers;
}

// The hashes of the video packets as stored (no decoding), in file order.
QStringList VideoPacketHashes(const QString& movie)
{
    QStringList hashes;
    for (const QByteArray& line : RunTool("ffmpeg", {"-v", "error", "-i", movie, "-map", "0:v", "-c", "copy", "-f",
                                                 "framemd5", "-"})
                                      .split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        hashes << QString::fromLatin1(line.split(',').last().trimmed());
    }
    return hashes;
}

QString EvidenceCard()
{
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 4;
    o.allKinds = false;
    o.twoCamera = true;
    o.deletedForms = false;
    QString error;
    const QString card = test::sampleCard("evidence_card", o, &error);
    EXPECT_FALSE(card.isEmpty()) << error.toStdString();
    return card;
}

QString MainMovie(const QString& card)
{
    QDir main(card + "/Normal/Main");
    const QStringList movies = main.entryList({"A___-*M.MOV"}, QDir::Files, QDir::Name);
    return movies.isEmpty() ? QString() : main.filePath(movies.front());
}

QString Sha256Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return QString::fromLatin1(h.result().toHex());
}

bool HaveDecoder() { return runRavir({"help", "evidence"}).exitCode == 0; }

TEST(EvidenceCli, ClipsHoldExactlyTheSpanOfBothCamerasBitForBit)
{
    ASSERT_TRUE(test::havePrograms({"ffmpeg", "ffprobe", "sha256sum"}));
    if (!HaveDecoder())
        GTEST_SKIP() << "ravir is built without the playback engine";
    const QString movie = MainMovie(EvidenceCard());
    ASSERT_FALSE(movie.isEmpty());
    const QString sub = QString(movie).replace("/Main/", "/Sub_/").replace("M.MOV", "S.MOV");
    ASSERT_TRUE(QFile::exists(sub));
    QTemporaryDir out;
    // Spans that start on a key frame, inside a group of pictures, and at the movie's edges.
    struct Span {
        int from, to, shown;
    };
    for (const Span span : {Span{40, 80, 50}, Span{30, 31, 30}, Span{0, 5, 3}, Span{100, 119, 119}}) {
        SCOPED_TRACE(QString("frames %1..%2").arg(span.from).arg(span.to).toStdString());
        const QString dir = out.filePath(QString("e%1").arg(span.from));
        // The last span also asks for the progress lines a caller's bar reads.
        const bool progress = span.from == 100;
        QStringList args{"evidence", movie, "--from", QString::number(span.from), "--to",
                         QString::number(span.to), "--frame", QString::number(span.shown), "--out", dir};
        if (progress)
            args << "--progress";
        const auto r = runRavir(args);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        QList<int> steps;
        for (const QByteArray& line : r.err.split('\n')) {
            if (line.startsWith("progress ")) {
                const QList<QByteArray> parts = line.split(' ');
                ASSERT_EQ(parts.size(), 3) << line.constData();
                EXPECT_EQ(parts[2], "1000");
                steps << parts[1].toInt();
            }
        }
        if (progress) {
            ASSERT_GE(steps.size(), 3);
            EXPECT_EQ(steps.front(), 0);
            EXPECT_EQ(steps.back(), 1000);
            EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
        } else {
            EXPECT_TRUE(steps.isEmpty());
        }
        const QJsonObject printed = QJsonDocument::fromJson(r.out).object();
        EXPECT_EQ(printed["folder"].toString(), QDir(dir).absolutePath());

        std::vector<long> wanted;
        for (int f = span.from; f <= span.to; ++f)
            wanted.push_back(f);
        const QString mainClip = dir + "/" + QFileInfo(movie).fileName();
        const QString subClip = dir + "/" + QFileInfo(sub).fileName();
        EXPECT_EQ(DecodedFrameNumbers(mainClip), wanted);
        EXPECT_EQ(DecodedFrameNumbers(subClip), wanted);  // the cameras in step
        // ffprobe lists the same frames.
        const QByteArray listed = RunTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                  "frame=pts", "-of", "csv=p=0", mainClip});
        QList<QByteArray> frameLines = listed.split('\n');
        frameLines.removeAll(QByteArray());  // ffprobe's csv writes a blank line after some frames
        EXPECT_EQ(frameLines.size(), static_cast<qsizetype>(wanted.size()));
        EXPECT_TRUE(test::probeVideo(mainClip).hasAudio);

        // The clip's packets are a run of the source's packets, from a key frame at or before
        // the first frame through the last frame.
        for (const auto& [clip, source] : {std::pair{mainClip, movie}, std::pair{subClip, sub}}) {
            const QStringList clipPackets = VideoPacketHashes(clip);
            const QStringList sourcePackets = VideoPacketHashes(source);
            ASSERT_FALSE(clipPackets.isEmpty());
            const auto at = std::search(sourcePackets.begin(), sourcePackets.end(), clipPackets.begin(), clipPackets.end());
            ASSERT_NE(at, sourcePackets.end()) << clip.toStdString();
            const auto first = at - sourcePackets.begin();
            EXPECT_LE(first, span.from);
            EXPECT_GE(first + clipPackets.size() - 1, span.to);
            EXPECT_EQ(first % 30, 0) << "the clip starts on a key frame";
        }

        int sumsExit = -1;
        const QByteArray checked = RunTool("sha256sum", {"-c", "SHA256SUMS"}, dir, &sumsExit);
        EXPECT_EQ(sumsExit, 0) << checked.constData();
        const QStringList files = QDir(dir).entryList(QDir::Files);
        EXPECT_EQ(checked.count(": OK\n"), files.size() - 1);  // every file but the list itself

        QFile jsonFile(dir + "/evidence.json");
        ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(jsonFile.readAll()).object();
        const QJsonArray sources = json["sources"].toArray();
        ASSERT_EQ(sources.size(), 3);  // main, sub, telemetry
        for (const QJsonValue& v : sources) {
            const QJsonObject s = v.toObject();
            EXPECT_EQ(s["sha256"].toString(), Sha256Of(s["path"].toString())) << s["path"].toString().toStdString();
            EXPECT_EQ(s["size"].toInteger(), QFileInfo(s["path"].toString()).size());
        }
        const QJsonObject spanJson = json["span"].toObject();
        EXPECT_EQ(spanJson["from_frame"].toInteger(), span.from);
        EXPECT_EQ(spanJson["to_frame"].toInteger(), span.to);
        EXPECT_EQ(spanJson["sub_from_frame"].toInteger(), span.from);
        EXPECT_FALSE(spanJson["from_local_time"].toString().isEmpty());
        EXPECT_EQ(json["recorder"].toObject()["number"].toString(), "231015");
        EXPECT_EQ(json["recorder"].toObject()["firmware"].toString(), "1.5.2");
        EXPECT_EQ(json["stills"].toArray().size(), 6);
        // The telemetry block of the span: 10 records a second.
        const QJsonObject telemetry = json["telemetry"].toObject();
        EXPECT_NEAR(telemetry["records"].toDouble(), (span.to - span.from + 1) / 3.0, 1.0);
        EXPECT_TRUE(QFile::exists(dir + "/" + telemetry["block"].toString()));
    }
    // Nothing else beside the folders: no temporary folder was left.
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
}

TEST(EvidenceCli, RefusalsLeaveNothingBehind)
{
    ASSERT_TRUE(test::havePrograms({"ffmpeg", "ffprobe"}));
    if (!HaveDecoder())
        GTEST_SKIP() << "ravir is built without the playback engine";
    const QString movie = MainMovie(EvidenceCard());
    ASSERT_FALSE(movie.isEmpty());
    QTemporaryDir work;
    // A movie whose index points past its end.
    const QString damaged = work.filePath("damaged.MOV");
    ASSERT_TRUE(test::writeCutShortMovie(movie, damaged, 50));
    const QString out = work.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const QString existing = out + "/taken";
    ASSERT_TRUE(QDir().mkpath(existing));

    struct Case {
        const char* name;
        QString movie;
        QStringList span;
        QString dir;
        int fileSizeLimitBlocks;  // ulimit -f (512-byte blocks); 0: none
    };
    const Case cases[] = {
        {"beyond the recording", movie, {"--from", "100", "--to", "500"}, out + "/a", 0},
        {"shown frame beyond", movie, {"--from", "1", "--to", "5", "--frame", "9999"}, out + "/b", 0},
        {"damaged source", damaged, {"--from", "40", "--to", "70"}, out + "/c", 0},
        {"output exists", movie, {"--from", "1", "--to", "5"}, existing, 0},
        {"full disk", movie, {"--from", "0", "--to", "110"}, out + "/d", 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList args = QStringList{"evidence", c.movie} + c.span + QStringList{"--out", c.dir};
        int exitCode = -1;
        QByteArray err;
        if (c.fileSizeLimitBlocks > 0) {
            // A write past the limit fails with EFBIG, as on a full card (the signal is ignored).
            QProcess p;
            p.setStandardInputFile(QProcess::nullDevice());
            p.start("/bin/sh", QStringList{"-c", QString("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"")
                                                     .arg(c.fileSizeLimitBlocks),
                                           RAVIR_EXE} + args);
            ASSERT_TRUE(p.waitForFinished(120000));
            exitCode = p.exitCode();
            err = p.readAllStandardError();
        } else {
            const auto r = runRavir(args);
            exitCode = r.exitCode;
            err = r.err;
        }
        EXPECT_EQ(exitCode, 1) << err.constData();
        EXPECT_TRUE(err.contains("nothing was written")) << err.constData();
        // Only the folder that was there before.
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"taken"});
        EXPECT_TRUE(QDir(existing).isEmpty());
    }
}

}  // namespace
}  // namespace ravir
