// The joined save: recordings made by ffmpeg joined and checked with ffprobe and ffmpeg (frame
// counts, durations, a clean decode, the frame-number pattern at every seam, audio in step),
// the telemetry join, refusals, stop, failures, and the table merge on boxes built here.
#include "box_builder.h"
#include "join_fixture.h"
#include "catalogue/joined_save_paths.h"
#include "container/movie_join.h"
#include "samplecard/frame_pattern.h"
#include "samplecard/sample_movie.h"
#include "samplecard/telemetry_block.h"
#include "shell/ui_text.h"
#include "test_support.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace ravir::test {
namespace {

QByteArray run(const QString& program, const QStringList& args, int* exitCode = nullptr,
               QByteArray* err = nullptr)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(300000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (err)
        *err = p.readAllStandardError();
    return p.readAllStandardOutput();
}

struct StreamFacts {
    int frames = 0;
    double videoSeconds = 0;
    double audioSeconds = 0;
    int audioPackets = 0;
    int width = 0, height = 0;
};

StreamFacts probeStreams(const QString& path)
{
    StreamFacts f;
    const auto doc = QJsonDocument::fromJson(run("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
        "stream=codec_type,nb_read_frames,duration,width,height", "-of", "json", path}));
    for (const auto& s : doc.object()["streams"].toArray()) {
        const QJsonObject o = s.toObject();
        if (o["codec_type"].toString() == "video") {
            f.frames = o["nb_read_frames"].toString().toInt();
            f.videoSeconds = o["duration"].toString().toDouble();
            f.width = o["width"].toInt();
            f.height = o["height"].toInt();
        } else if (o["codec_type"].toString() == "audio") {
            f.audioSeconds = o["duration"].toString().toDouble();
            f.audioPackets = o["nb_read_frames"].toString().toInt();
        }
    }
    return f;
}

// The frame number carried by decoded frame `index` of the movie (-1 when unreadable).
long frameNumberAt(const QString& path, int index, int width, int height)
{
    const QByteArray gray = run("ffmpeg", {"-v", "error", "-i", path, "-vf", QString("select=eq(n\\,%1)").arg(index),
                                           "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    if (gray.size() != width * height)
        return -1;
    return samples::readFramePattern(width, height, [&](int x, int y) {
        return static_cast<uint8_t>(gray[y * width + x]);
    });
}

bool decodesCleanly(const QString& path, QByteArray* err)
{
    int code = -1;
    run("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"}, &code, err);
    return code == 0 && err->trimmed().isEmpty();
}

class MovieJoin : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString movieFolder() { return dir.filePath("Normal"); }
    QString dataFolder() { return dir.filePath("_NData"); }

    void SetUp() override
    {
        QDir().mkpath(movieFolder());
        QDir().mkpath(dataFolder());
    }

    // A recording in the card's continuous folder with its telemetry file.
    QString recording(int index, uint32_t firstFrame, samples::SampleMovieOptions o, int records = 20,
                      char camera = 'M', bool telemetryFile = true)
    {
        const QString stem = QString("A___-250314-0800%1-%2").arg(index, 2, 10, QLatin1Char('0'))
                                 .arg(100 + index, 6, 10, QLatin1Char('0'));
        const QString path = QString("%1/%2%3.MOV").arg(movieFolder(), stem).arg(camera);
        samples::TelemetryOptions t;
        t.records = records;
        t.start = QDateTime(QDate(2025, 3, 14), QTime(8, 0, index));
        t.seed = static_cast<uint32_t>(index + 1);
        const QByteArray block = samples::MakeTelemetryBlock(t);
        o.firstFrameNumber = firstFrame;
        o.seed = static_cast<uint32_t>(index + 1);
        if (o.recorderLayout)
            o.telemetryBlock = block;
        QString error;
        EXPECT_TRUE(samples::WriteSampleMovie(path, o, &error)) << error.toStdString();
        if (telemetryFile) {
            EXPECT_TRUE(writeFile(QString("%1/%2D.ADA").arg(dataFolder(), stem), block));
        }
        return path;
    }

    static samples::SampleMovieOptions small(bool audio = true)
    {
        samples::SampleMovieOptions o;
        o.width = 320;
        o.height = 240;
        o.fps = 30;
        o.seconds = 2;
        o.gop = 15;
        o.audio = audio;
        return o;
    }

    // Files in the folders other than the inputs (outputs, temporaries).
    QStringList leftovers(const QStringList& inputs)
    {
        QStringList found;
        for (const QString& folder : {dir.path(), movieFolder(), dataFolder()}) {
            for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (!inputs.contains(f.absoluteFilePath()) && !f.fileName().endsWith(".ADA"))
                    found << f.absoluteFilePath();
                if (f.fileName().startsWith('.'))
                    found << f.absoluteFilePath();
            }
        }
        return found;
    }
};

TEST(JoinTelemetry, RepeatsTheLastRecordAndWritesTheLongForm)
{
    auto holder = [](int count, char fill) {
        TelemetryHolder h;
        h.header.fill('H');
        h.recordCount = count;
        h.records.resize(static_cast<size_t>(count) * kTelemetryRecordBytes);
        for (int k = 0; k < count; ++k) {
            std::fill_n(h.records.begin() + k * kTelemetryRecordBytes, kTelemetryRecordBytes,
                        static_cast<uint8_t>(fill + k % 7));
            h.records[static_cast<size_t>(k) * kTelemetryRecordBytes] = static_cast<uint8_t>(k & 0x7F);
        }
        return h;
    };
    TelemetryHolder a = holder(600, 'a');
    const TelemetryHolder b = holder(600, 'b');
    JoinTelemetry(a, b);
    ASSERT_EQ(a.recordCount, 1202);
    ASSERT_EQ(a.records.size(), 1202u * kTelemetryRecordBytes);
    auto rec = [&](const TelemetryHolder& h, int k) {
        return std::vector<uint8_t>(h.records.begin() + k * kTelemetryRecordBytes,
                                    h.records.begin() + (k + 1) * kTelemetryRecordBytes);
    };
    EXPECT_EQ(rec(a, 599), rec(holder(600, 'a'), 599));
    EXPECT_EQ(rec(a, 600), rec(b, 0));
    EXPECT_EQ(rec(a, 1199), rec(b, 599));
    EXPECT_EQ(rec(a, 1200), rec(b, 599));
    EXPECT_EQ(rec(a, 1201), rec(b, 599));
    // An added block without records adds nothing.
    JoinTelemetry(a, TelemetryHolder{});
    EXPECT_EQ(a.recordCount, 1202);

    const QByteArray bytes = TelemetryFileBytes(a);
    ASSERT_EQ(bytes.size(), 34 + 1202 * kTelemetryRecordBytes + 8);
    EXPECT_TRUE(bytes.startsWith("QVXDAT"));
    EXPECT_EQ(static_cast<uint8_t>(bytes[32]) * 256 + static_cast<uint8_t>(bytes[33]), 1202);
    EXPECT_TRUE(bytes.endsWith("  QVXEND"));
    TelemetryHolder back;
    ASSERT_TRUE(ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                         static_cast<size_t>(bytes.size()), back));
    EXPECT_EQ(back.recordCount, 1202);
    EXPECT_EQ(back.records, a.records);

    // 65535 records and more: 0xFFFF, then the true count after the end magic; read back whole.
    TelemetryHolder big = holder(40000, 'c');
    JoinTelemetry(big, holder(30000, 'd'));
    ASSERT_EQ(big.recordCount, 70002);
    const QByteArray large = TelemetryFileBytes(big);
    EXPECT_EQ(static_cast<uint8_t>(large[32]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(large[33]), 0xFF);
    EXPECT_EQ(large.mid(large.size() - 10, 6), "QVXEND");
    EXPECT_EQ(ReadBE32(reinterpret_cast<const uint8_t*>(large.constData()) + large.size() - 4), 70002u);
    ASSERT_TRUE(ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>(large.constData()),
                                         static_cast<size_t>(large.size()), back));
    EXPECT_EQ(back.recordCount, 70002);
    // Exactly 65535 uses the long form too.
    TelemetryHolder edge = holder(65533, 'e');
    JoinTelemetry(edge, holder(0, 'f'));
    edge.recordCount = 65535;
    edge.records.resize(65535u * kTelemetryRecordBytes);
    const QByteArray edgeBytes = TelemetryFileBytes(edge);
    EXPECT_EQ(static_cast<uint8_t>(edgeBytes[32]), 0xFF);
    EXPECT_EQ(edgeBytes.size(), 34 + 65535 * kTelemetryRecordBytes + 12);

    // A count larger than the bytes hold is cut to the whole records present.
    QByteArray cut = bytes.left(34 + 10 * kTelemetryRecordBytes + 50);
    ASSERT_TRUE(ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>(cut.constData()),
                                         static_cast<size_t>(cut.size()), back));
    EXPECT_EQ(back.recordCount, 10);
    EXPECT_FALSE(ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>("QVXDAT"), 6, back));

    // The joined save takes exactly the records the player decodes: a cut block, and a block
    // without a count whose end magic comes early.
    QByteArray early = large.left(34 + 7 * kTelemetryRecordBytes) + "QVXEND";
    early += large.mid(34 + 7 * kTelemetryRecordBytes, 3 * kTelemetryRecordBytes);
    for (const QByteArray& block : {cut, early, large}) {
        TelemetryReader decoded;
        ASSERT_TRUE(DecodeTelemetryBytes(QByteArrayView(block), false, decoded));
        ASSERT_TRUE(ReadTelemetryHolderBytes(reinterpret_cast<const uint8_t*>(block.constData()),
                                             static_cast<size_t>(block.size()), back));
        EXPECT_EQ(back.recordCount, decoded.sampleCount);
    }
    EXPECT_EQ(back.recordCount, 70002);
}

TEST_F(MovieJoin, MainCameraRecordingsPlayFrameForFrame)
{
    ASSERT_TRUE(havePrograms({"ffmpeg", "ffprobe"}));
    QStringList inputs;
    for (int i = 0; i < 3; ++i)
        inputs << recording(i, static_cast<uint32_t>(60 * i), small(), 20 + i);
    JoinRequest request = MakeJoinRequest(inputs, dir.filePath("Normal/A___-250314-080099-000199M.MOV"));
    int64_t lastDone = -1, lastTotal = 0;
    bool monotonic = true;
    request.progress = [&](int64_t done, int64_t total) {
        monotonic = monotonic && done >= lastDone;
        lastDone = done;
        lastTotal = total;
    };
    const JoinResult result = SaveJoinedMovie(request);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    EXPECT_EQ(JoinMessageId(result), TXT_DONE);
    EXPECT_TRUE(result.notes.isEmpty()) << result.notes.join('\n').toStdString();
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(lastDone, lastTotal);
    const QString joined = request.outputPath;
    ASSERT_TRUE(QFileInfo::exists(joined));

    const StreamFacts f = probeStreams(joined);
    EXPECT_EQ(f.frames, 180);
    EXPECT_NEAR(f.videoSeconds, 6.0, 0.001);
    // Audio stays in step: each recording's audio starts with its video.
    EXPECT_NEAR(f.audioSeconds, f.videoSeconds, 0.03);
    QByteArray err;
    EXPECT_TRUE(decodesCleanly(joined, &err)) << err.constData();
    for (int index : {0, 59, 60, 119, 120, 179})
        EXPECT_EQ(frameNumberAt(joined, index, 320, 240), index) << "frame " << index;

    // Our own probe agrees; the headers are consistent.
    const RunResult probe = runRavir({"probe", joined});
    ASSERT_EQ(probe.exitCode, 0) << probe.err.constData();
    const QJsonObject p = QJsonDocument::fromJson(probe.out).object();
    EXPECT_EQ(p["total_samples"].toInt(), 180);
    EXPECT_NEAR(p["frame_rate"].toDouble(), 30.0, 0.01);
    EXPECT_NEAR(p["frame_ms"].toDouble(), 1000.0 / 30, 0.001);
    EXPECT_EQ(p["boxes"].toArray().last().toObject()["type"].toString(), "udat");

    // The telemetry file: 20 + (21 + 2) + (22 + 2) records, in the data folder, and the same
    // block in the movie's udat box.
    ASSERT_EQ(result.telemetryPath, dir.filePath("_NData/A___-250314-080099-000199D.ADA"));
    TelemetryHolder telemetry;
    ASSERT_EQ(ReadTelemetryHolderFile(result.telemetryPath, telemetry), TelemetryFileRead::Ok);
    EXPECT_EQ(telemetry.recordCount, 20 + 23 + 24);
    auto movie = OpenMovieFile(joined);
    ASSERT_TRUE(movie);
    TelemetryHolder udat;
    const BoxNode& last = movie->root.children.back();
    ASSERT_TRUE(last.is("udat"));
    ASSERT_TRUE(ReadTelemetryHolderBytes(last.payload.data(), last.payload.size(), udat));
    EXPECT_EQ(udat.records, telemetry.records);
    EXPECT_TRUE(leftovers(inputs + QStringList{joined}).isEmpty()) << leftovers(inputs).join(' ').toStdString();
}

TEST_F(MovieJoin, SubCameraAndMoovFirstInputs)
{
    ASSERT_TRUE(havePrograms({"ffmpeg", "ffprobe"}));
    // Sub camera: smaller picture, no audio, no telemetry files.
    samples::SampleMovieOptions sub = small(false);
    sub.width = 160;
    sub.height = 120;
    QStringList subs;
    for (int i = 0; i < 2; ++i)
        subs << recording(i, static_cast<uint32_t>(60 * i), sub, 20, 'S', false);
    JoinRequest request = MakeJoinRequest(subs, dir.filePath("sub-joined.MOV"));
    JoinResult result = SaveJoinedMovie(request);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    EXPECT_TRUE(result.telemetryPath.isEmpty());
    StreamFacts f = probeStreams(request.outputPath);
    EXPECT_EQ(f.frames, 120);
    EXPECT_EQ(f.width, 160);
    QByteArray err;
    EXPECT_TRUE(decodesCleanly(request.outputPath, &err)) << err.constData();
    EXPECT_EQ(frameNumberAt(request.outputPath, 59, 160, 120), 59);
    EXPECT_EQ(frameNumberAt(request.outputPath, 60, 160, 120), 60);
    // The same through the command line, which will not replace a file without --force.
    const QString cli = dir.filePath("cli-joined.MOV");
    RunResult r = runRavir({"join", cli, subs[0], subs[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(probeStreams(cli).frames, 120);
    r = runRavir({"join", cli, subs[0], subs[1]});
    EXPECT_NE(r.exitCode, 0);
    r = runRavir({"join", cli, subs[0], dir.filePath("missing.MOV")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(runRavir({"join", cli, "--force", subs[1], subs[0]}).exitCode == 0);
    EXPECT_EQ(frameNumberAt(cli, 0, 160, 120), 60);

    // Plain ffmpeg MP4 files, the first with moov after mdat, the others moov first (their media
    // data starts at other offsets), 25 fps.
    QStringList plain;
    for (int i = 0; i < 3; ++i) {
        samples::SampleMovieOptions o = small();
        o.recorderLayout = false;
        o.format = "mp4";
        o.fps = 25;
        o.faststart = i > 0;
        plain << recording(10 + i, static_cast<uint32_t>(50 * i), o, 20, 'M', false);
    }
    request = MakeJoinRequest(plain, dir.filePath("plain-joined.mp4"));
    result = SaveJoinedMovie(request);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    f = probeStreams(request.outputPath);
    EXPECT_EQ(f.frames, 150);
    EXPECT_NEAR(f.videoSeconds, 6.0, 0.001);
    EXPECT_NEAR(f.audioSeconds, f.videoSeconds, 0.03);
    EXPECT_TRUE(decodesCleanly(request.outputPath, &err)) << err.constData();
    for (int index : {49, 50, 99, 100, 149})
        EXPECT_EQ(frameNumberAt(request.outputPath, index, 320, 240), index) << "frame " << index;

    // Movies with B-frames (composition offsets, an edit that starts later in the media), the
    // first one moov-first: every frame stays inside the joined edit.
    QStringList bframes;
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.filePath(QString("bframes%1.mp4").arg(i));
        QStringList args{"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30",
                         "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", "2",
                         "-c:v", "libx264", "-preset", "veryfast", "-bf", "2", "-pix_fmt", "yuv420p",
                         "-c:a", "aac", "-shortest"};
        if (i == 0)
            args << "-movflags" << "+faststart";
        int code = -1;
        run("ffmpeg", args << path, &code);
        ASSERT_EQ(code, 0);
        bframes << path;
    }
    request = MakeJoinRequest(bframes, dir.filePath("bframes-joined.mp4"));
    result = SaveJoinedMovie(request);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    f = probeStreams(request.outputPath);
    EXPECT_EQ(f.frames, 120);
    EXPECT_NEAR(f.videoSeconds, 4.0, 0.001);
    EXPECT_NEAR(f.audioSeconds, f.videoSeconds, 0.03);
    EXPECT_TRUE(decodesCleanly(request.outputPath, &err)) << err.constData();
}

TEST_F(MovieJoin, RefusesRecordingsThatCannotBeJoined)
{
    ASSERT_TRUE(havePrograms({"ffmpeg", "ffprobe"}));
    const QString a = recording(0, 0, small());
    samples::SampleMovieOptions bigger = small();
    bigger.width = 352;
    bigger.height = 288;
    const QString b = recording(1, 60, bigger);
    const QString c = recording(2, 120, small(false));
    for (const QString& other : {b, c}) {
        const JoinRequest request = MakeJoinRequest({a, other}, dir.filePath("refused.MOV"));
        const JoinResult result = SaveJoinedMovie(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, JoinError::NotJoinable) << result.detail.toStdString();
        EXPECT_EQ(result.path, other);
        EXPECT_EQ(JoinMessageId(result), TXT_MSG_JOIN_FAILED);
        EXPECT_FALSE(QFileInfo::exists(request.outputPath));
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("_NData/refused.ADA")));
        EXPECT_TRUE(leftovers({a, b, c}).isEmpty());
    }
    // A damaged input (cut inside its media data) fails the open.
    QFile::copy(a, dir.filePath("cut.MOV"));
    ASSERT_TRUE(QFile::resize(dir.filePath("cut.MOV"), QFileInfo(a).size() / 2));
    const JoinRequest request = MakeJoinRequest({a, dir.filePath("cut.MOV")}, dir.filePath("damaged.MOV"));
    const JoinResult result = SaveJoinedMovie(request);
    EXPECT_EQ(result.error, JoinError::OpenFailed);
    EXPECT_EQ(result.path, dir.filePath("cut.MOV"));
    EXPECT_EQ(JoinMessageId(result), TXT_MSG_JOIN_FAILED);
    EXPECT_FALSE(QFileInfo::exists(request.outputPath));
}

TEST_F(MovieJoin, StopAndFailuresLeaveNothingBehind)
{
    ASSERT_TRUE(havePrograms({"ffmpeg", "ffprobe"}));
    QStringList inputs;
    for (int i = 0; i < 3; ++i)
        inputs << recording(i, static_cast<uint32_t>(60 * i), small());
    const QString out = dir.filePath("Normal/A___-250314-080099-000199M.MOV");
    const QString telemetry = dir.filePath("_NData/A___-250314-080099-000199D.ADA");

    // Stop before the last recording.
    {
        std::atomic<bool> stop{false};
        JoinRequest request = MakeJoinRequest(inputs, out);
        request.stop = &stop;
        int calls = 0;
        request.progress = [&](int64_t, int64_t) {
            if (++calls == 2)
                stop = true;  // after the second recording was merged
        };
        const JoinResult result = SaveJoinedMovie(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, JoinError::Stopped);
        EXPECT_EQ(JoinMessageId(result), -1);
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_FALSE(QFileInfo::exists(telemetry));
        EXPECT_TRUE(leftovers(inputs).isEmpty()) << leftovers(inputs).join(' ').toStdString();
    }
    // Stop while the media data is being written.
    {
        std::atomic<bool> stop{false};
        JoinRequest request = MakeJoinRequest(inputs, out);
        request.stop = &stop;
        request.progress = [&](int64_t done, int64_t total) {
            if (done * 10 > total * 6)
                stop = true;
        };
        const JoinResult result = SaveJoinedMovie(request);
        EXPECT_EQ(result.error, JoinError::Stopped);
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_TRUE(leftovers(inputs).isEmpty()) << leftovers(inputs).join(' ').toStdString();
    }
    // An input cut short before its media data is copied.
    {
        const QString victim = dir.filePath("victim.MOV");
        ASSERT_TRUE(QFile::copy(inputs[1], victim));
        JoinRequest request = MakeJoinRequest({inputs[0], victim}, out);
        request.progress = [&](int64_t done, int64_t total) {
            if (done * 2 >= total)
                QFile::resize(victim, 100);
        };
        const JoinResult result = SaveJoinedMovie(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, JoinError::InputChanged) << result.detail.toStdString();
        EXPECT_EQ(result.path, victim);
        EXPECT_EQ(JoinMessageId(result), TXT_MSG_JOIN_FAILED);
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_TRUE(leftovers(inputs + QStringList{victim}).isEmpty())
            << leftovers(inputs).join(' ').toStdString();
    }
    // Not enough free space by the estimate: refused before anything is opened.
    {
        JoinRequest request = MakeJoinRequest(inputs, out);
        request.neededBytes = ~uint64_t{0} / 2;
        const JoinResult result = SaveJoinedMovie(request);
        EXPECT_EQ(result.error, JoinError::NoSpace);
        EXPECT_EQ(JoinMessageId(result), TXT_MSG_JOIN_FAILED);
        EXPECT_FALSE(QFileInfo::exists(out));
    }
    // A disk that fills up while writing (a tiny tmpfs; needs the right to mount).
    const QString full = dir.filePath("full");
    QDir().mkpath(full);
    if (::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    JoinRequest request = MakeJoinRequest(inputs, full + "/joined.MOV");
    request.neededBytes = 1;  // get past the estimate
    const JoinResult result = SaveJoinedMovie(request);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error == JoinError::NoSpace || result.error == JoinError::WriteFailed);
    EXPECT_EQ(JoinMessageId(result), TXT_MSG_JOIN_FAILED);
    EXPECT_TRUE(QDir(full).entryList(QDir::Files | QDir::Hidden).isEmpty());
    ::umount(QFile::encodeName(full).constData());
}

// ---- Table merge on boxes built here -----------------------------------------------------------

const BoxNode* find(const BoxNode& n, const char* type, int nth = 0)
{
    std::vector<const BoxNode*> list;
    CollectBoxes(n, type, list);
    return nth < static_cast<int>(list.size()) ? list[static_cast<size_t>(nth)] : nullptr;
}

std::vector<uint32_t> words(const BoxNode* n, size_t from)
{
    std::vector<uint32_t> out;
    for (size_t at = from; n && at + 4 <= n->payload.size(); at += 4)
        out.push_back(ReadBE32(n->payload.data() + at));
    return out;
}

TEST_F(MovieJoin, MergesEverySampleTable)
{
    const QString a = dir.filePath("a.MOV"), b = dir.filePath("b.MOV");
    ASSERT_TRUE(writeFile(a, syntheticMovie(60, 40, false, 0, false, 200)));
    ASSERT_TRUE(writeFile(b, syntheticMovie(30, 20, true)));
    JoinSession join;
    ASSERT_TRUE(StartJoin(join, a)) << join.errorDetail.toStdString();
    ASSERT_TRUE(AddToJoin(join, b)) << join.errorDetail.toStdString();
    EXPECT_FALSE(join.telemetryEnabled);
    const uint64_t total = PrepareJoinedTree(join);
    ASSERT_GT(total, 0u) << join.errorDetail.toStdString();
    const BoxNode& root = join.accumulator->root;
    EXPECT_EQ(BoxSize(root), total);
    // Video: 90 samples, one stts run, ctts padded with zero offsets for the first recording,
    // sync samples of the second moved by 60, sizes concatenated, chunks renumbered.
    const BoxNode* stts = find(root, "stts");
    EXPECT_EQ(words(stts, 4), (std::vector<uint32_t>{1, 90, 1000}));
    EXPECT_EQ(words(find(root, "ctts"), 4), (std::vector<uint32_t>{2, 60, 0, 30, 1000}));
    const auto stss = words(find(root, "stss"), 4);
    ASSERT_EQ(stss.size(), 1u + 6 + 3);
    EXPECT_EQ(stss[0], 9u);
    EXPECT_EQ(stss[7], 61u);
    EXPECT_EQ(stss[9], 81u);
    const auto stsz = words(find(root, "stsz"), 4);
    EXPECT_EQ(stsz[0], 0u);
    EXPECT_EQ(stsz[1], 90u);
    EXPECT_EQ(stsz.size(), 2u + 90);
    EXPECT_EQ(words(find(root, "stsc"), 4), (std::vector<uint32_t>{1, 1, 2, 1}));
    // Audio: constant sample size keeps an empty table and adds the counts.
    EXPECT_EQ(words(find(root, "stsz", 1), 4), (std::vector<uint32_t>{4, 60}));
    // Chunk offsets: where each payload lands in the output.
    const BoxNode* mdat = find(root, "mdat");
    ASSERT_NE(mdat, nullptr);
    uint64_t payloadAt = 0;
    for (const BoxNode& top : root.children) {
        if (&top == mdat)
            break;
        payloadAt += BoxSize(top);
    }
    payloadAt += 8;
    const auto videoChunks = words(find(root, "stco"), 8);
    ASSERT_EQ(videoChunks.size(), 45u);
    EXPECT_EQ(videoChunks[0], payloadAt);
    const uint64_t firstPayload = 600 + 160;
    EXPECT_EQ(videoChunks[30], payloadAt + firstPayload);
    EXPECT_EQ(mdat->size, firstPayload + 300 + 80);
    // Durations per track: media, track and movie headers consistent.
    EXPECT_EQ(ReadMvhdTimes(*find(root, "mdhd"))->duration, 90000u);
    // The first recording's audio is 25 ms short: its last sample is stretched so that the
    // second recording's audio starts with its video.
    EXPECT_EQ(words(find(root, "stts", 1), 4), (std::vector<uint32_t>{1, 60, 400}));
    EXPECT_EQ(ReadMvhdTimes(*find(root, "mdhd", 1))->duration, 24000u);
    EXPECT_EQ(ReadTkhdDuration(*find(root, "tkhd")).value(), 3000u);
    EXPECT_EQ(ReadMvhdTimes(*find(root, "mvhd"))->duration, 3000u);
}

TEST_F(MovieJoin, AudioOverrunIsTakenFromTheLastSamples)
{
    // The second recording's audio runs 1200 ticks (three samples) past its video.
    const QString a = dir.filePath("a.MOV"), b = dir.filePath("b.MOV"), c = dir.filePath("c.MOV");
    ASSERT_TRUE(writeFile(a, syntheticMovie(60, 40, false)));
    ASSERT_TRUE(writeFile(b, syntheticMovie(30, 23, false)));
    ASSERT_TRUE(writeFile(c, syntheticMovie(30, 20, false)));
    JoinSession join;
    ASSERT_TRUE(StartJoin(join, a));
    ASSERT_TRUE(AddToJoin(join, b));
    ASSERT_TRUE(AddToJoin(join, c));
    ASSERT_GT(PrepareJoinedTree(join), 0u);
    const BoxNode& root = join.accumulator->root;
    // 40 + 23 + 20 samples; the third recording's audio starts at 3 s (24000 ticks).
    EXPECT_EQ(words(find(root, "stts", 1), 4),
              (std::vector<uint32_t>{5, 39, 400, 20, 400, 1, 397, 3, 1, 20, 400}));
    EXPECT_EQ(ReadMvhdTimes(*find(root, "mdhd", 1))->duration, 32000u);
    EXPECT_EQ(ReadMvhdTimes(*find(root, "mdhd"))->duration, 120000u);
    EXPECT_EQ(ReadTkhdDuration(*find(root, "tkhd", 1)).value(), 4000u);
}

TEST_F(MovieJoin, RefusesTablesThatWouldGrowWithoutBound)
{
    // Forty million samples of constant size 1, then of size 2 (in sparse media data of 80 MB):
    // writing every size out is refused.
    const uint32_t n = 40'000'000;
    auto huge = [&](const QString& path, uint32_t sampleSize) {
        const QByteArray head = ftyp() + be32(8 + 2 * n) + "mdat";
        const QByteArray moov = box("moov", mvhd(1000, 1000)
            + trak(1, 1000, 48000, n, stsdAudio(), stts({{n, 1}}),
                   stsc(n) + box("stsz", be32(0) + be32(sampleSize) + be32(n))
                       + table("stco", {static_cast<uint32_t>(head.size())}), "soun"));
        return writeSparse(path, head, static_cast<uint64_t>(head.size()) + 2 * n, moov);
    };
    const QString a = dir.filePath("a.MOV"), b = dir.filePath("b.MOV");
    ASSERT_TRUE(huge(a, 1));
    ASSERT_TRUE(huge(b, 2));
    JoinSession join;
    ASSERT_TRUE(StartJoin(join, a)) << join.errorDetail.toStdString();
    EXPECT_FALSE(AddToJoin(join, b));
    EXPECT_EQ(join.error, JoinError::NotJoinable);
    // Equal constant sizes only add up their counts.
    JoinSession same;
    ASSERT_TRUE(StartJoin(same, a));
    ASSERT_TRUE(AddToJoin(same, a)) << same.errorDetail.toStdString();
    ASSERT_GT(PrepareJoinedTree(same), 0u);
    EXPECT_EQ(words(find(same.accumulator->root, "stsz"), 4), (std::vector<uint32_t>{1, 80'000'000}));
}

TEST_F(MovieJoin, SwitchesToSixtyFourBitOffsetsPastFourGiB)
{
    // Two sparse inputs of 2.5 GiB of media data each: the second's chunks land past 4 GiB.
    const uint64_t payload = 2560ull << 20;
    QStringList inputs;
    for (const char* name : {"s1.MOV", "s2.MOV"}) {
        const QByteArray bytes = syntheticMovie(60, 40, false, payload, true);
        const QString path = dir.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray head = bytes.left(ftyp().size() + 16);
        const QByteArray moov = bytes.mid(head.size());
        const bool ok = ::pwrite(fd, head.constData(), static_cast<size_t>(head.size()), 0) == head.size()
            && ::pwrite(fd, moov.constData(), static_cast<size_t>(moov.size()),
                        static_cast<off_t>(static_cast<uint64_t>(head.size()) + payload)) == moov.size();
        ::close(fd);
        ASSERT_TRUE(ok);
        inputs << path;
    }
    JoinSession join;
    ASSERT_TRUE(StartJoin(join, inputs[0])) << join.errorDetail.toStdString();
    ASSERT_TRUE(AddToJoin(join, inputs[1])) << join.errorDetail.toStdString();
    ASSERT_GT(PrepareJoinedTree(join), 2 * payload);
    const BoxNode& root = join.accumulator->root;
    EXPECT_EQ(find(root, "stco"), nullptr);
    const BoxNode* co64 = find(root, "co64");
    ASSERT_NE(co64, nullptr);
    const BoxNode* mdat = find(root, "mdat");
    EXPECT_EQ(BoxHeaderSize(*mdat), 16u);
    EXPECT_EQ(mdat->size, 2 * payload);
    const uint64_t payloadAt = BoxSize(root.children[0]) + 16;
    const uint32_t count = ReadBE32(co64->payload.data() + 4);
    ASSERT_EQ(count, 60u);
    EXPECT_EQ(ReadBE64(co64->payload.data() + 8), payloadAt);
    EXPECT_EQ(ReadBE64(co64->payload.data() + 8 + 30 * 8), payloadAt + payload);
}

}  // namespace
}  // namespace ravir::test
